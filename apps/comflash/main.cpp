// comflash: the desktop program. Everything happens in the main window's handlers; the
// program ends when that window closes, or at once when start-up fails.
#include <QApplication>
#include <QFont>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/app_state.h"
#include "desktop/main_window.h"
#include "settings/com_port_names.h"
#include "settings/registry_store.h"
#include "ui/qt/qt_toolkit.h"

int main(int argc, char** argv) {
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
    comflash::ui::qt::QtToolkit toolkit([portsFolder](int comPort) {
        return comflash::settings::comPortDevice(comPort, portsFolder);
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
