// What running instances leave behind, the signals that end one, the
// temporary folder that TEMP names, and the folders of an installed program.
#include "app/folders.h"
#include "app/instances.h"
#include "app/services.h"
#include "app/settings.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

using namespace kel;
namespace fs = std::filesystem;

namespace {

// The id of a process that has ended.
pid_t deadProcess()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// Sets an environment variable for the length of a scope.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(Instances, LeftoversOfInstancesThatDiedAreRemovedOthersStay)
{
    test::TempDir dir;
    const std::string temp = dir.path();
    fs::create_directories(temp + "/Temp");
    const std::string mine = dir.write("93015.$$1", "working copy of a live instance");
    InstanceLock live(temp);
    live.record({mine});

    const pid_t dead = deadProcess();
    const std::string copy = dir.write("93016.$$1", std::string(1000, 'x'));
    const std::string mailed = dir.write("Temp/report.Kel", "packed");
    test::TempDir other;
    const std::string outside = other.write("precious", "outside the temporary folder");
    const std::string elsewhere = dir.write("elsewhere.txt", "not listed");
    dir.write("instance-" + std::to_string(dead) + ".lock",
              std::to_string(dead) + "\n" + copy + "\n" + mailed + "\n" + outside + "\n" + temp +
                  "/../" + fs::path(other.path()).filename().string() + "/precious\n");

    EXPECT_EQ(InstanceLock::removeLeftovers(temp), 2);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_FALSE(fs::exists(mailed));
    EXPECT_FALSE(fs::exists(temp + "/instance-" + std::to_string(dead) + ".lock"));
    EXPECT_TRUE(fs::exists(mine)); // its instance runs
    EXPECT_TRUE(fs::exists(elsewhere));
    EXPECT_TRUE(fs::exists(outside)); // a lock file never deletes outside the folder

    // An instance that ends removes its own files, whoever else runs.
    live.removeRecorded();
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_FALSE(live.othersRunning());
}

TEST(Instances, EndingSignalsArriveOnTheEventLoop)
{
    int argc = 1;
    char name[] = "test";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::vector<int> heard;
    {
        TerminationSignals termination([&heard](int signal) { heard.push_back(signal); });
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(signal);
            ASSERT_EQ(raise(signal), 0);
            EXPECT_TRUE(heard.empty() || heard.back() != signal); // not from the handler
            QElapsedTimer timer;
            timer.start();
            while ((heard.empty() || heard.back() != signal) && timer.elapsed() < 5000)
                QCoreApplication::processEvents();
            ASSERT_FALSE(heard.empty());
            EXPECT_EQ(heard.back(), signal);
        }
    }
    // The handlers before are back.
    struct sigaction now
    {
    };
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(Folders, TempNamesAFolderThatIsNotThereYet)
{
    test::TempDir dir;
    {
        ScopedEnv temp("TEMP", dir.path() + "/new/deeper");
        Folders folders;
        std::string error;
        ASSERT_TRUE(setUpFolders(folders, error)) << error;
        EXPECT_TRUE(fs::is_directory(folders.tempSub));
        EXPECT_EQ(fs::path(folders.temp).parent_path(), fs::path(dir.path() + "/new/deeper"));
    }
    {
        const std::string file = dir.write("plain", "a file, not a folder");
        ScopedEnv temp("TEMP", file + "/below");
        Folders folders;
        std::string error;
        EXPECT_FALSE(setUpFolders(folders, error));
        EXPECT_NE(error.find(file), std::string::npos) << error;
    }
}

TEST(Folders, InstalledProgramKeepsItsFilesInShareKel)
{
    test::TempDir dir;
    fs::create_directories(dir.path() + "/usr/bin");
    fs::create_directories(dir.path() + "/usr/share/kel");
    fs::create_directories(dir.path() + "/build/bin");
    const struct
    {
        const char *name;
        std::string executable;
        std::string folder;
    } cases[] = {
        {"installed", dir.path() + "/usr/bin/kel", dir.path() + "/usr/share/kel"},
        {"build tree", dir.path() + "/build/bin/kel", dir.path() + "/build/bin"},
        {"elsewhere", dir.path() + "/kel", dir.path()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(programFolderOf(c.executable), c.folder);
    }
}

TEST(Folders, ShippedFilesAreLookedForInKelHomeThenShareKelThenBesideTheProgram)
{
    test::TempDir dir;
    fs::create_directories(dir.path() + "/usr/bin");
    fs::create_directories(dir.path() + "/usr/share/kel");
    fs::create_directories(dir.path() + "/home");
    const std::string installed = dir.path() + "/usr/bin/kel";
    const struct
    {
        const char *name;
        std::string home;
        std::string executable;
        std::vector<std::string> folders;
    } cases[] = {
        {"installed, KEL_HOME set",
         dir.path() + "/home",
         installed,
         {dir.path() + "/home", dir.path() + "/usr/share/kel", dir.path() + "/usr/bin"}},
        {"installed, no KEL_HOME",
         "",
         installed,
         {dir.path() + "/usr/share/kel", dir.path() + "/usr/bin"}},
        {"build tree with KEL_HOME",
         dir.path() + "/home",
         dir.path() + "/build/bin/kel",
         {dir.path() + "/home", dir.path() + "/build/bin"}},
        {"KEL_HOME is the executable's folder",
         dir.path() + "/usr/bin",
         installed,
         {dir.path() + "/usr/bin", dir.path() + "/usr/share/kel"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shippedFoldersOf(c.home, c.executable), c.folders);
    }

    // The first folder holding the file wins; a folder (not a file) of that
    // name does not count; a file found nowhere is named in the first place.
    Folders folders;
    folders.program = dir.path() + "/home";
    folders.shipped = shippedFoldersOf(folders.program, installed);
    dir.write("usr/share/kel/KEL.LNG", "x");
    dir.write("usr/bin/help.md", "x");
    fs::create_directories(dir.path() + "/home/help.md");
    EXPECT_EQ(folders.findShipped("KEL.LNG"), dir.path() + "/usr/share/kel/KEL.LNG");
    EXPECT_EQ(folders.findShipped("help.md"), dir.path() + "/usr/bin/help.md");
    EXPECT_EQ(folders.findShipped("none.cnv"), dir.path() + "/home/none.cnv");
    dir.write("home/KEL.LNG", "y");
    EXPECT_EQ(folders.findShipped("KEL.LNG"), dir.path() + "/home/KEL.LNG");
}

TEST(Services, AKelHomeWithoutALanguageFileReadsTheShippedOne)
{
    // KEL_HOME holds only the admin's KEL.INI: the language file comes from
    // where the program was installed or built, and the settings from home.
    test::TempDir dir;
    dir.write("home/KEL.INI", "PRINT_KEL=Y\r\nKEL_PRINTER=pdf:/srv/out\r\n");
    Services services;
    Status loaded;
    {
        const ScopedEnv home("KEL_HOME", dir.path() + "/home");
        const ScopedEnv temp("TEMP", dir.path() + "/tmp");
        loaded = loadServices(services);
    }
    ASSERT_TRUE(loaded) << loaded.refusal().detail;
    EXPECT_EQ(services.folders.program, dir.path() + "/home");
    EXPECT_EQ(services.folders.shippedFolders().front(), dir.path() + "/home");
    EXPECT_EQ(services.settings.row(DocType::Kel).printer, "pdf:/srv/out");
    EXPECT_FALSE(services.messages.text(0).empty());
}

TEST(Settings, SavingWhereItCannotBeWrittenSaysWhere)
{
    test::TestEnvironment env;
    const std::string file = env.dir.write("not-a-folder", "x");
    const Status saved = saveSettings(file + "/KEL.INI", SettingsRecord{}, env.messages);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.message(), 294);
    EXPECT_NE(saved.refusal().detail.find(file + "/KEL.INI"), std::string::npos);
}
