// The receiving end of one TCP transfer connection, as a plain object.
//
// The socket glue (TcpReceiver) feeds it the bytes that arrive and tells it
// when the line has gone quiet or closed; the session answers with the bytes
// to send back. Without sockets or files (ReceivedFiles may be in memory) it
// serves tests and fuzzing as it serves the console.
//
// Framing: a sender waits for "OK" before its next message, so what has
// arrived belongs to one message. It is taken as a message as soon as 900
// bytes are in (a full data block), or when the line has been quiet for a
// short moment, or when the peer closes: a block that the network split is
// still one block, and messages that arrive joined are still parted at 900.
//
// A file is written where it cannot be taken for work (ReceivedFiles) and
// takes its name only on ".END_OF_FILE"; a connection that ends earlier
// leaves nothing behind.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

// Where a session writes the files it receives, one at a time.
class ReceivedFiles
{
public:
    virtual ~ReceivedFiles() = default;
    // Starts a file that will take the (already checked, bare) name. False
    // when it cannot be created.
    virtual bool begin(const std::string &name) = 0;
    // False when the bytes cannot be written (disk full).
    virtual bool write(std::string_view bytes) = 0;
    // The file is complete and takes its name, replacing a file of that
    // name. False when it cannot; nothing of it is left then.
    virtual bool commit() = 0;
    // The file is abandoned; nothing of it is left.
    virtual void discard() = 0;
};

// Files kept in memory: for tests and fuzzing.
class MemoryFiles : public ReceivedFiles
{
public:
    bool begin(const std::string &name) override;
    bool write(std::string_view bytes) override;
    bool commit() override;
    void discard() override;

    const std::map<std::string, std::string> &files() const { return m_files; }
    bool open() const { return m_open; }

private:
    std::map<std::string, std::string> m_files;
    std::string m_name;
    std::string m_data;
    bool m_open = false;
};

// Files of a queue folder: written under a working name in the folder
// (workfiles.h) and renamed on commit.
class QueueFolderFiles : public ReceivedFiles
{
public:
    explicit QueueFolderFiles(std::string folder);
    ~QueueFolderFiles() override;
    QueueFolderFiles(const QueueFolderFiles &) = delete;
    QueueFolderFiles &operator=(const QueueFolderFiles &) = delete;

    bool begin(const std::string &name) override;
    bool write(std::string_view bytes) override;
    bool commit() override;
    void discard() override;

private:
    std::string m_folder;
    std::string m_name;
    std::string m_partPath;
    std::FILE *m_file = nullptr;
};

class ReceiverSession
{
public:
    struct Events
    {
        std::function<void(const std::string &text)> status;   // status texts
        std::function<void(const std::string &name)> received; // a file took its name
    };

    explicit ReceiverSession(ReceivedFiles &files, Events events = {});
    // An unfinished file is discarded.
    ~ReceiverSession();
    ReceiverSession(const ReceiverSession &) = delete;
    ReceiverSession &operator=(const ReceiverSession &) = delete;

    // What to send right after the connection is accepted (".").
    std::string greeting() const;
    // Bytes that arrived; returns what to send back (an "OK" per message
    // taken). Ignored once the session wants to close.
    std::string onData(std::string_view bytes);
    // The line has been quiet: what has arrived is one message.
    std::string onQuiet();
    // The peer closed: what has arrived is one last message (a sender that
    // closes right after ".END_OF_FILE" still delivers its file); an
    // unfinished file is then discarded.
    void onClosed();

    // Bytes wait for the quiet moment that makes them a message.
    bool hasPending() const { return !m_pending.empty(); }
    // The connection is to be closed (".CLOSE_CONNECTION", a refused name, a
    // file that cannot be written), after sending what the last call returned.
    bool wantsClose() const { return m_close; }
    bool receiving() const { return m_fileOpen; }
    int filesReceived() const { return m_received; }

private:
    std::string take(size_t length);
    void handle(std::string_view message, std::string &reply);
    void status(const std::string &text);
    void endFile();
    void abandonFile();

    ReceivedFiles &m_files;
    Events m_events;
    std::string m_pending;
    std::string m_name; // of the open file
    bool m_fileOpen = false;
    bool m_close = false;
    bool m_announced = false;
    int m_received = 0;
};

// The whole receiving side over bytes, without sockets or files (fuzzing,
// tests): each arrival comes off the line in order, an empty one standing
// for a quiet moment; then the peer closes. Returns the files that took
// their names.
std::map<std::string, std::string> receiveStream(const std::vector<std::string> &arrivals);

} // namespace kel
