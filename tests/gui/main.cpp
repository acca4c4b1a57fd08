#include <gtest/gtest.h>

#include <QApplication>

// Under AddressSanitizer: Qt's offscreen platform plugin never frees the screen and cursor that it creates
// for the application object. Full allocation stacks let the leak check name that plugin, and only leaks
// allocated through it are passed over.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

// One application object for every test of the desktop pages and model; without a display the tests draw
// on Qt's offscreen platform.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
