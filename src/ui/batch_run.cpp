#include "ui/batch_run.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <new>
#include <utility>

#include "composite/multi_file.h"
#include "core/undo.h"
#include "settings/batch_steps.h"
#include "ui/background_generation_commands.h"
#include "ui/cleanup_commands.h"
#include "ui/color_commands.h"
#include "ui/composite_commands.h"
#include "ui/distortion_command.h"
#include "ui/resize_commands.h"
#include "ui/restore_command.h"
#include "ui/rotate_command.h"
#include "ui/sharpen_command.h"
#include "ui/tone_commands.h"
#include "ui/wavelet_command.h"

namespace vora {
namespace {

constexpr int kLastStep = kBatchSteps - 1;

// The images a run works on and the file its result is named after.
struct RunContext {
    std::vector<int> slots;
    std::string dropped_path;
};

enum class StepEnd { next, stop };

// Appends the messages of `from`; false when it failed.
bool absorb(CommandResult& into, CommandResult from) {
    for (Message& m : from.messages) into.messages.push_back(std::move(m));
    if (from.outcome == Outcome::failed) into.outcome = Outcome::failed;
    return from.outcome != Outcome::failed;
}

int64_t now(const BatchCallbacks& callbacks) {
    if (callbacks.clock) return callbacks.clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

void show_status(const BatchCallbacks& callbacks, const char* text) {
    if (callbacks.status) callbacks.status(text);
}

void empty_table(ImageTable& table) {
    for (ImageRecord& r : table.image_table) release_slot(r);
    table.current_slot = 0;
}

// Batch steps never enlarge: the enlarge flag is no part of a step's settings.
void apply_wavelet_same_size(Workbench& wb, int slot) {
    WaveletFilterSettings& filter = wb.settings.wavelet_filter;
    const int32_t enlarge = std::exchange(filter.enlarge, 0);
    try {
        apply_wavelet(wb, slot);
    } catch (...) {
        filter.enlarge = enlarge;
        throw;
    }
    filter.enlarge = enlarge;
}

// The rotate command fixes the angle of the quarter turns before it turns.
void apply_rotate_step(Workbench& wb, int slot) {
    apply_rotate_mode(wb.settings.rotate);
    apply_rotate(wb, slot);
}

using SlotOperation = void (*)(Workbench&, int);

SlotOperation in_place_operation(int32_t operation) {
    switch (operation) {
        case kStepSharpen:
            return apply_sharpen;
        case kStepEdge:
            return apply_edge;
        case kStepWavelet:
            return apply_wavelet_same_size;
        case kStepRestore:
            return apply_restore;
        case kStepRotate:
            return apply_rotate_step;
        case kStepDistortion:
            return apply_distortion;
        case kStepGamma:
            return apply_gamma;
        case kStepLevel:
            return apply_level_correction;
        case kStepColor:
            return apply_color;
        case kStepNoise:
            return apply_noise;
        case kStepDynamicRange:
            return apply_dynamic_range;
        default:
            return nullptr;
    }
}

// ---- the save step

// The dropped file's name without folder and extension.
std::string file_stem(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + '/' + name;
}

struct SaveTarget {
    std::string path;
    int filter_index;
};

// The step's file type (its stored filter index, else the one its extension names) and the
// extension with its dot (the type's own when the step has none).
SaveTarget save_target(const BatchStep& step, const std::string& dropped_path) {
    const int32_t stored = step.stored_operation == kStepSave ? step.values[0] : 0;
    int filter = stored >= 1 && stored <= kSaveFilterCount ? stored : 0;
    std::string ext = step.save_extension;
    if (ext.empty()) ext = default_extension(filter > 0 ? filter : 1);
    if (ext.front() != '.') ext.insert(ext.begin(), '.');
    if (filter == 0) filter = filter_index_for_extension(std::string_view(ext).substr(1), 1);
    return {join_path(step.save_folder, file_stem(dropped_path) + ext), filter};
}

StepEnd save_step(Workbench& wb, const BatchStep& step, const RunContext& context,
                  const BatchCallbacks& callbacks, CommandResult& out) {
    if (wb.table.has_current_image()) {
        const SaveTarget target = save_target(step, context.dropped_path);
        bool declined = false;
        const ConfirmFn confirm = [&](const std::string& question) {
            declined = !(callbacks.confirm_overwrite && callbacks.confirm_overwrite(question));
            return !declined;
        };
        const int32_t last_filter = wb.save_filter_index;  // the save dialog's choice stays
        absorb(out, save_image_command(wb, target.path, target.filter_index, confirm));
        wb.save_filter_index = last_filter;
        if (declined)
            out.messages.push_back(
                {MessageKind::notice, format_message(msg::kBatchFileKept, target.path)});
    }
    empty_table(wb.table);
    return StepEnd::stop;
}

// ---- the steps

bool waiting_for_stars(const Workbench& wb) {
    return wb.star_pick.star_pick_mode != kStarPickIdle &&
           wb.star_pick.origin == StarPickOrigin::batch;
}

StepEnd in_place_step(Workbench& wb, SlotOperation operation) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return StepEnd::next;
    operation(wb, table.current_slot);
    mark_new_result(table.current());  // changed, and nothing to undo: no snapshot was taken
    return StepEnd::next;
}

StepEnd run_step(Workbench& wb, int step, const RunContext& context,
                 const BatchCallbacks& callbacks, BatchRun& run) {
    const int32_t operation = wb.batch.steps[std::size_t(step)].operation;
    switch (operation) {
        case kStepOpen:
            return StepEnd::next;  // the file is open already
        case kStepOpenComposite: {
            if (!absorb(run.result, composite_open_images(wb, context.slots))) return StepEnd::stop;
            if (!waiting_for_stars(wb)) return StepEnd::next;
            run.pending = PendingBatch{context.slots, context.dropped_path, step};
            return StepEnd::stop;
        }
        case kStepSave:
            return save_step(wb, wb.batch.steps[std::size_t(step)], context, callbacks, run.result);
        case kStepCut:
            return absorb(run.result, cut_command(wb)) ? StepEnd::next : StepEnd::stop;
        case kStepBackground:
            return absorb(run.result, make_background_command(wb)) ? StepEnd::next : StepEnd::stop;
        default: {
            const SlotOperation apply = in_place_operation(operation);
            return apply ? in_place_step(wb, apply) : StepEnd::next;
        }
    }
}

// Steps `first` to 8 on the current image; each step's private settings are live while it
// runs and are put back afterwards, also when it fails.
BatchRun run_steps(Workbench& wb, const RunContext& context, int first,
                   const BatchCallbacks& callbacks) {
    BatchRun run;
    for (int step = std::max(first, 0); step < kBatchSteps; ++step) {
        const int32_t operation = wb.batch.steps[std::size_t(step)].operation;
        if (operation < kStepOpen || operation > kStepDynamicRange) continue;
        load_step_settings(wb.batch, wb.settings, operation, step);
        StepEnd end = StepEnd::stop;
        try {
            end = run_step(wb, step, context, callbacks, run);
        } catch (const std::bad_alloc&) {
            absorb(run.result, CommandResult::fail(msg::kNoMemoryToRun));
        }
        store_step_settings(wb.batch, wb.settings, operation, step);
        if (end == StepEnd::stop) break;
    }
    return run;
}

// ---- the drop

struct DropState {
    int handled = 0;  // files opened
    bool dark_missed = false;
};

// Opens a dropped file into the lowest free slot as its current image; false (with the
// message) when it cannot. The dark-frame notice is collected for the end of the drop.
bool open_dropped(Workbench& wb, const std::string& path, CommandResult& out, DropState& state) {
    CommandResult opened = open_image_command(wb, path);
    for (Message& m : opened.messages) {
        if (m.text == msg::kDarkNotApplied)
            state.dark_missed = true;
        else
            out.messages.push_back(std::move(m));
    }
    if (opened.outcome == Outcome::failed) out.outcome = Outcome::failed;
    if (!opened.ok() || !wb.table.has_current_image()) return false;
    ++state.handled;
    return true;
}

void report_progress(const BatchCallbacks& callbacks, std::size_t file, std::size_t count) {
    if (callbacks.progress) callbacks.progress(int(file) + 1, int(count));
}

// Mode 1: each file alone in the table, then the recipe on it.
BatchRun drop_one_by_one(Workbench& wb, const std::vector<std::string>& files,
                         const BatchCallbacks& callbacks, DropState& state) {
    BatchRun run;
    for (std::size_t i = 0; i < files.size(); ++i) {
        report_progress(callbacks, i, files.size());
        empty_table(wb.table);
        if (!open_dropped(wb, files[i], run.result, state)) break;
        BatchRun one = run_steps(wb, {{wb.table.current_slot}, files[i]}, 0, callbacks);
        const bool ok = absorb(run.result, std::move(one.result));
        // Ending without saving keeps the first result on screen.
        if (!ok || wb.batch.steps[kLastStep].operation == kStepEnd) break;
    }
    return run;
}

// Mode 2: every file opened, then the recipe once on all of them.
BatchRun drop_for_composite(Workbench& wb, const std::vector<std::string>& files,
                            const BatchCallbacks& callbacks, DropState& state) {
    BatchRun run;
    std::vector<int> slots;
    for (std::size_t i = 0; i < files.size(); ++i) {
        report_progress(callbacks, i, files.size());
        if (!open_dropped(wb, files[i], run.result, state)) return run;  // the set is incomplete
        slots.push_back(wb.table.current_slot);
    }
    wb.table.current_slot = slots.front();
    BatchRun all = run_steps(wb, {slots, files.back()}, 0, callbacks);
    absorb(run.result, std::move(all.result));
    run.pending = std::move(all.pending);
    return run;
}

// The end of a drop or of a resumed run: the prompt again and batch mode off.
void end_batch(Workbench& wb, const BatchCallbacks& callbacks) {
    show_status(callbacks, msg::kBatchDropPrompt);
    wb.batch.batch_mode = kBatchOff;
}

}  // namespace

BatchRun run_batch(Workbench& wb, int file_count, const std::string& dropped_path,
                   const BatchCallbacks& callbacks) {
    if (file_count < 1) return {CommandResult::skip(), std::nullopt};
    RunContext context{{}, dropped_path};
    for (int slot = 0; slot < std::min(file_count, kSlotCount); ++slot)
        context.slots.push_back(slot);
    wb.table.current_slot = 0;
    return run_steps(wb, context, 0, callbacks);
}

BatchRun batch_drop(Workbench& wb, const std::vector<std::string>& dropped,
                    const BatchCallbacks& callbacks) {
    const int32_t mode = wb.batch.batch_mode;
    if ((mode != kBatchSingle && mode != kBatchComposite) || dropped.empty())
        return {CommandResult::skip(), std::nullopt};
    CommandResult notices;
    std::vector<std::string> files = dropped;
    if (mode == kBatchComposite && files.size() > std::size_t(kMaxCompositeFiles)) {
        notices.messages.push_back({MessageKind::error, msg::kBatchTooManyFiles});
        files.resize(std::size_t(kMaxCompositeFiles));
    }
    show_status(callbacks, msg::kBatchRunning);
    const int64_t start = now(callbacks);
    DropState state;
    BatchRun run = mode == kBatchSingle ? drop_one_by_one(wb, files, callbacks, state)
                                        : drop_for_composite(wb, files, callbacks, state);
    absorb(notices, std::move(run.result));
    run.result = std::move(notices);
    if (state.dark_missed)
        run.result.messages.push_back({MessageKind::error, msg::kDarkNotApplied});
    if (run.pending) return run;  // batch mode stays on while the stars are picked
    if (wb.batch.timing)
        run.result.messages.push_back(
            {MessageKind::notice, batch_timing_message(state.handled, now(callbacks) - start)});
    end_batch(wb, callbacks);
    return run;
}

BatchRun resume_batch_after_pick(Workbench& wb, const PendingBatch& pending,
                                 const BatchCallbacks& callbacks) {
    const int step = pending.composite_step;
    if (wb.batch.batch_mode == kBatchOff || step < 0 || step >= kBatchSteps)
        return {CommandResult::skip(), std::nullopt};
    BatchRun run;
    load_step_settings(wb.batch, wb.settings, kStepOpenComposite, step);
    CommandResult composite;
    try {
        composite = composite_open_images_on_stars(wb, pending.slots);
    } catch (const std::bad_alloc&) {
        composite = CommandResult::fail(msg::kNoMemoryToRun);
    }
    store_step_settings(wb.batch, wb.settings, kStepOpenComposite, step);
    if (absorb(run.result, std::move(composite))) {
        BatchRun rest = run_steps(wb, {pending.slots, pending.dropped_path}, step + 1, callbacks);
        absorb(run.result, std::move(rest.result));
        run.pending = std::move(rest.pending);
    }
    if (!run.pending) end_batch(wb, callbacks);
    return run;
}

std::string batch_timing_message(int files, int64_t centiseconds) {
    const int64_t cs = std::max<int64_t>(centiseconds, 0);
    const int seconds = int(std::min<int64_t>(cs / 100, INT_MAX));
    char text[128];
    std::snprintf(text, sizeof text, msg::kBatchTiming, files, seconds, int(cs % 100));
    return text;
}

CommandResult batch_start_command(Workbench& wb, const BatchCallbacks& callbacks) {
    BatchRecipe& recipe = wb.batch;
    if (!recipe.folder_set && recipe.steps[kLastStep].operation != kStepEnd) {
        recipe.batch_mode = kBatchOff;
        return CommandResult::fail(msg::kBatchNotSetUp);
    }
    // The first step offers only the two opening choices; anything else opens one file.
    recipe.batch_mode =
        recipe.steps[0].operation == kStepOpenComposite ? kBatchComposite : kBatchSingle;
    ImageTable& table = wb.table;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (!table[slot].occupied()) continue;
        if (table[slot].changed) {
            table.current_slot = slot;
            const SaveAnswer answer =
                callbacks.save_on_close ? callbacks.save_on_close(slot) : SaveAnswer::cancel;
            if (answer == SaveAnswer::cancel) break;  // this image and the rest stay open
        }
        close_slot(table, slot);
    }
    show_status(callbacks, msg::kBatchDropPrompt);
    return {};
}

CommandResult batch_stop_command(Workbench& wb) {
    wb.batch.batch_mode = kBatchOff;
    if (wb.star_pick.origin == StarPickOrigin::batch) wb.star_pick.star_pick_mode = kStarPickIdle;
    return {};
}

}  // namespace vora
