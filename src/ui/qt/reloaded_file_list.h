// The hidden file list of a window: a folder listing with no widget, fresh at every load.
#pragma once

#include "ui/directory_file_list.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::qt {

class ReloadedFileList final : public DirectoryFileList, public ControlAdapter {
  public:
    void load() override { static_cast<DirectoryFileList&>(*this) = DirectoryFileList(); }
};

}  // namespace comflash::ui::qt
