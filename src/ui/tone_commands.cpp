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

// Runs a gamma or level command. The dialog may change the channel selector, so whether
// the results become colour images (per-channel mode clears `mono`) is decided once it has
// closed with OK.
CommandResult run_channel_command(Workbench& wb, InPlaceCommand command,
                                  std::function<bool()> dialog, const int32_t& selector) {
    InPlaceCommand* self = &command;
    command.dialog = [self, &selector, inner = std::move(dialog)] {
        if (inner && !inner()) return false;
        self->mono_after = per_channel(selector) ? 0 : -1;
        return true;
    };
    return run_in_place_command(wb, command);
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

CommandResult gamma_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.operation = [](Workbench& w, int slot) {
        fill_gamma_params(w.settings.gamma, w.params);
        apply_operation(w, slot, kToneCurveCode);
    };
    return run_channel_command(wb, std::move(command), std::move(dialog),
                               wb.settings.gamma.channel);
}

CommandResult level_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.operation = [](Workbench& w, int slot) {
        apply_level_settings(w.table[slot], w.settings.level);
    };
    return run_channel_command(wb, std::move(command), std::move(dialog),
                               wb.settings.level.channel);
}

CommandResult dynamic_range_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.honours_all = false;
    command.dialog = std::move(dialog);
    command.operation = [](Workbench& w, int slot) {
        dynamic_range(w.table[slot], w.settings.dynamic_range);
    };
    return run_in_place_command(wb, command);
}

}  // namespace vora
