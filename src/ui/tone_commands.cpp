#include "ui/tone_commands.h"

#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"
#include "filters/tone.h"

namespace vora {
namespace {

constexpr int kToneCurveCode = 1;

bool per_channel(int32_t selector) {
    return selector >= kToneRed && selector <= kToneBlue;
}

// Per-channel mode leaves a colour image.
void clear_mono_if_per_channel(ImageRecord& r, int32_t selector) {
    if (per_channel(selector)) r.mono = 0;
}

}  // namespace

void fill_gamma_params(const GammaSettings& settings, ParamVector& p) {
    const bool separate = per_channel(settings.channel);
    for (std::size_t c = 0; c < 3; ++c) {
        const ToneCurvePoints& set = settings.points[separate ? c + 1 : 0];
        for (std::size_t k = 0; k < 3; ++k) p[3 * c + k] = encode_tone_point(set[k]);
    }
    p[9] = separate ? 1 : 0;
    p[10] = settings.curve_mode;
}

void apply_gamma(Workbench& wb, int slot) {
    fill_gamma_params(wb.settings.gamma, wb.params);
    apply_operation(wb, slot, kToneCurveCode);
    clear_mono_if_per_channel(wb.table[slot], wb.settings.gamma.channel);
}

void apply_level_correction(Workbench& wb, int slot) {
    apply_level_settings(wb.table[slot], wb.settings.level);
    clear_mono_if_per_channel(wb.table[slot], wb.settings.level.channel);
}

void apply_dynamic_range(Workbench& wb, int slot) {
    dynamic_range(wb.table[slot], wb.settings.dynamic_range);
}

CommandResult gamma_command(Workbench& wb, std::function<bool()> dialog) {
    return run_in_place_command(wb, apply_gamma, std::move(dialog));
}

CommandResult level_command(Workbench& wb, std::function<bool()> dialog) {
    return run_in_place_command(wb, apply_level_correction, std::move(dialog));
}

CommandResult dynamic_range_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.honours_all = false;
    command.dialog = std::move(dialog);
    command.operation = apply_dynamic_range;
    return run_in_place_command(wb, command);
}

}  // namespace vora
