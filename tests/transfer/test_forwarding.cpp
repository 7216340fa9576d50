#include "support/testenv.h"
#include "transfer/forwarding.h"
#include "transfertest.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using kel::test::entries;

TEST(Forwarding, TheCopyThatTravels)
{
    struct Row
    {
        const char *name;
        std::string report;
        char open, close;
        std::string text;
        std::vector<std::string> pictures;
    };
    const Row rows[] = {
        {"SEND_TO lines are left out, in any case",
         "[HEADER]\r\nSEND_TO=office2\r\nsend_to=x\r\nTITLE=a\r\n[DATA]\r\nhello SEND_TO stays\r\n",
         '{',
         '}',
         "[HEADER]\r\nTITLE=a\r\n[DATA]\r\nhello SEND_TO stays\r\n",
         {}},
        {"only the header's SEND_TO lines; data lines that begin so travel",
         "SEND_TO=a\r\n[HEADER]\r\nSend_to=b\r\n[data]\r\nSend_to all staff: a=b\r\n"
         "SEND_TO:x\r\n",
         '{',
         '}',
         "[HEADER]\r\n[data]\r\nSend_to all staff: a=b\r\nSEND_TO:x\r\n",
         {}},
        {"a data line the receiving console would read as SEND_TO is left out",
         "[HEADER]\r\n[DATA]\r\n send_to=elsewhere\r\nSEND_TO=\r\n",
         '{',
         '}',
         "[HEADER]\r\n[DATA]\r\nSEND_TO=\r\n",
         {}},
        {"Windows path cut to the file name",
         "{PIC=C:\\pics\\logo.bmp,100,200,500,500}\n",
         '{',
         '}',
         "{PIC=logo.bmp,100,200,500,500}\r\n",
         {"C:\\pics\\logo.bmp"}},
        {"Linux path, picture without further fields",
         "x{pic=/srv/img/a.png} y",
         '{',
         '}',
         "x{pic=a.png} y\r\n",
         {"/srv/img/a.png"}},
        {"a picture that is not the first command of its group",
         "{B=Y;PIC=/img/b.png,0,0,10,10;B=N}",
         '{',
         '}',
         "{B=Y;PIC=b.png,0,0,10,10;B=N}\r\n",
         {"/img/b.png"}},
        {"two pictures on a line, and one used twice",
         "{PIC=/i/a.png}{PIC=/j/b.png}\r\n{PIC=/i/a.png}\r\n",
         '{',
         '}',
         "{PIC=a.png}{PIC=b.png}\r\n{PIC=a.png}\r\n",
         {"/i/a.png", "/j/b.png"}},
        {"the report's own delimiters",
         "<PIC=/i/a.png,1,1,1,1>{PIC=/no/x.png}",
         '<',
         '>',
         "<PIC=a.png,1,1,1,1>{PIC=/no/x.png}\r\n",
         {"/i/a.png"}},
        {"a bare name stays as it is",
         "{PIC=logo.bmp,1,1,1,1}",
         '{',
         '}',
         "{PIC=logo.bmp,1,1,1,1}\r\n",
         {"logo.bmp"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const ForwardCopy copy = forwardCopy(row.report, row.open, row.close);
        EXPECT_EQ(copy.text, row.text);
        EXPECT_EQ(copy.pictures, row.pictures);
    }
}

TEST(Forwarding, PreparingListsPicturesFirstAndKeepsTheReport)
{
    test::TempDir base;
    const std::string queue = base.file("queue");
    std::filesystem::create_directories(queue);
    base.write("pics/logo.png", "logo");
    base.write("queue/map.png", "map");
    const std::string report =
        "OPEN=[\r\nCLOSE=]\r\nSEND_TO=127.0.0.1:5001\r\n[HEADER]\r\n[DATA]\r\n[PIC=" +
        base.file("pics/logo.png") +
        ",1,1,1,1]\r\n[PIC=map.png][PIC=C:\\maps\\map.png]\r\n"
        "[PIC=missing.png]\r\n";
    base.write("queue/a.kel", report);

    const Result<Forwarding> f =
        prepareForwarding({queue + "/a.kel", queue + "/a.kel", {}, {}}, " 127.0.0.1:5001 ", 1001);
    ASSERT_TRUE(f.ok()) << f.refusal().detail;
    EXPECT_EQ(f->copy, queue + "/a.kel$");
    EXPECT_EQ(test::readAll(queue + "/a.kel"), report);
    EXPECT_EQ(test::readAll(f->copy),
              "OPEN=[\r\nCLOSE=]\r\n[HEADER]\r\n[DATA]\r\n[PIC=logo.png,1,1,1,1]\r\n"
              "[PIC=map.png][PIC=map.png]\r\n[PIC=missing.png]\r\n");
    // map.png named twice (bare, and by a path of another machine) goes once.
    const std::vector<SendItem> &items = f->job.items;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].path, base.file("pics/logo.png"));
    EXPECT_EQ(items[1].path, queue + "/map.png");
    EXPECT_EQ(items[2].path, queue + "/missing.png");
    EXPECT_TRUE(items[0].optional && items[1].optional && items[2].optional);
    EXPECT_EQ(items[3].path, f->copy);
    EXPECT_FALSE(items[3].optional);
    std::string announced = queue + "/a.kel";
    std::replace(announced.begin(), announced.end(), '/', '\\');
    EXPECT_EQ(items[3].announced, announced);
    EXPECT_EQ(f->job.destination.host, "127.0.0.1");
    EXPECT_EQ(f->job.destination.port, 5001);

    EXPECT_FALSE(prepareForwarding({queue + "/a.kel", queue + "/a.kel", {}, {}}, "h:x", 1001).ok());
    EXPECT_FALSE(prepareForwarding({queue + "/b.kel", queue + "/b.kel", {}, {}}, "h", 1001).ok());

    completeForwarding(*f);
    EXPECT_EQ(entries(queue), std::vector<std::string>{"map.png"});
}

// When the forwarding ends, a file of the same name that is not the one it
// sent (the copy arriving back, a report written anew) stays to be printed.
TEST(Forwarding, CompletingDeletesOnlyTheFilesItSent)
{
    struct Row
    {
        const char *name;
        bool releasedReplaced;
        bool reportReplaced;
        std::vector<std::string> after;
    };
    const Row rows[] = {
        {"both as they were", false, false, {}},
        {"the report arrived back under its name", false, true, {"l.txt.kel"}},
        {"the listing written anew", true, false, {"l.txt"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        dir.write("l.txt", "listing");
        dir.write("l.txt.kel", "[HEADER]\r\nSEND_TO=h\r\n[DATA]\r\n");
        const Result<Forwarding> f =
            prepareForwarding({dir.file("l.txt"), dir.file("l.txt.kel"), {}, {}}, "h", 1001);
        ASSERT_TRUE(f.ok());
        // Replaced by rename, as the receiver and the writers of reports do.
        if (row.releasedReplaced) {
            dir.write("new", "listing");
            std::filesystem::rename(dir.file("new"), dir.file("l.txt"));
        }
        if (row.reportReplaced) {
            dir.write("new", "[HEADER]\r\n[DATA]\r\n");
            std::filesystem::rename(dir.file("new"), dir.file("l.txt.kel"));
        }
        completeForwarding(*f);
        EXPECT_EQ(entries(dir.path()), row.after);
    }
}

// A report from elsewhere names the files it wants sent: only pictures that
// resolve inside the allowed folders are read; any other, reached by an
// absolute name, by ".." or by a link planted in the queue folder, is left
// out and named.
TEST(Forwarding, PicturesAreReadOnlyFromAllowedFolders)
{
    test::TempDir base;
    const std::string queue = base.file("queue");
    base.write("queue/inside.png", "inside");
    base.write("forms/logo.png", "logo");
    const std::string secret = base.write("outside/secret.png", "secret");
    std::filesystem::create_symlink(secret, queue + "/link.png");
    const std::string report = "[HEADER]\r\nSEND_TO=h\r\n[DATA]\r\n{PIC=inside.png}\r\n{PIC=" +
                               base.file("forms/logo.png") + "}\r\n{PIC=" + secret +
                               "}\r\n{PIC=../outside/secret.png}\r\n{PIC=link.png}\r\n"
                               "{PIC=gone.png}\r\n";
    base.write("queue/a.kel", report);
    const AllowedFolders allowed({queue, base.file("forms")});
    const Result<Forwarding> f =
        prepareForwarding({queue + "/a.kel", queue + "/a.kel", {}, {}}, "h", 1001, &allowed);
    ASSERT_TRUE(f.ok()) << f.refusal().detail;
    // What is sent, by the name it arrives under; a picture that is not
    // there but would be inside stays on the list (the sender passes it over).
    std::vector<std::string> sent;
    for (const SendItem &item : f->job.items)
        sent.push_back(item.announced.substr(item.announced.find_last_of('\\') + 1));
    EXPECT_EQ(sent, (std::vector<std::string>{"inside.png", "logo.png", "gone.png", "a.kel"}));
    EXPECT_EQ(test::readAll(f->job.items[1].path), "logo");
    EXPECT_EQ(f->refusedPictures,
              (std::vector<std::string>{secret, "../outside/secret.png", "link.png"}));
    completeForwarding(*f);
}

TEST(Forwarding, GivingUpKeepsTheReport)
{
    struct Row
    {
        const char *name;
        std::vector<std::string> files; // in the queue before
        std::string released, report;
        std::vector<std::string> after;
        std::string kept;
    };
    const Row rows[] = {
        {"a report: its original, SEND_TO and all",
         {"a.kel", "a.kel$", "a.kel.NOT_SENT", "00000000.$$$", "b.kel"},
         "a.kel",
         "a.kel",
         {"a.kel.NOT_SENT", "b.kel"},
         "a.kel.NOT_SENT"},
        {"a converted listing whose listing is gone",
         {"l.txt.kel", "l.txt.kel$"},
         "l.txt",
         "l.txt.kel",
         {"l.txt.kel.NOT_SENT"},
         "l.txt.kel.NOT_SENT"},
        {"a released file still there with its converted report",
         {"l.txt", "l.txt.kel", "l.txt.kel$"},
         "l.txt",
         "l.txt.kel",
         {"l.txt.NOT_SENT"},
         "l.txt.NOT_SENT"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        for (const std::string &f : row.files)
            dir.write(f, "content of " + f);
        const std::string kept = abandonForwarding(dir.file(row.released), dir.file(row.report),
                                                   dir.file(row.report + "$"));
        EXPECT_EQ(entries(dir.path()), row.after);
        EXPECT_EQ(kept, dir.file(row.kept));
        const std::string original =
            row.released == row.report || row.kept == row.report + ".NOT_SENT" ? row.report
                                                                               : row.released;
        EXPECT_EQ(test::readAll(kept), "content of " + original);
    }
}
