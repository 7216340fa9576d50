// The console's tests run inside one application object on the offscreen
// platform: the engine's tests in a QGuiApplication (printing to PDF needs
// fonts, nothing needs a widget), the window tests, built with
// KEL_TEST_WIDGETS, in a QApplication.
#ifdef KEL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// LeakSanitizer reads this in sanitizer builds: fontconfig keeps the
// fallback patterns Qt asks it for until exit.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
