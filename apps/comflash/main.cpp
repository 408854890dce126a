// comflash: the desktop program. Everything happens in the main window's handlers; the
// program ends when that window closes, or at once when start-up fails.
#include <QApplication>
#include <QFont>
#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "desktop/main_window.h"
#include "host/usb_identity.h"
#include "settings/com_port_names.h"
#include "settings/registry_store.h"
#include "ui/qt/qt_toolkit.h"

namespace {

constexpr const char* kHelp =
    "Usage: comflash\n"
    "The window that writes firmware into a device through its serial bootloader. Put\n"
    "comflash, Config.txt and the firmware file (NAME_M.mm.hex) in one folder, start it and\n"
    "press Update; COM chooses the serial port. comflash-cli does the same on the command\n"
    "line, for scripts and production lines.\n"
    "\n"
    "Options:\n"
    "  -?, -h, --help  Displays this help.\n"
    "  -v, --version   Displays version information.\n";

bool asked(int argc, char** argv, std::initializer_list<std::string_view> names) {
    for (int i = 1; i < argc; ++i) {
        for (const std::string_view name : names) {
            if (argv[i] == name) return true;
        }
    }
    return false;
}

// Qt ends the program with a core dump when it finds no display to open a window on.
bool displayKnown() {
#ifdef _WIN32
    return true;
#else
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (asked(argc, argv, {"--help", "-h", "-?"})) {
        std::cout << kHelp;
        return 0;
    }
    if (asked(argc, argv, {"--version", "-v"})) {
        std::cout << "comflash " << COMFLASH_VERSION << '\n';
        return 0;
    }
    if (!displayKnown()) {
        std::cerr << "comflash: no display to open the window on (DISPLAY is not set); "
                     "comflash-cli writes firmware without one.\n";
        return 1;
    }
    QApplication application(argc, argv);
#ifndef _WIN32
    // The windows' labels are sized for a small dialog font, as Windows has by default; the
    // larger default of most Linux desktops would wrap "Comm Port" out of its box.
    QFont dialogFont;
    dialogFont.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
    dialogFont.setPointSize(8);
    QApplication::setFont(dialogFont);
#endif
    comflash::AppState state;
    const std::string portsFolder =
        comflash::settings::portsFolderFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    // Read at each opening, so that a link or file changed meanwhile is followed.
    comflash::ui::qt::QtToolkit toolkit(
        [portsFolder](int comPort) {
            return comflash::settings::comPortDevice(comPort, portsFolder);
        },
        [portsFolder](int comPort) {
            return comflash::host::portToolTip(
                comflash::settings::comPortDevice(comPort, portsFolder),
                comflash::host::UsbIdentities());
        });
    const auto store = comflash::settings::makeSystemStore();
    comflash::desktop::MainWindow form1(state, toolkit, *store,
                                        QCoreApplication::applicationDirPath().toStdString());
    if (!form1.show()) {
        std::cerr << form1.failure() << '\n';
        return 1;
    }
    return QApplication::exec();
}
