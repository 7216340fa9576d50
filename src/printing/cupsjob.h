// Jobs on the print system's queues: the pages as one PDF of our own
// writer, handed to CUPS with libcups when the job finishes.
//
// The PDF is written into an anonymous temporary file while the pages are
// drawn; finish() creates the job on the queue with its copies,
// orientation and paper as job attributes, sends the file as the job's one
// document and returns when CUPS has taken it (or refused it, 154 with the
// print system's words; 133 when the scheduler stopped answering, which the
// caller treats as a printer that is not there). A job abandoned before
// finish() never reaches the queue.
#pragma once

#include "printing/pageoutput.h"
#include "printing/printers.h"

#include <chrono>

namespace kel {

class CupsQueueOutput : public PdfPageOutput
{
public:
    // `limit`: how long the scheduler has to answer each request.
    CupsQueueOutput(std::string queue, const JobOptions &options,
                    std::chrono::milliseconds limit = kPrintSystemLimit);

    Status finish() override;
    int cupsJobId() const override { return m_jobId; }

private:
    std::string m_queue;
    JobOptions m_options;
    std::chrono::milliseconds m_limit;
    int m_jobId = 0;
};

} // namespace kel
