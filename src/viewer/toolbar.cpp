#include "viewer/toolbar.h"

#include "app/commandline.h"
#include "app/messages.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QIcon>
#include <QToolBar>
#include <cstring>

namespace kel {

bool optionLettersSet(const ViewerOptions &o, const char *letters)
{
    if (!letters || !*letters)
        return false;
    for (const char *l = letters; *l; ++l) {
        const bool set = (*l == 'O' && o.hideOpen) || (*l == 'S' && o.hideSave) ||
                         (*l == 'X' && o.hideExport) || (*l == 'P' && o.hidePrint) ||
                         (*l == 'M' && o.hideMail) || (*l == 'D' && o.hidePaging) ||
                         (*l == 'Z' && o.hideZoom) || (*l == 'F' && o.hideFind) ||
                         (*l == 'E' && o.designMode);
        if (!set)
            return false;
    }
    return true;
}

QString zoomText(double zoom)
{
    return QString::number(zoom * 100, 'g', 6) + QStringLiteral(" %");
}

QIcon buttonIcon(const char *key)
{
    // Freedesktop names that mean exactly what the button does; a theme that
    // has one is used, everything else comes from our own set.
    struct ThemeName
    {
        const char *key;
        const char *theme;
    };
    static const ThemeName names[] = {
        {"back01", "go-first"},
        {"back02", "go-previous"},
        {"ir", "go-jump"},
        {"for01", "go-next"},
        {"for02", "go-last"},
        {"acerca", "zoom-in"},
        {"aleja", "zoom-out"},
        {"fitwidth", "zoom-fit-width"},
        {"fitpage", "zoom-fit-best"},
        {"findtext", "edit-find"},
        {"imprime", "document-print"},
        {"printsetup", "document-print-preview"},
        {"sendbymail", "mail-send"},
        {"abrir", "document-open"},
        {"salvar", "document-save-as"},
        {"salir", "application-exit"},
        {"about", "help-about"},
    };
    if (!QIcon::themeName().isEmpty()) {
        for (const ThemeName &n : names) {
            const QString theme = QString::fromLatin1(n.theme);
            if (std::strcmp(n.key, key) == 0 && QIcon::hasThemeIcon(theme))
                return QIcon::fromTheme(theme);
        }
    }
    const QString base = QStringLiteral(":/icons/") + QString::fromLatin1(key);
    if (!QFile::exists(base + QStringLiteral(".svg")))
        return {};
    QIcon icon;
    icon.addFile(base + QStringLiteral(".svg"), {}, QIcon::Normal);
    icon.addFile(base + QStringLiteral("-disabled.svg"), {}, QIcon::Disabled);
    return icon;
}

ViewerToolbar::ViewerToolbar(QToolBar &bar, const Messages &messages,
                             const std::vector<ToolbarButton> &table)
    : m_table(table)
{
    for (const ToolbarButton &b : table) {
        QAction *action = nullptr;
        switch (b.kind) {
        case ButtonKind::Separator:
            action = bar.addSeparator();
            break;
        case ButtonKind::ZoomBox:
            m_zoomBox = new QComboBox(&bar);
            m_zoomBox->setObjectName(QStringLiteral("CSize"));
            m_zoomBox->setEditable(true);
            m_zoomBox->setInsertPolicy(QComboBox::NoInsert);
            m_zoomBox->setToolTip(messages.qtext(b.tooltipMessage));
            m_zoomBox->setMinimumContentsLength(6);
            action = bar.addWidget(m_zoomBox);
            break;
        case ButtonKind::Command:
        case ButtonKind::Inert: {
            const QString tip =
                b.tooltipMessage ? messages.qtext(b.tooltipMessage) : QString::fromLatin1(b.key);
            action = bar.addAction(buttonIcon(b.key), tip);
            action->setToolTip(tip);
            break;
        }
        }
        action->setObjectName(QString::fromLatin1(b.key));
        action->setData(QString::fromLatin1(b.key));
        m_actions.push_back(action);
    }
}

QAction *ViewerToolbar::button(const char *key) const
{
    for (size_t i = 0; i < m_table.size(); ++i) {
        if (std::strcmp(m_table[i].key, key) == 0)
            return m_actions[i];
    }
    return nullptr;
}

void ViewerToolbar::showShortcut(const char *key, const QString &shortcut)
{
    QAction *action = button(key);
    if (action && !action->toolTip().contains(QLatin1Char('(')))
        action->setToolTip(action->toolTip() + QStringLiteral(" (") + shortcut + QLatin1Char(')'));
}

} // namespace kel
