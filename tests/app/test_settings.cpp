#include "app/settings.h"
#include "support/testenv.h"

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

TEST(Settings, TcpKeysAreKeptAndWrittenOnlyWhenSet)
{
    test::TestEnvironment env;
    SettingsRecord r;
    r.escExits = "N";
    const std::string without = settingsFileText(r, env.messages);
    EXPECT_EQ(without.find("TCP_"), std::string::npos);

    r.tcpPort = "5001";
    r.tcpListen = "127.0.0.1";
    r.tcpAllow = "10.0.0.0/8;office2";
    r.tcpCommands = "Y";
    const std::string path = env.dir.file("KEL.INI");
    ASSERT_TRUE(saveSettings(path, r, env.messages));
    SettingsRecord back;
    ASSERT_TRUE(loadSettings(path, back, false));
    EXPECT_EQ(back.tcpPort, "5001");
    EXPECT_EQ(back.tcpAllow, "10.0.0.0/8;office2");
    EXPECT_EQ(back, r);
}
