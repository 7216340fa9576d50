// The receiving end of one TCP transfer connection, as a plain object.
//
// The socket glue (TcpReceiver) feeds it the bytes that arrive and tells it
// when the line has gone quiet or closed; the session answers with the bytes
// to send back. Without sockets or files (ReceivedFiles may be in memory) it
// serves tests and fuzzing as it serves the console.
//
// Framing. A sender waits for "OK" before its next message, so what has
// arrived belongs to one message; but the network may deliver a message in
// pieces, seconds apart when a piece is lost and sent again. Nothing is
// answered before its message is whole:
//   - while a file is open, 900 bytes are a whole data block at once, and so
//     are exactly ".END_OF_FILE" and ".CLOSE_CONNECTION";
//   - any shorter message (the ".RECEIVE_FILE=" line, a file's short last
//     block, a prefix of a command) is whole only once the line has been
//     quiet for longer than a piece may lag behind (TcpReceiver's quietMs),
//     or when the peer closes.
// A full block therefore costs no wait; a file costs two quiet times (its
// name and its short last block). Messages that arrive joined are still
// parted at 900 bytes. Without an open file a message beginning with "." is
// never cut, and one longer than two blocks is refused: that bounds what
// waits here to two blocks.
//
// A file is written where it cannot be taken for work (ReceivedFiles),
// flushed to disk with its folder before the "OK" to ".END_OF_FILE", and
// takes its name only then; a connection that ends earlier leaves nothing
// behind.
#pragma once

#include "app/atomicfile.h"
#include "app/files.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
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
    // The file is complete: it is flushed to disk and takes its name,
    // replacing a file of that name. False when it cannot; nothing of it is
    // left then.
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

// Files of a queue folder: written through the atomic writer under a working
// name in the folder that no queue filter takes (workfiles.h), flushed and
// renamed with the folder flushed on commit.
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

    // The working file of the file being received; empty when none is.
    std::string workingPath() const;

private:
    std::string m_folder;
    std::unique_ptr<AtomicFile> m_file;
};

// What a receiver takes from a peer.
struct ReceiverPolicy
{
    // Command files (".cmd") steer the console (SHUTDOWN, EMPTY_RELEASED_QUEUE):
    // a peer may send them only when KEL.INI TCP_COMMANDS=Y says so.
    bool commandFiles = false;
    // A file larger than the loader would ever open is refused as it
    // crosses this size.
    uint64_t maxFileBytes = kMaxReadBytes;
};

class ReceiverSession
{
public:
    struct Events
    {
        std::function<void(const std::string &text)> status;   // status texts
        std::function<void(const std::string &name)> received; // a file took its name
        // Something of the peer's refused, as a message of the language
        // file (transfermessages.h) and its detail (the file's name).
        std::function<void(int message, const std::string &detail)> refused;
    };

    explicit ReceiverSession(ReceivedFiles &files, Events events = {}, ReceiverPolicy policy = {});
    // An unfinished file is discarded.
    ~ReceiverSession();
    ReceiverSession(const ReceiverSession &) = delete;
    ReceiverSession &operator=(const ReceiverSession &) = delete;

    // What to send right after the connection is accepted (".").
    std::string greeting() const;
    // Bytes that arrived; returns what to send back (an "OK" per whole
    // message). Ignored once the session wants to close.
    std::string onData(std::string_view bytes);
    // The line has been quiet for the quiet time: what has arrived is one
    // message.
    std::string onQuiet();
    // The peer closed: what has arrived is one last message (a sender that
    // closes right after ".END_OF_FILE" still delivers its file); an
    // unfinished file is then discarded.
    void onClosed();

    // Bytes wait for the quiet moment that makes them a message.
    bool hasPending() const { return !m_pending.empty(); }
    // How many more bytes onData() may be handed at once: what waits here
    // stays within two blocks.
    size_t room() const;
    // The connection is to be closed (".CLOSE_CONNECTION", a refused name, a
    // file that cannot be written), after sending what the last call returned.
    bool wantsClose() const { return m_close; }
    bool receiving() const { return m_fileOpen; }
    // The name of the file being received.
    const std::string &fileName() const { return m_name; }
    int filesReceived() const { return m_received; }

private:
    std::string take(size_t length);
    void drain(std::string &reply);
    void handle(std::string_view message, std::string &reply);
    void startFile(std::string_view message, std::string_view command);
    void refuse(int message, const std::string &detail);
    void status(const std::string &text);
    void endFile();
    void abandonFile();

    ReceivedFiles &m_files;
    Events m_events;
    ReceiverPolicy m_policy;
    std::string m_pending;
    std::string m_name; // of the open file
    uint64_t m_fileBytes = 0;
    bool m_fileOpen = false;
    bool m_close = false;
    bool m_announced = false;
    int m_received = 0;
};

// The whole receiving side over bytes, without sockets or files (fuzzing,
// tests): each arrival comes off the line in order, an empty one standing
// for a quiet moment; then the peer closes. Returns the files that took
// their names. `replies`, when given, gets every byte sent back.
std::map<std::string, std::string> receiveStream(const std::vector<std::string> &arrivals,
                                                 std::string *replies = nullptr,
                                                 ReceiverPolicy policy = {});

} // namespace kel
