#include "printing/printers.h"

#include "app/text.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <atomic>
#include <cups/cups.h>
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

// The print system's destinations, read once per call.
class Destinations
{
public:
    Destinations() { m_count = cupsGetDests2(CUPS_HTTP_DEFAULT, &m_dests); }
    ~Destinations() { cupsFreeDests(m_count, m_dests); }
    Destinations(const Destinations &) = delete;
    Destinations &operator=(const Destinations &) = delete;

    // Queue names; instances ("queue/instance") are not separate printers.
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < m_count; ++i) {
            if (!m_dests[i].instance)
                out.emplace_back(m_dests[i].name);
        }
        return out;
    }
    std::string defaultName() const
    {
        for (int i = 0; i < m_count; ++i) {
            if (m_dests[i].is_default)
                return m_dests[i].name;
        }
        return {};
    }

private:
    int m_count = 0;
    cups_dest_t *m_dests = nullptr;
};

} // namespace

Printers::Printers(QueueOpener queues) : m_queues(std::move(queues)) {}

std::vector<std::string> Printers::installed(bool *available) const
{
    std::vector<std::string> names = Destinations().names();
    if (available)
        *available = !names.empty();
    return names;
}

std::string Printers::defaultPrinter() const
{
    return Destinations().defaultName();
}

bool Printers::exists(const std::string &name) const
{
    if (isPdfPrinter(name)) {
        const std::string folder = pdfFolder(name);
        return !folder.empty() && QDir(QString::fromStdString(folder)).exists();
    }
    if (name.empty())
        return false;
    for (const std::string &n : installed()) {
        if (n == name)
            return true;
    }
    return false;
}

std::string Printers::findIgnoringCase(const std::string &name) const
{
    for (const std::string &n : installed()) {
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
    if (isPdfPrinter(printer)) {
        if (!exists(printer))
            return refusal(133, "the folder of printer \"" + printer + "\" does not exist");
        std::unique_ptr<PageOutput> output =
            std::make_unique<PdfFileOutput>(pdfJobPath(pdfFolder(printer), options.title), options);
        return output;
    }
    if (!exists(printer))
        return refusal(133, "no printer named \"" + printer + "\" is installed");
    if (!m_queues)
        return refusal(133, "printing to \"" + printer + "\" is not available here");
    return m_queues(printer, options);
}

} // namespace kel
