#include "transfer/receiver.h"

#include "app/text.h"
#include "transfer/protocol.h"
#include "transfer/transfermessages.h"
#include "transfer/workfiles.h"

#include <algorithm>

namespace kel {
namespace {
// Without an open file a command line waits whole; one longer than two
// blocks is no message of the protocol (a path is far shorter).
constexpr size_t kMaxCommandBytes = 2 * wire::kBlockSize;
} // namespace

// ---- MemoryFiles ----

bool MemoryFiles::begin(const std::string &name)
{
    m_name = name;
    m_data.clear();
    m_open = true;
    return true;
}

bool MemoryFiles::write(std::string_view bytes)
{
    m_data += bytes;
    return true;
}

bool MemoryFiles::commit()
{
    m_files[m_name] = std::move(m_data);
    m_data.clear();
    m_open = false;
    return true;
}

void MemoryFiles::discard()
{
    m_data.clear();
    m_open = false;
}

// ---- QueueFolderFiles ----

QueueFolderFiles::QueueFolderFiles(std::string folder) : m_folder(std::move(folder)) {}

QueueFolderFiles::~QueueFolderFiles()
{
    discard();
}

bool QueueFolderFiles::begin(const std::string &name)
{
    discard();
    // The working name lies in the queue folder (one file system for the
    // rename) and outside every queue filter, so nothing takes it for work.
    m_file = std::make_unique<AtomicFile>(m_folder + "/" + name,
                                          m_folder + "/" + workingFileName("receiving"));
    if (!m_file->open()) {
        m_file.reset();
        return false;
    }
    return true;
}

bool QueueFolderFiles::write(std::string_view bytes)
{
    return m_file && m_file->write(bytes).ok();
}

bool QueueFolderFiles::commit()
{
    if (!m_file)
        return false;
    // A file sent again replaces the one that arrived before, as a
    // receiver always has; the folder is flushed before the last "OK".
    const bool committed = m_file->commit(Replace::Allowed).ok();
    m_file.reset();
    return committed;
}

void QueueFolderFiles::discard()
{
    // Dropping the writer removes its working file.
    m_file.reset();
}

std::string QueueFolderFiles::workingPath() const
{
    return m_file ? m_file->workingPath() : std::string();
}

// ---- ReceiverSession ----

ReceiverSession::ReceiverSession(ReceivedFiles &files, Events events, ReceiverPolicy policy)
    : m_files(files), m_events(std::move(events)), m_policy(policy)
{
}

ReceiverSession::~ReceiverSession()
{
    abandonFile();
}

std::string ReceiverSession::greeting() const
{
    return std::string(wire::kGreeting);
}

std::string ReceiverSession::take(size_t length)
{
    std::string message = m_pending.substr(0, length);
    m_pending.erase(0, length);
    return message;
}

size_t ReceiverSession::room() const
{
    return m_pending.size() < kMaxCommandBytes ? kMaxCommandBytes + 1 - m_pending.size() : 1;
}

std::string ReceiverSession::onData(std::string_view bytes)
{
    std::string reply;
    if (m_close)
        return reply;
    if (!m_announced) {
        status("Receiving data...");
        m_announced = true;
    }
    m_pending += bytes;
    drain(reply);
    return reply;
}

// Takes every message that is whole without waiting for the line to go
// quiet (see the framing rules at the top of receiver.h).
void ReceiverSession::drain(std::string &reply)
{
    while (!m_close && !m_pending.empty()) {
        if (m_pending == wire::kEndOfFile || m_pending == wire::kCloseConnection) {
            handle(take(m_pending.size()), reply);
        } else if (m_fileOpen || m_pending.front() != '.') {
            if (m_pending.size() < wire::kBlockSize)
                return;
            handle(take(wire::kBlockSize), reply);
        } else {
            // A command line without an open file: its end is known only
            // by the quiet after it.
            if (m_pending.size() > kMaxCommandBytes) {
                const std::string head = m_pending.substr(0, 40);
                m_pending.clear();
                refuse(transfermsg::kNameTooLong, head + "...");
            }
            return;
        }
    }
}

std::string ReceiverSession::onQuiet()
{
    std::string reply;
    if (!m_close && !m_pending.empty())
        handle(take(m_pending.size()), reply);
    return reply;
}

void ReceiverSession::onClosed()
{
    std::string ignored;
    if (!m_close && !m_pending.empty())
        handle(take(m_pending.size()), ignored);
    m_pending.clear();
    abandonFile();
    m_close = true;
}

void ReceiverSession::status(const std::string &text)
{
    if (m_events.status)
        m_events.status(text);
}

// No "OK": the sender learns that the file did not arrive.
void ReceiverSession::refuse(int message, const std::string &detail)
{
    abandonFile();
    if (m_events.refused)
        m_events.refused(message, detail);
    m_close = true;
}

void ReceiverSession::endFile()
{
    if (!m_fileOpen)
        return;
    m_fileOpen = false;
    if (m_files.commit()) {
        ++m_received;
        if (m_events.received)
            m_events.received(m_name);
    } else {
        status("Received file could not be stored: " + m_name);
        m_close = true;
    }
}

void ReceiverSession::abandonFile()
{
    if (m_fileOpen) {
        m_files.discard();
        m_fileOpen = false;
    }
}

void ReceiverSession::startFile(std::string_view message, std::string_view command)
{
    abandonFile();
    m_name = wire::receivedFileName(message);
    if (m_name.empty()) {
        // Answering "OK" would let the sender think the file arrived;
        // closing makes it try again and then report it as not sent.
        const size_t name = std::min(command.size() + 1, message.size());
        status("Refused file name: " + std::string(message.substr(name)));
        m_close = true;
        return;
    }
    // A command file obeyed at the next tick could stop the console or
    // empty its queue: a peer may not send one unless the site allows it.
    if (!m_policy.commandFiles && endsWithNoCase(m_name, ".cmd")) {
        refuse(transfermsg::kCommandFileRefused, m_name);
        return;
    }
    if (!m_files.begin(m_name)) {
        status("Received file could not be stored: " + m_name);
        m_files.discard();
        m_close = true;
        return;
    }
    m_fileOpen = true;
    m_fileBytes = 0;
}

// A message beginning with "." may be a command: the text before its first
// "=" names it. A full 900-byte message while a file is open is always a
// data block (no command is that long), so a file whose block happens to
// begin with ".END_OF_FILE" still arrives whole. A command name the protocol
// does not know makes the message data.
void ReceiverSession::handle(std::string_view message, std::string &reply)
{
    const bool fullBlock = m_fileOpen && message.size() == wire::kBlockSize;
    if (!message.empty() && message.front() == '.' && !fullBlock) {
        const std::string_view command = message.substr(0, message.find('='));
        if (command == wire::kEndOfFile) {
            endFile();
            if (!m_close)
                reply += wire::kOk;
            return;
        }
        if (command == wire::kCloseConnection) {
            // Without ".END_OF_FILE" the file is not known to be whole.
            abandonFile();
            reply += wire::kOk;
            m_close = true;
            return;
        }
        if (command == wire::kReceiveFile) {
            startFile(message, command);
            if (!m_close)
                reply += wire::kOk;
            return;
        }
    }
    // Data. Without an open file there is nowhere to put it; it is answered
    // all the same, as the protocol answers every message.
    if (m_fileOpen) {
        if (m_fileBytes + message.size() > m_policy.maxFileBytes) {
            refuse(transfermsg::kTooLarge, m_name);
            return;
        }
        if (!m_files.write(message)) {
            status("Received file could not be stored: " + m_name);
            abandonFile();
            m_close = true;
            return;
        }
        m_fileBytes += message.size();
    }
    reply += wire::kOk;
}

std::map<std::string, std::string> receiveStream(const std::vector<std::string> &arrivals,
                                                 std::string *replies, ReceiverPolicy policy)
{
    MemoryFiles files;
    std::string sent;
    {
        ReceiverSession session(files, {}, policy);
        for (const std::string &a : arrivals)
            sent += a.empty() ? session.onQuiet() : session.onData(a);
        session.onClosed();
    }
    if (replies)
        *replies = std::move(sent);
    return files.files();
}

} // namespace kel
