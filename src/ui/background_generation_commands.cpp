#include "ui/background_generation_commands.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/undo.h"

namespace vora {
namespace {

constexpr int kBackgroundCorrectionCode = 7;
constexpr int kBackgroundGenerationCode = 50;
constexpr int32_t kReferenceMultiply = 3, kReferenceSubtract = 4;
constexpr int32_t kCorrectMultiply = 1, kCorrectSubtract = 2;

constexpr int32_t kDetectionMin = 8, kDetectionMax = 256, kDetectionStep = 8;
constexpr int32_t kAveragingMin = 2, kAveragingMax = 16, kAveragingStep = 2;

// Inside lo..hi, rounded down to a multiple of `step` (lo and hi are multiples of it).
int32_t snapped(int32_t pos, int32_t lo, int32_t hi, int32_t step) {
    const int32_t v = std::clamp(pos, lo, hi);
    return v - v % step;
}

bool has_all_planes(const ImageRecord& r) {
    const std::size_t n = r.sample_count();
    return n > 0 && r.red.size() == n && r.green.size() == n && r.blue.size() == n;
}

// Code 50 from slot `source` into the empty slot `target`, which takes the source's mono
// flag (a grey image gets only its first plane generated). False when nothing was made.
bool generate(Workbench& wb, int source, int target, int32_t detection_size) {
    const BackgroundGenerationSettings& s = wb.settings.background_generation;
    wb.table[target].mono = wb.table[source].mono;
    ParamVector& p = wb.params;
    p[0] = source;
    p[1] = detection_size;
    p[2] = s.averaging_size;
    p[3] = s.exclude_zero;
    apply_operation(wb, target, kBackgroundGenerationCode);
    return has_all_planes(wb.table[target]);
}

// Code 7 in a reference mode on `slot` against the image in `reference`.
void correct_with_reference(Workbench& wb, int slot, int32_t mode, int32_t level, int reference) {
    ParamVector& p = wb.params;
    p[0] = mode;
    p[2] = p[4] = p[6] = level;
    p[8] = reference;
    apply_operation(wb, slot, kBackgroundCorrectionCode);
}

// The current image corrected against `reference`, undoably.
void correct_current(Workbench& wb, int32_t mode, int32_t level, int reference) {
    const int slot = wb.table.current_slot;
    ImageRecord& r = wb.table[slot];
    take_snapshot(r);
    try {
        correct_with_reference(wb, slot, mode, level, reference);
    } catch (const std::bad_alloc&) {
        swap_with_snapshot(r);  // back as it was; nothing to undo
        r.undo_available = r.redo_available = 0;
        throw;
    }
    mark_in_place_result(r);
}

// Generates the background of the current image into `a` (through `b` in two steps).
bool generate_background(Workbench& wb, int a, int b) {
    const BackgroundGenerationSettings& s = wb.settings.background_generation;
    const int current = wb.table.current_slot;
    if (b < 0) return generate(wb, current, a, s.detection_size);
    const int32_t half = s.detection_size / 2;
    const bool ok = generate(wb, current, b, half) && generate(wb, b, a, half);
    release_slot(wb.table[b]);
    return ok;
}

// After the background is in slot `a`: keep it as the new current image, or correct the
// current image with it and let it go.
void finish(Workbench& wb, int a) {
    const BackgroundGenerationSettings& s = wb.settings.background_generation;
    if (s.correction == kCorrectMultiply || s.correction == kCorrectSubtract) {
        const bool multiply = s.correction == kCorrectMultiply;
        correct_current(wb, multiply ? kReferenceMultiply : kReferenceSubtract,
                        multiply ? 0 : s.shift, a);
        release_slot(wb.table[a]);
        return;
    }
    // A kept background is a new image that nothing asks to save: not changed, no undo.
    ImageRecord& kept = wb.table[a];
    mark_new_result(kept);
    kept.changed = 0;
    kept.undo_mono = 0;
    wb.table.current_slot = a;
}

}  // namespace

int32_t clamp_detection_size(int32_t typed) {
    return std::clamp(typed, kDetectionMin, kDetectionMax);
}
int32_t detection_size_from_scroll(int32_t pos) {
    return snapped(pos, kDetectionMin, kDetectionMax, kDetectionStep);
}
int32_t clamp_averaging_size(int32_t typed) {
    return std::clamp(typed, kAveragingMin, kAveragingMax);
}
int32_t averaging_size_from_scroll(int32_t pos) {
    return snapped(pos, kAveragingMin, kAveragingMax, kAveragingStep);
}

CommandResult make_background_command(Workbench& wb, std::function<bool()> dialog) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    if (!probe_memory(table, table.current_slot, 2))
        return CommandResult::fail(msg::kNoMemoryToRun);
    if (dialog && !dialog()) return CommandResult::skip();

    CommandResult result;
    const int a = take_result_slot(table, result);
    if (a < 0) return result;
    int b = -1;
    if (wb.settings.background_generation.two_step != 0) {
        // A holds the current size while the second slot is looked for, so the search skips it.
        table[a].width = table.current().width;
        table[a].height = table.current().height;
        b = take_result_slot(table, result);
        if (b < 0) {
            release_slot(table[a]);
            return result;
        }
    }
    try {
        if (!generate_background(wb, a, b)) {
            release_slot(table[a]);
            return CommandResult::skip();
        }
        finish(wb, a);
    } catch (const std::bad_alloc&) {
        if (b >= 0) release_slot(table[b]);
        release_slot(table[a]);
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    return result;
}

CommandResult compare_command(Workbench& wb, std::function<bool()> dialog) {
    bool no_image = false;
    InPlaceCommand command;
    command.honours_all = false;
    command.dialog = [&wb, &no_image, inner = std::move(dialog)] {
        if (inner && !inner()) return false;
        const ImageTable& table = wb.table;
        const int32_t slot = wb.settings.comparison.image_slot;
        // The list never offers the current image; a stale choice of it is refused too.
        no_image = !table.valid_slot(slot) || !table[slot].occupied() || slot == table.current_slot;
        return !no_image;
    };
    command.operation = [](Workbench& w, int slot) {
        const ComparisonSettings& c = w.settings.comparison;
        correct_with_reference(w, slot, kReferenceSubtract, c.base, c.image_slot);
    };
    CommandResult result = run_in_place_command(wb, command);
    if (no_image) return CommandResult::fail(msg::kNoImageChosen);
    return result;
}

}  // namespace vora
