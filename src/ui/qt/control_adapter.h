// What a window does with each of its controls as it loads and unloads. Unloading a window
// destroys its controls and loading creates them afresh, so every load restores the
// catalogue's initial properties; handlers wired by behaviour code stay in place.
#pragma once

namespace comflash::ui::qt {

class ControlAdapter {
  public:
    virtual ~ControlAdapter() = default;
    // Restores the control's initial properties.
    virtual void load() = 0;
    // Stops whatever the control does on its own: timers stop ticking, ports close.
    virtual void unload() {}
};

}  // namespace comflash::ui::qt
