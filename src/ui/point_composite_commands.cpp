#include "ui/point_composite_commands.h"

#include <new>
#include <optional>
#include <vector>

#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/undo.h"
#include "ui/point_rules.h"

namespace vora {
namespace {

constexpr int kPointCompositeCode = 8;
constexpr int kLrgbCode = 9;

void put_group(ParamVector& p, int group, int slot, int32_t weight, const AlignPoints& pts) {
    const std::size_t at = 4 * std::size_t(group);
    p[at] = slot;
    p[at + 1] = weight;
    p[at + 2] = packed_a(pts);
    p[at + 3] = packed_b(pts);
}

// Runs `code` into a free slot that becomes the current, changed image; `empty_message` when
// the engine could not make it.
CommandResult run_into_new_slot(Workbench& wb, int code, const char* empty_message) {
    CommandResult result;
    const int target = take_result_slot(wb.table, result);
    if (target < 0) return result;
    try {
        apply_operation(wb, target, code);
    } catch (const std::bad_alloc&) {
        release_slot(wb.table[target]);
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    if (!wb.table[target].occupied()) {
        release_slot(wb.table[target]);
        return CommandResult::fail(empty_message);
    }
    mark_new_result(wb.table[target]);
    wb.table.current_slot = target;
    return result;
}

// The checks every composite command starts with: a current image, memory for `count`
// buffers (of the slot, or of the largest image for −1), then the dialog. The result to end
// with when one fails.
std::optional<CommandResult> refused_start(Workbench& wb, int probe_slot, int count,
                                           const std::function<bool()>& dialog) {
    if (!wb.table.has_current_image()) return CommandResult::skip();
    if (!probe_memory(wb.table, probe_slot, count)) return CommandResult::fail(msg::kNoMemoryToRun);
    if (dialog && !dialog()) return CommandResult::skip();
    return std::nullopt;
}

// The point rules over the chosen images (slot ≥ 0) only.
bool complete_chosen(std::array<AlignPoints, 4>& points, const std::array<int, 4>& slots) {
    std::vector<AlignPoints> chosen;
    for (std::size_t i = 0; i < 4; ++i)
        if (slots[i] >= 0) chosen.push_back(points[i]);
    const bool completed = complete_b_points(chosen);
    for (std::size_t i = 0, k = 0; i < 4; ++i)
        if (slots[i] >= 0) points[i] = chosen[k++];
    return completed;
}

}  // namespace

PointStackOptions point_stack_options(const CompositeSettings& s) {
    return {s.stack_mode, s.reject_mode, s.noise_level, s.normalize, s.shift_x, s.shift_y};
}

CommandResult run_point_composite(Workbench& wb, const PointCompositeImages& images,
                                  const PointStackOptions& s) {
    ParamVector& p = wb.params;
    p[0] = s.stack_mode;
    p[2] = rejection_param(s.reject_mode, s.noise_level, s.shift_x, s.shift_y);
    p[3] = 3 * s.normalize;
    for (int g = 0; g < 4; ++g) {
        const int slot = images.slots[std::size_t(g)];
        put_group(p, 1 + g, slot, slot < 0 ? 0 : images.weights[std::size_t(g)],
                  images.points[std::size_t(g)]);
    }
    p[20] = s.shift_x;
    p[21] = s.shift_y;
    return run_into_new_slot(wb, kPointCompositeCode, msg::kTooFewImages);
}

CommandResult point_composite_command(Workbench& wb, std::function<bool()> dialog) {
    if (auto refused = refused_start(wb, -1, 4, dialog)) return *refused;
    ImageTable& table = wb.table;
    CompositeSettings& s = wb.settings.composite;
    PointCompositeImages images;
    int count = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int slot = chosen_slot(table, s.images[i]);
        if (slot < 0) continue;
        expand_mono(table[slot]);
        images.slots[i] = slot;
        images.weights[i] = s.weights[i];
        ++count;
    }
    if (count < 2) return CommandResult::fail(msg::kTooFewImages);
    if (find_free_slot(table) < 0) return CommandResult::fail(msg::kNoSlotForResult);
    images.points = s.points;
    const bool completed = complete_chosen(images.points, images.slots);
    CommandResult result = run_point_composite(wb, images, point_stack_options(s));
    if (completed)
        for (AlignPoints& p : s.points) p.b_x = p.b_y = 0;
    return result;
}

CommandResult lrgb_command(Workbench& wb, std::function<bool()> dialog) {
    if (auto refused = refused_start(wb, wb.table.current_slot, 2, dialog)) return *refused;
    ImageTable& table = wb.table;
    const int l = chosen_slot(table, wb.settings.lrgb.l_image);
    const int rgb = chosen_slot(table, wb.settings.lrgb.rgb_image);
    if (l == -1) return CommandResult::fail(msg::kNoLImage);
    if (rgb == -1) return CommandResult::fail(msg::kNoRgbImage);
    if (l < 0 || rgb < 0) return CommandResult::fail(msg::kNoImageChosen);
    expand_mono(table[l]);
    expand_mono(table[rgb]);
    if (find_free_slot(table) < 0) return CommandResult::fail(msg::kNoSlotForResult);
    std::array<AlignPoints, 2> points{wb.settings.composite.points[0],
                                      wb.settings.composite.points[1]};
    complete_b_points(points);
    put_group(wb.params, 0, l, 100, points[0]);
    for (int g = 1; g < 4; ++g) put_group(wb.params, g, rgb, 100, points[1]);
    return run_into_new_slot(wb, kLrgbCode, msg::kNoImageChosen);
}

CommandResult lrgb4_command(Workbench& wb, std::function<bool()> dialog) {
    if (auto refused = refused_start(wb, -1, 4, dialog)) return *refused;
    ImageTable& table = wb.table;
    CompositeSettings& s = wb.settings.composite;
    std::array<int, 4> slots{};
    for (std::size_t i = 0; i < 4; ++i) slots[i] = chosen_slot(table, s.images[i]);
    if (slots[1] == -1 || slots[2] == -1 || slots[3] == -1)
        return CommandResult::fail(msg::kNoRgbImages);
    for (int slot : slots)
        if (slot == -2) return CommandResult::fail(msg::kNoImageChosen);
    for (int slot : slots)
        if (slot >= 0) expand_mono(table[slot]);
    if (find_free_slot(table) < 0) return CommandResult::fail(msg::kNoSlotForResult);
    std::array<AlignPoints, 4> points = s.points;
    const bool completed = complete_chosen(points, slots);
    for (int g = 0; g < 4; ++g) {
        const int slot = slots[std::size_t(g)];
        put_group(wb.params, g, slot, slot < 0 ? 0 : s.weights[std::size_t(g)],
                  points[std::size_t(g)]);
    }
    CommandResult result = run_into_new_slot(wb, kLrgbCode, msg::kNoImageChosen);
    if (completed)
        for (AlignPoints& p : s.points) p.b_x = p.b_y = 0;
    return result;
}

}  // namespace vora
