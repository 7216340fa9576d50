#include "app/commandline.h"
#include "app/instances.h"
#include "support/testenv.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace kel;

TEST(CommandLine, ViewerDocumentsAndOptions)
{
    struct Case
    {
        const char *name;
        const char *line;
        const char *document;
        ViewerOptions options;
    };
    ViewerOptions printExport;
    printExport.hidePrint = true;
    printExport.hideExport = true;
    ViewerOptions all;
    all.hideOpen = all.hideSave = all.hideExport = all.hidePrint = all.hideMail = true;
    all.hidePaging = all.hideZoom = all.hideFind = all.designMode = true;
    ViewerOptions design;
    design.designMode = true;
    const Case cases[] = {
        {"empty", "", "", {}},
        {"bare name gets .kel", "report", "report.kel", {}},
        {"name with extension", "report.txt", "report.txt", {}},
        {"path with blanks opens whole",
         "/home/ann/My Reports/march.kel",
         "/home/ann/My Reports/march.kel",
         {}},
        {"options after the document", "report.kel /px", "report.kel", printExport},
        {"path with blanks and options", "/data/My Report.kel /E", "/data/My Report.kel", design},
        {"every letter, others ignored", "a.kel /OSXPMDZFEQ", "a.kel", all},
        {"absolute path alone is a document", "/srv/reports/a.kel", "/srv/reports/a.kel", {}},
        {"options alone", "/P", "", ViewerOptions{false, false, false, true}},
        {"a digit makes it a path", "a.kel /P2", "a.kel /P2", {}},
    };
    for (const Case &c : cases) {
        const CommandLine cl = parseCommandLine(c.line);
        EXPECT_EQ(cl.mode, CommandLine::Mode::Viewer) << c.name;
        EXPECT_EQ(cl.document, c.document) << c.name;
        EXPECT_EQ(cl.options, c.options) << c.name;
    }
}

TEST(CommandLine, ConsoleSwitches)
{
    const CommandLine cl = parseCommandLine("-S -v -P/srv/queue -E -Fremote -I");
    EXPECT_EQ(cl.mode, CommandLine::Mode::Console);
    EXPECT_TRUE(cl.console.server);
    EXPECT_TRUE(cl.console.visible);
    EXPECT_TRUE(cl.console.install);
    EXPECT_TRUE(cl.options.designMode);
    EXPECT_EQ(cl.console.queuePath, "/srv/queue");
    EXPECT_FALSE(cl.console.queuePathEndsInSlash);
    EXPECT_EQ(cl.console.connectionFile, "remote.cnx");

    EXPECT_TRUE(parseCommandLine("-P/srv/queue/").console.queuePathEndsInSlash);
    EXPECT_EQ(parseCommandLine("-Fremote.dat").console.connectionFile, "remote.dat");
    // Fields after the tenth are ignored.
    EXPECT_FALSE(parseCommandLine("-x -x -x -x -x -x -x -x -x -x -S").console.server);
    EXPECT_TRUE(parseCommandLine("-x -x -x -x -x -x -x -x -x -S").console.server);
}

TEST(CommandLine, ConsoleQueueFolderSeparatorsAndHeadless)
{
    const struct
    {
        const char *line;
        const char *folder;
        bool refused; // 108: a trailing backslash
    } rows[] = {
        {"-P/var/spool/kel/", "/var/spool/kel", false},
        {"-P/var/spool/kel//", "/var/spool/kel", false},
        {"-P/", "/", false},
        {"-pC:\\queue\\", "C:\\queue\\", true},
        {"-P  -S", "", false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.line);
        const ConsoleSwitches c = parseCommandLine(r.line).console;
        EXPECT_EQ(c.queuePath, r.folder);
        EXPECT_EQ(c.queuePathEndsInBackslash, r.refused);
    }
    EXPECT_TRUE(parseCommandLine("-S -h").console.headless);
    EXPECT_FALSE(parseCommandLine("-S -HX").console.headless);
}

TEST(InstanceLock, SeesOtherLiveInstancesOnly)
{
    test::TempDir dir;
    InstanceLock mine(dir.path());
    EXPECT_FALSE(mine.othersRunning());
    // A lock of a live process (our parent) counts; a stale one is removed.
    dir.write("instance-" + std::to_string(getppid()) + ".lock", "x");
    dir.write("instance-999999999.lock", "x");
    EXPECT_TRUE(mine.othersRunning());
    EXPECT_FALSE(std::filesystem::exists(dir.file("instance-999999999.lock")));
}

TEST(ConsoleLock, OneConsolePerFolderReleasedWithIt)
{
    test::TempDir dir;
    {
        ConsoleLock first(dir.path());
        EXPECT_TRUE(first.acquired());
        EXPECT_FALSE(ConsoleLock(dir.path()).acquired());
    }
    EXPECT_TRUE(ConsoleLock(dir.path()).acquired());
}

TEST(TempFolder, EmptiedWithItsTempSubfolderButKept)
{
    test::TempDir dir;
    Folders folders;
    folders.temp = dir.path() + "/Kel";
    folders.tempSub = folders.temp + "/Temp";
    std::string error;
    ASSERT_TRUE(prepareTempFolder(folders.temp, error)) << error;
    writeFile(folders.temp + "/123.$$1", "x");
    writeFile(folders.tempSub + "/packed.kel", "x");
    emptyTempFolder(folders);
    EXPECT_TRUE(std::filesystem::is_empty(folders.tempSub));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folders.temp),
                            std::filesystem::directory_iterator()),
              1); // only "Temp" is left

    // A folder that others may write into is refused.
    const std::string open = dir.path() + "/open";
    std::filesystem::create_directory(open);
    std::filesystem::permissions(open, std::filesystem::perms::all);
    EXPECT_FALSE(prepareTempFolder(open, error));
}
