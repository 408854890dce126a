#include "sim/faults.h"

namespace comflash::sim {

std::optional<std::string> FaultPlan::add(std::string_view spec) {
    return "not understood: " + std::string(spec);
}

std::optional<Fault> FaultPlan::faultFor(int) const {
    return std::nullopt;
}

}  // namespace comflash::sim
