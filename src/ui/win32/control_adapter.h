// What a window does with each of its controls as it loads and unloads: every load restores
// the catalogue's initial properties; handlers wired by behaviour code stay in place.
#pragma once

namespace comflash::ui::win32 {

class ControlAdapter {
  public:
    virtual ~ControlAdapter() = default;
    // Restores the control's initial properties.
    virtual void load() = 0;
    // Stops whatever the control does on its own: timers stop ticking, ports close.
    virtual void unload() {}
};

}  // namespace comflash::ui::win32
