// The job record's lines and its rotation.
#include "app/joblog.h"
#include "app/text.h"
#include "support/testenv.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
namespace fs = std::filesystem;

TEST(JobLog, ALineReadsBackAsItsEntryWithTabsAndLineBreaksMadeBlanks)
{
    JobLogEntry e{"2026-12-11T14:05:09+01:00",
                  "file",
                  "a\tb.kel",
                  "KEL",
                  "42",
                  "2",
                  "pdf:/srv/out",
                  "/srv/out/a.pdf",
                  "failed",
                  "251",
                  "17",
                  "line one\r\nline two"};
    const std::string line = jobLogLine(e);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 11);
    EXPECT_EQ(line.back(), '\n');
    const std::optional<JobLogEntry> back = parseJobLogLine(line);
    ASSERT_TRUE(back);
    e.file = "a b.kel";
    e.detail = "line one  line two";
    EXPECT_EQ(*back, e);
    EXPECT_FALSE(parseJobLogLine("a\tb\tc"));
    EXPECT_FALSE(parseJobLogLine(""));
}

TEST(JobLog, KeepsItsLimitAndThreeOlderGenerations)
{
    test::TempDir dir;
    const std::string path = dir.file("jobs.log");
    const JobLog log(path, 1000);
    JobLogEntry e;
    e.event = "file";
    e.detail = std::string(80, 'x');
    for (int i = 0; i < 100; ++i) {
        e.file = std::to_string(i) + ".kel";
        ASSERT_TRUE(log.append(e));
    }
    for (const std::string &p : {path, path + ".1", path + ".2", path + ".3"}) {
        SCOPED_TRACE(p);
        ASSERT_TRUE(fs::exists(p));
        EXPECT_LE(fs::file_size(p), 1000u);
    }
    EXPECT_FALSE(fs::exists(path + ".4"));
    // Oldest first, the newest last, nothing lost inside the kept ones, and
    // the time filled in.
    const std::vector<JobLogEntry> entries = readJobLog(path);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().file, "99.kel");
    const int first = std::stoi(entries.front().file);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].file, std::to_string(first + static_cast<int>(i)) + ".kel");
    EXPECT_FALSE(entries.front().time.empty());
    // A record that cannot be written is refused, not thrown.
    EXPECT_FALSE(JobLog(dir.file("no/such/folder/jobs.log")).append(e));
    EXPECT_FALSE(JobLog("").append(e));
}
