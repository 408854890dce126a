// The Win32 toolkit's windows, on a display (with_display.sh gives one under Wine): catalogue
// geometry at the system's DPI, the keyboard, and modal windows.
#include "ui/win32/win32_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ui/win32/message_window.h"
#include "ui/win32/win32_controls.h"
#include "ui/win32/win32_toolkit.h"

namespace comflash::ui::win32 {
namespace {

class Win32WindowTest : public ::testing::Test {
  protected:
    std::unique_ptr<Win32Window> make(const WindowEntry& entry) {
        return std::unique_ptr<Win32Window>(
            static_cast<Win32Window*>(toolkit_.createWindow(entry).release()));
    }
    // Handles every message posted so far: a notice posted last arrives after them.
    void settle() {
        bool done = false;
        auto& messages = MessageWindow::instance();
        const UINT_PTR notice = messages.add([&done](LPARAM) { done = true; });
        messages.post(notice, 0);
        toolkit_.runUntil([&done] { return done; });
        messages.remove(notice);
    }
    void key(UINT message, WPARAM code) {
        PostMessageW(GetFocus(), message, code, 0);
        settle();
    }

    Win32Toolkit toolkit_;
};

TEST_F(Win32WindowTest, WindowsAndControlsTakeTheirCatalogueGeometryAtTheSystemDpi) {
    const int dpi = toolkit_.dpi();
    for (const WindowEntry* entry : {&kForm1, &kFormComPort, &kFormProcess}) {
        const auto window = make(*entry);
        RECT client{};
        GetClientRect(window->handle(), &client);
        EXPECT_EQ(client.right, pixelsAt(entry->clientWidth, dpi)) << entry->name;
        EXPECT_EQ(client.bottom, pixelsAt(entry->clientHeight, dpi)) << entry->name;
        for (const ControlEntry& control : entry->controls) {
            const HWND handle = window->controlHandle(control.name);
            if (control.kind == ControlKind::Timer || control.kind == ControlKind::Comm ||
                control.kind == ControlKind::FileList) {
                EXPECT_EQ(handle, nullptr) << control.name;
                continue;
            }
            ASSERT_NE(handle, nullptr) << control.name;
            RECT place{};
            GetWindowRect(handle, &place);
            MapWindowPoints(nullptr, window->handle(), reinterpret_cast<POINT*>(&place), 2);
            EXPECT_EQ(place.left, pixelsAt(control.left, dpi)) << control.name;
            EXPECT_EQ(place.top, pixelsAt(control.top, dpi)) << control.name;
            EXPECT_EQ(place.right - place.left, pixelsAt(control.width, dpi)) << control.name;
            EXPECT_EQ((GetWindowLongW(handle, GWL_STYLE) & WS_VISIBLE) != 0, control.visible)
                << control.name;
        }
    }
}

// Focus starts on the first control of the tab order that takes it; Tab skips labels and
// hidden buttons; Enter and Space press the focused button, Alt and a marked letter another.
TEST_F(Win32WindowTest, KeyboardMovesTheFocusAndPressesButtons) {
    const auto main = make(kForm1);
    main->show();
    settle();
    EXPECT_EQ(GetFocus(), main->controlHandle("Command1"));
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), main->controlHandle("CommandCom"));
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), main->controlHandle("Command1"));

    const auto dialog = make(kFormComPort);
    std::string pressed;
    dialog->button("CommandOk").onClick = [&pressed] { pressed += "ok "; };
    dialog->button("CommandCancel").onClick = [&pressed] { pressed += "cancel "; };
    dialog->show();
    settle();
    EXPECT_EQ(GetFocus(), dialog->controlHandle("ComboComPort"));
    key(WM_KEYDOWN, VK_TAB);
    ASSERT_EQ(GetFocus(), dialog->controlHandle("CommandOk"));
    key(WM_KEYDOWN, VK_RETURN);
    key(WM_KEYDOWN, VK_SPACE);
    key(WM_KEYUP, VK_SPACE);
    key(WM_SYSCHAR, 'c');
    EXPECT_EQ(pressed, "ok ok cancel ");
    dialog->unload();
    main->unload();
    MSG quit{};
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

// A modal window keeps the others from input until it unloads; its nested loop still
// delivers the notices the program posts, and the main window takes clicks again after.
TEST_F(Win32WindowTest, ModalWindowBlocksTheOthersUntilItUnloads) {
    const auto main = make(kForm1);
    const auto session = make(kFormProcess);
    int clicks = 0;
    main->button("CommandCom").onClick = [&clicks] { ++clicks; };
    main->show();
    bool blocked = false;
    session->onLoad = [&] {
        auto& messages = MessageWindow::instance();
        const UINT_PTR notice = messages.add([&](LPARAM) {
            blocked = !IsWindowEnabled(main->handle());
            SendMessageW(main->controlHandle("CommandCom"), BM_CLICK, 0, 0);
            session->unload();
        });
        messages.post(notice, 0);
    };
    session->showModal();
    EXPECT_TRUE(blocked);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(session->loaded());
    EXPECT_FALSE(IsWindowVisible(session->handle()));
    EXPECT_TRUE(IsWindowEnabled(main->handle()));
    SendMessageW(main->controlHandle("CommandCom"), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
    main->unload();
    MSG quit{};
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

// Notices keep arriving while a message box is open, in the box's own loop; the answer is
// the button pressed, and closing a Retry/Cancel box answers Cancel.
TEST_F(Win32WindowTest, MessageBoxLoopDeliversNoticesAndAnswersItsButtons) {
    struct Case {
        Buttons buttons;
        WPARAM press;
        Answer answer;
    };
    for (const Case& c : {Case{Buttons::RetryCancel, IDRETRY, Answer::Retry},
                          Case{Buttons::RetryCancel, IDCANCEL, Answer::Cancel},
                          Case{Buttons::Ok, IDOK, Answer::Ok}}) {
        bool sawBox = false;
        auto& messages = MessageWindow::instance();
        const UINT_PTR notice = messages.add([&](LPARAM) {
            const HWND box = FindWindowW(L"#32770", L"title");
            sawBox = box != nullptr && IsWindowVisible(box);
            PostMessageW(box, WM_COMMAND, c.press, 0);
        });
        messages.post(notice, 0);
        const Answer answer = toolkit_.showMessage({"text", "title", Icon::Critical, c.buttons});
        messages.remove(notice);
        EXPECT_TRUE(sawBox);
        EXPECT_EQ(answer, c.answer);
    }
}

TEST_F(Win32WindowTest, PortListSelectsOnlyWhatTheProgramSelects) {
    const auto dialog = make(kFormComPort);
    ComboBox& ports = dialog->comboBox("ComboComPort");
    ports.addItem("COM1");
    ports.addItem("COM12");
    EXPECT_EQ(ports.listIndex(), -1);
    EXPECT_EQ(ports.text(), "");
    ports.setListIndex(1);
    EXPECT_EQ(ports.text(), "COM12");
    ports.setListIndex(5);
    EXPECT_EQ(ports.listIndex(), -1);
    EXPECT_EQ(ports.list(0), "COM1");
}

}  // namespace
}  // namespace comflash::ui::win32
