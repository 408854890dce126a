// A sysfs and a /dev shaped like Linux's, in a folder of its own, for reading the USB adapters
// behind serial devices: each tty's class entry and "device" link lead into the USB device's
// folder, as the kernel lays them out.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace comflash::test {

class SysfsTree {
  public:
    explicit SysfsTree(const std::filesystem::path& root) : sys_(root / "sys"), dev_(root / "dev") {
        std::filesystem::create_directories(sys_ / "class/tty");
        std::filesystem::create_directories(dev_ / "serial/by-id");
    }

    std::string sys() const { return sys_.string(); }
    std::string dev() const { return dev_.string(); }
    std::string device(const std::string& name) const { return (dev_ / name).string(); }

    struct Adapter {
        std::string vendorId;
        std::string productId;
        std::string manufacturer;
        std::string product;
        std::string serial;  // empty: the adapter has none
    };

    // An FTDI-like adapter on USB port `usbPort` ("1-1"): the tty's device is the serial port
    // two levels below the USB device, and a by-id link names it.
    void addUsbSerial(const std::string& name, const std::string& usbPort, const Adapter& adapter,
                      const std::string& byId) {
        const std::filesystem::path usb = usbDevice(usbPort, adapter);
        const std::filesystem::path port = usb / (usbPort + ":1.0") / name;
        addTty(name, port / "tty" / name, port);
        link(byId, name);
    }

    // A CDC-ACM adapter: the tty's device is the interface, one level below the USB device.
    void addAcm(const std::string& name, const std::string& usbPort, const Adapter& adapter,
                const std::string& byId) {
        const std::filesystem::path interface = usbDevice(usbPort, adapter) / (usbPort + ":1.0");
        addTty(name, interface / "tty" / name, interface);
        link(byId, name);
    }

    // A UART on the board, `type` 0 when the kernel found none there.
    void addUart(const std::string& name, int type) {
        const std::filesystem::path platform = sys_ / "devices/platform/serial8250";
        addTty(name, platform / "tty" / name, platform);
        write(platform / "tty" / name / "type", std::to_string(type));
    }

  private:
    std::filesystem::path usbDevice(const std::string& usbPort, const Adapter& adapter) {
        const std::filesystem::path usb = sys_ / "devices/pci0000:00/0000:00:14.0/usb1" / usbPort;
        std::filesystem::create_directories(usb);
        write(usb / "idVendor", adapter.vendorId);
        write(usb / "idProduct", adapter.productId);
        write(usb / "manufacturer", adapter.manufacturer);
        write(usb / "product", adapter.product);
        if (!adapter.serial.empty()) write(usb / "serial", adapter.serial);
        return usb;
    }

    void addTty(const std::string& name, const std::filesystem::path& tty,
                const std::filesystem::path& device) {
        std::filesystem::create_directories(tty);
        std::filesystem::create_directory_symlink(std::filesystem::relative(device, tty),
                                                  tty / "device");
        std::filesystem::create_directory_symlink(
            std::filesystem::relative(tty, sys_ / "class/tty"), sys_ / "class/tty" / name);
        write(dev_ / name, "");
    }

    void link(const std::string& byId, const std::string& name) {
        if (!byId.empty()) {
            std::filesystem::create_symlink("../../" + name, dev_ / "serial/by-id" / byId);
        }
    }

    static void write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file) << text << '\n';
    }

    std::filesystem::path sys_;
    std::filesystem::path dev_;
};

}  // namespace comflash::test
