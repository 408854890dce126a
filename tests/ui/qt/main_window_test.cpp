// The real main window after start-up from a valid Config.txt.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <fstream>

#include "desktop/main_window.h"
#include "settings/file_registry_store.h"
#include "temp_folder.h"
#include "test_application.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::ui::qt {
namespace {

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(folder_.path() / "Config.txt", std::ios::binary)
            << "1:2:3,Maker,Tool,V1.0\r\n";
    }

    comflash::test::TempFolder folder_;
    comflash::test::TempFolder configHome_;
    settings::FileRegistryStore store_{configHome_.path().string()};
    QtToolkit toolkit_{[](int) { return std::string(); }};
    AppState state_;
    desktop::MainWindow form1_{state_, toolkit_, store_, folder_.path().string()};
};

TEST_F(MainWindow, ShowsTheTitleTheVersionLineAndTwoButtons) {
    ASSERT_TRUE(form1_.show());
    QWidget& window = static_cast<QtWindow&>(form1_.window()).widget();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Tool");
    EXPECT_EQ(window.findChild<QLabel*>("LabelVersion")->text(), "Version:V1.0");
    EXPECT_EQ(window.findChild<QLabel*>("Label1")->text(), "Update Software");
    QStringList visibleButtons;
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->isVisible()) visibleButtons << button->text();
    }
    EXPECT_EQ(visibleButtons, (QStringList{"Update", "COM"}));
    form1_.window().unload();
}

TEST_F(MainWindow, ClosingItEndsTheProgram) {
    ASSERT_TRUE(form1_.show());
    QApplication::setQuitOnLastWindowClosed(true);
    QTimer::singleShot(0, [this] { static_cast<QtWindow&>(form1_.window()).widget().close(); });
    // Ends the loop with a failure should closing the window not end it.
    QTimer::singleShot(test::kEventWaitMs, [] { QApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    QApplication::setQuitOnLastWindowClosed(false);
    EXPECT_FALSE(form1_.window().loaded());
}

}  // namespace
}  // namespace comflash::ui::qt
