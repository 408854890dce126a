// Loading, showing and unloading the real Qt windows: modal shows and their nested loop,
// the close box, a load that unloads at once, reloading, and the block on the main window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "test_application.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::ui::qt {
namespace {

using test::waitUntil;

// Counts the times a widget is shown.
class ShowCounter final : public QObject {
  public:
    explicit ShowCounter(QWidget& widget) { widget.installEventFilter(this); }
    int shows = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shows;
        return false;
    }
};

class WindowLifecycle : public ::testing::Test {
  protected:
    std::unique_ptr<QtWindow> create(const WindowEntry& entry) {
        auto window = toolkit_.createWindow(entry);
        return std::unique_ptr<QtWindow>(static_cast<QtWindow*>(window.release()));
    }

    // Runs `step` from the event loop as soon as `window` is shown.
    static void whenShown(QtWindow& window, std::function<void()> step) {
        auto* poll = new QTimer(&window.widget());
        QObject::connect(poll, &QTimer::timeout, [poll, &window, step] {
            if (!window.widget().isVisible()) return;
            poll->deleteLater();
            poll->stop();
            step();
        });
        poll->start(1);
    }

    QtToolkit toolkit_{[](int) { return std::string(); }};
    int loads_ = 0;
    int unloads_ = 0;

    void count(Window& window) {
        window.onLoad = [this] { ++loads_; };
        window.onUnload = [this] { ++unloads_; };
    }
};

TEST_F(WindowLifecycle, ModalShowReturnsOnceATimerUnloadsTheWindow) {
    auto dialog = create(kFormComPort);
    count(*dialog);
    bool modalWhileOpen = false;
    whenShown(*dialog, [&] {
        modalWhileOpen = QApplication::activeModalWidget() == &dialog->widget();
        dialog->unload();
    });
    dialog->showModal();
    EXPECT_TRUE(modalWhileOpen);
    EXPECT_EQ(loads_, 1);
    EXPECT_EQ(unloads_, 1);
    EXPECT_FALSE(dialog->loaded());
    EXPECT_FALSE(dialog->widget().isVisible());
}

TEST_F(WindowLifecycle, CloseBoxUnloadsLikeTheProgram) {
    auto session = create(kFormProcess);
    count(*session);
    whenShown(*session, [&] { session->widget().close(); });
    session->showModal();
    EXPECT_EQ(unloads_, 1);
    EXPECT_FALSE(session->loaded());
}

TEST_F(WindowLifecycle, LoadThatUnloadsShowsNothingAndReturnsAtOnce) {
    for (const bool modal : {false, true}) {
        SCOPED_TRACE(modal ? "modal" : "modeless");
        auto window = create(kForm1);
        ShowCounter shown(window->widget());
        window->onLoad = [&] { window->unload(); };
        window->onUnload = [this] { ++unloads_; };
        modal ? window->showModal() : window->show();
        EXPECT_EQ(shown.shows, 0);
        EXPECT_FALSE(window->loaded());
    }
    EXPECT_EQ(unloads_, 2);
}

TEST_F(WindowLifecycle, EveryLoadStartsFromTheInitialProperties) {
    auto dialog = create(kFormComPort);
    count(*dialog);
    dialog->onLoad = [&] {
        ++loads_;
        EXPECT_EQ(dialog->caption(), "COM Select");
        EXPECT_EQ(dialog->label("LabelComPort").caption(), "COM");
        EXPECT_EQ(dialog->button("CommandOk").caption(), "&OK");
        EXPECT_EQ(dialog->comboBox("ComboComPort").listCount(), 0);
        EXPECT_EQ(dialog->comm("MSComm1").settings(), "9600,n,8,1");
        EXPECT_EQ(dialog->comm("MSComm1").commPort(), 1);
        dialog->setCaption("Set COM");
        dialog->label("LabelComPort").setCaption("Comm Port");
        dialog->button("CommandOk").setCaption("确定(&O)");
        dialog->comboBox("ComboComPort").addItem("COM1");
        dialog->comm("MSComm1").setCommPort(7);
        dialog->comm("MSComm1").setSettings("19200,N,8,1");
    };
    for (int opening = 1; opening <= 2; ++opening) {
        whenShown(*dialog, [&] { dialog->unload(); });
        dialog->showModal();
    }
    EXPECT_EQ(loads_, 2);
    EXPECT_EQ(unloads_, 2);

    auto main = create(kForm1);
    main->show();
    main->fileList("File1").setPattern("*.hex");
    main->unload();
    main->show();
    EXPECT_EQ(main->fileList("File1").pattern(), "*.*");
    main->unload();
}

TEST_F(WindowLifecycle, MainWindowTakesNoClickWhileAModalWindowIsOpen) {
    auto main = create(kForm1);
    auto dialog = create(kFormComPort);
    int clicks = 0;
    main->button("Command1").onClick = [&] { ++clicks; };
    main->show();
    auto* update = main->widget().findChild<QPushButton*>("Command1");
    whenShown(*dialog, [&] {
        QTest::mouseClick(update, Qt::LeftButton);
        update->click();
        dialog->unload();
    });
    dialog->showModal();
    EXPECT_EQ(clicks, 0);
    update->click();
    EXPECT_EQ(clicks, 1);
    main->unload();
}

TEST_F(WindowLifecycle, HiddenButtonsTakeNoClick) {
    auto main = create(kForm1);
    int clicks = 0;
    main->button("CommandRead").onClick = [&] { ++clicks; };
    main->show();
    main->widget().findChild<QPushButton*>("CommandRead")->click();
    EXPECT_EQ(clicks, 0);
    main->unload();
}

TEST_F(WindowLifecycle, AskingForAControlTheWindowLacksIsAnError) {
    auto main = create(kForm1);
    EXPECT_THROW(main->button("CommandOk"), std::invalid_argument);
    EXPECT_THROW(main->label("Command1"), std::invalid_argument);
    EXPECT_NO_THROW(main->label("Label1"));
}

}  // namespace
}  // namespace comflash::ui::qt
