// vora-cli stack, composite and lrgb: the multi-file composite, the automatic, by-point and
// rotation composites, and the L+RGB colour composites.
#include <ostream>

#include "cli_commands.h"
#include "cli_parse.h"
#include "cli_support.h"
#include "io/open_save.h"
#include "ui/composite_commands.h"
#include "ui/point_composite_commands.h"
#include "ui/rotation_composite_commands.h"

namespace vora::cli {
namespace {

// Each step on one terminal line, overwritten by the next.
ProgressFn terminal_progress(std::ostream& err) {
    return [&err](const std::string& step) {
        err << "\rvora-cli: " << step << "\033[K" << std::flush;
    };
}

int usage(std::ostream& err, const std::string& text) {
    err << "vora-cli: " << text << "\n";
    return kExitUsage;
}

// --method: fast 1, slow 2, rotation 3; empty keeps the settings' method.
bool parse_method(const std::string& text, int32_t& method) {
    if (text.empty()) return true;
    if (text == "fast")
        method = kCompareFast;
    else if (text == "slow")
        method = kCompareSlow;
    else if (text == "rotation")
        method = kCompareRotation;
    else
        return false;
    return true;
}

// "AX,AY,BX,BY;..." with one quadruple per image.
int parse_points(const std::string& text, std::size_t images, std::vector<AlignPoints>& points,
                 std::ostream& err) {
    points.assign(images, AlignPoints{});
    if (text.empty()) return kExitOk;
    std::vector<std::array<int32_t, 4>> groups;
    if (!parse_groups<4>(text, 0, kMaxCoordinate, groups) || groups.size() != images)
        return usage(err, "--points takes AX,AY,BX,BY for each of the " + std::to_string(images) +
                              " images, separated by \";\" (pixels, y from the top, 0.." +
                              std::to_string(kMaxCoordinate) + "; a missing B as 0,0)");
    for (std::size_t i = 0; i < images; ++i)
        points[i] = {groups[i][0], groups[i][1], groups[i][2], groups[i][3]};
    return kExitOk;
}

// Opens the files in order into new slots; their slots, or an empty list after a message.
std::vector<int> open_files(Workbench& wb, const std::vector<std::string>& files,
                            std::ostream& err) {
    std::vector<int> slots;
    for (const std::string& file : files) {
        const CommandResult opened = open_image_command(wb, file);
        print_messages(opened, err);
        if (!opened.ok()) return {};
        slots.push_back(wb.table.current_slot);
    }
    return slots;
}

std::string label_of(const Workbench& wb, int slot) {
    return slot < 0 ? std::string() : list_label(wb.table, slot, LabelStyle::composite);
}

int finish(Workbench& wb, const CommandResult& result, const std::string& out_path, int type,
           std::ostream& out, std::ostream& err) {
    print_messages(result, err);
    if (result.outcome != Outcome::done) return kExitFailed;
    return save_output(wb, out_path, type, out, err);
}

}  // namespace

int run_stack(const CommonOptions& options, const StackOptions& stack, bool progress,
              std::ostream& out, std::ostream& err) {
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    MultiFileCompositeSettings& settings = wb->settings.multi_file_composite;
    if (!parse_method(stack.method, settings.compare_method))
        return usage(err, "--method takes fast, slow or rotation");
    const bool rotation = settings.compare_method == kCompareRotation && stack.files.size() > 1;
    std::vector<std::array<int32_t, 2>> stars;
    if (rotation || !stack.stars.empty())
        if (const int status = parse_stars(stack.stars, stars, err)) return status;
    settings.files.clear();
    print_messages(add_composite_files(settings, stack.files), err);
    const ProgressFn report = progress ? terminal_progress(err) : ProgressFn();
    CommandResult stacked = multi_file_composite_command(*wb, {}, report);
    if (rotation && stacked.ok()) {
        if (!click_stars(*wb, stars, err)) return kExitFailed;
        stacked = multi_file_rotation_command(*wb, report);
    }
    if (progress) err << "\r\033[K" << std::flush;
    return finish(*wb, stacked, stack.out_path, stack.type, out, err);
}

int run_composite(const CommonOptions& options, const CompositeOptions& composite,
                  std::ostream& out, std::ostream& err) {
    const std::size_t n = composite.files.size();
    if (n < 2 || n > 4) return usage(err, "composite takes 2 to 4 files");
    if (!composite.weights.empty() && composite.weights.size() != n)
        return usage(err, "--weights needs one weight per file");
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    CompositeSettings& settings = wb->settings.composite;
    if (!parse_method(composite.method, settings.compare_method))
        return usage(err, "--method takes fast, slow or rotation");
    const bool by_points = !composite.points.empty();
    const bool rotation = !by_points && settings.compare_method == kCompareRotation;
    std::vector<AlignPoints> points;
    if (const int status = parse_points(composite.points, n, points, err)) return status;
    std::vector<std::array<int32_t, 2>> stars;
    if (rotation || !composite.stars.empty())
        if (const int status = parse_stars(composite.stars, stars, err)) return status;

    const std::vector<int> slots = open_files(*wb, composite.files, err);
    if (slots.empty()) return kExitFailed;
    settings.images = {};
    for (std::size_t i = 0; i < n; ++i) {
        settings.images[i] = label_of(*wb, slots[i]);
        settings.weights[i] = composite.weights.empty() ? 100 : composite.weights[i];
        settings.points[i] = points[i];
    }
    if (by_points)
        return finish(*wb, point_composite_command(*wb), composite.out_path, composite.type, out,
                      err);
    CommandResult stacked = auto_composite_command(*wb);
    if (rotation && stacked.ok()) {
        if (!click_stars(*wb, stars, err)) return kExitFailed;
        stacked = rotation_composite_command(*wb);
    }
    return finish(*wb, stacked, composite.out_path, composite.type, out, err);
}

int run_lrgb(const CommonOptions& options, const LrgbOptions& lrgb, std::ostream& out,
             std::ostream& err) {
    const bool single = !lrgb.rgb.empty();
    const bool separate = !lrgb.r.empty() || !lrgb.g.empty() || !lrgb.b.empty();
    if (single == separate)
        return usage(err, "lrgb takes either --l and --rgb, or --r, --g and --b (and --l)");
    if (single && lrgb.l.empty()) return usage(err, "--rgb needs --l");
    if (separate && (lrgb.r.empty() || lrgb.g.empty() || lrgb.b.empty()))
        return usage(err, "--r, --g and --b are all needed");
    if (!lrgb.weights.empty() && (single || lrgb.weights.size() != 4))
        return usage(err, "--weights takes L,R,G,B with --r, --g and --b");
    std::vector<std::string> files;
    if (!lrgb.l.empty()) files.push_back(lrgb.l);
    if (single)
        files.push_back(lrgb.rgb);
    else
        files.insert(files.end(), {lrgb.r, lrgb.g, lrgb.b});
    std::vector<AlignPoints> points;
    if (const int status = parse_points(lrgb.points, files.size(), points, err)) return status;

    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    const std::vector<int> opened = open_files(*wb, files, err);
    if (opened.empty()) return kExitFailed;
    CompositeSettings& settings = wb->settings.composite;
    if (single) {
        wb->settings.lrgb = {label_of(*wb, opened[0]), label_of(*wb, opened[1])};
        settings.points[0] = points[0];
        settings.points[1] = points[1];
        return finish(*wb, lrgb_command(*wb), lrgb.out_path, lrgb.type, out, err);
    }
    // Images 0..3 are L, R, G, B; without L the first place stays empty.
    const std::size_t skip = lrgb.l.empty() ? 1 : 0;
    settings.images = {};
    settings.points = {};
    for (std::size_t i = 0; i < opened.size(); ++i) {
        settings.images[i + skip] = label_of(*wb, opened[i]);
        settings.points[i + skip] = points[i];
    }
    for (std::size_t i = 0; i < 4; ++i)
        settings.weights[i] = lrgb.weights.empty() ? 100 : lrgb.weights[i];
    return finish(*wb, lrgb4_command(*wb), lrgb.out_path, lrgb.type, out, err);
}

}  // namespace vora::cli
