#include "ui/composite_commands.h"

#include <new>
#include <set>
#include <utility>
#include <vector>

#include "composite/multi_file.h"
#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/undo.h"
#include "io/dark_frames.h"
#include "io/file_kind.h"
#include "io/open_save.h"
#include "ui/point_rules.h"
#include "ui/rotation_composite_commands.h"
#include "ui/star_pick.h"

namespace vora {
namespace {

constexpr int kAutoCompositeCode = 3;

// What one automatic-composite run (engine code 3) is asked to do.
struct CompositeRequest {
    int32_t compare_range = 20;
    int32_t stack_mode = kStackAverage;
    int32_t method = kCompareSlow;
    int32_t normalize = 1;
    int32_t min_shift = 1;
    int32_t reject_mode = kRejectNoise;
    int32_t noise_level = 5;
    int32_t shift_x = 0, shift_y = 0;
    std::array<int32_t, 4> slots{-1, -1, -1, -1};
    std::array<int32_t, 4> weights{};
};

void fill_composite_params(const CompositeRequest& r, ParamVector& p) {
    p[0] = p[1] = std::max(r.compare_range, 0);
    p[2] = r.stack_mode;
    p[3] = r.method + 3 * r.normalize + 256 * r.min_shift;
    for (std::size_t i = 0; i < 4; ++i) {
        p[4 + i] = r.slots[i];
        p[8 + i] = r.slots[i] < 0 ? 0 : r.weights[i];
    }
    p[15] = rejection_param(r.reject_mode, r.noise_level, r.shift_x, r.shift_y);
    p[16] = r.shift_x;
    p[17] = r.shift_y;
}

// Runs engine code 3 into a free slot; -1 (with the message) when there is none or fewer
// than two images could be stacked.
int run_composite(Workbench& wb, const CompositeRequest& request, CommandResult& result) {
    const int target = take_result_slot(wb.table, result);
    if (target < 0) return -1;
    fill_composite_params(request, wb.params);
    try {
        apply_operation(wb, target, kAutoCompositeCode);
    } catch (const std::bad_alloc&) {
        release_slot(wb.table[target]);
        result = CommandResult::fail(msg::kNoMemoryToRun);
        return -1;
    }
    if (!wb.table[target].occupied()) {
        release_slot(wb.table[target]);
        result = CommandResult::fail(msg::kTooFewImages);
        return -1;
    }
    return target;
}

// The fields the automatic and the multi-file composite settings share.
template <class Settings>
CompositeRequest request_from(const Settings& s) {
    CompositeRequest r;
    r.compare_range = s.compare_range;
    r.stack_mode = s.stack_mode;
    r.method = s.compare_method;
    r.normalize = s.normalize;
    r.min_shift = s.min_shift;
    r.reject_mode = s.reject_mode;
    r.noise_level = s.noise_level;
    return r;
}

// Slots the multi-file composite holds while it runs; whatever is still held when it ends
// (also on failure) is released.
class TemporarySlots {
  public:
    explicit TemporarySlots(ImageTable& table) : table_(table) {}
    ~TemporarySlots() {
        for (int slot : slots_) release_slot(table_[slot]);
    }
    TemporarySlots(const TemporarySlots&) = delete;
    TemporarySlots& operator=(const TemporarySlots&) = delete;
    void hold(int slot) { slots_.insert(slot); }
    void drop(int slot) {
        release_slot(table_[slot]);
        slots_.erase(slot);
    }
    void keep(int slot) { slots_.erase(slot); }

  private:
    ImageTable& table_;
    std::set<int> slots_;
};

// One multi-file run: the files, the settings and the bookkeeping of its temporary slots.
// The files are read from the listed paths, or are images already open in `open_slots`
// (file i in open_slots[i]), which the run reads but never releases.
class MultiFileRun {
  public:
    MultiFileRun(Workbench& wb, const ProgressFn& progress, std::vector<int> open_slots = {})
        : wb_(wb),
          settings_(wb.settings.multi_file_composite),
          progress_(progress),
          held_(wb.table),
          open_slots_(std::move(open_slots)) {}

    CommandResult run();
    // The images already open: stacked into a new slot, or the star pick starts.
    CommandResult run_open();
    // After the two stars were picked in the first file (held in the current slot).
    CommandResult run_rotation();

  private:
    void report(const std::string& text) const {
        if (progress_) progress_(text);
    }
    int reserve_holder(CommandResult& result);
    bool load(int file, ImageRecord& record, CommandResult& result);
    int file_count() const {
        return open_slots_.empty() ? int(settings_.files.size()) : int(open_slots_.size());
    }
    int source_slot(int file, CommandResult& result);
    void release_source(int slot);
    bool stack_into(int holder, int n, CommandResult& result);
    int stack_pass(const std::vector<int>& files, CommandResult& result);
    int stack_groups(const std::vector<std::vector<int>>& groups, CommandResult& result);
    PointStackOptions stack_options() const {
        return {settings_.stack_mode,
                settings_.reject_mode,
                settings_.noise_level,
                settings_.normalize,
                0,
                0};
    }
    int stack_on_stars(const std::vector<int>& slots, int holder, const PointStackOptions& options,
                       CommandResult& result);
    int rotation_pass(const std::vector<int>& files, int holder, CommandResult& result);

    Workbench& wb_;
    const MultiFileCompositeSettings& settings_;
    const ProgressFn& progress_;
    TemporarySlots held_;
    std::vector<int> open_slots_;
    std::set<int> not_dark_corrected_;
};

// A free slot marked as taken (1 × 1, no planes) so that later searches pass it by.
int MultiFileRun::reserve_holder(CommandResult& result) {
    const int slot = take_result_slot(wb_.table, result);
    if (slot < 0) return -1;
    wb_.table[slot].width = wb_.table[slot].height = 1;
    held_.hold(slot);
    return slot;
}

bool MultiFileRun::load(int file, ImageRecord& record, CommandResult& result) {
    const std::string& path = settings_.files[std::size_t(file)];
    report("reading " + path);
    release_slot(record);
    const ReadResult read = open_image_file(wb_, path, record);
    if (!read.ok()) {
        result = CommandResult::fail(format_message(msg::kCannotRead, path, read.detail));
        return false;
    }
    mark_loaded(record);
    if (dark_mismatch(wb_.dark, file_kind(path), record)) not_dark_corrected_.insert(file);
    return true;
}

// The slot holding `file`: its open image, or a free slot it is read into; -1 on failure.
int MultiFileRun::source_slot(int file, CommandResult& result) {
    if (!open_slots_.empty()) return open_slots_[std::size_t(file)];
    const int slot = reserve_holder(result);
    if (slot < 0 || !load(file, wb_.table[slot], result)) return -1;
    return slot;
}

// Lets a slot from source_slot go; open images stay.
void MultiFileRun::release_source(int slot) {
    if (open_slots_.empty()) held_.drop(slot);
}

// Opens up to four files into free slots and stacks them into a new slot.
int MultiFileRun::stack_pass(const std::vector<int>& files, CommandResult& result) {
    CompositeRequest request = request_from(settings_);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int slot = source_slot(files[i], result);
        if (slot < 0) return -1;
        expand_mono(wb_.table[slot]);
        request.slots[i] = slot;
        request.weights[i] = 100;
    }
    report("stacking " + std::to_string(files.size()) + " images");
    const int target = run_composite(wb_, request, result);
    for (std::size_t i = 0; i < files.size(); ++i) release_source(request.slots[i]);
    if (target >= 0) held_.hold(target);
    return target;
}

// Stacks each group in its own pass, then the group results once more without rejection.
int MultiFileRun::stack_groups(const std::vector<std::vector<int>>& groups, CommandResult& result) {
    CompositeRequest final_request = request_from(settings_);
    final_request.reject_mode = kRejectNone;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        report("pass " + std::to_string(g + 1) + " of " + std::to_string(groups.size()));
        const int slot = stack_pass(groups[g], result);
        if (slot < 0) return -1;
        final_request.slots[g] = slot;
        final_request.weights[g] = 100;
    }
    report("stacking the " + std::to_string(groups.size()) + " pass results");
    const int target = run_composite(wb_, final_request, result);
    for (std::size_t g = 0; g < groups.size(); ++g) held_.drop(final_request.slots[g]);
    if (target >= 0) held_.hold(target);
    return target;
}

CommandResult MultiFileRun::run() {
    CommandResult result;
    ImageTable& table = wb_.table;
    const int n = int(settings_.files.size());
    if (n == 0) return CommandResult::skip();
    if (n > kMaxCompositeFiles) return CommandResult::fail(msg::kTooManyCompositeFiles);
    const int holder = reserve_holder(result);
    if (holder < 0) return result;
    if (!load(0, table[holder], result)) return result;
    if (n > 1 && settings_.compare_method == kCompareRotation) {
        // The first file stays open for the user to pick two stars in; 3022 goes on.
        held_.keep(holder);
        table.current_slot = holder;
        start_star_pick(wb_.star_pick, StarPickOrigin::multi_file,
                        wb_.settings.composite.rotation_size);
        return result;
    }
    if (n > 1) {
        // The holder keeps its place while the passes run in the slots after it.
        release_slot(table[holder]);
        table[holder].width = table[holder].height = 1;
        if (!stack_into(holder, n, result)) return result;
    }
    held_.keep(holder);
    table.current_slot = holder;
    if (!not_dark_corrected_.empty())
        result.messages.push_back({MessageKind::error, msg::kDarkNotApplied});
    return result;
}

// Stacks the n files (in one pass or in groups) and moves the result into the holder.
bool MultiFileRun::stack_into(int holder, int n, CommandResult& result) {
    ImageTable& table = wb_.table;
    const auto groups = multi_file_groups(n);
    const int stacked =
        groups.size() == 1 ? stack_pass(groups[0], result) : stack_groups(groups, result);
    if (stacked < 0) return false;
    std::swap(table[holder], table[stacked]);  // the result moves into the holder
    held_.drop(stacked);
    mark_new_result(table[holder]);
    return true;
}

CommandResult MultiFileRun::run_open() {
    CommandResult result;
    ImageTable& table = wb_.table;
    const int n = file_count();
    if (n > kMaxCompositeFiles) return CommandResult::fail(msg::kTooManyCompositeFiles);
    for (int slot : open_slots_)
        if (!table.valid_slot(slot) || !table[slot].occupied())
            return CommandResult::fail(msg::kTooFewImages);
    if (n < 2) return result;  // one image stays as it is
    if (settings_.compare_method == kCompareRotation) {
        // The user picks two stars in the first image; 3023 goes on.
        table.current_slot = open_slots_[0];
        start_star_pick(wb_.star_pick, StarPickOrigin::batch, wb_.settings.composite.rotation_size);
        return result;
    }
    const int holder = reserve_holder(result);
    if (holder < 0 || !stack_into(holder, n, result)) return result;
    held_.keep(holder);
    table.current_slot = holder;
    return result;
}

// Finds the picked stars of the holder's image in the slots' images and stacks them with
// code 8 into a new slot.
int MultiFileRun::stack_on_stars(const std::vector<int>& slots, int holder,
                                 const PointStackOptions& options, CommandResult& result) {
    for (int slot : slots) expand_mono(wb_.table[slot]);
    const PointCompositeImages images =
        locate_picked_stars(wb_.table, wb_.table[holder], wb_.star_pick.points, slots,
                            wb_.settings.composite.rotation_size, settings_.compare_range);
    result = run_point_composite(wb_, images, options);
    if (!result.ok()) return -1;
    held_.hold(wb_.table.current_slot);
    return wb_.table.current_slot;
}

// Opens the files of one pass (the first file is the holder itself) and stacks them on the
// stars.
int MultiFileRun::rotation_pass(const std::vector<int>& files, int holder, CommandResult& result) {
    std::vector<int> slots;
    for (int file : files) {
        const int slot = file == 0 ? holder : source_slot(file, result);
        if (slot < 0) return -1;
        slots.push_back(slot);
    }
    report("stacking " + std::to_string(files.size()) + " images on the picked stars");
    const int target = stack_on_stars(slots, holder, stack_options(), result);
    for (int slot : slots)
        if (slot != holder) release_source(slot);
    return target;
}

CommandResult MultiFileRun::run_rotation() {
    CommandResult result;
    ImageTable& table = wb_.table;
    const int holder = table.current_slot;
    const int n = file_count();
    if (!table.has_current_image() || n < 2) return CommandResult::skip();
    if (n > kMaxCompositeFiles) return CommandResult::fail(msg::kTooManyCompositeFiles);
    const auto groups = multi_file_groups(n);
    int stacked = -1;
    if (groups.size() == 1) {
        stacked = rotation_pass(groups[0], holder, result);
    } else {
        std::vector<int> group_slots;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            report("pass " + std::to_string(g + 1) + " of " + std::to_string(groups.size()));
            const int slot = rotation_pass(groups[g], holder, result);
            if (slot < 0) return result;
            group_slots.push_back(slot);
        }
        PointStackOptions final_options = stack_options();
        final_options.reject_mode = kRejectNone;
        report("stacking the " + std::to_string(groups.size()) + " pass results");
        stacked = stack_on_stars(group_slots, holder, final_options, result);
        for (int slot : group_slots) held_.drop(slot);
    }
    if (stacked < 0) return result;
    std::swap(table[holder], table[stacked]);  // the result moves into the holder
    held_.drop(stacked);
    mark_new_result(table[holder]);
    table.current_slot = holder;
    if (!not_dark_corrected_.empty())
        result.messages.push_back({MessageKind::error, msg::kDarkNotApplied});
    return result;
}

}  // namespace

CommandResult auto_composite_command(Workbench& wb, std::function<bool()> dialog) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    if (!probe_memory(table, -1, 4)) return CommandResult::fail(msg::kNoMemoryToRun);
    if (dialog && !dialog()) return CommandResult::skip();
    const CompositeSettings& settings = wb.settings.composite;
    CompositeRequest request = request_from(settings);
    request.shift_x = settings.shift_x;
    request.shift_y = settings.shift_y;
    for (std::size_t i = 0; i < 4; ++i) {
        const int slot = slot_from_label(settings.images[i]);
        request.slots[i] = slot;
        request.weights[i] = settings.weights[i];
        if (slot >= 0) expand_mono(table[slot]);
    }
    if (settings.compare_method == kCompareRotation) {
        // The user picks two stars in the first chosen image; 3020 goes on from there.
        for (int slot : request.slots) {
            if (slot < 0 || !table[slot].occupied()) continue;
            table.current_slot = slot;
            start_star_pick(wb.star_pick, StarPickOrigin::automatic, settings.rotation_size);
            return {};
        }
        return CommandResult::fail(msg::kTooFewImages);
    }
    CommandResult result;
    const int target = run_composite(wb, request, result);
    if (target < 0) return result;
    mark_new_result(table[target]);
    table.current_slot = target;
    return result;
}

CommandResult multi_file_composite_command(Workbench& wb, std::function<bool()> dialog,
                                           const ProgressFn& progress) {
    if (dialog && !dialog()) return CommandResult::skip();
    try {
        return MultiFileRun(wb, progress).run();
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
}

CommandResult multi_file_rotation_command(Workbench& wb, const ProgressFn& progress) {
    try {
        return MultiFileRun(wb, progress).run_rotation();
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
}

CommandResult composite_open_images(Workbench& wb, const std::vector<int>& slots,
                                    const ProgressFn& progress) {
    if (slots.empty()) return CommandResult::skip();
    try {
        return MultiFileRun(wb, progress, slots).run_open();
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
}

CommandResult composite_open_images_on_stars(Workbench& wb, const std::vector<int>& slots,
                                             const ProgressFn& progress) {
    ImageTable& table = wb.table;
    if (slots.size() < 2) return CommandResult::skip();
    if (slots.size() > std::size_t(kMaxCompositeFiles))
        return CommandResult::fail(msg::kTooManyCompositeFiles);
    for (int slot : slots)
        if (!table.valid_slot(slot) || !table[slot].occupied())
            return CommandResult::fail(msg::kTooFewImages);
    table.current_slot = slots[0];  // the image the stars were picked in
    try {
        return MultiFileRun(wb, progress, slots).run_rotation();
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
}

CommandResult add_composite_files(MultiFileCompositeSettings& settings,
                                  const std::vector<std::string>& dropped) {
    CommandResult result;
    for (const std::string& path : dropped) {
        if (int(settings.files.size()) >= kMaxCompositeFiles) {
            result.messages.push_back({MessageKind::error, msg::kTooManyCompositeFiles});
            break;
        }
        settings.files.push_back(path);
    }
    return result;
}

}  // namespace vora
