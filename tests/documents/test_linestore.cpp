// The line store holds a report once: its records are views into the very
// buffer it was given, the blank and the end record are its own.
#include "documents/linestore.h"

#include <gtest/gtest.h>

using namespace kel;

TEST(LineStore, RecordsAreViewsIntoTheBufferItWasGiven)
{
    std::string data = "first line" + std::string(100, 'x') + "second";
    const char *held = data.data();
    const size_t size = data.size();
    const LineStore store(std::move(data), {{0, 10}, {110, 6}});
    ASSERT_EQ(store.count(), 4);
    EXPECT_EQ(store.raw(1), " ");
    EXPECT_EQ(store.raw(2), "first line");
    EXPECT_EQ(store.raw(3), "second");
    EXPECT_EQ(store.raw(4), "END_OF_FILE");
    // Not a byte copied, nor appended: the buffer is the one handed over.
    EXPECT_EQ(store.raw(2).data(), held);
    EXPECT_EQ(store.raw(3).data(), held + size - 6);

    const LineStore copy = store;
    EXPECT_EQ(copy.raw(3), "second");
    EXPECT_EQ(LineStore().count(), 2);
    EXPECT_EQ(LineStore().raw(2), "END_OF_FILE");
}
