// Qt's file dialog as the toolkit sets it up for a save, answered the way a user would.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <fstream>
#include <functional>

#include "temp_folder.h"
#include "test_application.h"
#include "ui/qt/qt_toolkit.h"

namespace comflash::ui::qt {
namespace {

using Step = std::function<void(QWidget& modal)>;

// Shows the dialog and runs one step on each modal window that comes up, in order.
std::optional<std::string> answer(const FileDialogRequest& request, std::vector<Step> steps) {
    QtToolkit toolkit{[](int) { return std::string(); }};
    QTimer poll;
    QWidget* seen = nullptr;
    std::size_t next = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == seen || next == steps.size()) return;
        seen = modal;
        // From a timer of its own: a step that opens a box waits in the box's loop.
        QTimer::singleShot(0, modal, [modal, step = steps[next++]] { step(*modal); });
    });
    poll.start(1);
    // A window that the steps leave open fails the test instead of hanging it.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    guard.start(test::kEventWaitMs);
    return toolkit.showFileDialog(request);
}

TEST(QtFileDialog, SaveModeAddsTheSuffixAndAsksBeforeReplacing) {
    comflash::test::TempFolder folder;
    std::ofstream(folder.path() / "old.hex") << "old";
    FileDialogRequest request;
    request.title = "保存";
    request.filters = {{"烧录文件(*.hex)", "*.hex"}, {"所有文件(*.*)", "*.*"}};
    request.defaultSuffix = "hex";
    request.confirmOverwrite = true;
    auto type = [&folder](const char* name) {
        return [&folder, name](QWidget& modal) {
            auto& dialog = dynamic_cast<QFileDialog&>(modal);
            EXPECT_EQ(dialog.windowTitle(), "保存");
            EXPECT_EQ(dialog.nameFilters(), (QStringList{"烧录文件(*.hex)", "所有文件(*.*)"}));
            EXPECT_EQ(dialog.selectedNameFilter(), "烧录文件(*.hex)");
            dialog.setDirectory(QString::fromStdString(folder.path().string()));
            dialog.findChild<QLineEdit*>("fileNameEdit")->setText(name);
            static_cast<QDialog&>(dialog).accept();  // the Save button
        };
    };
    EXPECT_EQ(answer(request, {type("firmware")}), folder.path().string() + "/firmware.hex");

    bool asked = false;
    const Step refuse = [&asked](QWidget& modal) {
        asked = true;
        dynamic_cast<QMessageBox&>(modal).button(QMessageBox::No)->click();
    };
    const Step cancel = [](QWidget& modal) { dynamic_cast<QFileDialog&>(modal).reject(); };
    EXPECT_EQ(answer(request, {type("old.hex"), refuse, cancel}), std::nullopt);
    EXPECT_TRUE(asked);
}

}  // namespace
}  // namespace comflash::ui::qt
