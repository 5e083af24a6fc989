#include "ui/sharpen_command.h"

#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"

namespace vora {
namespace {
constexpr int kSharpenCode = 0;
}

void fill_sharpen_params(const SharpSettings& settings, ParamVector& p) {
    p[0] = settings.radius;
    p[1] = settings.threshold;
    p[2] = settings.smooth_strength;
    p[3] = settings.sharp_strength;
    p[4] = settings.falloff;
    p[5] = channel_mask(settings.use_r, settings.use_g, settings.use_b);
}

void apply_sharpen(Workbench& wb, int slot) {
    fill_sharpen_params(wb.settings.sharp, wb.params);
    apply_operation(wb, slot, kSharpenCode);
}

CommandResult sharpen_command(Workbench& wb, std::function<bool()> dialog) {
    return run_in_place_command(wb, apply_sharpen, std::move(dialog));
}

}  // namespace vora
