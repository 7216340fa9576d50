// A viewer window over a private test environment, with a fixed clock.
#pragma once

#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QKeyEvent>

namespace kel::test {

struct Viewer
{
    explicit Viewer(ViewerOptions options = {})
        : context{env.folders,  env.messages, env.settings, env.prompter,
                  env.warnings, commands,     clock,        options},
          window(context)
    {
        window.resize(800, 600);
    }
    bool open(const std::string &text, const std::string &name = "r.kel")
    {
        return window.openDocument(env.dir.write(name, text));
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QKeyEvent e(QEvent::KeyPress, k, m);
        QApplication::sendEvent(&window, &e);
    }

    // Each test starts without a size, position or zoom of an earlier one.
    bool forgotten = (ViewerWindow::forgetWindowState(), true);
    TestEnvironment env;
    ExternalCommands commands;
    FixedClock clock{QDateTime(QDate(2026, 12, 9), QTime(9, 5, 3))};
    ViewerContext context;
    ViewerWindow window;
};

} // namespace kel::test
