// comflash: the desktop program. Everything happens in the main window's handlers; the
// program ends when that window closes, or at once when start-up fails.
#include <QApplication>
#include <iostream>
#include <string>

#include "app/app_state.h"
#include "main_window/form1.h"
#include "settings/registry_store.h"
#include "ui/qt/qt_toolkit.h"

namespace {

// COMn is the n-th serial port of the system: COM1 is /dev/ttyS0.
std::string portDevice(int comPort) {
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    comflash::AppState state;
    comflash::ui::qt::QtToolkit toolkit(portDevice);
    const auto store = comflash::settings::makeSystemStore();
    comflash::app::Form1 form1(state, toolkit, *store,
                               QCoreApplication::applicationDirPath().toStdString());
    if (!form1.show()) {
        std::cerr << form1.failure() << '\n';
        return 1;
    }
    return QApplication::exec();
}
