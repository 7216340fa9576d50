#include "app/shift.h"
#include "app/text.h"
#include "support/testenv.h"
#include "transfer/connectionfile.h"
#include "transfertest.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <random>

using namespace kel;

namespace {

// A connection file line as a writer of the format makes it.
std::string line(std::string_view key, std::string_view plain)
{
    return std::string(key) + shiftDown(plain, key.empty() ? std::string_view() : key);
}

} // namespace

TEST(ConnectionFile, ParsesTheFirstLine)
{
    struct Row
    {
        const char *name;
        std::string bytes;
        Connection expected;
    };
    // A plain text whose scrambling with the built-in key begins with "0".
    const std::string zeroLed = shiftUp("0", "") + "h|u|p|f";
    ASSERT_EQ(shiftDown(zeroLed, "")[0], '0');
    const Row rows[] = {
        {"key of three digits",
         line("372", "ftp.example.com|kel|s3cret|in") + "\r\n",
         {"ftp.example.com", "kel", "s3cret", "in"}},
        {"host with a port, blanks in the password",
         line("912345678", "127.0.0.1:2121|me|a b  c|/srv/in") + "\n",
         {"127.0.0.1:2121", "me", "a b  c", "/srv/in"}},
        {"first digit 0: no key, the whole line with the built-in one",
         shiftDown(zeroLed, ""),
         {std::string(field(zeroLed, '|', 1)), "u", "p", "f"}},
        {"not a digit: the whole line with the built-in key",
         shiftDown("h|u|p|f", ""),
         {"h", "u", "p", "f"}},
        {"fewer fields leave the last ones empty", line("20", "h|u") + "\r\n", {"h", "u", "", ""}},
        {"only the first line counts",
         line("301", "a|b|c|d") + "\r\n" + line("301", "x|y|z|w") + "\r\n",
         {"a", "b", "c", "d"}},
        {"key longer than the line", "9", {"", "", "", ""}},
        {"empty file", "", {"", "", "", ""}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parseConnection(row.bytes), row.expected);
    }
}

TEST(ConnectionFile, NamesAndMissingFiles)
{
    EXPECT_EQ(connectionFileName(" server1 "), "server1.cnx");
    EXPECT_EQ(connectionFileName("server1.txt"), "server1.txt");
    EXPECT_EQ(connectionFileName("/srv/v1.2/server1"), "/srv/v1.2/server1");

    test::TempDir dir;
    EXPECT_FALSE(readConnectionFile(dir.file("absent")).has_value());
    dir.write("office.cnx", line("4123", "h|u|p|f"));
    const auto read = readConnectionFile(dir.file("office"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->folder, "f");
}

TEST(ConnectionFile, WrittenFilesReadBackWithAnyKey)
{
    // Characters one key digit above a blank ('!' .. ')') and blanks of
    // their own: a key that would shift one of them onto a blank is passed
    // over, so every write reads back exactly.
    const Connection c{"127.0.0.1:2121", "!user\"#", "pa ss!%()'&$", "/in box"};
    std::mt19937 engine(7);
    std::uniform_int_distribution<int> digit(0, 9);
    for (int i = 0; i < 300; ++i) {
        const Result<std::string> written = scrambleConnection(c, [&] { return digit(engine); });
        ASSERT_TRUE(written.ok()) << written.refusal().detail;
        const std::string &l = *written;
        ASSERT_GE(l[0], '5');
        ASSERT_LE(l[0], '9');
        ASSERT_EQ(parseConnection(l), c) << l;
    }
}

TEST(ConnectionFile, WriterRefusesWhatWouldNotReadBack)
{
    struct Row
    {
        const char *name;
        Connection connection;
        std::string key;
    };
    const Row rows[] = {
        {"key shifts '!' onto a blank", {"!", "", "", ""}, "1"},
        {"key shifts a character onto a line end", {"\x0e", "", "", ""}, "4"},
        {"separator in a field", {"h", "u|v", "", ""}, "300"},
        {"line end in a field", {"h", "", "p\r\nq", ""}, "300"},
        {"key not led by its length", {"h", "", "", ""}, "512"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(connectionFileLine(row.connection, row.key).ok());
    }
    EXPECT_TRUE(connectionFileLine({"h", "u", "p", "f"}, "300").ok());
    EXPECT_FALSE(scrambleConnection({"h", "a|b", "", ""}, [] { return 3; }).ok());
}

TEST(Kelconnect, WritesFromTheCommandLineAndRefusesBadArguments)
{
    test::TempDir dir;
    const QString program = QStringLiteral(KEL_BIN_DIR "/kelconnect");
    auto run = [&](const QStringList &args, std::string *out = nullptr) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(10000);
        if (out)
            *out = p.readAllStandardOutput().trimmed().toStdString();
        return p.exitCode();
    };
    std::string written;
    ASSERT_EQ(run({"--host", "10.0.0.5:2121", "--user", "kel", "--password", "a b!", "--folder",
                   "/in", "-o", QString::fromStdString(dir.file("office"))},
                  &written),
              0);
    EXPECT_EQ(written, dir.file("office.cnx"));
    const auto read = readConnectionFile(dir.file("office"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, (Connection{"10.0.0.5:2121", "kel", "a b!", "/in"}));

    // The password kept out of the process list: from standard input or a
    // file, its first line without the line end.
    const QString stdinOut = QString::fromStdString(dir.file("stdin.cnx"));
    QProcess fromStdin;
    fromStdin.start(program, {"--host", "h", "--password", "-", "-o", stdinOut});
    fromStdin.write("se cret\r\nsecond line\n");
    fromStdin.closeWriteChannel();
    ASSERT_TRUE(fromStdin.waitForFinished(10000));
    EXPECT_EQ(fromStdin.exitCode(), 0);
    EXPECT_EQ(readConnectionFile(stdinOut.toStdString())->password, "se cret");
    const std::string secret = dir.write("secret", "from file\n");
    ASSERT_EQ(run({"--host", "h", "--password-file", QString::fromStdString(secret), "-o",
                   QString::fromStdString(dir.file("file.cnx"))}),
              0);
    EXPECT_EQ(readConnectionFile(dir.file("file.cnx"))->password, "from file");

    const QString out = QString::fromStdString(dir.file("x.cnx"));
    struct Row
    {
        const char *name;
        QStringList args;
    };
    const Row bad[] = {
        {"unknown option", {"--host", "h", "--port", "21", "-o", out}},
        {"missing value", {"--host", "h", "-o"}},
        {"no host", {"--user", "u", "-o", out}},
        {"no output", {"--host", "h"}},
        {"option twice", {"--host", "h", "--host", "i", "-o", out}},
        {"field with the separator", {"--host", "h", "--user", "a|b", "-o", out}},
        {"folder that does not exist", {"--host", "h", "-o", out + "/none/y.cnx"}},
        {"password file that does not exist",
         {"--host", "h", "--password-file", out + ".none", "-o", out}},
        {"password and password file",
         {"--host", "h", "--password", "p", "--password-file", QString::fromStdString(secret), "-o",
          out}},
    };
    for (const Row &row : bad) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(run(row.args), 2);
    }
    EXPECT_FALSE(fileExists(dir.file("x.cnx")));
}
