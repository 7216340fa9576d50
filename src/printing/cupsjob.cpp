#include "printing/cupsjob.h"

#include "printing/cupsconnection.h"
#include "printing/printers.h"

#include <algorithm>
#include <cmath>
#include <cups/cups.h>
#include <cups/pwg.h>

namespace kel {
namespace {

// Hundredths of a millimetre, as CUPS measures paper.
int hundredthsOfMm(double twips)
{
    return static_cast<int>(std::lround(twips / 1440.0 * 2540.0));
}

// The print system's things of one job, released together. Every call goes
// over the job's own connection with a fresh limit armed before it, so a
// scheduler that stops answering fails the job within kPrintSystemLimit of
// its last answer instead of holding the caller.
struct CupsJob
{
    explicit CupsJob(std::chrono::milliseconds limit) : limit(limit), connection(limit) {}

    std::chrono::milliseconds limit;
    CupsConnection connection;
    cups_dest_t *dest = nullptr;
    cups_dinfo_t *info = nullptr;
    int optionCount = 0;
    cups_option_t *options = nullptr;
    int id = 0;

    ~CupsJob()
    {
        cupsFreeOptions(optionCount, options);
        if (info)
            cupsFreeDestInfo(info);
        if (dest)
            cupsFreeDests(1, dest);
    }
    http_t *http()
    {
        connection.arm(limit);
        return connection.http();
    }
    void add(const char *name, const std::string &value)
    {
        optionCount = cupsAddOption(name, value.c_str(), optionCount, &options);
    }
    // The queue as the scheduler lists it. Not cupsGetNamedDest: for a
    // queue the scheduler does not name it goes looking on the network, on
    // connections without our limits.
    bool find(const std::string &queue)
    {
        cups_dest_t *dests = nullptr;
        const int count = cupsGetDests2(http(), &dests);
        if (cups_dest_t *found = cupsGetDest(queue.c_str(), nullptr, count, dests))
            cupsCopyDest(found, 0, &dest);
        cupsFreeDests(count, dests);
        return dest != nullptr && !connection.timedOut();
    }
    // A job the scheduler did not answer for fails as a missing printer
    // does (133): the caller keeps the report and tries again later.
    Refusal failed(const std::string &queue)
    {
        const bool silent = connection.timedOut();
        const std::string why = cupsLastErrorString() ? cupsLastErrorString() : "";
        if (id > 0 && connection.http()) {
            connection.arm(kCancelLimit);
            cupsCancelDestJob(connection.http(), dest, id);
        }
        id = 0;
        if (silent)
            return notAnswering(queue, limit);
        return refusal(154, queue + ": " + why);
    }
    static Refusal notAnswering(const std::string &queue, std::chrono::milliseconds limit)
    {
        return refusal(133, queue + ": the print system did not answer within " +
                                std::to_string(std::max<int64_t>(1, limit.count() / 1000)) + " s");
    }
    // How long a job that failed may take to be cancelled.
    static constexpr std::chrono::milliseconds kCancelLimit{5000};
};

// The queue's name for the paper: its own when it has that exact size,
// else the standard name of the size (a custom one when none fits).
std::string mediaName(CupsJob &job, const PageSetup &page)
{
    const int shortSide = hundredthsOfMm(std::min(page.width, page.length));
    const int longSide = hundredthsOfMm(std::max(page.width, page.length));
    cups_size_t size{};
    if (job.info && cupsGetDestMediaBySize(job.http(), job.dest, job.info, shortSide, longSide,
                                           CUPS_MEDIA_FLAGS_EXACT, &size))
        return size.media;
    if (const pwg_media_t *pwg = pwgMediaForSize(shortSide, longSide))
        return pwg->pwg;
    return {};
}

} // namespace

CupsQueueOutput::CupsQueueOutput(std::string queue, const JobOptions &options,
                                 std::chrono::milliseconds limit)
    : PdfPageOutput(std::tmpfile(), options), m_queue(std::move(queue)), m_options(options),
      m_limit(limit)
{
}

Status CupsQueueOutput::finish()
{
    if (!completeDocument() || !firstPage() || std::fseek(file(), 0, SEEK_SET) != 0) {
        closeFile();
        return refusal(154, m_queue + ": the job could not be written");
    }

    CupsJob job(m_limit);
    if (!job.connection.http()) {
        closeFile();
        if (job.connection.timedOut())
            return CupsJob::notAnswering(m_queue, m_limit);
        return refusal(133, m_queue + ": the print system cannot be reached at " + cupsServer());
    }
    if (!job.find(m_queue)) {
        closeFile();
        if (job.connection.timedOut())
            return CupsJob::notAnswering(m_queue, m_limit);
        return refusal(133, "no printer named \"" + m_queue + "\" is installed");
    }
    job.info = cupsCopyDestInfo(job.http(), job.dest);
    if (job.connection.timedOut()) {
        closeFile();
        return CupsJob::notAnswering(m_queue, m_limit);
    }
    // The pages are drawn on paper of the report's size, turned as the
    // report is: the queue is told so, and makes the copies itself, each a
    // whole document in page order, as the copies a "pdf:" printer draws.
    job.add(CUPS_COPIES, std::to_string(std::max(1, m_options.copies)));
    job.add("multiple-document-handling", "separate-documents-collated-copies");
    job.add(CUPS_ORIENTATION,
            firstPage()->landscape() ? CUPS_ORIENTATION_LANDSCAPE : CUPS_ORIENTATION_PORTRAIT);
    if (const std::string media = mediaName(job, *firstPage()); !media.empty())
        job.add(CUPS_MEDIA, media);

    const std::string title = m_options.title.empty() ? "Kel report" : m_options.title;
    if (cupsCreateDestJob(job.http(), job.dest, job.info, &job.id, title.c_str(), job.optionCount,
                          job.options) > IPP_STATUS_OK_CONFLICTING ||
        job.id <= 0) {
        closeFile();
        return job.failed(m_queue);
    }
    if (cupsStartDestDocument(job.http(), job.dest, job.info, job.id, title.c_str(),
                              CUPS_FORMAT_PDF, 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
        closeFile();
        return job.failed(m_queue);
    }
    // Each block the scheduler takes gives the next one a fresh limit.
    char block[64 * 1024];
    size_t n = 0;
    bool sent = true;
    while (sent && (n = std::fread(block, 1, sizeof block, file())) > 0)
        sent = cupsWriteRequestData(job.http(), block, n) == HTTP_STATUS_CONTINUE;
    sent = sent && std::ferror(file()) == 0;
    closeFile();
    // Finishing the document also ends the request when sending failed.
    const ipp_status_t finished = cupsFinishDestDocument(job.http(), job.dest, job.info);
    if (!sent || finished > IPP_STATUS_OK_CONFLICTING || job.connection.timedOut())
        return job.failed(m_queue);
    m_jobId = job.id;
    return {};
}

Result<std::unique_ptr<PageOutput>> openCupsQueue(const std::string &queue,
                                                  const JobOptions &options)
{
    std::unique_ptr<PageOutput> output = std::make_unique<CupsQueueOutput>(queue, options);
    return output;
}

} // namespace kel
