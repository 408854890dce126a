// A window built from its catalogue entry: a fixed-size top-level widget with every control
// at its catalogue place. Loading restores the controls' initial properties and runs onLoad;
// unloading (by the program or the close box) runs onUnload, stops the controls and hides
// the window. The same object can be loaded again any number of times.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "ui/qt/control_adapter.h"
#include "ui/qt/qt_comm.h"
#include "ui/window.h"

namespace comflash::ui::qt {

class QtWindow final : public Window {
  public:
    // owner gives the window that CenterOwner windows are centred on (none: the screen).
    QtWindow(const WindowEntry& entry, const QtComm::PortDevice& portDevice,
             std::function<QWidget*()> owner);

    const WindowEntry& entry() const override { return entry_; }
    std::string caption() const override;
    void setCaption(const std::string& text) override;

    void show() override;
    void showModal() override;
    void unload() override;
    bool loaded() const override { return loaded_; }

    Button& button(std::string_view name) override;
    Label& label(std::string_view name) override;
    ProgressBar& progressBar(std::string_view name) override;
    Timer& timer(std::string_view name) override;
    FileList& fileList(std::string_view name) override;
    ComboBox& comboBox(std::string_view name) override;
    CommControl& comm(std::string_view name) override;

    // The top-level widget; its child widgets are named after the controls.
    QWidget& widget() { return *widget_; }

  private:
    class Frame;

    void addControl(const ControlEntry& control, const QtComm::PortDevice& portDevice);
    bool load();
    void present(Qt::WindowModality modality);
    void place();
    void orderTabs();
    void focusFirst();
    template <typename Control>
    Control& find(std::string_view name, ControlKind kind);

    const WindowEntry& entry_;
    std::function<QWidget*()> owner_;
    // Declared before the controls so that it outlives them: the control widgets are its
    // children.
    std::unique_ptr<QWidget> widget_;
    std::map<std::string_view, std::unique_ptr<ControlAdapter>> controls_;
    // The control widgets in tab-index order.
    std::vector<QWidget*> tabOrder_;
    bool loaded_ = false;
    QPointer<QEventLoop> modalLoop_;
};

}  // namespace comflash::ui::qt
