#include "ui/resize_commands.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/undo.h"
#include "filters/resize.h"

namespace vora {
namespace {

constexpr int kResizeCode = 6;
constexpr int kResizeProbe = 2;
constexpr int kCutProbe = 2;
constexpr int32_t kLastAnchor = 8;

int32_t to_int32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void run_resize(Workbench& wb, int slot, const ResizeSizes& s, int32_t selector) {
    ParamVector& p = wb.params;
    p[0] = s.new_width;
    p[1] = s.old_width;
    p[2] = s.new_height;
    p[3] = s.old_height;
    p[4] = selector;
    apply_operation(wb, slot, kResizeCode);
}

// Snapshot, code 6 and marking; out of memory puts the image back as it was.
void resize_in_place(Workbench& wb, int slot, const ResizeSizes& s, int32_t selector) {
    ImageRecord& r = wb.table[slot];
    take_snapshot(r);
    try {
        run_resize(wb, slot, s, selector);
    } catch (const std::bad_alloc&) {
        swap_with_snapshot(r);
        r.undo_available = r.redo_available = 0;
        throw;
    }
    mark_in_place_result(r);
}

CommandResult resize_all(Workbench& wb, const ResizeSizes& s, int32_t selector) {
    CommandResult result;
    ImageTable& table = wb.table;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const ImageRecord& r = table[slot];
        if (r.width <= 0) continue;
        const ResizeSizes own = scaled_sizes(s, r.width, r.height);
        if (!sizes_suitable(own)) {
            result.messages.push_back({MessageKind::error, msg::kUnsuitableSize});
            continue;
        }
        if (!probe_memory(table, -1, kResizeProbe, std::max(own.new_width, 1),
                          std::max(own.new_height, 1))) {
            result.outcome = Outcome::failed;
            result.messages.push_back({MessageKind::error, msg::kNoMemoryToRun});
            return result;
        }
        resize_in_place(wb, slot, own, selector);
    }
    return result;
}

// Fills the new slot from the current image; false when memory for the output is short.
bool build_cut(Workbench& wb, int slot, const CutPlan& plan) {
    ImageTable& table = wb.table;
    const CutSettings& s = wb.settings.cut;
    ImageRecord& out = table[slot];
    crop_record(table.current(), out, plan.cut_width, plan.cut_height,
                std::clamp(s.cut_anchor, 0, kLastAnchor));
    if (!probe_memory(table, -1, 1, std::max(plan.output_width, 1),
                      std::max(plan.output_height, 1)))
        return false;
    if (plan.output_width != plan.cut_width || plan.output_height != plan.cut_height) {
        run_resize(wb, slot,
                   {plan.cut_width, plan.cut_height, plan.output_width, plan.output_height},
                   plan.selector);
    }
    mark_fresh_copy(out);
    return true;
}

}  // namespace

void edit_new_width(ResizeSizes& s, int32_t value, bool keep_aspect) {
    s.new_width = std::max(value, 0);
    if (keep_aspect && s.old_width > 0)
        s.new_height = to_int32((int64_t(s.old_height) * s.new_width + 1) / s.old_width);
}

void edit_new_height(ResizeSizes& s, int32_t value, bool keep_aspect) {
    s.new_height = std::max(value, 0);
    if (keep_aspect && s.old_height > 0)
        s.new_width = to_int32((int64_t(s.new_height) * s.old_width + 1) / s.old_height);
}

bool sizes_suitable(const ResizeSizes& s) {
    for (int32_t v : {s.old_width, s.old_height, s.new_width, s.new_height})
        if (v < 0 || v > kMaxDialogSize) return false;
    return true;
}

int32_t resize_selector(int32_t resize_method, const ResizeSizes& s) {
    if (resize_method == 0 || resize_method == 1) return resize_method;
    if (resize_method == 3) return kResizeLanczos;
    const bool enlarging = s.new_width >= s.old_width && s.new_height >= s.old_height;
    return enlarging ? kResizeLanczos : kResizeBilinear;
}

ResizeSizes scaled_sizes(const ResizeSizes& s, int32_t width, int32_t height) {
    ResizeSizes own{width, height, width, height};
    if (s.old_width > 0) own.new_width = to_int32(int64_t(width) * s.new_width / s.old_width);
    if (s.old_height > 0) own.new_height = to_int32(int64_t(height) * s.new_height / s.old_height);
    return own;
}

CommandResult resize_command(Workbench& wb, std::function<bool(ResizeSizes&)> dialog) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    if (!probe_memory(table, table.current_slot, kResizeProbe))
        return CommandResult::fail(msg::kNoMemoryToRun);
    const ImageRecord& current = table.current();
    ResizeSizes sizes{current.width, current.height, current.width, current.height};
    if (dialog && !dialog(sizes)) return CommandResult::skip();
    if (!sizes_suitable(sizes)) return CommandResult::fail(msg::kUnsuitableSize);
    const int32_t selector = resize_selector(wb.settings.resize.resize_method, sizes);
    try {
        if (table.all_images_mode) return resize_all(wb, sizes, selector);
        resize_in_place(wb, table.current_slot, sizes, selector);
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    return {};
}

CutPlan plan_cut(const CutSettings& s, int32_t width, int32_t height) {
    CutPlan plan{};
    plan.cut_width = std::clamp(s.cut_width, 0, std::max(width, 0));
    plan.cut_height = std::clamp(s.cut_height, 0, std::max(height, 0));
    if (s.output_mode == 0) {
        plan.output_width = s.output_width;
        plan.output_height = s.output_height;
    } else {
        plan.output_width = to_int32(int64_t(plan.cut_width) * s.output_scale / 100);
        plan.output_height = to_int32(int64_t(plan.cut_height) * s.output_scale / 100);
    }
    const bool enlarging =
        plan.cut_width <= plan.output_width && plan.cut_height <= plan.output_height;
    plan.selector = enlarging ? kResizeLanczos : kResizeBilinear;
    return plan;
}

CommandResult cut_command(Workbench& wb, std::function<bool()> dialog) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    CommandResult result;
    const int slot = take_result_slot(table, result);
    if (slot < 0) return result;
    if (dialog && !dialog()) return CommandResult::skip();
    if (!probe_memory(table, table.current_slot, kCutProbe))
        return CommandResult::fail(msg::kNoMemoryToRun);
    const ImageRecord& current = table.current();
    const CutPlan plan = plan_cut(wb.settings.cut, current.width, current.height);
    // A rectangle without width or height would leave the new slot empty.
    if (plan.cut_width < 1 || plan.cut_height < 1) return CommandResult::fail(msg::kUnsuitableSize);
    try {
        if (!build_cut(wb, slot, plan)) {
            release_slot(table[slot]);
            return CommandResult::fail(msg::kNoMemoryToRun);
        }
    } catch (const std::bad_alloc&) {
        release_slot(table[slot]);
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    table.current_slot = slot;
    return result;
}

}  // namespace vora
