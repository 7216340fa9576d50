// The viewer's small dialogs: gotopage and the start-up/about window
// frmSplash (find_form is the find bar, findbar.h).
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;
class QTextBrowser;

namespace kel {

class Messages;

// A file-dialog filter kept in the language file as "Name (*.ext)|*.ext|..."
// pairs, in Qt's "Name (*.ext);;..." form.
QString dialogFilter(const QString &pairs);

// Asks for a page number, naming the pages there are (1 to `lastPage`),
// with OK and Cancel; value() is 0 when none above 0 was given.
class GoToDialog : public QDialog
{
    Q_OBJECT
public:
    GoToDialog(const Messages &messages, int lastPage, QWidget *parent = nullptr);
    double value() const;

private:
    QLineEdit *m_text;
};

// The about window: program title, distributor logo and text; its Help
// button calls `onHelp`.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    AboutDialog(const Messages &messages, const QString &programFolder,
                std::function<void()> onHelp, QWidget *parent = nullptr);
};

// The help page (Markdown: the README's parts for users) in a window of its
// own, with its links followed in the desktop's browser.
// Shows the help page `helpFile` (Folders::findShipped("help.md")) beside
// `parent`. False when the page cannot be read; the caller says so.
bool showHelpPage(const std::string &helpFile, const QString &title, QWidget *parent);

class HelpWindow : public QDialog
{
    Q_OBJECT
public:
    HelpWindow(const QString &markdown, const QString &title, QWidget *parent = nullptr);
    // The text shown, without its markup.
    QString plainText() const;

private:
    QTextBrowser *m_browser;
};

} // namespace kel
