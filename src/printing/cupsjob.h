// Jobs on the print system's queues: the pages as one PDF of our own
// writer, handed to CUPS with libcups when the job finishes.
//
// The PDF is written into an anonymous temporary file while the pages are
// drawn; finish() creates the job on the queue with its copies,
// orientation and paper as job attributes, sends the file as the job's one
// document and returns when CUPS has taken it (or refused it, 154 with the
// print system's words). A job abandoned before finish() never reaches the
// queue.
#pragma once

#include "printing/pageoutput.h"

namespace kel {

class CupsQueueOutput : public PdfPageOutput
{
public:
    CupsQueueOutput(std::string queue, const JobOptions &options);

    Status finish() override;

private:
    std::string m_queue;
    JobOptions m_options;
};

} // namespace kel
