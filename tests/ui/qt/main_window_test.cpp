// The real main window after start-up from a valid Config.txt.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <fstream>

#include "app/form1.h"
#include "settings/file_registry_store.h"
#include "temp_folder.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::ui::qt {
namespace {

TEST(MainWindow, ShowsTheTitleTheVersionLineAndTwoButtons) {
    comflash::test::TempFolder folder;
    comflash::test::TempFolder configHome;
    std::ofstream(folder.path() / "Config.txt", std::ios::binary) << "1:2:3,Maker,Tool,V1.0\r\n";
    settings::FileRegistryStore store(configHome.path().string());
    QtToolkit toolkit([](int) { return std::string(); });
    AppState state;
    app::Form1 form1(state, toolkit, store, folder.path().string());

    ASSERT_TRUE(form1.show());
    QWidget& window = static_cast<QtWindow&>(form1.window()).widget();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Tool");
    EXPECT_EQ(window.findChild<QLabel*>("LabelVersion")->text(), "Version:V1.0");
    EXPECT_EQ(window.findChild<QLabel*>("Label1")->text(), "Update Software");
    QStringList visibleButtons;
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->isVisible()) visibleButtons << button->text();
    }
    EXPECT_EQ(visibleButtons, (QStringList{"Update", "COM"}));
    form1.window().unload();
}

}  // namespace
}  // namespace comflash::ui::qt
