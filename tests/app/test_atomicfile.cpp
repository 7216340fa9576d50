// The one atomic writer: a reader sees the old file or the whole new one,
// and no working file outlives a failure.
#include "app/atomicfile.h"
#include "app/text.h"
#include "support/testenv.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
namespace fs = std::filesystem;

namespace {

size_t entries(const std::string &folder)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

std::string content(const std::string &path)
{
    std::string s;
    readFile(path, s);
    return s;
}

} // namespace

TEST(AtomicFile, TargetAppearsWholeOnlyAtCommit)
{
    test::TempDir dir;
    const std::string target = dir.write("r.kel", "old");
    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("new "));
    ASSERT_TRUE(file.write("text"));
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(file.size(), 8u);
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(content(target), "new text");
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(AtomicFile, DroppedOrRefusedWritersLeaveNothing)
{
    test::TempDir dir;
    {
        AtomicFile file(dir.file("a.kel"));
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("half"));
    }
    EXPECT_EQ(entries(dir.path()), 0u);

    dir.write("b.kel", "kept");
    const Status refused = writeFileAtomically(dir.file("b.kel"), "other", Replace::Never);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.refusal().detail.find("b.kel"), std::string::npos);
    EXPECT_EQ(content(dir.file("b.kel")), "kept");
    EXPECT_EQ(entries(dir.path()), 1u);

    // A folder that does not exist: refused, with the reason in the detail.
    const Status missing = writeFileAtomically(dir.file("none/c.kel"), "x");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.refusal().detail.find("No such file"), std::string::npos);
}

TEST(AtomicFile, NeverFollowsAnExistingWorkingName)
{
    test::TempDir dir;
    const std::string outside = dir.write("outside", "secret");
    fs::create_symlink(outside, dir.file("w.part"));
    AtomicFile file(dir.file("w.kel"), dir.file("w.part"));
    EXPECT_FALSE(file.open());
    EXPECT_EQ(content(outside), "secret");
}

TEST(AtomicFile, RenameDurablyKeepsAnExistingTargetWhenAsked)
{
    test::TempDir dir;
    dir.write("a", "1");
    dir.write("b", "2");
    EXPECT_FALSE(renameDurably(dir.file("a"), dir.file("b"), Replace::Never));
    EXPECT_EQ(content(dir.file("b")), "2");
    EXPECT_TRUE(renameDurably(dir.file("a"), dir.file("c"), Replace::Never));
    EXPECT_EQ(content(dir.file("c")), "1");
    EXPECT_TRUE(removeDurably(dir.file("c")));
    EXPECT_FALSE(fs::exists(dir.file("c")));
}
