// The three windows as Qt builds them from the catalogue: sizes, flags, controls, tab order,
// focus and the title font.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "test_application.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::ui::qt {
namespace {

using test::waitUntil;

class WindowCatalogue : public ::testing::Test {
  protected:
    std::unique_ptr<QtWindow> create(const WindowEntry& entry) {
        auto window = toolkit_.createWindow(entry);
        return std::unique_ptr<QtWindow>(static_cast<QtWindow*>(window.release()));
    }

    static QWidget* control(QtWindow& window, const char* name) {
        return window.widget().findChild<QWidget*>(name);
    }

    static QWidget* pressTab(QWidget& window) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                        Qt::Key_Tab);
        return QApplication::focusWidget();
    }

    QtToolkit toolkit_{[](int) { return std::string(); }};
};

TEST_F(WindowCatalogue, WindowsAreFixedSizeWithCloseBoxOnly) {
    struct Case {
        const WindowEntry& entry;
        QSize client;
        Qt::WindowType type;
    };
    const Case cases[] = {
        {kForm1, {290, 164}, Qt::Window},
        {kFormComPort, {259, 117}, Qt::Window},
        {kFormProcess, {312, 112}, Qt::Tool},  // no taskbar button
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry.name));
        auto window = create(c.entry);
        window->show();
        QWidget& widget = window->widget();
        EXPECT_EQ(widget.size(), c.client);
        EXPECT_EQ(widget.minimumSize(), c.client);
        EXPECT_EQ(widget.maximumSize(), c.client);
        EXPECT_EQ(widget.windowType(), c.type);
        const Qt::WindowFlags flags = widget.windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_EQ(window->caption(), c.entry.caption);
        window->unload();
    }
}

TEST_F(WindowCatalogue, OnlyVisualControlsHaveWidgetsAndLabelsShowPlainText) {
    for (const WindowEntry* entry : {&kForm1, &kFormComPort, &kFormProcess}) {
        auto window = create(*entry);
        window->show();
        for (const ControlEntry& c : entry->controls) {
            SCOPED_TRACE(std::string(entry->name) + "." + std::string(c.name));
            QWidget* widget = control(*window, std::string(c.name).c_str());
            if (c.kind == ControlKind::Timer || c.kind == ControlKind::Comm ||
                c.kind == ControlKind::FileList) {
                EXPECT_EQ(widget, nullptr);  // nothing on the screen
                continue;
            }
            ASSERT_NE(widget, nullptr);
            if (qobject_cast<QPushButton*>(widget)) {
                EXPECT_EQ(window->button(c.name).visible(), c.visible);
            }
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText);
            }
        }
        window->unload();
    }
}

// The same controls written out in pixels, so that a slip in the catalogue shows up here.
TEST_F(WindowCatalogue, ControlsMatchTheLayoutInPixels) {
    struct Case {
        const WindowEntry& window;
        const char* control;
        QRect pixels;
        bool visible;
        const char* text;
    };
    const Case cases[] = {
        {kForm1, "Command1", {56, 88, 73, 33}, true, "Update"},
        {kForm1, "CommandRead", {24, 152, 73, 33}, false, "读取"},
        {kForm1, "CommandSave", {200, 152, 73, 33}, false, "保存"},
        {kForm1, "Label1", {0, 24, 289, 41}, true, "Update Software"},
        {kForm1, "CommandCom", {152, 88, 73, 33}, true, "COM"},
        {kForm1, "LabelVersion", {200, 136, 89, 41}, true, "Label2"},
        {kFormComPort, "LabelComPort", {56, 32, 57, 17}, true, "COM"},
        {kFormComPort, "ComboComPort", {120, 32, 81, 20}, true, ""},
        {kFormComPort, "CommandOk", {40, 72, 73, 25}, true, "&OK"},
        {kFormComPort, "CommandCancel", {128, 72, 73, 25}, true, "&Cancel"},
        {kFormProcess, "ProgressBar1", {16, 24, 281, 41}, true, ""},
        {kFormProcess, "LabelProcess", {96, 80, 89, 17}, true, "Complete:0%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.window.name) + "." + c.control);
        auto window = create(c.window);
        window->show();
        QWidget* widget = control(*window, c.control);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), c.pixels);
        EXPECT_EQ(widget->isVisible(), c.visible);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
        }
        window->unload();
    }
}

TEST_F(WindowCatalogue, MainWindowFocusStartsOnUpdateAndTabSkipsHiddenControlsAndLabels) {
    auto window = create(kForm1);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window->widget()));
    QWidget* update = control(*window, "Command1");
    QWidget* com = control(*window, "CommandCom");
    EXPECT_EQ(QApplication::focusWidget(), update);
    EXPECT_EQ(pressTab(window->widget()), com);
    EXPECT_EQ(pressTab(window->widget()), update);
    window->unload();
}

TEST_F(WindowCatalogue, PortDialogFocusStartsOnTheListThenOkThenCancel) {
    auto window = create(kFormComPort);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window->widget()));
    QWidget* list = control(*window, "ComboComPort");
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(pressTab(window->widget()), control(*window, "CommandOk"));
    EXPECT_EQ(pressTab(window->widget()), control(*window, "CommandCancel"));
    EXPECT_EQ(pressTab(window->widget()), list);
    window->unload();
}

TEST_F(WindowCatalogue, AmpersandMarksTheAccessKey) {
    auto window = create(kFormComPort);
    int ok = 0;
    int cancel = 0;
    window->button("CommandOk").onClick = [&] { ++ok; };
    window->button("CommandCancel").onClick = [&] { ++cancel; };
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window->widget()));
    QTest::keyClick(&window->widget(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(waitUntil([&] { return cancel == 1; }));
    QTest::keyClick(&window->widget(), Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(waitUntil([&] { return ok == 1; }));
    EXPECT_EQ(cancel, 1);
    window->unload();
}

TEST_F(WindowCatalogue, EnterPressesTheFocusedButtonInEveryWindow) {
    struct Case {
        const WindowEntry& entry;
        const char* button;
        Qt::Key key;
    };
    const Case cases[] = {
        {kForm1, "Command1", Qt::Key_Return},
        {kForm1, "CommandCom", Qt::Key_Enter},
        {kFormComPort, "CommandOk", Qt::Key_Return},
        {kFormComPort, "CommandCancel", Qt::Key_Enter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        auto window = create(c.entry);
        int clicks = 0;
        window->button(c.button).onClick = [&] { ++clicks; };
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window->widget()));
        QWidget* button = control(*window, c.button);
        button->setFocus();
        QTest::keyClick(button, c.key);
        EXPECT_EQ(clicks, 1);
        window->unload();
    }
}

TEST_F(WindowCatalogue, TitleFontIsBoldAtItsSizeInAFamilyWithChineseGlyphs) {
    auto window = create(kForm1);
    window->show();
    auto* title = qobject_cast<QLabel*>(control(*window, "Label1"));
    ASSERT_NE(title, nullptr);
    const QFontInfo info(title->font());
    EXPECT_TRUE(info.bold());
    EXPECT_DOUBLE_EQ(info.pointSizeF(), 26.25);
    EXPECT_TRUE(
        QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::SimplifiedChinese))
        << info.family().toStdString();
    // The Chinese texts are drawn from that family, not left to a fallback.
    QFont resolved = title->font();
    resolved.setFamilies({info.family()});
    for (const char32_t glyph : std::u32string_view(U"读取保存串口设置")) {
        EXPECT_TRUE(QFontMetrics(resolved).inFontUcs4(glyph));
    }
    // The other controls keep the default font.
    EXPECT_EQ(control(*window, "LabelVersion")->font(), QApplication::font());
    window->unload();
}

TEST_F(WindowCatalogue, MainWindowIsCentredOnTheScreenAndTheOthersOnIt) {
    // A window is placed before it is first shown, when its frame is not known yet; the
    // frame's width may shift the centre by that much.
    constexpr int kFrameSlack = 8;
    auto main = create(kForm1);
    main->show();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((main->widget().frameGeometry().center() - screen.center()).manhattanLength(),
              kFrameSlack);

    // Moved off the screen's centre, so that the dialog's place tells the two apart.
    main->widget().move(main->widget().pos() + QPoint(37, 23));
    auto dialog = create(kFormComPort);
    dialog->show();
    EXPECT_LE((dialog->widget().frameGeometry().center() - main->widget().frameGeometry().center())
                  .manhattanLength(),
              kFrameSlack);
    dialog->unload();
    main->unload();
}

}  // namespace
}  // namespace comflash::ui::qt
