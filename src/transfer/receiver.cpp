#include "transfer/receiver.h"

#include "transfer/protocol.h"
#include "transfer/workfiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kel {

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
    m_name = name;
    m_partPath = m_folder + "/" + workingFileName("receiving");
    // "x": never follow or reuse something that already has the working name.
    m_file = std::fopen(m_partPath.c_str(), "wbx");
    return m_file != nullptr;
}

bool QueueFolderFiles::write(std::string_view bytes)
{
    return m_file && std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
}

bool QueueFolderFiles::commit()
{
    if (!m_file)
        return false;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    std::error_code ec;
    if (closed)
        std::filesystem::rename(m_partPath, m_folder + "/" + m_name, ec);
    if (!closed || ec) {
        std::filesystem::remove(m_partPath, ec);
        m_partPath.clear();
        return false;
    }
    m_partPath.clear();
    return true;
}

void QueueFolderFiles::discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_partPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_partPath, ec);
        m_partPath.clear();
    }
}

// ---- ReceiverSession ----

ReceiverSession::ReceiverSession(ReceivedFiles &files, Events events)
    : m_files(files), m_events(std::move(events))
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
    while (!m_close && m_pending.size() >= wire::kBlockSize)
        handle(take(wire::kBlockSize), reply);
    return reply;
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
            if (!m_files.begin(m_name)) {
                status("Received file could not be stored: " + m_name);
                m_files.discard();
                m_close = true;
                return;
            }
            m_fileOpen = true;
            reply += wire::kOk;
            return;
        }
    }
    // Data. Without an open file there is nowhere to put it; it is answered
    // all the same, as the protocol answers every message.
    if (m_fileOpen && !m_files.write(message)) {
        status("Received file could not be stored: " + m_name);
        abandonFile();
        m_close = true;
        return;
    }
    reply += wire::kOk;
}

std::map<std::string, std::string> receiveStream(const std::vector<std::string> &arrivals)
{
    MemoryFiles files;
    {
        ReceiverSession session(files);
        for (const std::string &a : arrivals) {
            if (a.empty())
                session.onQuiet();
            else
                session.onData(a);
        }
        session.onClosed();
    }
    return files.files();
}

} // namespace kel
