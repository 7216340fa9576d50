#include "viewer/toolbar.h"

#include "app/messages.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QStyle>
#include <QToolBar>
#include <cstring>

namespace kel {

const std::vector<ToolbarButton> &toolbarButtons()
{
    static const std::vector<ToolbarButton> buttons = {
        {"back01", false, 171},     {"back02", false, 172},     {"ir", false, 173},
        {"for01", false, 174},      {"for02", false, 175},      {"aa", true, 0},
        {"acerca", false, 176},     {"aleja", false, 177},      {"zx", true, 0},
        {"findtext", false, 179},   {"findagain", false, 180},  {"sdfsdf", true, 0},
        {"imprime", false, 181},    {"printsetup", false, 182}, {"sss", true, 0},
        {"sendbymail", false, 183}, {"jhkjh", true, 0},         {"abrir", false, 184},
        {"salvar", false, 185},     {"exportar", false, 186},   {"asda", true, 0},
        {"recordkey", false, 0},    {"playsound", false, 0},    {"stopplaying", false, 0},
        {"trrrr", true, 0},         {"config", false, 187},     {"edit", false, 188},
        {"columns", false, 189},    {"yyytrd", true, 0},        {"salir", false, 190},
        {"about", false, 191},
    };
    return buttons;
}

namespace {

QIcon iconFor(const char *key)
{
    struct Icon
    {
        const char *key;
        const char *theme;
        QStyle::StandardPixmap fallback;
    };
    static const Icon icons[] = {
        {"back01", "go-first", QStyle::SP_MediaSkipBackward},
        {"back02", "go-previous", QStyle::SP_ArrowBack},
        {"ir", "go-jump", QStyle::SP_ArrowRight},
        {"for01", "go-next", QStyle::SP_ArrowForward},
        {"for02", "go-last", QStyle::SP_MediaSkipForward},
        {"acerca", "zoom-in", QStyle::SP_TitleBarMaxButton},
        {"aleja", "zoom-out", QStyle::SP_TitleBarMinButton},
        {"findtext", "edit-find", QStyle::SP_FileDialogContentsView},
        {"findagain", "go-down-search", QStyle::SP_FileDialogDetailedView},
        {"imprime", "document-print", QStyle::SP_DialogApplyButton},
        {"printsetup", "document-print-preview", QStyle::SP_FileDialogInfoView},
        {"sendbymail", "mail-send", QStyle::SP_DriveNetIcon},
        {"abrir", "document-open", QStyle::SP_DialogOpenButton},
        {"salvar", "document-save-as", QStyle::SP_DialogSaveButton},
        {"exportar", "document-export", QStyle::SP_FileIcon},
        {"recordkey", "media-record", QStyle::SP_MediaPlay},
        {"playsound", "media-playback-start", QStyle::SP_MediaVolume},
        {"stopplaying", "media-playback-stop", QStyle::SP_MediaStop},
        {"config", "configure", QStyle::SP_ComputerIcon},
        {"edit", "document-edit", QStyle::SP_FileDialogNewFolder},
        {"columns", "view-split-left-right", QStyle::SP_FileDialogListView},
        {"salir", "application-exit", QStyle::SP_DialogCloseButton},
        {"about", "help-about", QStyle::SP_MessageBoxInformation},
    };
    for (const Icon &i : icons) {
        if (std::strcmp(i.key, key) == 0)
            return QIcon::fromTheme(QString::fromLatin1(i.theme),
                                    QApplication::style()->standardIcon(i.fallback));
    }
    return {};
}

} // namespace

ViewerToolbar::ViewerToolbar(QToolBar &bar, const Messages &messages)
{
    for (const ToolbarButton &b : toolbarButtons()) {
        QAction *action = nullptr;
        if (b.separator) {
            action = bar.addSeparator();
        } else {
            action = bar.addAction(iconFor(b.key), messages.qtext(b.tooltipMessage));
            if (b.tooltipMessage == 0)
                action->setText(QString::fromLatin1(b.key));
            action->setToolTip(b.tooltipMessage ? messages.qtext(b.tooltipMessage)
                                                : QString::fromLatin1(b.key));
        }
        action->setObjectName(QString::fromLatin1(b.key));
        action->setData(QString::fromLatin1(b.key));
        m_actions.push_back(action);
        if (std::strcmp(b.key, "aleja") == 0) {
            m_zoomBox = new QComboBox(&bar);
            m_zoomBox->setObjectName(QStringLiteral("CSize"));
            m_zoomBox->setEditable(true);
            m_zoomBox->setInsertPolicy(QComboBox::NoInsert);
            m_zoomBox->setToolTip(messages.qtext(178));
            m_zoomBox->setMinimumContentsLength(6);
            m_zoomBoxAction = bar.addWidget(m_zoomBox);
        }
    }
}

QAction *ViewerToolbar::button(int index) const
{
    if (index < 1 || index > static_cast<int>(m_actions.size()))
        return nullptr;
    return m_actions[static_cast<size_t>(index - 1)];
}

QAction *ViewerToolbar::button(const char *key) const
{
    for (QAction *a : m_actions) {
        if (a->objectName() == QLatin1String(key))
            return a;
    }
    return nullptr;
}

} // namespace kel
