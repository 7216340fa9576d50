#include "console/filetypeswindow.h"

#include "app/folders.h"
#include "app/messages.h"
#include "app/text.h"
#include "printing/printers.h"

#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

namespace kel {
namespace {

constexpr double kTwipsPerMillimetre = 56.7;

QString local(const std::string &s)
{
    return QString::fromLocal8Bit(s.c_str());
}

std::string local(const QString &s)
{
    return s.toLocal8Bit().toStdString();
}

template <class W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

const std::vector<PaperRow> &paperTable()
{
    static const std::vector<PaperRow> rows = {
        {"A4", 297, 210},          {"Letter", 279, 216}, {"Legal", 356, 216},
        {"Executive", 267, 184},   {"B5", 257, 182},     {"Envelope 10", 241, 105},
        {"Envelope DL", 220, 110},
    };
    return rows;
}

std::optional<PaperRow> paperFor(const QString &length, const QString &width)
{
    // The table is matched as text: "297,210".
    const QString key = length.trimmed() + QLatin1Char(',') + width.trimmed();
    for (const PaperRow &row : paperTable()) {
        if (key == QStringLiteral("%1,%2").arg(row.lengthMm).arg(row.widthMm))
            return row;
    }
    return std::nullopt;
}

int millimetresToTwips(double mm)
{
    return static_cast<int>(std::lround(mm * kTwipsPerMillimetre));
}

int twipsToMillimetres(double twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerMillimetre));
}

FileTypesWindow::FileTypesWindow(SettingsRecord &settings, const Messages &messages,
                                 const Printers &printers, const Folders &folders, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_messages(messages), m_printers(printers),
      m_folders(folders)
{
    setObjectName(QStringLiteral("configfrm"));
    build();
    m_types->setCurrentRow(0);
}

void FileTypesWindow::build()
{
    const Messages &m = m_messages;
    setWindowTitle(m.qtext(50));
    auto *layout = new QHBoxLayout(this);

    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(m.qtext(51), this));
    m_types = named(new QListWidget(this), "Files_type");
    for (int n = 68; n <= 72; ++n)
        m_types->addItem(m.qtext(n));
    // Wide enough for the longest type name, without a scroll bar.
    int widest = 0;
    for (int n = 68; n <= 72; ++n)
        widest = std::max(widest, m_types->fontMetrics().horizontalAdvance(m.qtext(n)));
    m_types->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_types->setFixedWidth(widest + 2 * m_types->frameWidth() + 16);
    connect(m_types, &QListWidget::currentRowChanged, this,
            [this](int row) { showType(static_cast<DocType>(std::max(0, row))); });
    left->addWidget(m_types);
    layout->addLayout(left);

    auto *right = new QVBoxLayout;
    // The printer: the print system's queues and any "pdf:" printer the
    // settings already name, or a name typed in.
    auto *printerFrame = named(new QGroupBox(m.qtext(52), this), "Frame1");
    auto *printerRow = new QHBoxLayout(printerFrame);
    m_printer = named(new QComboBox(printerFrame), "Combo_Printer");
    m_printer->setEditable(true);
    m_printer->setInsertPolicy(QComboBox::NoInsert);
    QStringList names;
    for (const std::string &p : m_printers.installed())
        names << local(p);
    for (const TypeRow &row : m_settings.types) {
        const QString p = local(trimmedCopy(row.printer));
        if (p.startsWith(QLatin1String(kPdfPrinterPrefix), Qt::CaseInsensitive) &&
            !names.contains(p))
            names << p;
    }
    m_printer->addItems(names);
    connect(m_printer, &QComboBox::currentTextChanged, this, &FileTypesWindow::changed);
    printerRow->addWidget(m_printer);
    right->addWidget(printerFrame);

    m_paperFrame = named(new QGroupBox(m.qtext(53), this), "Frame2");
    auto *paperForm = new QFormLayout(m_paperFrame);
    m_paper = named(new QComboBox(m_paperFrame), "PaperSize");
    for (const PaperRow &row : paperTable())
        m_paper->addItem(QString::fromLatin1(row.name));
    m_paper->addItem(QString::fromLatin1(kCustomPaper));
    connect(m_paper, &QComboBox::activated, this, &FileTypesWindow::paperChosen);
    m_length = named(new QLineEdit(m_paperFrame), "Length_crt");
    m_width = named(new QLineEdit(m_paperFrame), "Width_crt");
    for (QLineEdit *e : {m_length, m_width}) {
        e->setValidator(new QIntValidator(0, 9999, e));
        e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
        connect(e, &QLineEdit::textChanged, this, &FileTypesWindow::millimetresEdited);
    }
    paperForm->addRow(m.qtext(54), m_paper);
    paperForm->addRow(m.qtext(55), m_length);
    paperForm->addRow(m.qtext(56), m_width);
    right->addWidget(m_paperFrame);

    m_orientationFrame = named(new QGroupBox(m.qtext(57), this), "Frame3");
    auto *orientationRow = new QHBoxLayout(m_orientationFrame);
    m_portrait = named(new QRadioButton(m.qtext(58), m_orientationFrame), "Option1");
    m_landscape = named(new QRadioButton(m.qtext(59), m_orientationFrame), "Option2");
    for (QRadioButton *r : {m_portrait, m_landscape}) {
        connect(r, &QRadioButton::toggled, this, &FileTypesWindow::changed);
        orientationRow->addWidget(r);
    }
    orientationRow->addStretch(1);
    right->addWidget(m_orientationFrame);

    m_fontFrame = named(new QGroupBox(m.qtext(60), this), "Frame4");
    auto *fontForm = new QFormLayout(m_fontFrame);
    m_font = named(new QComboBox(m_fontFrame), "Combo_font");
    m_font->setEditable(true);
    m_font->setInsertPolicy(QComboBox::NoInsert);
    m_font->addItems(QFontDatabase::families());
    m_fontSize = named(new QLineEdit(m_fontFrame), "font_size");
    m_fontSize->setValidator(new QIntValidator(1, 999, m_fontSize));
    m_fontSize->setMaximumWidth(
        m_fontSize->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    m_conversion = named(new QComboBox(m_fontFrame), "conversion");
    m_conversion->setEditable(true);
    m_conversion->setInsertPolicy(QComboBox::NoInsert);
    m_conversion->addItem(QString());
    // The tables of every shipped folder, each name once (KEL_HOME's own
    // tables beside the installed ones).
    QStringList tables;
    for (const std::string &folder : m_folders.shippedFolders()) {
        for (const QString &table :
             QDir(local(folder)).entryList({QStringLiteral("*.cnv")}, QDir::Files)) {
            const QString name = table.left(table.size() - 4);
            if (!tables.contains(name, Qt::CaseInsensitive))
                tables << name;
        }
    }
    m_conversion->addItems(tables);
    connect(m_font, &QComboBox::currentTextChanged, this, &FileTypesWindow::changed);
    connect(m_fontSize, &QLineEdit::textChanged, this, &FileTypesWindow::changed);
    connect(m_conversion, &QComboBox::currentTextChanged, this, &FileTypesWindow::changed);
    fontForm->addRow(m.qtext(124), m_font);
    fontForm->addRow(m.qtext(61), m_fontSize);
    fontForm->addRow(m.qtext(62), m_conversion);
    right->addWidget(m_fontFrame);
    right->addStretch(1);

    auto *buttons = new QHBoxLayout;
    m_apply = named(new QPushButton(m.qtext(63), this), "Command1");
    auto *cancel = named(new QPushButton(m.qtext(64), this), "Command2");
    connect(m_apply, &QPushButton::clicked, this, &FileTypesWindow::apply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addStretch(1);
    buttons->addWidget(m_apply);
    buttons->addWidget(cancel);
    right->addLayout(buttons);
    layout->addLayout(right, 1);
}

bool FileTypesWindow::isListingType() const
{
    return m_type != DocType::Kel && m_type != DocType::Kez;
}

void FileTypesWindow::showType(DocType type)
{
    m_loading = true;
    m_type = type;
    const TypeRow &row = m_settings.row(type);
    const bool listing = isListingType();
    for (QGroupBox *frame : {m_paperFrame, m_orientationFrame, m_fontFrame})
        frame->setEnabled(listing);
    m_printer->setCurrentText(local(row.printer));
    if (listing) {
        m_lengthTwips = local(row.length);
        m_widthTwips = local(row.width);
        m_length->setText(row.length.empty()
                              ? QString()
                              : QString::number(twipsToMillimetres(leadingNumber(row.length))));
        m_width->setText(row.width.empty()
                             ? QString()
                             : QString::number(twipsToMillimetres(leadingNumber(row.width))));
        const std::optional<PaperRow> paper = paperFor(m_length->text(), m_width->text());
        m_paper->setCurrentText(paper ? QString::fromLatin1(paper->name)
                                      : QString::fromLatin1(kCustomPaper));
        const std::string orientation = upper(trimmed(row.orientation));
        m_portrait->setChecked(orientation == "PORTRAIT");
        m_landscape->setChecked(orientation == "LANDSCAPE");
        m_font->setCurrentText(local(row.fontName));
        m_fontSize->setText(local(row.fontSize));
        m_conversion->setCurrentText(local(m_settings.conversion(type)));
    } else {
        // The frames a report or template type does not use are empty.
        m_lengthTwips.clear();
        m_widthTwips.clear();
        m_length->clear();
        m_width->clear();
        m_paper->setCurrentIndex(-1);
        for (QRadioButton *r : {m_portrait, m_landscape}) {
            r->setAutoExclusive(false);
            r->setChecked(false);
            r->setAutoExclusive(true);
        }
        m_font->setCurrentText(QString());
        m_fontSize->clear();
        m_conversion->setCurrentText(QString());
    }
    m_apply->setEnabled(false);
    m_loading = false;
}

void FileTypesWindow::millimetresEdited()
{
    if (m_loading)
        return;
    const QString length = m_length->text().trimmed();
    const QString width = m_width->text().trimmed();
    m_lengthTwips =
        length.isEmpty() ? QString() : QString::number(millimetresToTwips(length.toDouble()));
    m_widthTwips =
        width.isEmpty() ? QString() : QString::number(millimetresToTwips(width.toDouble()));
    const std::optional<PaperRow> paper = paperFor(length, width);
    m_paper->setCurrentText(paper ? QString::fromLatin1(paper->name)
                                  : QString::fromLatin1(kCustomPaper));
    m_apply->setEnabled(true);
}

void FileTypesWindow::paperChosen(int index)
{
    if (m_loading || index < 0 || index >= static_cast<int>(paperTable().size()))
        return;
    const PaperRow &row = paperTable()[static_cast<size_t>(index)];
    // Setting the two fields updates the twips through their edit handler.
    m_length->setText(QString::number(row.lengthMm));
    m_width->setText(QString::number(row.widthMm));
}

void FileTypesWindow::changed()
{
    if (!m_loading)
        m_apply->setEnabled(true);
}

void FileTypesWindow::apply()
{
    TypeRow &row = m_settings.row(m_type);
    row.printer = trimmedCopy(local(m_printer->currentText()));
    if (isListingType()) {
        row.length = local(m_lengthTwips);
        row.width = local(m_widthTwips);
        if (m_portrait->isChecked())
            row.orientation = "PORTRAIT";
        else if (m_landscape->isChecked())
            row.orientation = "LANDSCAPE";
        row.fontName = local(m_font->currentText());
        row.fontSize = local(m_fontSize->text());
        m_settings.conversions[static_cast<size_t>(m_type) - static_cast<size_t>(DocType::Txt)] =
            local(m_conversion->currentText());
    }
    m_apply->setEnabled(false);
    m_types->setFocus();
}

} // namespace kel
