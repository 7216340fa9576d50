#include "viewer/printers.h"

#include <QDateTime>
#include <QDir>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <atomic>
#include <unistd.h>

namespace kel {
namespace {

class PrinterDestination : public PrintDestination
{
public:
    PrinterDestination(const std::string &name, const std::string &title, int copies)
        : m_printer(QPrinter::HighResolution)
    {
        m_printer.setPrinterName(QString::fromStdString(name));
        m_printer.setDocName(QString::fromStdString(title));
        m_printer.setCreator(QStringLiteral("Kel Printing System"));
        m_printer.setFullPage(true);
        m_printer.setCopyCount(copies);
    }
    QPagedPaintDevice &device() override { return m_printer; }
    int repeat() const override { return 1; }

private:
    QPrinter m_printer;
};

class PdfDestination : public PrintDestination
{
public:
    PdfDestination(const QString &path, const std::string &title, int copies)
        : m_path(path), m_writer(path), m_copies(copies)
    {
        m_writer.setResolution(1200);
        m_writer.setCreator(QStringLiteral("Kel Printing System"));
        m_writer.setTitle(QString::fromStdString(title));
    }
    QPagedPaintDevice &device() override { return m_writer; }
    int repeat() const override { return m_copies; }
    std::string outputPath() const override { return m_path.toStdString(); }

private:
    QString m_path;
    QPdfWriter m_writer;
    int m_copies;
};

QString pdfFolder(const std::string &name)
{
    return QString::fromStdString(name.substr(std::char_traits<char>::length(kPdfPrinterPrefix)));
}

// A file name no other job of this or another process takes.
QString uniquePdfPath(const QString &folder, const std::string &title)
{
    static std::atomic<int> counter{0};
    QString base = QString::fromStdString(title).section(QLatin1Char('/'), -1);
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
        base = QStringLiteral("job");
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QDir(folder).filePath(
        QStringLiteral("%1-%2-%3-%4.pdf").arg(base.left(80), stamp).arg(getpid()).arg(++counter));
}

} // namespace

std::vector<std::string> installedPrinters(bool *available)
{
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (available)
        *available = !names.isEmpty();
    std::vector<std::string> out;
    for (const QString &n : names)
        out.push_back(n.toStdString());
    return out;
}

std::string defaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName().toStdString();
}

bool printerExists(const std::string &name)
{
    if (name.rfind(kPdfPrinterPrefix, 0) == 0)
        return QDir(pdfFolder(name)).exists();
    return !name.empty() &&
           QPrinterInfo::availablePrinterNames().contains(QString::fromStdString(name));
}

std::unique_ptr<PrintDestination> PrintDestination::open(const std::string &printer,
                                                         const std::string &jobTitle, int copies,
                                                         std::string &error)
{
    copies = std::max(1, copies);
    if (printer.rfind(kPdfPrinterPrefix, 0) == 0) {
        const QString folder = pdfFolder(printer);
        if (folder.isEmpty() || !QDir(folder).exists()) {
            error = "the folder of printer \"" + printer + "\" does not exist";
            return nullptr;
        }
        return std::make_unique<PdfDestination>(uniquePdfPath(folder, jobTitle), jobTitle, copies);
    }
    if (!printerExists(printer)) {
        error = "no printer named \"" + printer + "\" is installed";
        return nullptr;
    }
    return std::make_unique<PrinterDestination>(printer, jobTitle, copies);
}

} // namespace kel
