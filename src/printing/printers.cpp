#include "printing/printers.h"

#include "app/text.h"
#include "printing/cupsconnection.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <cups/cups.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kel {
namespace {

bool isPdfPrinter(const std::string &name)
{
    return name.rfind(kPdfPrinterPrefix, 0) == 0;
}

std::string pdfFolder(const std::string &name)
{
    return name.substr(std::char_traits<char>::length(kPdfPrinterPrefix));
}

using Clock = std::chrono::steady_clock;

// How long an answer that came after its refresh stopped waiting still
// serves the next refresh.
constexpr std::chrono::seconds kLateAnswerKept{15};

// How long a cancelled worker may take to come out of libcups.
constexpr std::chrono::seconds kWorkerLetsGo{4};

std::string didNotAnswer(std::chrono::milliseconds limit)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    return "the print system did not answer within " + std::to_string(seconds) + " s";
}

// What keeps a "pdf:" folder from taking a job: "" when it can.
std::string pdfFolderProblem(const std::string &folder)
{
    struct stat st
    {
    };
    if (stat(folder.c_str(), &st) != 0)
        return folder + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return folder + ": " + std::strerror(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return folder + ": " + std::strerror(errno);
    return {};
}

} // namespace

PrinterList queryCupsQueues(std::chrono::milliseconds limit, const std::atomic<bool> &cancel)
{
    PrinterList list;
    CupsConnection connection(limit, &cancel);
    if (!connection.http()) {
        list.why = connection.timedOut()
                       ? didNotAnswer(limit)
                       : std::string("the print system cannot be reached at ") + cupsServer();
        return list;
    }
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(connection.http(), &dests);
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance)
            continue;
        list.names.emplace_back(dests[i].name);
        if (dests[i].is_default)
            list.defaultName = dests[i].name;
    }
    cupsFreeDests(count, dests);
    // A scheduler without queues answers "not found"; any other failure,
    // and a wait given up, is no answer.
    const ipp_status_t status = cupsLastError();
    if (connection.timedOut()) {
        list = PrinterList{};
        list.why = didNotAnswer(limit);
    } else if (count == 0 && status > IPP_STATUS_OK_CONFLICTING &&
               status != IPP_STATUS_ERROR_NOT_FOUND) {
        list.why = std::string("the print system did not give its printers: ") +
                   (cupsLastErrorString() ? cupsLastErrorString() : "");
    } else {
        list.answered = true;
    }
    return list;
}

// The question in the hands of the worker thread, shared with it so that
// the worker may outlive the Printers that asked.
struct Printers::Query
{
    std::mutex mutex;
    std::condition_variable answered;
    bool open = false;                  // a worker is asking
    std::chrono::milliseconds window{}; // how long refreshes wait for it,
    Clock::time_point waitEnds;         // from when it was asked until here
    std::optional<PrinterList> answer;  // an answer no refresh took yet
    Clock::time_point answeredAt;
    std::atomic<bool> cancel{false};
};

Printers::Printers(QueueOpener queues, PrinterListSource source)
    : m_queues(std::move(queues)), m_source(std::move(source)), m_query(std::make_shared<Query>())
{
}

Printers::~Printers()
{
    // A worker still asking gives up at its next wait; it is given the few
    // seconds libcups needs to let go, so that it is not inside libcups
    // while the program ends.
    m_query->cancel = true;
    std::unique_lock lock(m_query->mutex);
    m_query->answered.wait_for(lock, kWorkerLetsGo, [this] { return !m_query->open; });
}

void Printers::refresh(std::chrono::milliseconds wait) const
{
    Query &q = *m_query;
    std::unique_lock lock(q.mutex);
    const Clock::time_point now = Clock::now();
    if (!q.open && q.answer && now - q.answeredAt > kLateAnswerKept)
        q.answer.reset();
    if (!q.open && !q.answer) {
        q.open = true;
        q.window = wait;
        q.waitEnds = now + wait;
        std::thread([query = m_query, source = m_source] {
            PrinterList list = source ? source(kPrintSystemLimit, query->cancel) : PrinterList{};
            const std::lock_guard guard(query->mutex);
            query->answer = std::move(list);
            query->answeredAt = Clock::now();
            query->open = false;
            query->answered.notify_all();
        }).detach();
    }
    q.answered.wait_until(lock, q.waitEnds, [&q] { return !q.open; });
    if (q.answer) {
        m_list = std::move(*q.answer);
        q.answer.reset();
        return;
    }
    PrinterList none;
    none.why = didNotAnswer(q.window);
    m_list = std::move(none);
}

const PrinterList &Printers::list() const
{
    if (!m_list)
        refresh();
    return *m_list;
}

std::vector<std::string> Printers::installed(bool *available) const
{
    const PrinterList &l = list();
    if (available)
        *available = l.answered && !l.names.empty();
    return l.names;
}

std::string Printers::defaultPrinter() const
{
    return list().defaultName;
}

Status Printers::check(const std::string &name) const
{
    if (isPdfPrinter(name)) {
        const std::string folder = pdfFolder(name);
        if (folder.empty())
            return refusal(133, "printer \"" + name + "\" names no folder");
        if (const std::string problem = pdfFolderProblem(folder); !problem.empty())
            return refusal(kMsgPdfFolder, problem);
        return {};
    }
    const PrinterList &l = list();
    if (!name.empty() && std::find(l.names.begin(), l.names.end(), name) != l.names.end())
        return {};
    if (!l.answered && !name.empty())
        return refusal(133, name + ": " + l.why);
    return refusal(133, "no printer named \"" + name + "\" is installed");
}

std::string Printers::findIgnoringCase(const std::string &name) const
{
    for (const std::string &n : list().names) {
        if (equalsNoCase(n, name))
            return n;
    }
    return {};
}

std::string Printers::pdfJobPath(const std::string &folder, const std::string &title)
{
    static std::atomic<int> counter{0};
    QString base = QString::fromStdString(title).section(QLatin1Char('/'), -1);
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
        base = QStringLiteral("job");
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QDir(QString::fromStdString(folder))
        .filePath(QStringLiteral("%1-%2-%3-%4.pdf")
                      .arg(base.left(80), stamp)
                      .arg(getpid())
                      .arg(++counter))
        .toStdString();
}

Result<std::unique_ptr<PageOutput>> Printers::open(const std::string &printer,
                                                   const JobOptions &options) const
{
    if (Status usable = check(printer); !usable)
        return usable.refusal();
    if (isPdfPrinter(printer)) {
        auto output =
            std::make_unique<PdfFileOutput>(pdfJobPath(pdfFolder(printer), options.title), options);
        if (!output->opened())
            return refusal(kMsgPdfFolder, output->opened().refusal().detail);
        return std::unique_ptr<PageOutput>(std::move(output));
    }
    if (!m_queues)
        return refusal(133, "printing to \"" + printer + "\" is not available here");
    return m_queues(printer, options);
}

} // namespace kel
