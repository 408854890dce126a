// The real toolkit: Qt windows, message boxes and file dialogs, and a real pause of the
// user-interface thread. A QApplication must exist before the first call.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/qt/qt_comm.h"
#include "ui/window.h"

namespace comflash::ui::qt {

class QtToolkit final : public Toolkit {
  public:
    using PortToolTip = std::function<std::string(int number)>;

    // portDevice maps serial port number n ("COM"n) to the device the serial controls open;
    // portToolTip gives the COM dialog's tooltip for it (none: the device).
    explicit QtToolkit(QtComm::PortDevice portDevice, PortToolTip portToolTip = {});

    std::unique_ptr<Window> createWindow(const WindowEntry& entry) override;
    Answer showMessage(const MessageBox& box) override;
    // Received bytes wait in the serial driver meanwhile; no event is handled.
    void sleep(int milliseconds) override;
    // Qt's own file dialog, not the platform's, so that it behaves alike everywhere.
    std::optional<std::string> showFileDialog(const FileDialogRequest& request) override;
    std::string portDevice(int number) const override { return portDevice_(number); }
    std::string portToolTip(int number) const override {
        return portToolTip_ ? portToolTip_(number) : portDevice_(number);
    }

  private:
    QtComm::PortDevice portDevice_;
    PortToolTip portToolTip_;
    // The window centred on the screen; the others are centred on it.
    QPointer<QWidget> mainWindow_;
};

}  // namespace comflash::ui::qt
