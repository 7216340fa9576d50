// What the console asks of the network transfer: forwarding reports over
// TCP, receiving them, fetching work over FTP and testing a connection.
//
// The console engine knows only this interface; the program's start-up
// wires the transfer layer into it, so the console runs (and is tested)
// without any network at all. Every call returns at once: transfers run on
// the console's event loop and say when they end through holdsMainTick().
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kel {

// A released report that the console hands over for forwarding.
struct ForwardedReport
{
    // The file that arrived in the queue (a.txt) and the report made from it
    // (a.txt.kel; the same path for a .kel file), full paths in the queue
    // folder.
    std::string releasedFile;
    std::string report;
    // Where the report's relative picture names are found; empty: the
    // report's folder. A packed report's pictures are unpacked elsewhere.
    std::string pictureFolder;
    // Working files made for the report (its unpacked pictures), deleted
    // when the forwarding ends, however it ends.
    std::vector<std::string> scratch;
};

class TransferHooks
{
public:
    virtual ~TransferHooks() = default;

    // Called once the console's start-up is done and the queue folder is
    // known: the receiver starts listening; the FTP fetcher starts when a
    // connection is loaded.
    virtual void start(const std::string & /*queueFolder*/) {}

    // True while a transfer writes into or takes from the queue folder (a
    // file being received or fetched, a report being forwarded): the main
    // tick does nothing then, so no file is printed half arrived and none is
    // taken twice.
    virtual bool holdsMainTick() const { return false; }

    // Forwards a released report to the console named by `destination`
    // (SEND_TO: a host, or host:port). The transfer takes the report's files
    // over: once the forwarding is complete it deletes them; on giving up it
    // renames the released file to its name followed by ".NOT_SENT". The
    // main tick is held meanwhile.
    virtual void forward(const ForwardedReport & /*report*/, const std::string & /*destination*/) {}

    // Whether a SEND_TO value names this console itself (its own receiver's
    // port on an address of this machine): such a report is printed here,
    // not forwarded.
    virtual bool isSelf(const std::string & /*sendTo*/) const { return false; }

    // The end of a main tick: the first one that ends while a connection is
    // loaded starts the FTP listing at once.
    virtual void tickEnded() {}

    // A connection file applied (start-up, "-F", the configuration window):
    // read it and list the FTP folder every `checkEverySeconds`.
    virtual void applyConnection(const std::string & /*cnxFile*/, int /*checkEverySeconds*/) {}
    // The connection file name changed in the configuration window: the
    // connection counts as not loaded and the listing stops until applied.
    virtual void dropConnection() {}
    // Whether a connection is loaded.
    virtual bool connectionLoaded() const { return false; }
};

// The configuration window's two connection buttons, filled by the start-up
// when the transfer layer is present.
struct ConnectionTools
{
    // Runs the connection tester on a connection file; true when it passed.
    std::function<bool(const std::string &cnxFile)> test;
    // Starts the tool that writes connection files (kelconnect).
    std::function<void()> defineConnection;
};

} // namespace kel
