#include "console/consoleengine.h"

#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "console/commandfile.h"
#include "console/consolemessages.h"
#include "console/transferhooks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/statvfs.h>
#include <unordered_set>

namespace kel {
namespace {

constexpr const char *kAutoexec = "AUTOEXEC.CMD";

QString pathText(const std::string &path)
{
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}

// ENOSPC when the file system of `folder` has no room left for a working
// file (blocks or inodes), 0 otherwise.
int folderFull(const std::string &folder)
{
    struct statvfs fs
    {
    };
    if (folder.empty() || statvfs(folder.c_str(), &fs) != 0)
        return 0;
    constexpr uint64_t kRoomNeeded = 64 * 1024;
    const bool noBlocks = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize < kRoomNeeded;
    const bool noInodes = fs.f_files > 0 && fs.f_favail == 0;
    return noBlocks || noInodes ? ENOSPC : 0;
}

} // namespace

ConsoleEngine::ConsoleEngine(const ConsoleContext &context, const ConsoleClock &clock)
    : m_context(context), m_clock(clock), m_processor(context)
{
    m_processor.setJournal(&m_journal);
    setQuietMs(settleMsOf(context.settings));
}

int64_t ConsoleEngine::settleMsOf(const SettingsRecord &settings)
{
    const std::string text = trimmedCopy(settings.settleSeconds);
    if (text.empty())
        return kDefaultQuietMs;
    // The leading number of the value, as every number of the settings.
    const double seconds = std::strtod(text.c_str(), nullptr);
    if (!(seconds > 0))
        return 0;
    return static_cast<int64_t>(std::min(seconds, 3600.0) * 1000);
}

void ConsoleEngine::fileEvent(const std::string &name, FileEvent event)
{
    m_intake.note(name, event, m_clock.nowMs());
}

ConsoleEngine::~ConsoleEngine() = default;

void ConsoleEngine::addObserver(ConsoleObserver *observer)
{
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void ConsoleEngine::removeObserver(ConsoleObserver *observer)
{
    std::erase(m_observers, observer);
}

void ConsoleEngine::tellStatus(int number, const std::string &detail)
{
    for (ConsoleObserver *o : std::vector(m_observers))
        o->status(number, detail);
}

void ConsoleEngine::setQueueOpen(bool open)
{
    m_open = open;
    for (ConsoleObserver *o : std::vector(m_observers))
        o->queueStateChanged(open);
}

void ConsoleEngine::start(StartQueue queue)
{
    m_folder = m_context.settings.queuePath;
    m_types = QueueTypes::fromSettings(m_context.settings);
    setQueueOpen(queue == StartQueue::Open);
    recoverJournal();

    // The start-up command file is obeyed; every command file left from
    // before the start, itself included, is then discarded unread.
    tellStatus(90);
    const std::vector<std::string> left = filesEndingIn(m_folder, ".cmd");
    for (const std::string &name : left) {
        if (equalsNoCase(name, kAutoexec))
            obeyCommandFile(name);
        if (m_shutdown)
            return;
    }
    tellStatus(91);
    for (const std::string &name : left)
        std::remove((m_folder + "/" + name).c_str());

    m_context.transfer.start(m_folder);
    look();
}

void ConsoleEngine::recoverJournal()
{
    // What killed consoles left half written in the queue folder and in
    // the folders of the "pdf:" printers.
    std::vector<std::string> folders{m_folder};
    for (const TypeRow &row : m_context.settings.types) {
        const std::string printer = trimmedCopy(row.printer);
        if (startsWithNoCase(printer, "pdf:"))
            folders.push_back(printer.substr(4));
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::string &folder : folders)
        removeDeadWorkingFiles(folder);

    if (!m_journal.open(m_context.folders.temp + "/" + kJournalName))
        return;
    const Messages &m = m_context.messages;
    for (const Journal::Recovered &r : m_journal.recover(m_folder, m_jobLookup)) {
        if (r.action != Journal::Recovered::Action::DeletedAsDone)
            continue;
        QString text = m.qtext(kMsgDoneBeforeStop) + QStringLiteral(" ") + pathText(r.name);
        if (!r.destination.empty())
            text += QStringLiteral(" (") + pathText(r.destination) + QStringLiteral(")");
        m_context.prompter.notice(kMsgDoneBeforeStop, text, m.qtext(kMsgCaption));
    }
}

QueueListing ConsoleEngine::listing() const
{
    return listQueue(m_folder, m_types);
}

QueueListing ConsoleEngine::look()
{
    QueueListing listing = listQueue(m_folder, m_types);
    const int64_t now = m_clock.nowMs();
    m_settling.observe({&listing.held, &listing.released}, now);
    m_commandSettling.observe({&listing.commands}, now);
    // Only files the watch said nothing about need the writers' list.
    const auto unknown = [this](const std::vector<QueueEntry> &list) {
        return std::any_of(list.begin(), list.end(),
                           [this](const QueueEntry &e) { return !m_intake.known(e.name); });
    };
    m_openForWriting.clear();
    if (unknown(listing.released) || unknown(listing.commands))
        m_openForWriting = inodesOpenForWriting(m_folder);
    if (listing.readable)
        m_intake.keepOnly({&listing.held, &listing.released, &listing.commands});
    if (!listing.readable && !m_folderReported) {
        m_folderReported = true;
        m_context.prompter.error(kMsgQueueUnreadable,
                                 m_context.messages.qtext(kMsgQueueUnreadable) +
                                     QStringLiteral(" ") + pathText(m_folder),
                                 m_context.messages.qtext(kMsgErrorTitle));
    } else if (listing.readable) {
        m_folderReported = false;
    }
    // Forget left files that are gone or were renamed away. A queue that
    // waits for its printer leaves every file, so this is a set lookup per
    // file, not a walk of the whole list per file.
    if (!m_left.empty()) {
        std::unordered_set<std::string_view> present;
        for (const QueueEntry &e : listing.released)
            present.insert(e.name);
        std::erase_if(m_left, [&](const auto &item) { return !present.contains(item.first); });
    }
    publishCounts(listing);
    return listing;
}

void ConsoleEngine::publishCounts(const QueueListing &listing)
{
    m_lastLook = listing;
    for (ConsoleObserver *o : std::vector(m_observers))
        o->countsChanged(heldCount(), releasedCount());
}

bool ConsoleEngine::settled(const QueueEntry &entry) const
{
    const int64_t now = m_clock.nowMs();
    if (m_intake.known(entry.name))
        return m_intake.complete(entry.name, now);
    // Settled by the rule, and no writer held it open at the last look: a
    // file found at start while its writer pauses is not taken half.
    return m_settling.settled(entry, now) && !heldOpenForWriting(entry);
}

bool ConsoleEngine::commandSettled(const QueueEntry &entry) const
{
    const int64_t now = m_clock.nowMs();
    if (m_intake.known(entry.name))
        return m_intake.complete(entry.name, now);
    return m_commandSettling.settled(entry, now) && !heldOpenForWriting(entry);
}

bool ConsoleEngine::heldOpenForWriting(const QueueEntry &entry) const
{
    if (!m_openForWriting.contains(entry.inode))
        return false;
    // The list is from the start of the pass: the inode of a file closed
    // and removed since may already name a new file. Looked at once more.
    m_openForWriting = inodesOpenForWriting(m_folder);
    return m_openForWriting.contains(entry.inode);
}

std::optional<int64_t> ConsoleEngine::nextLookIn() const
{
    const int64_t now = m_clock.nowMs();
    // The pass goes on at once; files that settled while a pass was busy
    // are taken at once.
    if (m_pass || (m_pending && m_open))
        return 0;
    const auto byWatch = [this](const std::string &name) { return m_intake.known(name); };
    std::optional<int64_t> at = m_settling.nextSettleAt(now, byWatch);
    const auto earliest = [&at](std::optional<int64_t> t) {
        if (t)
            at = at ? std::min(*at, *t) : *t;
    };
    earliest(m_commandSettling.nextSettleAt(now, byWatch));
    earliest(m_intake.nextCompleteAt(now));
    if (m_open) {
        for (const auto &[name, left] : m_left) {
            if (left.retry && left.retryAtMs > now)
                earliest(left.retryAtMs);
        }
    }
    if (!at)
        return std::nullopt;
    return std::max<int64_t>(0, *at - now);
}

void ConsoleEngine::runCommandFiles(const std::vector<QueueEntry> &commands)
{
    for (const QueueEntry &e : commands) {
        if (!commandSettled(e) || !obeyCommandFile(e.name))
            continue;
        // SHUTDOWN: the file stays, and is discarded unread at the next start.
        if (m_shutdown)
            return;
        std::remove((m_folder + "/" + e.name).c_str());
    }
}

bool ConsoleEngine::obeyCommandFile(const std::string &name)
{
    std::string bytes;
    if (!readFile(m_folder + "/" + name, bytes))
        return false;
    std::vector<UnknownCommandLine> unknown;
    const std::vector<Verb> verbs = parseCommandFile(bytes, &unknown);
    // Lines that are no verb are ignored, but the program that wrote them
    // meant something: say which, once, since the file goes after this.
    if (!unknown.empty()) {
        const Messages &m = m_context.messages;
        QString text = m.qtext(kMsgQueueError);
        for (const UnknownCommandLine &u : unknown) {
            text += QStringLiteral("\n%1, line %2: \"%3\" is no command; it is ignored.")
                        .arg(pathText(name), QString::number(u.number), fromCp1252(u.text));
        }
        m_context.prompter.error(kMsgQueueError, text, m.qtext(kMsgErrorTitle));
    }
    for (Verb verb : verbs) {
        obey(verb);
        if (m_shutdown)
            break;
    }
    return true;
}

void ConsoleEngine::obey(Verb verb)
{
    switch (verb) {
    case Verb::CloseQueue:
        setQueueOpen(false);
        break;
    case Verb::OpenQueue:
        setQueueOpen(true);
        break;
    case Verb::HoldAll:
        renameAll(true);
        break;
    case Verb::ReleaseAll:
        renameAll(false);
        break;
    case Verb::Shutdown:
        m_shutdown = true;
        for (ConsoleObserver *o : std::vector(m_observers))
            o->shutdownRequested();
        break;
    case Verb::EmptyHeldQueue:
        deletePattern(".ke");
        break;
    case Verb::EmptyReleasedQueue:
        deletePattern(".kel");
        break;
    case Verb::MinimizeMe:
    case Verb::RestoreMe:
        for (ConsoleObserver *o : std::vector(m_observers))
            o->windowRequested(verb == Verb::RestoreMe);
        break;
    }
}

void ConsoleEngine::renameAll(bool toHeld)
{
    // The queue is closed while the files are renamed and then put back as
    // it was, so no file is taken for printing in between.
    const bool wasOpen = m_open;
    setQueueOpen(false);
    const QueueListing now = listQueue(m_folder, m_types);
    for (const QueueEntry &e : toHeld ? now.released : now.held) {
        const std::string target = toHeld ? heldName(e.name) : releasedName(e.name);
        renameNoReplace(m_folder + "/" + e.name, m_folder + "/" + target);
    }
    setQueueOpen(wasOpen);
}

void ConsoleEngine::deletePattern(std::string_view extension)
{
    for (const std::string &name : filesEndingIn(m_folder, extension))
        std::remove((m_folder + "/" + name).c_str());
}

void ConsoleEngine::tick()
{
    if (m_shutdown)
        return;
    if (m_context.transfer.holdsMainTick()) {
        // A forwarding holds the folder: the pass ends without its end and
        // the tick after the forwarding starts over.
        m_pass.reset();
        return;
    }
    if (!m_pass) {
        m_pending = false;
        beginPass();
        return;
    }
    stepPass();
}

bool ConsoleEngine::takeNow(const QueueEntry &entry) const
{
    if (!settled(entry))
        return false;
    const auto left = m_left.find(entry.name);
    if (left == m_left.end() || !left->second.entry.sameAs(entry))
        return true;
    return left->second.retry && m_clock.nowMs() >= left->second.retryAtMs;
}

void ConsoleEngine::beginPass()
{
    QueueListing listing = look();
    runCommandFiles(listing.commands);
    if (m_shutdown)
        return;
    if (!listing.commands.empty())
        listing = look();
    Pass pass{m_folder, {}, 0, false};
    if (m_open) {
        for (const QueueEntry &entry : listing.released) {
            if (takeNow(entry))
                pass.files.push_back(entry);
        }
    }
    if (pass.files.empty()) {
        tellStatus(96);
        m_context.transfer.tickEnded();
        return;
    }
    tellStatus(95);
    m_pass = std::move(pass);
}

void ConsoleEngine::stepPass()
{
    Pass &pass = *m_pass;
    while (pass.next < pass.files.size()) {
        const QueueEntry entry = pass.files[pass.next++];
        // A command file that arrived meanwhile goes first.
        std::vector<QueueEntry> commands = listCommandFiles(m_folder);
        if (!commands.empty()) {
            m_commandSettling.observe({&commands}, m_clock.nowMs());
            runCommandFiles(commands);
            if (m_shutdown)
                return;
        }
        if (!m_open || m_folder != pass.folder || m_context.transfer.holdsMainTick())
            break;
        // The file must still be the one that settled, and still complete
        // by what the watch heard since the pass began.
        const std::optional<QueueEntry> current = statQueueFile(m_folder, entry.name);
        if (!current || !current->sameAs(entry) || !takeNow(entry))
            continue;
        pass.handledAny = true;
        handle(entry);
        if (m_shutdown)
            return;
        // A forwarding holds the main tick until the transfer ends it.
        if (m_context.transfer.holdsMainTick()) {
            m_pass.reset();
            return;
        }
        if (pass.next < pass.files.size())
            return;
        break;
    }
    endPass();
}

void ConsoleEngine::endPass()
{
    const bool handledAny = m_pass->handledAny;
    m_pass.reset();
    if (handledAny) {
        const QueueListing after = look();
        m_pending = m_open && std::any_of(after.released.begin(), after.released.end(),
                                          [&](const QueueEntry &e) {
                                              return settled(e) && !m_left.contains(e.name);
                                          });
    }
    tellStatus(96);
    m_context.transfer.tickEnded();
}

void ConsoleEngine::handle(const QueueEntry &entry)
{
    tellStatus(93, entry.name);
    HandledFile file{entry.name, m_processor.process(m_folder, entry.name)};
    using Kind = ProcessOutcome::Kind;
    if (file.outcome.kind == Kind::Gone)
        return;
    if (file.outcome.kind != Kind::Left) {
        m_left.erase(entry.name);
        report(file);
        return;
    }
    // A job refused while the temporary or the queue folder has no room
    // left may well have been refused for that: it is tried again when
    // room returns, whatever the refusal said, and the reason is named.
    // The cause is said once: a full folder, else the refusal as it is.
    std::string cause;
    for (const std::string &folder : {m_context.folders.temp, m_folder}) {
        if (const int error = folderFull(folder)) {
            file.outcome.retry = true;
            cause = folder + ": " + std::strerror(error);
            file.outcome.reason.detail += (file.outcome.reason.detail.empty() ? "" : "; ") + cause;
            break;
        }
    }
    // Said once per cause while the file stays as it is; a cause that may
    // pass is tried again at growing intervals.
    const int64_t now = m_clock.nowMs();
    const Refusal &why = file.outcome.reason;
    const auto it = m_left.find(entry.name);
    const bool same = it != m_left.end() && it->second.entry.sameAs(entry);
    const Refusal said{why.message, cause.empty() ? why.detail : cause};
    const bool saidBefore =
        same && it->second.said.message == said.message && it->second.said.detail == said.detail;
    LeftFile left{entry, file.outcome.retry, said, 0, kFirstRetryMs};
    if (same && it->second.retry)
        left.waitMs = std::min(it->second.waitMs * 2, kLongestRetryMs);
    left.retryAtMs = now + left.waitMs;
    m_left[entry.name] = left;
    if (!saidBefore)
        sayLeft(entry, why);
    report(file);
}

void ConsoleEngine::sayLeft(const QueueEntry &entry, const Refusal &why)
{
    const Messages &m = m_context.messages;
    QString reason;
    if (why.message >= 0)
        reason = m.qtext(why.message);
    if (!why.detail.empty()) {
        reason += reason.isEmpty()
                      ? pathText(why.detail)
                      : QStringLiteral(" (") + pathText(why.detail) + QStringLiteral(")");
    }
    m_context.prompter.error(kMsgQueueError,
                             m.qtext(kMsgQueueError) + QStringLiteral("\n") +
                                 m.qtext(kMsgFileLeft) + QStringLiteral(" ") +
                                 pathText(entry.name) + QStringLiteral("\n") + reason,
                             m.qtext(kMsgErrorTitle));
}

void ConsoleEngine::report(const HandledFile &file)
{
    for (ConsoleObserver *o : std::vector(m_observers))
        o->fileHandled(file);
}

void ConsoleEngine::setQueueFolder(const std::string &folder)
{
    m_folder = folder;
    m_context.settings.queuePath = folder;
    m_left.clear();
    m_intake.forgetAll();
    m_folderReported = false;
    look();
}

void ConsoleEngine::reloadTypes()
{
    m_types = QueueTypes::fromSettings(m_context.settings);
    look();
}

void ConsoleEngine::holdFiles(const std::vector<std::string> &names)
{
    for (const std::string &n : names)
        renameNoReplace(m_folder + "/" + n, m_folder + "/" + heldName(n));
    look();
}

void ConsoleEngine::releaseFiles(const std::vector<std::string> &names)
{
    for (const std::string &n : names)
        renameNoReplace(m_folder + "/" + n, m_folder + "/" + releasedName(n));
    look();
}

void ConsoleEngine::deleteFiles(const std::vector<std::string> &names)
{
    for (const std::string &n : names)
        std::remove((m_folder + "/" + n).c_str());
    look();
}

void ConsoleEngine::emptyHeldList()
{
    std::vector<std::string> names;
    for (const QueueEntry &e : listing().held)
        names.push_back(e.name);
    deleteFiles(names);
}

void ConsoleEngine::emptyReleasedList()
{
    std::vector<std::string> names;
    for (const QueueEntry &e : listing().released)
        names.push_back(e.name);
    deleteFiles(names);
}

} // namespace kel
