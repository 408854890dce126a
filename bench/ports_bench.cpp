// How fast the ports listing answers with 64 ports: the adapters behind 64 devices read from a
// generated sysfs and /dev and put in their lines, and the whole `comflash-cli ports` over 64
// ports that open (pseudo-terminals linked as COM1 to COM64 in the ports folder).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/port_listing.h"
#include "host/usb_identity.h"
#include "sysfs_tree.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPorts = 64;

void IdentitiesOf64Ports(benchmark::State& state) {
    comflash::test::TempFolder folder;
    comflash::test::SysfsTree tree(folder.path());
    std::vector<std::string> devices;
    for (int i = 0; i < kPorts; ++i) {
        const std::string name = "ttyUSB" + std::to_string(i);
        const std::string serial = "A1" + std::to_string(1000 + i);
        tree.addUsbSerial(name, "1-" + std::to_string(i + 1),
                          {"0403", "6001", "FTDI", "FT232R USB UART", serial},
                          "usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0");
        devices.push_back(tree.device(name));
    }
    for (auto _ : state) {
        const comflash::host::UsbIdentities identities(tree.sys(), tree.dev());
        std::size_t length = 0;
        for (int i = 0; i < kPorts; ++i) {
            comflash::cli::PortDescription port{
                i + 1,
                devices[static_cast<std::size_t>(i)],
                {},
                identities.of(devices[static_cast<std::size_t>(i)])};
            length += comflash::cli::portLine(port).size();
        }
        benchmark::DoNotOptimize(length);
    }
}
BENCHMARK(IdentitiesOf64Ports)->Unit(benchmark::kMillisecond);

// 64 pseudo-terminals, their far ends open, linked as COM1 to COM64.
void Listing64Ports(benchmark::State& state) {
    comflash::test::TempFolder folder;
    const fs::path ports = folder.path() / "comflash/ports";
    fs::create_directories(ports);
    std::vector<int> masters;
    for (int i = 1; i <= kPorts; ++i) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        masters.push_back(master);
        fs::create_symlink(::ptsname(master), ports / ("COM" + std::to_string(i)));
    }
    const std::string command =
        "XDG_CONFIG_HOME=" + folder.path().string() + " " + COMFLASH_CLI + " ports 2>/dev/null";
    std::size_t listed = 0;
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        listed = 0;
        for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) listed += c == '\n';
        ::pclose(pipe);
    }
    if (listed != kPorts) state.SkipWithError("not every port was listed");
    for (const int master : masters) ::close(master);
}
BENCHMARK(Listing64Ports)->Unit(benchmark::kMillisecond);

}  // namespace
