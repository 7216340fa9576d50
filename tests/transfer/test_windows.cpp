#include "support/testenv.h"
#include "transfer/widgets/connectdialog.h"
#include "transfer/widgets/testingcnxwindow.h"
#include "transfertest.h"

#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;

TEST(ConnectDialog, SavesAFileTheConsoleReads)
{
    test::TempDir dir;
    ConnectDialog dialog;
    const Connection c{"10.0.0.5:2121", "kel", "pass word!", "/in"};
    dialog.setConnection(c);
    dialog.setFileName(QString::fromStdString(dir.file("office")));
    const Result<std::string> saved = dialog.save();
    ASSERT_TRUE(saved.ok()) << saved.refusal().detail;
    EXPECT_EQ(*saved, dir.file("office.cnx"));
    EXPECT_EQ(readConnectionFile(*saved), c);

    dialog.setConnection({"", "kel", "", ""});
    EXPECT_FALSE(dialog.save().ok());
    dialog.setConnection(c);
    dialog.setFileName({});
    EXPECT_FALSE(dialog.save().ok());
}

TEST(TestingCnxWindow, ShowsTheTestAndClosesWithItsOutcome)
{
    test::TestEnvironment env;
    test::TempDir root;
    std::filesystem::create_directories(root.file("in"));
    test::FtpServer server(root.path());
    ASSERT_TRUE(server.ok());
    struct Row
    {
        const char *name;
        std::string user;
        bool passes;
        int message;
    };
    const Row rows[] = {
        {"writable folder", "writer", true, 239},
        {"read-only folder", "reader", false, 240},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        env.prompter.clear();
        TestingCnxWindow window({server.host(), row.user, "pw", "in"}, env.folders.temp,
                                env.messages, env.prompter);
        QString shown;
        QTimer::singleShot(0, &window, [&] {
            shown = window.findChild<QLabel *>(QStringLiteral("Label1"))->text();
        });
        EXPECT_EQ(window.runTest(), row.passes);
        EXPECT_EQ(shown, QStringLiteral("message 236"));
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(env.prompter.numbers(), std::vector<int>{row.message});
        EXPECT_FALSE(std::filesystem::exists(env.folders.temp + "/ftptest.kel"));
    }
}
