#include "ui/qt/qt_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <stdexcept>
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
    : entry_(entry),
      owner_(std::move(owner)),
      widget_(std::make_unique<Frame>(*this, windowFlags(entry))) {
    widget_->setObjectName(toQString(entry.name));
    widget_->setFixedSize(toPixels(entry.clientWidth), toPixels(entry.clientHeight));
    // Only the start-up window ends the program when it closes.
    widget_->setAttribute(Qt::WA_QuitOnClose, entry.placement == Placement::CenterScreen);
    widget_->setWindowTitle(toQString(entry.caption));
    for (const ControlEntry& control : entry.controls) addControl(control, portDevice);
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
    QEventLoop loop;
    const QPointer<QEventLoop> outer = modalLoop_;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = outer;
}

void QtWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    if (onUnload) onUnload();
    for (auto& [name, control] : controls_) control->unload();
    widget_->close();
    if (modalLoop_) modalLoop_->quit();
}

Button& QtWindow::button(std::string_view name) {
    return find<QtButton>(name, ControlKind::Button);
}

Label& QtWindow::label(std::string_view name) {
    return find<QtLabel>(name, ControlKind::Label);
}

ProgressBar& QtWindow::progressBar(std::string_view name) {
    return find<QtProgressBar>(name, ControlKind::ProgressBar);
}

Timer& QtWindow::timer(std::string_view name) {
    return find<QtTimer>(name, ControlKind::Timer);
}

FileList& QtWindow::fileList(std::string_view name) {
    return find<ReloadedFileList>(name, ControlKind::FileList);
}

ComboBox& QtWindow::comboBox(std::string_view name) {
    return find<QtComboBox>(name, ControlKind::ComboBox);
}

CommControl& QtWindow::comm(std::string_view name) {
    return find<QtComm>(name, ControlKind::Comm);
}

void QtWindow::addControl(const ControlEntry& control, const QtComm::PortDevice& portDevice) {
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
    adapter->load();
    controls_.emplace(control.name, std::move(adapter));
}

// Runs the load: fresh controls and caption, then onLoad. False when onLoad unloaded the
// window again. Loading a loaded window does nothing more.
bool QtWindow::load() {
    if (loaded_) return true;
    loaded_ = true;
    widget_->setWindowTitle(toQString(entry_.caption));
    for (auto& [name, control] : controls_) control->load();
    if (onLoad) onLoad();
    return loaded_;
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

template <typename Control>
Control& QtWindow::find(std::string_view name, ControlKind kind) {
    const ControlEntry* control = entry_.find(name);
    const auto found = controls_.find(name);
    if (control == nullptr || control->kind != kind || found == controls_.end()) {
        throw std::invalid_argument("window " + std::string(entry_.name) +
                                    " has no such control: " + std::string(name));
    }
    return static_cast<Control&>(*found->second);
}

}  // namespace comflash::ui::qt
