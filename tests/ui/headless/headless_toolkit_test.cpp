#include "ui/headless/headless_toolkit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace comflash::ui::headless {
namespace {

using namespace std::chrono_literals;

TEST(HeadlessToolkit, TimersTickInVirtualTimeAndFollowTheirSettings) {
    HeadlessToolkit toolkit;
    auto window = toolkit.createWindow(kFormProcess);
    Timer& timer = window->timer("Timer1");
    std::vector<long> ticks;
    timer.onTimer = [&] {
        ticks.push_back(static_cast<long>(toolkit.clock().now().count() / 1000));
    };

    window->show();
    toolkit.advance(5s);
    EXPECT_TRUE(ticks.empty()) << "enabled with interval 0 never ticks";

    timer.setInterval(1000);
    toolkit.advance(2500ms);
    EXPECT_EQ(ticks, (std::vector<long>{6000, 7000}));

    timer.setInterval(100);  // restarts the countdown from now (7500)
    toolkit.advance(150ms);
    EXPECT_EQ(ticks.back(), 7600);

    // A handler that disables its timer gets one tick per arming.
    ticks.clear();
    timer.onTimer = [&] {
        timer.setEnabled(false);
        ticks.push_back(static_cast<long>(toolkit.clock().now().count() / 1000));
    };
    timer.setInterval(10);
    toolkit.advance(1s);
    EXPECT_EQ(ticks, (std::vector<long>{7660}));
    timer.setEnabled(true);
    toolkit.drive();
    EXPECT_EQ(ticks, (std::vector<long>{7660, 8660}));
}

TEST(HeadlessToolkit, ModalShowRunsUntilTheWindowUnloadsAndResetsItsControls) {
    HeadlessToolkit toolkit;
    auto main = toolkit.createWindow(kForm1);
    auto dialog = toolkit.createWindow(kFormProcess);
    int unloads = 0;
    dialog->onLoad = [&] {
        dialog->label("LabelProcess").setCaption("Complete:50%");
        dialog->timer("Timer1").setInterval(1000);
    };
    dialog->timer("Timer1").onTimer = [&] { dialog->unload(); };
    dialog->onUnload = [&] { ++unloads; };

    main->show();
    dialog->showModal();
    EXPECT_EQ(toolkit.clock().now(), 1000ms);
    EXPECT_FALSE(dialog->loaded());
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(dialog->label("LabelProcess").caption(), "Complete:50%") << "kept after unload";

    dialog->onLoad = [] {};
    dialog->timer("Timer1").onTimer = [&] {};
    toolkit.whenModalIdle([&](HeadlessWindow& top) {
        EXPECT_EQ(&top, dialog.get());
        EXPECT_EQ(dialog->label("LabelProcess").caption(), "Complete:0%") << "fresh controls";
        EXPECT_EQ(dialog->timer("Timer1").interval(), 0);
        auto* mainWindow = dynamic_cast<HeadlessWindow*>(main.get());
        EXPECT_FALSE(mainWindow->click("Command1")) << "the main window is blocked";
        EXPECT_TRUE(top.closeBox());
    });
    dialog->showModal();
    EXPECT_EQ(unloads, 2);
}

TEST(HeadlessToolkit, AnUnloadedWindowsTimerNeverTicksAndALoadedWindowLoadsOnce) {
    HeadlessToolkit toolkit;
    auto window = toolkit.createWindow(kFormProcess);
    int loads = 0;
    int ticks = 0;
    window->onLoad = [&] { ++loads; };
    window->timer("Timer1").onTimer = [&] { ++ticks; };
    window->show();
    window->show();
    EXPECT_EQ(loads, 1);

    window->unload();
    window->timer("Timer1").setInterval(10);  // a handler re-arming it after the unload
    toolkit.drive();
    EXPECT_EQ(ticks, 0);

    window->show();
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(window->timer("Timer1").interval(), 0) << "a fresh timer at every opening";
}

TEST(HeadlessToolkit, AModalWindowWaitingForNothingIsReported) {
    HeadlessToolkit toolkit;
    auto dialog = toolkit.createWindow(kFormComPort);
    EXPECT_THROW(dialog->showModal(), Stalled);

    auto looping = toolkit.createWindow(kFormProcess);
    looping->onLoad = [&] { looping->timer("Timer1").setInterval(1000); };
    toolkit.setTimeLimit(1min);
    EXPECT_THROW(looping->showModal(), Stalled);
}

TEST(HeadlessToolkit, MessageBoxesAreRecordedAndCanStayOpenWhileEventsRun) {
    HeadlessToolkit toolkit;
    auto window = toolkit.createWindow(kFormProcess);
    auto main = toolkit.createWindow(kForm1);
    main->show();
    window->show();
    int ticks = 0;
    bool clickedWhileOpen = true;
    window->timer("Timer1").onTimer = [&] {
        ++ticks;
        clickedWhileOpen = dynamic_cast<HeadlessWindow*>(main.get())->click("Command1");
    };
    main->button("Command1").onClick = [] {};

    EXPECT_EQ(toolkit.showMessage({"plain", std::nullopt, Icon::None, Buttons::Ok}), Answer::Ok);
    EXPECT_EQ(toolkit.showMessage({"ask", "T", Icon::Critical, Buttons::RetryCancel}),
              Answer::Cancel);

    window->timer("Timer1").setInterval(1000);
    toolkit.answerNext(Answer::Retry, 3500ms);
    EXPECT_EQ(toolkit.showMessage({"held", "T", Icon::Critical, Buttons::RetryCancel}),
              Answer::Retry);
    EXPECT_EQ(ticks, 3) << "timer events run while the box is open";
    EXPECT_FALSE(clickedWhileOpen) << "but the user cannot click past the box";

    ASSERT_EQ(toolkit.messages().size(), 3u);
    EXPECT_EQ(toolkit.messages()[0].text, "plain");
    EXPECT_FALSE(toolkit.messages()[0].title.has_value());
    EXPECT_EQ(toolkit.messages()[2].title, "T");
    EXPECT_EQ(toolkit.messages()[2].icon, Icon::Critical);
}

TEST(HeadlessToolkit, SleepBlocksEventsUntilItEnds) {
    HeadlessToolkit toolkit;
    auto window = toolkit.createWindow(kFormProcess);
    window->show();
    std::vector<long> ticks;
    window->timer("Timer1").onTimer = [&] {
        window->timer("Timer1").setEnabled(false);
        ticks.push_back(static_cast<long>(toolkit.clock().now().count() / 1000));
    };
    window->timer("Timer1").setInterval(50);
    toolkit.sleep(100);
    EXPECT_TRUE(ticks.empty());
    toolkit.drive();
    EXPECT_EQ(ticks, (std::vector<long>{100})) << "the late tick runs once the thread is free";
}

}  // namespace
}  // namespace comflash::ui::headless
