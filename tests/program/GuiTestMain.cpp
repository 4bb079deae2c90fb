// Entry point of the screen tests: one QApplication for the process, on the
// offscreen platform unless another one is asked for. The programs the tests
// start (simulator, zvbasic-cli) are built beside this executable; ZV_BIN_DIR
// names that folder unless the caller set it already.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ZV_BIN_DIR"))
        qputenv("ZV_BIN_DIR",
                QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2).toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
