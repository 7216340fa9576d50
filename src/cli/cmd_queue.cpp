// keltool queue, hold, release, delete, retry and jobs: the print server's
// queue and its job record from the shell, beside a running console.
//
// They change the queue folder only as the console's own buttons do: a file
// moves between the queues by one rename that never replaces a file, so the
// console sees it in one queue or the other and never half moved; a file the
// console is printing is printed to its end (it was read before), and a
// deletion only keeps it from being taken again. A retry gives a failed file
// a new modification time, which the console takes for a changed file and
// tries once more after it has settled; a report that could not be
// forwarded (NAME.NOT_SENT) is renamed back to NAME.
#include "app/joblog.h"
#include "app/settings.h"
#include "cli/cli.h"
#include "console/queuefolder.h"

#include <QDateTime>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>

namespace kel::cli {
namespace {

constexpr std::string_view kNotSent = ".NOT_SENT";

struct QueuePlace
{
    std::unique_ptr<Environment> env;
    std::string folder;
    QueueTypes types;
};

// The environment, the queue folder (`given`, else QUEUE_PATH of KEL.INI)
// and the types the console takes; false with a message when there is no
// folder.
bool placeQueue(const std::string *given, QueuePlace &place)
{
    place.env = setUpEnvironment();
    if (!place.env)
        return false;
    SettingsRecord withQueue;
    const bool haveSettings =
        loadSettings(place.env->folders.inProgram("KEL.INI"), withQueue, true);
    place.folder = given ? *given : withQueue.queuePath;
    while (place.folder.size() > 1 && place.folder.back() == '/')
        place.folder.pop_back();
    // Without a KEL.INI every type is shown, as a console would take them
    // once it was told to.
    place.types = haveSettings ? QueueTypes::fromSettings(withQueue) : QueueTypes{};
    if (place.folder.empty()) {
        fail("no queue folder: give one, or set QUEUE_PATH in " +
             place.env->folders.inProgram("KEL.INI"));
        return false;
    }
    return true;
}

std::string isoTime(int64_t nanoseconds)
{
    return QDateTime::fromMSecsSinceEpoch(nanoseconds / 1000000)
        .toString(Qt::ISODate)
        .toStdString();
}

// A name as given on the command line must be a file of the queue folder
// itself: no folder part, nothing hidden, no "..".
bool plainName(const std::string &name)
{
    return !name.empty() && name.find('/') == std::string::npos && name[0] != '.';
}

void printLine(const std::vector<std::string> &fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        for (const char c : fields[i])
            line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    std::printf("%s\n", line.c_str());
}

int runQueue(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (parsed.positionals.size() > 1) {
        fail("usage: keltool queue [DIR]");
        return 2;
    }
    QueuePlace place;
    if (!placeQueue(parsed.positionals.empty() ? nullptr : &parsed.positionals[0], place))
        return 2;
    const QueueListing listing = listQueue(place.folder, place.types);
    if (!listing.readable) {
        fail("cannot read the queue folder " + place.folder);
        return 2;
    }
    // The last outcome of each file in the job record: a released file whose
    // last job failed is shown as failed, with the reason.
    std::map<std::string, JobLogEntry> last;
    if (!place.env->settings.jobLog.empty()) {
        for (JobLogEntry &e : readJobLog(place.env->settings.jobLog)) {
            if (e.event == "file")
                last[e.file] = std::move(e);
        }
    }
    for (const QueueEntry &e : listing.released) {
        const auto it = last.find(e.name);
        const bool failed = it != last.end() && it->second.outcome == "failed";
        printLine({failed ? "failed" : "released", e.name, std::to_string(e.size),
                   isoTime(e.modified),
                   failed ? it->second.message + " " + it->second.detail : std::string()});
    }
    for (const QueueEntry &e : listing.held)
        printLine({"held", e.name, std::to_string(e.size), isoTime(e.modified), {}});
    for (const std::string &name : filesEndingIn(place.folder, kNotSent)) {
        if (const std::optional<QueueEntry> e = statQueueFile(place.folder, name))
            printLine({"not-sent", name, std::to_string(e->size), isoTime(e->modified), {}});
    }
    return 0;
}

enum class Action { Hold, Release, Delete, Retry };

// One name: false with a message when it is not in the queue it must be in,
// or the rename or deletion failed.
bool act(Action action, const QueuePlace &place, const std::string &name)
{
    const std::string path = place.folder + "/" + name;
    const QueueKind kind = queueKind(name, place.types);
    const bool notSent = name.size() > kNotSent.size() && name.ends_with(kNotSent);
    if (!plainName(name) || !statQueueFile(place.folder, name)) {
        fail(name + ": not a file of the queue " + place.folder);
        return false;
    }
    auto renamed = [&](const std::string &target) {
        if (renameNoReplace(path, place.folder + "/" + target))
            return true;
        fail(name + ": cannot be renamed to " + target + " (a file of that name is there)");
        return false;
    };
    switch (action) {
    case Action::Hold:
        if (kind != QueueKind::Released) {
            fail(name + ": not in the released queue");
            return false;
        }
        return renamed(heldName(name));
    case Action::Release:
        if (kind != QueueKind::Held) {
            fail(name + ": not in the held queue");
            return false;
        }
        return renamed(releasedName(name));
    case Action::Delete:
        if (kind != QueueKind::Released && kind != QueueKind::Held && !notSent) {
            fail(name + ": not a queued file");
            return false;
        }
        if (std::remove(path.c_str()) != 0) {
            fail(name + ": cannot be deleted");
            return false;
        }
        return true;
    case Action::Retry:
        if (notSent)
            return renamed(name.substr(0, name.size() - kNotSent.size()));
        if (kind != QueueKind::Released) {
            fail(name + ": not in the released queue");
            return false;
        }
        // A new time: the console tries a file again once it has changed.
        if (utimensat(AT_FDCWD, path.c_str(), nullptr, 0) != 0) {
            fail(name + ": its time cannot be set");
            return false;
        }
        return true;
    }
    return false;
}

int runAction(Action action, const char *verb, const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {"queue"}, {}, parsed))
        return 2;
    if (parsed.positionals.empty()) {
        fail(std::string("usage: keltool ") + verb + " NAME... [--queue DIR]");
        return 2;
    }
    QueuePlace place;
    if (!placeQueue(parsed.option("queue"), place))
        return 2;
    const JobLog record(place.env->settings.jobLog);
    int code = 0;
    for (const std::string &name : parsed.positionals) {
        if (!act(action, place, name)) {
            code = 1;
            continue;
        }
        JobLogEntry e;
        e.event = "command";
        e.file = name;
        e.outcome = "obeyed";
        e.detail = std::string("keltool ") + verb;
        record.append(e);
    }
    return code;
}

int runJobs(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {"since"}, {"failed"}, parsed) || !parsed.positionals.empty()) {
        fail("usage: keltool jobs [--since TIME] [--failed]");
        return 2;
    }
    QDateTime since;
    if (const std::string *text = parsed.option("since")) {
        since = QDateTime::fromString(QString::fromStdString(*text), Qt::ISODate);
        if (!since.isValid()) {
            fail("--since takes a time such as 2026-12-11T14:05:09 or 2026-12-11, not \"" + *text +
                 "\"");
            return 2;
        }
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    if (env->settings.jobLog.empty()) {
        fail("no job record: JOB_LOG is not set in " + env->folders.inProgram("KEL.INI"));
        return 2;
    }
    const bool failedOnly = parsed.flag("failed");
    for (const JobLogEntry &e : readJobLog(env->settings.jobLog)) {
        if (failedOnly && e.outcome != "failed")
            continue;
        if (since.isValid() &&
            QDateTime::fromString(QString::fromStdString(e.time), Qt::ISODate) < since)
            continue;
        std::string line = jobLogLine(e);
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

const CommandRegistration queueReg(
    {"queue", "[DIR]",
     "list the queue (DIR, else QUEUE_PATH): STATE, NAME, SIZE, TIME, REASON, tab-separated; "
     "STATE is released, held, failed (its last job in JOB_LOG failed; REASON says why) or "
     "not-sent",
     &runQueue});
const CommandRegistration
    holdReg({"hold", "NAME... [--queue DIR]", "move released files to the held queue",
             [](const Args &a) { return runAction(Action::Hold, "hold", a); }});
const CommandRegistration
    releaseReg({"release", "NAME... [--queue DIR]", "move held files to the released queue",
                [](const Args &a) { return runAction(Action::Release, "release", a); }});
const CommandRegistration
    deleteReg({"delete", "NAME... [--queue DIR]",
               "delete queued files (a file being printed is printed to its end)",
               [](const Args &a) { return runAction(Action::Delete, "delete", a); }});
const CommandRegistration
    retryReg({"retry", "NAME... [--queue DIR]",
              "try failed files again (NAME.NOT_SENT is renamed back to NAME)",
              [](const Args &a) { return runAction(Action::Retry, "retry", a); }});
const CommandRegistration jobsReg(
    {"jobs", "[--since TIME] [--failed]",
     "print the job record (JOB_LOG), one tab-separated line per event, oldest first", &runJobs});

} // namespace
} // namespace kel::cli
