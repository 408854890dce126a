#include "host/windows_ports.h"

// clang-format off
#include <initguid.h>
#include <windows.h>
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <vector>

#include "ui/win32/wide_text.h"

namespace comflash::host {

namespace {

// Levels of parents looked at for the USB device: an FTDI port's parent is the adapter, a
// composite adapter's interface lies one level further down.
constexpr int kParentLevels = 3;

std::string deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    wchar_t text[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(
            set, &info, property, &type, reinterpret_cast<BYTE*>(text), sizeof text - 2, nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return ui::win32::utf8(text);
}

std::string portName(HDEVINFO set, SP_DEVINFO_DATA& info) {
    const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t name[64] = {};
    DWORD size = sizeof name - 2;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? ui::win32::utf8(name) : std::string();
}

// The identity the instance ids of the port and its parents give: the first that names a
// vendor, completed by the first serial number.
settings::PortIdentity adapterOf(DEVINST node) {
    settings::PortIdentity identity;
    for (int level = 0; level <= kParentLevels; ++level) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) break;
        const settings::PortIdentity found = settings::parseInstanceId(ui::win32::utf8(id));
        if (identity.vendorId.empty()) {
            identity.vendorId = found.vendorId;
            identity.productId = found.productId;
        }
        if (identity.serial.empty()) identity.serial = found.serial;
        if (!identity.serial.empty()) break;
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
        node = parent;
    }
    return identity;
}

}  // namespace

std::map<std::string, settings::PortIdentity> windowsPortIdentities() {
    std::map<std::string, settings::PortIdentity> ports;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        const std::string name = portName(set, info);
        if (name.rfind("COM", 0) != 0) continue;  // a printer port (LPT1) is no serial port
        settings::PortIdentity identity = adapterOf(info.DevInst);
        identity.friendlyName = deviceProperty(set, info, SPDRP_FRIENDLYNAME);
        ports[name] = identity;
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

bool comPortPresent(int number) {
    const std::wstring name = L"COM" + std::to_wstring(number);
    wchar_t target[512];
    return QueryDosDeviceW(name.c_str(), target, sizeof target / sizeof target[0]) != 0;
}

std::string portToolTip(int number) {
    const auto ports = windowsPortIdentities();
    const auto found = ports.find("COM" + std::to_string(number));
    return found == ports.end() ? std::string() : settings::identityText(found->second);
}

}  // namespace comflash::host
