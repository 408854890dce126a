// comflash-cli on Windows: the command line's one run path on the Win32 host. The arguments
// come from the system in UTF-16 and go on in UTF-8, so that any file name it can open is
// opened.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <string>
#include <vector>

#include "cli/run.h"
#include "host/win32_host.h"
#include "ui/win32/wide_text.h"

namespace {

std::vector<std::string> commandArguments() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(comflash::ui::win32::utf8(words[i]));
    LocalFree(words);
    return arguments;
}

}  // namespace

int main() {
    comflash::host::prepareOutput();
    const std::vector<std::string> arguments = commandArguments();
    comflash::host::Win32Host host;
    return comflash::cli::run(arguments, COMFLASH_VERSION, host);
}
