// The Qt test programs' main: one QApplication for the whole run, destroyed before the
// program's static objects.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The tests need no display, and the test list is read at build time without one.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Tests open and close many main windows; none of them ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
