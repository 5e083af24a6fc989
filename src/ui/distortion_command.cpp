#include "ui/distortion_command.h"

#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"

namespace vora {
namespace {
constexpr int kDistortionCode = 60;
}

void apply_distortion(Workbench& wb, int slot) {
    wb.params[0] = wb.settings.distortion.corner_shift;
    apply_operation(wb, slot, kDistortionCode);
}

CommandResult distortion_command(Workbench& wb, std::function<bool()> dialog) {
    return run_in_place_command(wb, apply_distortion, std::move(dialog));
}

}  // namespace vora
