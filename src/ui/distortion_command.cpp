#include "ui/distortion_command.h"

#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"

namespace vora {
namespace {
constexpr int kDistortionCode = 60;
}

CommandResult distortion_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.dialog = std::move(dialog);
    command.operation = [](Workbench& w, int slot) {
        w.params[0] = w.settings.distortion.corner_shift;
        apply_operation(w, slot, kDistortionCode);
    };
    return run_in_place_command(wb, command);
}

}  // namespace vora
