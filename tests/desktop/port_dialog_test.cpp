// The COM port dialog on the headless toolkit: what it lists and selects, what leaving it
// changes, its texts in both languages, its tooltips, and a fresh probe at every opening.
#include "desktop/port_dialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/headless/headless_toolkit.h"

namespace comflash::desktop {
namespace {

using namespace settings;

using ui::headless::HeadlessWindow;
using Strings = std::vector<std::string>;

struct RecordingStore : RegistryStore {
    bool WriteRegValue(RootKey, const std::string& key, const std::string& name,
                       const std::string& value) override {
        writes.push_back(key + " " + name + " " + value);
        return true;
    }
    std::string ReadRegValue(RootKey, const std::string&, const std::string&) override {
        return {};
    }
    Strings writes;
};

struct Dialog {
    Dialog(const std::vector<int>& free, const std::vector<int>& busy) {
        for (const int n : free) toolkit.addPort(n);
        for (const int n : busy) toolkit.addPort(n).busy = true;
        state.RegistryKeyPath = "SoftWare\\Maker\\Update";
    }
    auto& list() {
        return dynamic_cast<ui::headless::HeadlessComboBox&>(window->comboBox("ComboComPort"));
    }
    Strings entries() {
        Strings texts;
        for (int i = 0; i < list().listCount(); ++i) texts.push_back(list().list(i));
        return texts;
    }

    ui::headless::HeadlessToolkit toolkit;
    AppState state;
    RecordingStore store;
    std::unique_ptr<ui::Window> window = toolkit.createWindow(ui::kFormComPort);
    PortDialog form{state, store, *window, [this](int n) { return toolkit.portDevice(n); }};
};

TEST(PortDialog, ListsSelectsAndTakesOverThePort) {
    enum Leave { Ok, Cancel, CloseBox };
    struct Case {
        std::vector<int> free, busy;
        std::int16_t current;
        bool english;
        std::optional<int> pick;
        Leave leave;
        Strings listed;
        int selected;
        std::int16_t numberAfter;
        Strings stored;
    };
    const Case cases[] = {
        {{1, 3}, {}, 3, true, {}, Cancel, {"COM1", "COM3"}, 1, 3, {}},
        {{1, 3}, {}, 5, true, {}, Cancel, {"COM1", "COM3"}, 0, 1, {}},  // kept after Cancel
        {{1, 4}, {3}, 3, false, {}, CloseBox, {"COM1", "COM4"}, 0, 1, {}},
        {{99, 12, 2, 100},
         {},
         2,
         true,
         1,
         Ok,
         {"COM2", "COM12", "COM99"},
         0,
         12,
         {"SoftWare\\Maker\\Update ComPort 12"}},
        {{}, {2}, 4, false, {}, Ok, {}, -1, 4, {}},  // nothing to take over
    };
    const Strings texts[] = {{"串口设置", "串口", "确定(&O)", "取消(&C)"},
                             {"Set COM", "Comm Port", "&OK", "&Cancel"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "COM" << c.current << " leave " << c.leave);
        Dialog dialog(c.free, c.busy);
        dialog.state.ComPortNumber = c.current;
        dialog.state.UseEnglish = c.english;
        dialog.toolkit.whenModalIdle([&](HeadlessWindow& shown) {
            EXPECT_EQ(dialog.entries(), c.listed);
            EXPECT_EQ(dialog.list().listIndex(), c.selected);
            EXPECT_EQ((Strings{shown.caption(), shown.label("LabelComPort").caption(),
                               shown.button("CommandOk").caption(),
                               shown.button("CommandCancel").caption()}),
                      texts[c.english]);
            for (const int n : c.free) EXPECT_EQ(dialog.toolkit.port(n)->user, nullptr);
            if (c.pick) dialog.list().setListIndex(*c.pick);
            EXPECT_TRUE(c.leave == CloseBox
                            ? shown.closeBox()
                            : shown.click(c.leave == Ok ? "CommandOk" : "CommandCancel"));
        });
        dialog.window->showModal();
        EXPECT_EQ(dialog.state.ComPortNumber, c.numberAfter);
        EXPECT_EQ(dialog.store.writes, c.stored);
    }
}

TEST(PortDialog, EveryOpeningProbesAgainAndShowsEachDeviceAsTooltip) {
    Dialog dialog({1}, {});
    dialog.toolkit.port(1)->path = "/dev/ttyUSB0";
    const auto openAndCancel = [&](const Strings& listed, const Strings& toolTips) {
        dialog.toolkit.whenModalIdle([&](HeadlessWindow& shown) {
            EXPECT_EQ(dialog.entries(), listed);
            for (int i = 0; i < dialog.list().listCount(); ++i) {
                EXPECT_EQ(dialog.list().itemToolTip(i), toolTips[static_cast<std::size_t>(i)]);
            }
            shown.click("CommandCancel");
        });
        dialog.window->showModal();
    };
    openAndCancel({"COM1"}, {"/dev/ttyUSB0"});
    dialog.toolkit.addPort(2).path = "COM2";  // as on Windows: nothing the entry does not say
    openAndCancel({"COM1", "COM2"}, {"/dev/ttyUSB0", ""});
    dialog.toolkit.unplug(1);
    openAndCancel({"COM2"}, {""});
}

}  // namespace
}  // namespace comflash::desktop
