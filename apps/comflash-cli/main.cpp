// comflash-cli on Linux: the command line's one run path on the Qt host. Arguments are taken
// as the bytes the system gives, so that any file name it can open is opened.
#include <QCoreApplication>
#include <string>
#include <vector>

#include "cli/run.h"
#include "host/qt_host.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("comflash-cli");
    comflash::host::QtHost host;
    return comflash::cli::run(arguments, COMFLASH_VERSION, host);
}
