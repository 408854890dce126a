// The catalogue of the three windows: every control with its initial properties.
// Geometry is in twips (15 twips are one pixel); window sizes are client-area sizes.
#pragma once

#include <span>
#include <string_view>

namespace comflash::ui {

constexpr int kTwipsPerPixel = 15;
constexpr int toPixels(int twips) {
    return twips / kTwipsPerPixel;
}

enum class ControlKind { Button, Label, FileList, ComboBox, ProgressBar, Timer, Comm };

struct Font {
    std::string_view family;  // empty: the system's default dialog font
    double points = 0;
    bool bold = false;
};

struct ControlEntry {
    std::string_view name;
    ControlKind kind;
    std::string_view text;  // initial caption or text
    bool visible = true;
    int tabIndex = -1;  // -1: takes no part in the tab order (timers, serial controls)
    int left = 0, top = 0, width = 0, height = 0;
    Font font{};
};

enum class Border { FixedSingle, FixedDialog };
enum class Placement { CenterScreen, CenterOwner };

struct WindowEntry {
    std::string_view name;
    std::string_view caption;
    Border border;
    int clientWidth, clientHeight;
    Placement placement;
    bool taskbarButton;
    std::span<const ControlEntry> controls;

    const ControlEntry* find(std::string_view control) const;
};

extern const WindowEntry kForm1;
extern const WindowEntry kFormComPort;
extern const WindowEntry kFormProcess;

}  // namespace comflash::ui
