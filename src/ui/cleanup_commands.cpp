#include "ui/cleanup_commands.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/undo.h"
#include "filters/noise.h"

namespace vora {
namespace {

constexpr int kEdgeCode = 5;
constexpr int kEvenLinesCode = 30;
constexpr int kOddLinesCode = 31;
constexpr int32_t kNoiseToleranceOnOk = 10;

// Code 30 or 31 from slot `source` into the empty slot `target`.
void build_line_image(Workbench& wb, int source, int target, int code) {
    ImageRecord& r = wb.table[target];
    r.mono = wb.table[source].mono;  // the engine leaves the flag as set here
    wb.params[0] = source;
    apply_operation(wb, target, code);
    mark_new_result(r);
    r.changed = 0;  // nothing asks to save a separated image
}

}  // namespace

void fill_edge_params(const EdgeSettings& s, ParamVector& p) {
    p[0] = s.edge_area;
    p[1] = s.edge_threshold;
    p[2] = s.edge_strength;
    p[3] = s.dark_bright_split;
    p[4] = s.edge_smooth;
    p[5] = channel_mask(s.use_r, s.use_g, s.use_b);
}

void apply_edge(Workbench& wb, int slot) {
    fill_edge_params(wb.settings.edge, wb.params);
    apply_operation(wb, slot, kEdgeCode);
}

void apply_noise(Workbench& wb, int slot) {
    const NoiseSettings& s = wb.settings.noise;
    noise_reduction(wb.table[slot], s, 6 - std::clamp(s.noise_strength, 1, 5));
}

CommandResult edge_command(Workbench& wb, std::function<bool()> dialog) {
    return run_in_place_command(wb, apply_edge, std::move(dialog));
}

CommandResult noise_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.dialog = [&wb, inner = std::move(dialog)] {
        if (inner && !inner()) return false;
        wb.settings.noise.noise_tolerance = kNoiseToleranceOnOk;
        return true;
    };
    command.operation = apply_noise;
    return run_in_place_command(wb, command);
}

CommandResult line_split_command(Workbench& wb) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    const int source = table.current_slot;
    CommandResult result;
    int odd_slot = -1;
    for (int code : {kEvenLinesCode, kOddLinesCode}) {
        const int slot = take_result_slot(table, result);
        if (slot < 0) return result;  // an image already built stays
        try {
            build_line_image(wb, source, slot, code);
        } catch (const std::bad_alloc&) {
            release_slot(table[slot]);
            return CommandResult::fail(msg::kNoMemoryToRun);
        }
        odd_slot = slot;
    }
    table.current_slot = odd_slot;
    return result;
}

}  // namespace vora
