// The COM port dialog over QSerialPort: pseudo-terminals linked as COMn in a ports folder.
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/port_dialog.h"
#include "settings/file_registry_store.h"
#include "temp_folder.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::e2e {
namespace {

namespace fs = std::filesystem;

// How many descriptors of this process have `device` open.
int openDescriptors(const std::string& device) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code gone;
        if (fs::read_symlink(entry.path(), gone) == device) ++count;
    }
    return count;
}

TEST(QtComPortDialog, ListsTheLinkedPortsThatOpenAndLeavesThemClosed) {
    test::TempFolder ports;
    const std::string folder = ports.path().string();
    // COM2 and COM10: pseudo-terminals of which the test keeps only the master side.
    std::vector<int> masters;
    std::vector<std::string> devices;
    for (const char* name : {"COM2", "COM10"}) {
        int master = -1;
        int slave = -1;
        char device[256] = {};
        ASSERT_EQ(openpty(&master, &slave, device, nullptr, nullptr), 0);
        ::close(slave);
        masters.push_back(master);
        devices.emplace_back(device);
        fs::create_symlink(device, ports.path() / name);
    }
    fs::create_symlink(ports.path() / "gone", ports.path() / "COM7");
    // Only the folder's entries: the devices of this machine stay out of the test.
    ui::qt::QtToolkit toolkit([folder](int n) { return folder + "/COM" + std::to_string(n); });
    settings::FileRegistryStore store(folder);  // unused: the dialog is not left with OK
    AppState state;
    auto window = toolkit.createWindow(ui::kFormComPort);
    desktop::PortDialog form(state, store, *window,
                             [&toolkit](int n) { return toolkit.portDevice(n); });
    window->show();

    auto& list = *static_cast<ui::qt::QtWindow&>(*window).widget().findChild<QComboBox*>();
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.itemText(0), "COM2");
    EXPECT_EQ(list.itemText(1), "COM10");
    EXPECT_EQ(list.itemData(1, Qt::ToolTipRole).toString().toStdString(), folder + "/COM10");
    for (const auto& device : devices) EXPECT_EQ(openDescriptors(device), 0) << device;
    window->unload();
    for (const int master : masters) ::close(master);
}

}  // namespace
}  // namespace comflash::e2e
