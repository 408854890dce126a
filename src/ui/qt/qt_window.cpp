#include "ui/qt/qt_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "ui/qt/qt_button.h"
#include "ui/qt/qt_combo_box.h"
#include "ui/qt/qt_label.h"
#include "ui/qt/qt_progress_bar.h"
#include "ui/qt/qt_timer.h"
#include "ui/qt/reloaded_file_list.h"

namespace comflash::ui::qt {

// The top-level widget. Its close box unloads the window like the program's own unload.
class QtWindow::Frame final : public QWidget {
  public:
    Frame(QtWindow& window, Qt::WindowFlags flags) : QWidget(nullptr, flags), window_(window) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        window_.unload();
        event->accept();
    }

  private:
    QtWindow& window_;
};

namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Fixed size, close box, no maximize or minimize button. A window without a taskbar button
// is a tool window.
Qt::WindowFlags windowFlags(const WindowEntry& entry) {
    return (entry.taskbarButton ? Qt::Window : Qt::Tool) | Qt::CustomizeWindowHint |
           Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
}

}  // namespace

QtWindow::QtWindow(const WindowEntry& entry, const QtComm::PortDevice& portDevice,
                   std::function<QWidget*()> owner)
    : AdapterWindow(entry),
      owner_(std::move(owner)),
      widget_(std::make_unique<Frame>(*this, windowFlags(entry))) {
    widget_->setObjectName(toQString(entry.name));
    widget_->setFixedSize(toPixels(entry.clientWidth), toPixels(entry.clientHeight));
    // Only the start-up window ends the program when it closes.
    widget_->setAttribute(Qt::WA_QuitOnClose, entry.placement == Placement::CenterScreen);
    widget_->setWindowTitle(toQString(entry.caption));
    for (const ControlEntry& control : entry.controls) makeControl(control, portDevice);
    orderTabs();
}

std::string QtWindow::caption() const {
    return widget_->windowTitle().toStdString();
}

void QtWindow::setCaption(const std::string& text) {
    widget_->setWindowTitle(QString::fromStdString(text));
}

void QtWindow::show() {
    if (load()) present(Qt::NonModal);
}

void QtWindow::showModal() {
    if (!load()) return;
    present(Qt::ApplicationModal);
    runModal(QEventLoop::DialogExec);
}

void QtWindow::restoreCaption() {
    widget_->setWindowTitle(toQString(entry_.caption));
}

void QtWindow::hide() {
    widget_->close();
}

void QtWindow::makeControl(const ControlEntry& control, const QtComm::PortDevice& portDevice) {
    std::unique_ptr<ControlAdapter> adapter;
    switch (control.kind) {
        case ControlKind::Button:
            adapter = std::make_unique<QtButton>(control, widget_.get());
            break;
        case ControlKind::Label:
            adapter = std::make_unique<QtLabel>(control, widget_.get());
            break;
        case ControlKind::ProgressBar:
            adapter = std::make_unique<QtProgressBar>(control, widget_.get());
            break;
        case ControlKind::ComboBox:
            adapter = std::make_unique<QtComboBox>(control, widget_.get());
            break;
        case ControlKind::Timer:
            adapter = std::make_unique<QtTimer>();
            break;
        case ControlKind::Comm:
            adapter = std::make_unique<QtComm>(portDevice);
            break;
        case ControlKind::FileList:
            adapter = std::make_unique<ReloadedFileList>();
            break;
    }
    AdapterWindow::addControl(control, std::move(adapter));
}

void QtWindow::present(Qt::WindowModality modality) {
    if (widget_->isVisible()) {
        widget_->raise();
    } else {
        widget_->setWindowModality(modality);
        place();
        focusFirst();
        widget_->show();
    }
    widget_->activateWindow();
}

void QtWindow::place() {
    QWidget* owner = entry_.placement == Placement::CenterOwner && owner_ ? owner_() : nullptr;
    QRect area;
    if (owner != nullptr && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        area = screen->availableGeometry();
    }
    QRect frame(QPoint(), widget_->frameGeometry().size());
    frame.moveCenter(area.center());
    widget_->move(frame.topLeft());
}

// Tab moves through the controls in the order of their tab index. Labels, progress bars
// and hidden controls take no focus, so Qt's focus chain skips them by itself.
void QtWindow::orderTabs() {
    std::vector<const ControlEntry*> order;
    for (const ControlEntry& control : entry_.controls) {
        if (control.tabIndex >= 0) order.push_back(&control);
    }
    std::sort(order.begin(), order.end(), [](const ControlEntry* a, const ControlEntry* b) {
        return a->tabIndex < b->tabIndex;
    });
    for (const ControlEntry* control : order) {
        if (auto* widget = widget_->findChild<QWidget*>(toQString(control->name))) {
            if (!tabOrder_.empty()) QWidget::setTabOrder(tabOrder_.back(), widget);
            tabOrder_.push_back(widget);
        }
    }
}

// Focus starts on the first control in the tab order that can take it.
void QtWindow::focusFirst() {
    for (QWidget* widget : tabOrder_) {
        if (!widget->isHidden() && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            widget->setFocus();
            return;
        }
    }
}

}  // namespace comflash::ui::qt
