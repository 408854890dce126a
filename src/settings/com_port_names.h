// Serial port numbers, as the program shows and stores them (COMn), to the device the serial
// control opens.
//
// On Windows, COMn is the system's own port COMn. Elsewhere the user may name a port in the
// ports folder with an entry called COMn: a symbolic link to the device, or a text file whose
// first line is the device's path. Without an entry, COM1-COM16 are /dev/ttyUSB0-15,
// COM17-COM32 are /dev/ttyACM0-15 and COM33-COM64 are /dev/ttyS0-31.
#pragma once

#include <string>

namespace comflash::settings {

// The ports folder below the user's configuration folder, chosen as the settings store's root
// is (FileRegistryStore::rootFor): $XDG_CONFIG_HOME/comflash/ports when that variable holds
// an absolute path, else $HOME/.config/comflash/ports; empty when neither is usable, and on
// Windows.
std::string portsFolderFor(const char* xdgConfigHome, const char* home);

// The device of COM`number`; empty when there is none (the port cannot be opened). An entry
// in `portsFolder` (which may be empty: no entries) wins over the fixed table, and a link is
// given as its own path, not its target's, since a simulated device may point the link
// elsewhere each time it starts.
std::string comPortDevice(int number, const std::string& portsFolder);

// Whether two names lead to one device, through links or not, compared by the file they open
// (the library's equivalent() refuses character devices). On Windows: the same name.
bool sameDevice(const std::string& a, const std::string& b);

}  // namespace comflash::settings
