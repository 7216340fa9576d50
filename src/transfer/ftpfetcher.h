// FTP fetching: a console with a loaded connection takes its work from a
// folder on an FTP server.
//
// A check lists the folder's names. When a name of work is among them (a
// report, template data, a listing or a command file), every listed file is
// downloaded into the queue folder ("PASA"), the "*.k" files there are
// completed to ".kel", and then every downloaded file is deleted on the
// server and the text files get CR LF line ends ("BORRA"). The console's main
// tick waits from the first download to the end of the run, so it never
// takes a file half fetched.
//
// Unlike a plain mirror of the folder: a file is deleted on the server only
// once its download succeeded, so a failed download loses nothing; a name
// that would leave the queue folder is passed over; and each file is written
// under a temporary name and takes its own only when complete.
#pragma once

#include "transfer/ftpclient.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

class Messages;
class Prompter;

struct ListedNames
{
    std::vector<std::string> names;   // at most 1000, in listing order
    std::vector<std::string> skipped; // names that would leave the queue folder
    bool workWaiting = false;
};

// Pure: the names of a listing. Each line is trimmed; empty lines, ".", "..",
// "./" and "../" are left out; a name with "/" or "\", a name starting with
// "." or holding a control character is skipped. Work waits when the last
// four characters of a name, in capitals, are ".KEL", ".KEZ", ".TXT", ".LST",
// ".PRN" or ".CMD".
ListedNames readListing(std::string_view listing);

// Whether a fetched file gets CR LF line ends: the types of work and ".INS".
bool convertsLineEnds(std::string_view name);

class FtpFetcher
{
public:
    struct Environment
    {
        const Messages &messages; // 99, 101, 102 for the status texts
        Prompter &prompter;       // the line-end conversion's boxes
        std::function<void(const std::string &text)> status;
    };

    FtpFetcher(FtpClient &client, Environment environment);

    void setQueueFolder(std::string folder) { m_folder = std::move(folder); }
    // Lists the remote folder and fetches when work waits. Does nothing while
    // a listing or a run is under way.
    void check();
    bool listing() const { return m_phase == Phase::Listing; }
    // Downloading or deleting: the main tick waits.
    bool fetching() const { return m_phase == Phase::Downloading || m_phase == Phase::Deleting; }
    // Called when a check ends (with or without a run).
    std::function<void()> checkEnded;

private:
    enum class Phase { Idle, Listing, Downloading, Deleting };

    void listed(Result<std::string> listing);
    void nextDownload();
    void completeKFiles();
    void nextDelete();
    void convert(const std::string &name);
    void end();
    void status(const std::string &text);
    std::string local(const std::string &name) const { return m_folder + "/" + name; }

    FtpClient &m_client;
    Environment m_env;
    std::string m_folder;
    Phase m_phase = Phase::Idle;
    std::vector<std::string> m_names;
    std::vector<bool> m_downloaded;
    size_t m_index = 0;
};

} // namespace kel
