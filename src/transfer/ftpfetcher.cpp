#include "transfer/ftpfetcher.h"

#include "app/messages.h"
#include "app/text.h"
#include "transfer/workfiles.h"
#include "transfer/xtod.h"

#include <filesystem>

namespace kel {
namespace {

namespace fs = std::filesystem;

constexpr size_t kNameSlots = 1000;

bool endsWithAny(std::string_view name, std::initializer_list<std::string_view> endings)
{
    if (name.size() < 4)
        return false;
    const std::string last = upper(name.substr(name.size() - 4));
    for (std::string_view e : endings) {
        if (last == e)
            return true;
    }
    return false;
}

} // namespace

ListedNames readListing(std::string_view listing)
{
    ListedNames out;
    LineSplitter lines(listing);
    std::string_view line;
    while (out.names.size() < kNameSlots && lines.next(line)) {
        const std::string_view name = trimmed(line);
        if (name.empty() || name == "." || name == ".." || name == "./" || name == "../")
            continue;
        if (!isPlainFileName(name)) {
            out.skipped.emplace_back(name);
            continue;
        }
        out.names.emplace_back(name);
        if (endsWithAny(name, {".KEL", ".KEZ", ".TXT", ".LST", ".PRN", ".CMD"}))
            out.workWaiting = true;
    }
    return out;
}

bool convertsLineEnds(std::string_view name)
{
    return endsWithAny(name, {".KEL", ".KEZ", ".TXT", ".LST", ".PRN", ".CMD", ".INS"});
}

FtpFetcher::FtpFetcher(FtpClient &client, Environment environment)
    : m_client(client), m_env(std::move(environment))
{
}

void FtpFetcher::status(const std::string &text)
{
    if (m_env.status)
        m_env.status(text);
}

void FtpFetcher::check()
{
    if (m_phase != Phase::Idle || m_folder.empty())
        return;
    status(m_env.messages.text(99));
    m_phase = Phase::Listing;
    m_client.list([this](Result<std::string> listing) { listed(std::move(listing)); });
}

void FtpFetcher::listed(Result<std::string> listing)
{
    if (!listing) {
        status(listing.refusal().detail);
        end();
        return;
    }
    ListedNames names = readListing(*listing);
    for (const std::string &name : names.skipped)
        status("Remote file passed over (its name would leave the queue folder): " + name);
    if (!names.workWaiting) {
        end();
        return;
    }
    m_names = std::move(names.names);
    m_downloaded.assign(m_names.size(), false);
    m_index = 0;
    m_phase = Phase::Downloading;
    nextDownload();
}

void FtpFetcher::nextDownload()
{
    if (m_index >= m_names.size()) {
        completeKFiles();
        m_index = 0;
        m_phase = Phase::Deleting;
        nextDelete();
        return;
    }
    const std::string &name = m_names[m_index];
    status(m_env.messages.text(102) + " " + name);
    m_client.get(name, local(name), [this](Status done) {
        if (done)
            m_downloaded[m_index] = true;
        else
            status(done.refusal().detail);
        ++m_index;
        nextDownload();
    });
}

// Every "*.k" file of the queue folder takes the report extension: a.k
// becomes a.kel, replacing an a.kel that was there.
void FtpFetcher::completeKFiles()
{
    std::error_code ec;
    std::vector<fs::path> found;
    for (const auto &entry : fs::directory_iterator(m_folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 2 && equalsNoCase(name.substr(name.size() - 2), ".k") &&
            entry.is_regular_file(ec))
            found.push_back(entry.path());
    }
    // A rename replaces the older file at once, so a.kel is never missing
    // meanwhile.
    for (const fs::path &k : found) {
        std::error_code ignored;
        fs::rename(k, k.string() + "el", ignored);
    }
}

void FtpFetcher::nextDelete()
{
    while (m_index < m_names.size() && !m_downloaded[m_index])
        ++m_index;
    if (m_index >= m_names.size()) {
        end();
        return;
    }
    const std::string name = m_names[m_index];
    status(m_env.messages.text(101) + " " + name);
    m_client.remove(name, [this](Status done) {
        if (!done)
            status(done.refusal().detail);
        ++m_index;
        nextDelete();
    });
    if (convertsLineEnds(name))
        convert(name);
}

// The converted file is written under a working name (a fetched file of any
// name is safe from it, and a run that ends halfway leaves nothing a queue
// filter takes) and replaces the fetched one in one rename; when that fails
// the fetched file stays as it came.
void FtpFetcher::convert(const std::string &name)
{
    const std::string source = local(name);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return;
    const std::string work = local(workingFileName("converting"));
    if (!xtodFile(source, work, m_env.prompter))
        return;
    fs::rename(work, source, ec);
    if (ec) {
        status("Line ends of " + name + " not converted: " + ec.message());
        fs::remove(work, ec);
    }
}

void FtpFetcher::end()
{
    m_names.clear();
    m_downloaded.clear();
    m_index = 0;
    m_phase = Phase::Idle;
    if (checkEnded)
        checkEnded();
}

} // namespace kel
