// The console toolkit's windows and its typed answers, on the real event loop.
#include "ui/console/console_toolkit.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTimer>
#include <optional>
#include <string>
#include <vector>

namespace comflash::ui::console {
namespace {

// A pipe that stands in for the terminal the user types on.
class Keyboard {
  public:
    Keyboard() { EXPECT_EQ(pipe2(fds_, O_CLOEXEC), 0); }
    ~Keyboard() {
        for (const int fd : fds_) {
            if (fd >= 0) ::close(fd);
        }
    }
    int input() const { return fds_[0]; }
    void type(const std::string& text) {
        ASSERT_EQ(::write(fds_[1], text.data(), text.size()), ssize_t(text.size()));
    }
    void endInput() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }

  private:
    int fds_[2] = {-1, -1};
};

class ConsoleToolkitTest : public ::testing::Test {
  protected:
    ConsoleToolkit::FrontEnd frontEnd() {
        return {[](const MessageBox&) { return std::optional<Answer>(); },
                [this](const std::optional<std::string>& line) -> std::optional<Answer> {
                    lines.push_back(line.value_or("(end)"));
                    if (!line) return Answer::Cancel;
                    return *line == "r" ? std::optional(Answer::Retry) : std::nullopt;
                },
                [this](double fraction) { progress.push_back(fraction); }};
    }

    Keyboard keyboard;
    std::vector<std::string> lines;
    std::vector<double> progress;
    ConsoleToolkit toolkit{[](int) { return std::string(); }, frontEnd(), keyboard.input()};
};

// The session's timer keeps ticking while the user has not answered yet, as it does behind a
// message box of the window; lines that answer nothing are asked again.
TEST_F(ConsoleToolkitTest, EventsKeepArrivingWhileTheUserTypes) {
    const auto window = toolkit.createWindow(kFormProcess);
    window->show();
    Timer& timer = window->timer("Timer1");
    int ticks = 0;
    timer.onTimer = [&] {
        if (++ticks == 3) keyboard.type("maybe\nr");
        if (ticks == 5) keyboard.type("\n");
    };
    timer.setInterval(5);
    const Answer answer = toolkit.showMessage(
        {"Check connection!Retry or cancel?", "Tool", Icon::Critical, Buttons::RetryCancel});
    EXPECT_EQ(answer, Answer::Retry);
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(lines, (std::vector<std::string>{"maybe", "r"}));

    keyboard.type("c");
    keyboard.endInput();
    lines.clear();
    EXPECT_EQ(toolkit.showMessage({"?", "Tool", Icon::Critical, Buttons::RetryCancel}),
              Answer::Cancel);
    EXPECT_EQ(lines, (std::vector<std::string>{"c", "(end)"}))
        << "a last line without its line end counts, then the end of the input";
}

// Modal show runs until a timer tick unloads the window; every load starts from the
// catalogue, and the progress bar passes its values on.
TEST_F(ConsoleToolkitTest, ModalShowRunsUntilTheWindowUnloads) {
    const auto window = toolkit.createWindow(kFormProcess);
    int loads = 0;
    window->onLoad = [&] {
        ++loads;
        EXPECT_EQ(window->label("LabelProcess").caption(), "Complete:0%");
        EXPECT_EQ(window->caption(), "Form1");
        window->setCaption("Update");
        window->label("LabelProcess").setCaption("Complete:50%");
        window->progressBar("ProgressBar1").setValue(0.5);
        window->timer("Timer1").setInterval(10);
    };
    window->timer("Timer1").onTimer = [&] { window->unload(); };
    for (int opening = 1; opening <= 2; ++opening) {
        QTimer::singleShot(10'000, [&] {
            ADD_FAILURE() << "still open";
            window->unload();
        });
        window->showModal();
        EXPECT_FALSE(window->loaded());
    }
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(progress, (std::vector<double>{0.5, 0.5}));
}

}  // namespace
}  // namespace comflash::ui::console
