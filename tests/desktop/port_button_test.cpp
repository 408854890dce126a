// The COM button's road: the port chosen with OK is used at once and at the next start.
#include <gtest/gtest.h>

#include <fstream>

#include "desktop/main_window.h"
#include "memory_store.h"
#include "temp_folder.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::desktop {
namespace {

TEST(CommandCom, ThePortChosenWithOkIsUsedNowAndAtTheNextStart) {
    test::TempFolder folder;
    std::ofstream(folder.path() / "Config.txt") << "1:2:3,Maker,Tool,V1";
    test::MemoryStore store;
    ui::headless::HeadlessToolkit toolkit;
    toolkit.addPort(2);
    toolkit.addPort(5).path = "/dev/ttyUSB4";
    toolkit.port(5)->identity = "0403:6001 FTDI FT232R USB UART  serial A10K3X";
    AppState state;
    MainWindow form(state, toolkit, store, folder.path().string());
    ASSERT_TRUE(form.show());
    toolkit.whenModalIdle([&](ui::headless::HeadlessWindow& dialog) {
        auto& list = dynamic_cast<ui::headless::HeadlessComboBox&>(dialog.comboBox("ComboComPort"));
        EXPECT_EQ(list.itemToolTip(1),
                  "/dev/ttyUSB4  0403:6001 FTDI FT232R USB UART  serial A10K3X")
            << "the device and the adapter behind it";
        list.setListIndex(1);
        dialog.click("CommandOk");
    });
    ASSERT_TRUE(dynamic_cast<ui::headless::HeadlessWindow&>(form.window()).click("CommandCom"));
    EXPECT_EQ(state.ComPortNumber, 5);

    AppState next;
    MainWindow restarted(next, toolkit, store, folder.path().string());
    ASSERT_TRUE(restarted.show());
    EXPECT_EQ(next.ComPortNumber, 5);
}

}  // namespace
}  // namespace comflash::desktop
