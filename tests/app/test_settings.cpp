#include "app/settings.h"
#include "support/testenv.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;

TEST(Settings, SaveThenLoadGivesTheSameRecord)
{
    test::TestEnvironment env;
    SettingsRecord r;
    r.queuePath = "/srv/kel queue";
    r.printKel = "Y";
    r.printKez = "N";
    r.printTxt = "Y";
    r.row(DocType::Kel).printer = "office";
    r.row(DocType::Prn).printer = "pdf:/tmp/out";
    r.row(DocType::Txt).orientation = "LANDSCAPE";
    r.row(DocType::Lst).length = "16840";
    r.row(DocType::Lst).width = "11907";
    r.row(DocType::Txt).fontName = "Courier New";
    r.row(DocType::Txt).fontSize = "10";
    r.conversions = {"DOS850", "", "EBCDIC"};
    r.cnxFile = "remote.cnx";
    r.checkEvery = "30";
    r.defaultEditor = "gedit";
    r.escExits = "Y";

    const std::string path = env.dir.file("KEL.INI");
    ASSERT_TRUE(saveSettings(path, r, env.messages));
    SettingsRecord back;
    ASSERT_TRUE(loadSettings(path, back, true));
    EXPECT_EQ(back, r);

    // Without the queue path, everything else still reads.
    ASSERT_TRUE(loadSettings(path, back, false));
    EXPECT_EQ(back.queuePath, "");
    EXPECT_EQ(back.defaultEditor, "gedit");
}

TEST(Settings, FileLayout)
{
    test::TestEnvironment env;
    SettingsRecord r;
    const std::string text = settingsFileText(r, env.messages);
    const auto lines = splitLines(text);
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0], "#message 211");
    EXPECT_EQ(lines[3], "#message 214");
    EXPECT_EQ(lines[4], "#");
    EXPECT_EQ(lines[5].substr(0, 12), "#message 215");
    EXPECT_EQ(lines[7], "QUEUE_PATH=");
    EXPECT_EQ(lines.back(), "#EOF");
    EXPECT_NE(text.find("#message 274\r\nTXT_CONVERSION=\r\nLST_CONVERSION=\r\nPRN_CONVERSION="),
              std::string::npos);
    EXPECT_NE(text.find("DEFAULT_EDITOR=\r\nESC_EXITS=\r\n#\r\n#EOF\r\n"), std::string::npos);
}

TEST(Settings, MissingFileIsAnEmptyRecordAndEditorDefaults)
{
    test::TempDir dir;
    SettingsRecord r;
    r.printKel = "leftover";
    EXPECT_FALSE(loadSettings(dir.file("KEL.INI"), r, true));
    EXPECT_EQ(r, SettingsRecord{});
    applyStartupDefaults(r);
    EXPECT_EQ(r.defaultEditor, "xdg-open");
}

TEST(Settings, KeysAfterTheHundredthLineReadEmpty)
{
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "# filler\r\n";
    text += "ESC_EXITS=Y\r\n";
    SettingsRecord r;
    ASSERT_TRUE(loadSettings(dir.write("KEL.INI", text), r, false));
    EXPECT_EQ(r.escExits, "");
}

TEST(Settings, TcpKeysAndJobLogAreKeptAndWrittenOnlyWhenSet)
{
    test::TestEnvironment env;
    SettingsRecord r;
    r.escExits = "N";
    const std::string without = settingsFileText(r, env.messages);
    EXPECT_EQ(without.find("TCP_"), std::string::npos);
    EXPECT_EQ(without.find("JOB_LOG"), std::string::npos);

    r.tcpPort = "5001";
    r.tcpListen = "127.0.0.1";
    r.tcpAllow = "10.0.0.0/8;office2";
    r.tcpCommands = "Y";
    r.jobLog = "/var/lib/kel/jobs.log";
    const std::string path = env.dir.file("KEL.INI");
    ASSERT_TRUE(saveSettings(path, r, env.messages));
    SettingsRecord back;
    ASSERT_TRUE(loadSettings(path, back, false));
    EXPECT_EQ(back.tcpPort, "5001");
    EXPECT_EQ(back.jobLog, "/var/lib/kel/jobs.log");
    EXPECT_EQ(back.tcpAllow, "10.0.0.0/8;office2");
    EXPECT_EQ(back, r);
}

namespace {

// A record with a value of its own in every field, so a key read into or
// written from the wrong field shows.
SettingsRecord everyFieldSet()
{
    SettingsRecord r;
    r.queuePath = "/srv/queue";
    r.printKel = "Y";
    r.printKez = "N";
    r.printTxt = "y";
    const char *const types[] = {"kel", "kez", "txt", "lst", "prn"};
    for (size_t i = 0; i < r.types.size(); ++i) {
        const std::string t = types[i];
        r.types[i] = TypeRow{t + "-printer", t + "-orientation", t + "-length",
                             t + "-width",   t + "-font",        t + "-size"};
    }
    r.conversions = {"txt-table", "lst-table", "prn-table"};
    r.cnxFile = "remote.cnx";
    r.checkEvery = "15";
    r.defaultEditor = "vi";
    r.escExits = "N";
    return r;
}

// The file as saved, its time stamp line replaced by "#STAMP".
std::string withoutStamp(std::string text)
{
    const size_t at = text.find("#message 215");
    if (at != std::string::npos)
        text.replace(at, text.find("\r\n", at) - at, "#STAMP");
    return text;
}

} // namespace

// The saved file keeps its layout byte for byte: lines in this order, the
// values as held, the text-type rows only for TXT, LST and PRN.
TEST(Settings, SavedFileIsByteIdenticalToTheEstablishedLayout)
{
    test::TestEnvironment env;
    const std::string expected = test::crlf({
        "#message 211",
        "#message 212",
        "#message 213",
        "#message 214",
        "#",
        "#STAMP",
        "#",
        "QUEUE_PATH=/srv/queue",
        "#",
        "#message 216",
        "PRINT_KEL=Y",
        "PRINT_KEZ=N",
        "PRINT_TXT=y",
        "#",
        "#message 217",
        "KEL_PRINTER=kel-printer",
        "KEZ_PRINTER=kez-printer",
        "TXT_PRINTER=txt-printer",
        "LST_PRINTER=lst-printer",
        "PRN_PRINTER=prn-printer",
        "#",
        "#message 218",
        "TXT_ORIENTATION=txt-orientation",
        "LST_ORIENTATION=lst-orientation",
        "PRN_ORIENTATION=prn-orientation",
        "#",
        "#message 274",
        "TXT_CONVERSION=txt-table",
        "LST_CONVERSION=lst-table",
        "PRN_CONVERSION=prn-table",
        "#",
        "#message 219",
        "TXT_LENGTH=txt-length",
        "LST_LENGTH=lst-length",
        "PRN_LENGTH=prn-length",
        "#",
        "#message 220",
        "TXT_WIDTH=txt-width",
        "LST_WIDTH=lst-width",
        "PRN_WIDTH=prn-width",
        "#",
        "#message 221",
        "TXT_FONTNAME=txt-font",
        "LST_FONTNAME=lst-font",
        "PRN_FONTNAME=prn-font",
        "#",
        "#message 222",
        "TXT_FONTSIZE=txt-size",
        "LST_FONTSIZE=lst-size",
        "PRN_FONTSIZE=prn-size",
        "#",
        "#message 223",
        "CNX_FILE=remote.cnx",
        "CHECK_EVERY=15",
        "#",
        "DEFAULT_EDITOR=vi",
        "ESC_EXITS=N",
        "#",
        "#EOF",
    });
    SettingsRecord r = everyFieldSet();
    EXPECT_EQ(withoutStamp(settingsFileText(r, env.messages)), expected);

    // A key that is written only when set goes after the fixed ones.
    r.tcpPort = "5001";
    std::string withPort = expected;
    withPort.insert(withPort.find("#\r\n#EOF"), "TCP_PORT=5001\r\n");
    EXPECT_EQ(withoutStamp(settingsFileText(r, env.messages)), withPort);

    // Every field reads back from its own key; the type rows of KEL and KEZ
    // keep only their printers.
    const std::string path = env.dir.write("KEL.INI", settingsFileText(r, env.messages));
    SettingsRecord back;
    ASSERT_TRUE(loadSettings(path, back, true));
    SettingsRecord printersOnly = r;
    for (DocType t : {DocType::Kel, DocType::Kez})
        printersOnly.row(t) = TypeRow{r.row(t).printer, "", "", "", "", ""};
    EXPECT_EQ(back, printersOnly);
}

// A KEL.INI that links to an administrator's copy is rewritten there: the
// link stays, and no working file is left beside either.
TEST(Settings, SavingThroughALinkKeepsTheLink)
{
    test::TestEnvironment env;
    test::TempDir elsewhere;
    const std::string real = elsewhere.write("KEL.INI", "old");
    const std::string link = env.dir.file("KEL.INI");
    std::filesystem::create_symlink(real, link);
    SettingsRecord r;
    r.escExits = "Y";
    ASSERT_TRUE(saveSettings(link, r, env.messages));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    SettingsRecord back;
    ASSERT_TRUE(loadSettings(real, back, false));
    EXPECT_EQ(back.escExits, "Y");
    for (const std::string &folder : {env.dir.path(), elsewhere.path()}) {
        for (const auto &e : std::filesystem::directory_iterator(folder))
            EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
    }
}
