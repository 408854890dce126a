// A timer whose own tick opens a message box keeps ticking inside the box, on both toolkits:
// the session's time-out prompt relies on it, and the headless tests stand for the real
// program only if the two agree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_application.h"
#include "ui/headless/headless_toolkit.h"
#include "ui/qt/qt_toolkit.h"

namespace comflash::ui {
namespace {

constexpr int kInterval = 10;
constexpr int kBoxOpenMs = 35;
constexpr int kTicksAfterTheBox = 2;

// How a toolkit keeps the next box open for kBoxOpenMs, and runs events until `done`.
struct Driver {
    std::function<void()> holdNextBoxOpen;
    std::function<void(const std::function<bool()>& done)> runUntil;
};

// Ticks inside the box are counted as one entry: their number depends on real time.
std::vector<std::string> tickThroughABox(Toolkit& toolkit, const Driver& driver) {
    auto window = toolkit.createWindow(kFormProcess);
    window->show();
    Timer& timer = window->timer("Timer1");
    std::vector<std::string> trace;
    bool boxOpen = false;
    int ticksAfter = 0;
    timer.onTimer = [&] {
        if (boxOpen) {
            if (trace.back() != "tick inside the box") trace.push_back("tick inside the box");
        } else if (trace.empty()) {
            trace.push_back("box opens");
            boxOpen = true;
            driver.holdNextBoxOpen();
            toolkit.showMessage({"Check connection!", std::nullopt, Icon::Critical, Buttons::Ok});
            boxOpen = false;
            trace.push_back("box closed");
        } else {
            trace.push_back("tick");
            if (++ticksAfter == kTicksAfterTheBox) timer.setEnabled(false);
        }
    };
    timer.setInterval(kInterval);
    driver.runUntil([&] { return !timer.enabled(); });
    window->unload();
    return trace;
}

const std::vector<std::string> kTrace = {"box opens", "tick inside the box", "box closed", "tick",
                                         "tick"};

// Closes the message box once it is up.
void closeMessageBox() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        box->close();
    } else {
        QTimer::singleShot(1, closeMessageBox);
    }
}

TEST(Toolkits, ATimerTicksInsideAMessageBoxItsOwnTickOpened) {
    headless::HeadlessToolkit headless;
    const auto headlessTrace = tickThroughABox(
        headless, {[&] { headless.answerNext(Answer::Ok, std::chrono::milliseconds(kBoxOpenMs)); },
                   [&](const std::function<bool()>&) { headless.drive(); }});

    qt::QtToolkit qt([](int) { return std::string(); });
    const auto qtTrace = tickThroughABox(
        qt, {[] { QTimer::singleShot(kBoxOpenMs, closeMessageBox); },
             [](const std::function<bool()>& done) { ASSERT_TRUE(qt::test::waitUntil(done)); }});

    EXPECT_EQ(headlessTrace, kTrace);
    EXPECT_EQ(qtTrace, headlessTrace);
}

}  // namespace
}  // namespace comflash::ui
