// Test entry point: one QApplication for the whole binary, on the offscreen platform unless a
// display was asked for, so widget and painting tests run without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Whatever runs here, the monitor in process or the executable, keeps its journal in a
    // folder of its own and never touches the one of whoever runs the tests.
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qunsetenv("KERVO_JOURNAL");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
