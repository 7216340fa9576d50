#include "printing/cupsjob.h"

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

// The print system's things of one job, released together.
struct CupsJob
{
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
    void add(const char *name, const std::string &value)
    {
        optionCount = cupsAddOption(name, value.c_str(), optionCount, &options);
    }
    Refusal failed(const std::string &queue)
    {
        const std::string why = cupsLastErrorString() ? cupsLastErrorString() : "";
        if (id > 0)
            cupsCancelDestJob(CUPS_HTTP_DEFAULT, dest, id);
        return refusal(154, queue + ": " + why);
    }
};

// The queue's name for the paper: its own when it has that exact size,
// else the standard name of the size (a custom one when none fits).
std::string mediaName(CupsJob &job, const PageSetup &page)
{
    const int shortSide = hundredthsOfMm(std::min(page.width, page.length));
    const int longSide = hundredthsOfMm(std::max(page.width, page.length));
    cups_size_t size{};
    if (job.info && cupsGetDestMediaBySize(CUPS_HTTP_DEFAULT, job.dest, job.info, shortSide,
                                           longSide, CUPS_MEDIA_FLAGS_EXACT, &size))
        return size.media;
    if (const pwg_media_t *pwg = pwgMediaForSize(shortSide, longSide))
        return pwg->pwg;
    return {};
}

} // namespace

CupsQueueOutput::CupsQueueOutput(std::string queue, const JobOptions &options)
    : PdfPageOutput(std::tmpfile(), options), m_queue(std::move(queue)), m_options(options)
{
}

Status CupsQueueOutput::finish()
{
    if (!completeDocument() || !firstPage() || std::fseek(file(), 0, SEEK_SET) != 0) {
        closeFile();
        return refusal(154, m_queue + ": the job could not be written");
    }

    CupsJob job;
    job.dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, m_queue.c_str(), nullptr);
    if (!job.dest) {
        closeFile();
        return refusal(133, "no printer named \"" + m_queue + "\" is installed");
    }
    job.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, job.dest);
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
    if (cupsCreateDestJob(CUPS_HTTP_DEFAULT, job.dest, job.info, &job.id, title.c_str(),
                          job.optionCount, job.options) > IPP_STATUS_OK_CONFLICTING ||
        job.id <= 0) {
        closeFile();
        return job.failed(m_queue);
    }
    if (cupsStartDestDocument(CUPS_HTTP_DEFAULT, job.dest, job.info, job.id, title.c_str(),
                              CUPS_FORMAT_PDF, 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
        closeFile();
        return job.failed(m_queue);
    }
    char block[64 * 1024];
    size_t n = 0;
    bool sent = true;
    while (sent && (n = std::fread(block, 1, sizeof block, file())) > 0)
        sent = cupsWriteRequestData(CUPS_HTTP_DEFAULT, block, n) == HTTP_STATUS_CONTINUE;
    sent = sent && std::ferror(file()) == 0;
    closeFile();
    // Finishing the document also ends the request when sending failed.
    const ipp_status_t finished = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, job.dest, job.info);
    if (!sent || finished > IPP_STATUS_OK_CONFLICTING)
        return job.failed(m_queue);
    return {};
}

Result<std::unique_ptr<PageOutput>> openCupsQueue(const std::string &queue,
                                                  const JobOptions &options)
{
    std::unique_ptr<PageOutput> output = std::make_unique<CupsQueueOutput>(queue, options);
    return output;
}

} // namespace kel
