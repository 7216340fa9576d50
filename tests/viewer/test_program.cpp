// The kel program itself: --help and --version, an end asked for by a
// signal, and the working files of an instance that was killed.
#include "support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace kel;
using test::crlf;

namespace {

struct Finished
{
    int code = -1;
    QString out;
};

Finished runKel(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KEL_BIN_DIR "/kel"), args);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput())};
}

// A viewer on `report` with its temporary folder under `temp`.
class Kel
{
public:
    Kel(const std::string &temp, const std::string &report)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), QString::fromStdString(temp));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(KEL_BIN_DIR "/kel"), {QString::fromStdString(report)});
        m_process.waitForStarted(10000);
    }
    ~Kel()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

// The files of the temporary folder other than lock files and its "Temp".
QStringList workingFiles(const QString &folder)
{
    QStringList files;
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        if (!name.startsWith(QStringLiteral("instance-")))
            files << name;
    }
    return files;
}

bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 30000)
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

TEST(KelProgram, HelpAndVersion)
{
    const Finished help = runKel({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    for (const char *part : {"Usage: kel", "/LETTERS", "design mode", "-PFOLDER", "--version"})
        EXPECT_TRUE(help.out.contains(QLatin1String(part))) << part;
    const Finished version = runKel({QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("kel (Kel Printing System) 2.2")))
        << version.out.toStdString();
}

TEST(KelProgram, EndsCleanlyOnASignalAndTheNextStartRemovesWhatAKilledOneLeft)
{
    test::TempDir dir;
    const std::string report =
        dir.write("r.kel", crlf({"[HEADER]", "[DATA]", "one line{\\N}", "two{\\N}"}));
    const QString temp = QString::fromStdString(dir.path() + "/Kel-" + std::to_string(getuid()));

    {
        Kel asked(dir.path(), report);
        ASSERT_TRUE(waitFor([&] { return !workingFiles(temp).isEmpty(); }));
        asked.process().terminate(); // SIGTERM
        ASSERT_TRUE(asked.process().waitForFinished(30000));
        EXPECT_EQ(asked.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(asked.process().exitCode(), 0);
        EXPECT_TRUE(workingFiles(temp).isEmpty()) << workingFiles(temp).join(' ').toStdString();
    }

    QStringList left;
    {
        Kel killed(dir.path(), report);
        // Killed once its lock file lists the copy it made.
        const QString lock =
            temp + QStringLiteral("/instance-%1.lock").arg(killed.process().processId());
        ASSERT_TRUE(waitFor([&] {
            QFile file(lock);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains(".$$1$");
        }));
        left = workingFiles(temp);
        killed.process().kill(); // SIGKILL: no chance to clean up
        killed.process().waitForFinished(30000);
    }
    ASSERT_EQ(workingFiles(temp), left);

    QThread::msleep(1100); // working copies are named after the second they are made in
    Kel next(dir.path(), report);
    // The next viewer removes the killed one's copy before making its own.
    ASSERT_TRUE(waitFor([&] {
        const QStringList now = workingFiles(temp);
        return !now.isEmpty() && now != left;
    }));
    for (const QString &name : left)
        EXPECT_FALSE(workingFiles(temp).contains(name)) << name.toStdString();
    next.process().terminate();
    next.process().waitForFinished(30000);
}
