// The Qt controls behind the control layer: timer semantics on real QTimers, the drop-down
// list, the progress bar, message boxes answered by clicking their buttons, and the pause.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "test_application.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::ui::qt {
namespace {

using test::waitUntil;

class Controls : public ::testing::Test {
  protected:
    void SetUp() override {
        auto window = toolkit_.createWindow(kFormProcess);
        session_.reset(static_cast<QtWindow*>(window.release()));
        session_->show();
        // A second window's timer paces the tests: it runs while the timer under test must
        // stay quiet, so that no test waits a fixed time.
        pacer_ = toolkit_.createWindow(kFormProcess);
        pacer_->show();
    }
    void TearDown() override {
        session_->unload();
        pacer_->unload();
    }

    // Runs `tick` on every pacing tick until it returns false.
    void pace(int milliseconds, std::function<bool()> tick) {
        Timer& timer = pacer_->timer("Timer1");
        timer.onTimer = [&timer, tick] {
            if (!tick()) timer.setEnabled(false);
        };
        timer.setInterval(milliseconds);
    }
    bool pacing() { return pacer_->timer("Timer1").enabled(); }

    QtToolkit toolkit_{[](int) { return std::string(); }};
    std::unique_ptr<QtWindow> session_;
    std::unique_ptr<Window> pacer_;
};

TEST_F(Controls, TimerStartsEnabledWithIntervalZeroAndDoesNotTick) {
    Timer& timer = session_->timer("Timer1");
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(timer.interval(), 0);
    int ticks = 0;
    timer.onTimer = [&] { ++ticks; };
    int paces = 0;
    pace(5, [&] { return ++paces < 10; });
    ASSERT_TRUE(waitUntil([&] { return !pacing(); }));
    EXPECT_EQ(ticks, 0);
}

TEST_F(Controls, TimerTicksEveryIntervalWhileEnabled) {
    Timer& timer = session_->timer("Timer1");
    int ticks = 0;
    timer.onTimer = [&] {
        if (++ticks == 3) timer.setEnabled(false);
    };
    timer.setInterval(5);
    ASSERT_TRUE(waitUntil([&] { return ticks == 3; }));
    // Disabled from its own tick: no further tick however long the pacer runs.
    int paces = 0;
    pace(5, [&] { return ++paces < 10; });
    ASSERT_TRUE(waitUntil([&] { return !pacing(); }));
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(timer.interval(), 5);
}

TEST_F(Controls, SettingTheIntervalWhileEnabledRestartsTheCountdown) {
    constexpr int kInterval = 300;
    Timer& timer = session_->timer("Timer1");
    int ticks = 0;
    timer.onTimer = [&] { ++ticks; };
    timer.setInterval(kInterval);
    // Re-armed every 5 ms for at least twice its interval, it never gets to tick.
    int paces = 0;
    pace(5, [&] {
        timer.setInterval(kInterval);
        return ++paces < 2 * kInterval / 5;
    });
    ASSERT_TRUE(waitUntil([&] { return !pacing(); }));
    EXPECT_EQ(ticks, 0);
    ASSERT_TRUE(waitUntil([&] { return ticks == 1; }));
}

TEST_F(Controls, EnablingARunningTimerKeepsItsCountdown) {
    Timer& timer = session_->timer("Timer1");
    int ticks = 0;
    timer.onTimer = [&] { ++ticks; };
    timer.setInterval(50);
    pace(5, [&] {
        timer.setEnabled(true);
        return ticks == 0;
    });
    ASSERT_TRUE(waitUntil([&] { return ticks >= 1; }));
}

// The session's time-out prompt is opened from a tick, after the tick disabled the timer; a
// timer armed again while the prompt is open must tick inside the prompt's event loop.
TEST_F(Controls, TimerArmedAgainInsideItsOwnTickTicksThere) {
    Timer& timer = session_->timer("Timer1");
    int ticks = 0;
    timer.onTimer = [&] {
        timer.setEnabled(false);
        if (++ticks == 1) {
            timer.setInterval(1);
            timer.setEnabled(true);
            EXPECT_TRUE(waitUntil([&] { return ticks == 2; }));
        }
    };
    timer.setInterval(1);
    ASSERT_TRUE(waitUntil([&] { return ticks == 2; }));
}

TEST_F(Controls, UnloadStopsTheTimerAndLoadRestoresItsInitialState) {
    Timer& timer = session_->timer("Timer1");
    int ticks = 0;
    timer.onTimer = [&] {
        ++ticks;
        session_->unload();
    };
    timer.setInterval(5);
    ASSERT_TRUE(waitUntil([&] { return ticks == 1; }));
    int paces = 0;
    pace(5, [&] { return ++paces < 10; });
    ASSERT_TRUE(waitUntil([&] { return !pacing(); }));
    EXPECT_EQ(ticks, 1);
    session_->show();
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(timer.interval(), 0);
}

TEST_F(Controls, ProgressBarKeepsTheFractionAndDrawsNoText) {
    ProgressBar& progress = session_->progressBar("ProgressBar1");
    auto* bar = session_->widget().findChild<QProgressBar*>("ProgressBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_EQ(progress.value(), 0.0);
    EXPECT_EQ(bar->value(), bar->minimum());
    progress.setValue(0.35f);
    EXPECT_EQ(progress.value(), static_cast<double>(0.35f));
    EXPECT_NEAR(double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum()), 0.35,
                1e-3);
    progress.setValue(1);
    EXPECT_EQ(bar->value(), bar->maximum());
    progress.setValue(1.5);
    EXPECT_EQ(progress.value(), 1.5);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(ComboBox, SelectsNothingUntilToldAndTakesNoTypedText) {
    QtToolkit toolkit([](int) { return std::string(); });
    auto dialog = toolkit.createWindow(kFormComPort);
    dialog->show();
    ComboBox& list = dialog->comboBox("ComboComPort");
    auto* combo = static_cast<QtWindow&>(*dialog).widget().findChild<QComboBox*>("ComboComPort");
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(list.listIndex(), -1);
    list.addItem("COM1");
    list.addItem("COM12");
    EXPECT_EQ(list.listCount(), 2);
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.text(), "");
    EXPECT_EQ(list.list(1), "COM12");
    list.setListIndex(1);
    EXPECT_EQ(list.text(), "COM12");
    EXPECT_EQ(combo->currentText(), "COM12");
    list.setListIndex(-1);
    EXPECT_EQ(list.text(), "");
    list.setListIndex(2);
    EXPECT_EQ(list.listIndex(), -1);
    dialog->unload();
}

// The open list shows each entry's tooltip; the closed list shows the selected entry's.
TEST(ComboBox, EntryToolTipsFollowTheSelection) {
    QtToolkit toolkit([](int) { return std::string(); });
    auto dialog = toolkit.createWindow(kFormComPort);
    dialog->show();
    ComboBox& list = dialog->comboBox("ComboComPort");
    auto* combo = static_cast<QtWindow&>(*dialog).widget().findChild<QComboBox*>("ComboComPort");
    list.addItem("COM1");
    list.addItem("COM12");
    list.setListIndex(1);
    list.setItemToolTip(0, "/dev/ttyUSB0");
    list.setItemToolTip(1, "/dev/ttyACM0");
    EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");
    EXPECT_EQ(combo->toolTip(), "/dev/ttyACM0");
    list.setListIndex(0);
    EXPECT_EQ(combo->toolTip(), "/dev/ttyUSB0");
    dialog->unload();
}

TEST(MessageBox, ShowsTextTitleIconAndButtonsAndReturnsTheAnswer) {
    struct Case {
        MessageBox box;
        QMessageBox::StandardButton press;  // NoButton: the box's close box
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        Answer answer;
    };
    const Case cases[] = {
        {{"Successful", "Tool", Icon::Exclamation, Buttons::Ok},
         QMessageBox::Ok,
         "Tool",
         QMessageBox::Warning,
         QMessageBox::Ok,
         Answer::Ok},
        {{"请重新选择端口！", std::nullopt, Icon::Critical, Buttons::Ok},
         QMessageBox::Ok,
         "comflash",
         QMessageBox::Critical,
         QMessageBox::Ok,
         Answer::Ok},
        {{"文档有误", std::nullopt, Icon::None, Buttons::Ok},
         QMessageBox::NoButton,
         "comflash",
         QMessageBox::NoIcon,
         QMessageBox::Ok,
         Answer::Ok},
        {{"Check connection!Retry or cancel?", "Tool", Icon::Critical, Buttons::RetryCancel},
         QMessageBox::Retry,
         "Tool",
         QMessageBox::Critical,
         QMessageBox::Retry | QMessageBox::Cancel,
         Answer::Retry},
        {{"Check connection!Retry or cancel?", "Tool", Icon::Critical, Buttons::RetryCancel},
         QMessageBox::Cancel,
         "Tool",
         QMessageBox::Critical,
         QMessageBox::Retry | QMessageBox::Cancel,
         Answer::Cancel},
        {{"<b>not rich</b>", "Tool", Icon::Critical, Buttons::RetryCancel},
         QMessageBox::NoButton,
         "Tool",
         QMessageBox::Critical,
         QMessageBox::Retry | QMessageBox::Cancel,
         Answer::Cancel},
    };
    QtToolkit toolkit([](int) { return std::string(); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box.text);
        QMessageBox* seen = nullptr;
        QString text, title;
        QMessageBox::Icon icon{};
        QMessageBox::StandardButtons buttons;
        Qt::TextFormat format{};
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (seen == nullptr || !seen->isVisible()) return;
            answer.stop();
            text = seen->text();
            title = seen->windowTitle();
            icon = seen->icon();
            buttons = seen->standardButtons();
            format = seen->textFormat();
            if (c.press == QMessageBox::NoButton) {
                seen->close();
            } else {
                seen->button(c.press)->click();
            }
        });
        answer.start(1);
        EXPECT_EQ(toolkit.showMessage(c.box), c.answer);
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(text.toStdString(), c.box.text);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(buttons, c.buttons);
        EXPECT_EQ(format, Qt::PlainText);
    }
}

TEST(Sleep, PausesWithoutHandlingEvents) {
    QtToolkit toolkit([](int) { return std::string(); });
    QElapsedTimer clock;
    int ticks = 0;
    QTimer due;
    QObject::connect(&due, &QTimer::timeout, [&] { ++ticks; });
    due.start(1);
    clock.start();
    toolkit.sleep(30);
    EXPECT_GE(clock.elapsed(), 30);
    EXPECT_EQ(ticks, 0);  // overdue, but nothing ran during the pause
    ASSERT_TRUE(waitUntil([&] { return ticks > 0; }));
}

}  // namespace
}  // namespace comflash::ui::qt
