// A console engine over a private queue folder, with "pdf:" printers, a
// clock the test moves by hand, a transfer that records what it is given
// and a viewer launcher that records what it would start.
#pragma once

#include "console/consoleengine.h"
#include "console/transferhooks.h"
#include "printing/printers.h"
#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <filesystem>
#include <string>
#include <vector>

namespace kel::test {

class ManualClock : public ConsoleClock
{
public:
    int64_t nowMs() const override { return m_now; }
    void advance(int64_t ms) { m_now += ms; }

private:
    int64_t m_now = 1000000;
};

class RecordingTransfer : public TransferHooks
{
public:
    void start(const std::string &folder) override { started = folder; }
    bool holdsMainTick() const override { return holding; }
    void forward(const ForwardedReport &report, const std::string &destination) override
    {
        forwarded.push_back(report.releasedFile + "|" + report.report + "|" + destination);
        handed.push_back(report);
        holding = true;
    }
    void tickEnded() override { ++ticksEnded; }

    std::string started;
    bool holding = false;
    std::vector<std::string> forwarded;
    std::vector<ForwardedReport> handed;
    int ticksEnded = 0;
};

// Records the files the engine dealt with, in order.
class HandledLog : public ConsoleObserver
{
public:
    void fileHandled(const HandledFile &file) override { files.push_back(file); }
    void queueStateChanged(bool open) override { states.push_back(open); }
    std::vector<std::string> names(ProcessOutcome::Kind kind) const
    {
        std::vector<std::string> out;
        for (const HandledFile &f : files) {
            if (f.outcome.kind == kind)
                out.push_back(f.name);
        }
        return out;
    }
    std::vector<HandledFile> files;
    std::vector<bool> states;
};

struct Console
{
    Console()
    {
        std::filesystem::create_directories(queue);
        std::filesystem::create_directories(out);
        env.settings.queuePath = queue;
        env.settings.printKel = env.settings.printKez = env.settings.printTxt = "Y";
        for (TypeRow &row : env.settings.types)
            row.printer = "pdf:" + out;
        engine.setQuietMs(0);
        engine.addObserver(&log);
    }
    // One whole pass: the engine's steps until the pass ends (the loop takes
    // them one per turn of the event loop).
    void pass()
    {
        do
            engine.tick();
        while (engine.passing() && !engine.shutdownRequested());
    }
    std::string drop(const std::string &name, std::string_view bytes) const
    {
        return env.dir.write("queue/" + name, bytes);
    }
    bool inQueue(const std::string &name) const
    {
        std::error_code ec;
        return std::filesystem::exists(queue + "/" + name, ec);
    }
    // Names of the files left in the queue folder, sorted.
    std::vector<std::string> queueFiles() const
    {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(queue))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The PDFs written, oldest name first.
    std::vector<std::string> pdfs() const
    {
        std::vector<std::string> files;
        for (const auto &e : std::filesystem::directory_iterator(out))
            files.push_back(e.path().string());
        std::sort(files.begin(), files.end());
        return files;
    }

    TestEnvironment env;
    std::string queue = env.dir.path() + "/queue";
    std::string out = env.dir.path() + "/out";
    Printers printers;
    RecordingTransfer transfer;
    std::vector<std::string> viewerStarted;
    ConsoleContext context{
        env.folders,  env.messages,
        env.settings, env.prompter,
        env.warnings, printers,
        transfer,     [this](const std::string &p) { viewerStarted.push_back(p); }};
    ManualClock clock;
    ConsoleEngine engine{context, clock};
    HandledLog log;
};

inline QString runTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The page count pdfinfo reads, -1 when the file is not a readable PDF.
inline int pdfPages(const std::string &path)
{
    const QString info = runTool(QStringLiteral("pdfinfo"), {QString::fromStdString(path)});
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

inline QString pdfText(const std::string &path)
{
    return runTool(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), QString::fromStdString(path), QStringLiteral("-")});
}

} // namespace kel::test
