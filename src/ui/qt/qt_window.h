// A window built from its catalogue entry: a fixed-size top-level widget with every control
// at its catalogue place. Loading restores the controls' initial properties and runs onLoad;
// unloading (by the program or the close box) runs onUnload, stops the controls and hides
// the window. The same object can be loaded again any number of times.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/qt/adapter_window.h"
#include "ui/qt/qt_comm.h"

namespace comflash::ui::qt {

class QtWindow final : public AdapterWindow {
  public:
    // owner gives the window that CenterOwner windows are centred on (none: the screen).
    QtWindow(const WindowEntry& entry, const QtComm::PortDevice& portDevice,
             std::function<QWidget*()> owner);

    std::string caption() const override;
    void setCaption(const std::string& text) override;

    void show() override;
    void showModal() override;

    // The top-level widget; its child widgets are named after the controls.
    QWidget& widget() { return *widget_; }

  private:
    class Frame;

    void makeControl(const ControlEntry& control, const QtComm::PortDevice& portDevice);
    void restoreCaption() override;
    void hide() override;
    void present(Qt::WindowModality modality);
    void place();
    void orderTabs();
    void focusFirst();

    std::function<QWidget*()> owner_;
    // The control widgets are its children. It goes before the control adapters, which
    // touch no widget as they go.
    std::unique_ptr<QWidget> widget_;
    // The control widgets in tab-index order.
    std::vector<QWidget*> tabOrder_;
};

}  // namespace comflash::ui::qt
