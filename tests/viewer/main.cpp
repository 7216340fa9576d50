// The widget tests run inside one QApplication on the offscreen platform,
// with a config folder of their own (the window remembers its size there).
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    // File dialogs of Qt's own, which the tests can answer.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
