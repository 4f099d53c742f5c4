// GoogleTest entry of the window tests: one offscreen application for the whole run, on a desktop
// of the run's own whose ".html" opener records what it is asked to open.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/FormStyle.h"
#include "tests/support/TestDesktop.h"

int main(int argc, char** argv) {
    testdesktop::SetUpDesktop();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int result = 0;
    {
        QApplication application(argc, argv);
        InstallRussianQtTexts(application);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(testdesktop::DesktopRoot());
    return result;
}
