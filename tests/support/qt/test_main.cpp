// The main of every test program: one application object on the offscreen
// platform (unless the caller chose another), for the whole run. Its screens
// stand side by side, one at each display scale the window is tested at
// (tests/data/offscreen-screens.json), the first at 100 %.
#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

constexpr char OffscreenScreens[] =
    "offscreen:configfile=" MEROVANE_TEST_DATA_DIR "/offscreen-screens.json";

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", OffscreenScreens);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::temp().filePath("merovane-tests-runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
