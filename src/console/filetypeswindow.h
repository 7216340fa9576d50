// The files configuration window, configfrm: per document type the
// printer, and for the three listing types the paper (in millimetres on
// the screen, in twips in the settings), the orientation, the font and its
// size and the character conversion table. Apply writes the shown type's
// row into the settings in memory; switching type without applying drops
// the edits.
#pragma once

#include "app/settings.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace kel {

struct Folders;
class Messages;
class Printers;

// One row of the paper table, in millimetres as the window shows them.
struct PaperRow
{
    const char *name;
    int lengthMm;
    int widthMm;
};
// "A4" 297 by 210, "Letter" 279 by 216, ... in the window's order.
const std::vector<PaperRow> &paperTable();
// The paper whose "length,width" reads as the two trimmed texts, matched
// as length then width; nullopt for "(custom)".
std::optional<PaperRow> paperFor(const QString &length, const QString &width);
inline constexpr const char *kCustomPaper = "(custom)";

// Millimetres to twips (56.7 twips a millimetre), rounded to whole twips;
// and back, rounded to whole millimetres.
int millimetresToTwips(double mm);
int twipsToMillimetres(double twips);

class FileTypesWindow : public QDialog
{
    Q_OBJECT
public:
    FileTypesWindow(SettingsRecord &settings, const Messages &messages, const Printers &printers,
                    const Folders &folders, QWidget *parent = nullptr);

    // Shows the row of `type` (Files_type's choice).
    void showType(DocType type);
    // Apply (Command1): the shown row into the settings.
    void apply();

    DocType shownType() const { return m_type; }
    // The twips the paper fields hold (Length and Width), as text.
    QString lengthTwips() const { return m_lengthTwips; }
    QString widthTwips() const { return m_widthTwips; }

private:
    void build();
    void millimetresEdited();
    void paperChosen(int index);
    void changed();
    bool isListingType() const;

    SettingsRecord &m_settings;
    const Messages &m_messages;
    const Printers &m_printers;
    const Folders &m_folders;
    DocType m_type = DocType::Kel;
    bool m_loading = false;
    QString m_lengthTwips;
    QString m_widthTwips;

    QListWidget *m_types = nullptr;
    QComboBox *m_printer = nullptr;
    QGroupBox *m_paperFrame = nullptr;
    QGroupBox *m_orientationFrame = nullptr;
    QGroupBox *m_fontFrame = nullptr;
    QComboBox *m_paper = nullptr;
    QLineEdit *m_length = nullptr;
    QLineEdit *m_width = nullptr;
    QRadioButton *m_portrait = nullptr;
    QRadioButton *m_landscape = nullptr;
    QComboBox *m_font = nullptr;
    QLineEdit *m_fontSize = nullptr;
    QComboBox *m_conversion = nullptr;
    QPushButton *m_apply = nullptr;
};

} // namespace kel
