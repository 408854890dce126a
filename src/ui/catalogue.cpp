#include "ui/catalogue.h"

#include <array>

namespace comflash::ui {

namespace {

using K = ControlKind;

// Label1's title font: SimSun 26.25 pt bold (GB2312 character set).
constexpr Font kTitleFont{"SimSun", 26.25, true};

constexpr std::array kForm1Controls{
    ControlEntry{"Command1", K::Button, "Update", true, 0, 840, 1320, 1095, 495},
    ControlEntry{"CommandRead", K::Button, "读取", false, 1, 360, 2280, 1095, 495},
    ControlEntry{"CommandSave", K::Button, "保存", false, 2, 3000, 2280, 1095, 495},
    ControlEntry{"Label1", K::Label, "Update Software", true, 3, 0, 360, 4335, 615, kTitleFont},
    ControlEntry{"CommandCom", K::Button, "COM", true, 4, 2280, 1320, 1095, 495},
    ControlEntry{"LabelVersion", K::Label, "Label2", true, 5, 3000, 2040, 1335, 615},
    ControlEntry{"File1", K::FileList, "", false, 6, 3240, 0, 1215, 450},
};

constexpr std::array kFormComPortControls{
    ControlEntry{"LabelComPort", K::Label, "COM", true, 0, 840, 480, 855, 255},
    ControlEntry{"ComboComPort", K::ComboBox, "", true, 1, 1800, 480, 1215, 300},
    ControlEntry{"CommandOk", K::Button, "&OK", true, 2, 600, 1080, 1095, 375},
    ControlEntry{"CommandCancel", K::Button, "&Cancel", true, 3, 1920, 1080, 1095, 375},
    ControlEntry{"MSComm1", K::Comm, "", false},
};

constexpr std::array kFormProcessControls{
    ControlEntry{"ProgressBar1", K::ProgressBar, "", true, 0, 240, 360, 4215, 615},
    ControlEntry{"LabelProcess", K::Label, "Complete:0%", true, 1, 1440, 1200, 1335, 255},
    ControlEntry{"Timer1", K::Timer, "", false},
    ControlEntry{"MSComm1", K::Comm, "", false},
};

}  // namespace

const ControlEntry* WindowEntry::find(std::string_view control) const {
    for (const auto& entry : controls) {
        if (entry.name == control) return &entry;
    }
    return nullptr;
}

const WindowEntry kForm1{
    "Form1", "Update Software", Border::FixedSingle, 4350, 2460, Placement::CenterScreen,
    true,    kForm1Controls};
const WindowEntry kFormComPort{
    "FormComPort",          "COM Select", Border::FixedSingle, 3885, 1755,
    Placement::CenterOwner, true,         kFormComPortControls};
const WindowEntry kFormProcess{"FormProcess",          "Form1", Border::FixedDialog, 4680, 1680,
                               Placement::CenterOwner, false,   kFormProcessControls};

}  // namespace comflash::ui
