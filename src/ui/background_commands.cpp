#include "ui/background_commands.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "composite/background.h"
#include "composite/background_fit.h"
#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/undo.h"

namespace vora {
namespace {

constexpr int kBackgroundCode = 7;

CommandResult notice(const char* text) {
    return {Outcome::done, {{MessageKind::notice, text}}};
}

int32_t saturated(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

// Settings files may hold anything: any mode but subtraction means division.
int32_t reference_mode(const BackgroundSettings& s) {
    return s.reference_mode == kBackgroundReferenceSubtract ? kBackgroundReferenceSubtract
                                                            : kBackgroundReferenceMultiply;
}

bool edges_all_zero(const BackgroundSettings& s) {
    return std::all_of(s.edge.begin(), s.edge.end(), [](int32_t e) { return e == 0; });
}

CommandResult start_picking(Workbench& wb, int32_t state, const char* prompt) {
    if (!wb.table.has_current_image()) return CommandResult::skip();
    wb.background_pick.state = state;
    return notice(prompt);
}

// The densities a centre or edge click sets: the background sample on the 8-bit scale.
void pick_densities(const ImageRecord& image, int32_t x, int32_t row, std::array<int32_t, 3>& to) {
    const std::array<int32_t, 3> sample = background_sample(image, x, row);
    for (std::size_t c = 0; c < 3; ++c) to[c] = sample[c] / 256;
}

void add_point(BackgroundPick& pick, const ImageRecord& image, int32_t x, int32_t row) {
    BackgroundPoint point;
    point.x = std::clamp(x, 0, image.width - 1);
    point.row = std::clamp(row, 0, image.height - 1);
    point.value = background_sample(image, point.x, point.row);
    point.mean = (point.value[0] + point.value[1] + point.value[2]) / 3;
    // The state counts the points taken; the list never runs ahead of it.
    const int64_t taken = std::max<int64_t>(0, int64_t(pick.state) - kPickPoints);
    if (int64_t(pick.points.size()) > taken) pick.points.resize(std::size_t(taken));
    pick.points.push_back(point);
    pick.state = kPickPoints + int32_t(pick.points.size());
}

// The closing message, then whatever the fit reports.
CommandResult finish_points(Workbench& wb) {
    CommandResult result = notice(msg::kPickPointsDone);
    CommandResult fit = fit_background_points_command(wb);
    result.outcome = fit.outcome == Outcome::failed ? Outcome::failed : Outcome::done;
    for (Message& m : fit.messages) result.messages.push_back(std::move(m));
    return result;
}

}  // namespace

void fill_pseudo_background_params(const BackgroundSettings& settings, ParamVector& p) {
    const bool subtract = settings.pseudo_mode == kBackgroundPseudoSubtract;
    p[0] = subtract ? kBackgroundPseudoSubtract : kBackgroundPseudoMultiply;
    for (std::size_t c = 0; c < 3; ++c) {
        const int64_t centre = settings.centre[c], edge = settings.edge[c];
        const int64_t shift = settings.pseudo_shift;
        p[2 + 2 * c] = saturated(subtract ? centre - 2 * edge + shift : centre);
        p[3 + 2 * c] = saturated(subtract ? shift - edge : edge);
    }
    p[8] = settings.curve;
}

void fill_reference_background_params(const BackgroundSettings& settings, int32_t slot,
                                      ParamVector& p) {
    p[0] = reference_mode(settings);
    p[2] = p[4] = p[6] = settings.reference_shift;
    p[8] = slot;
}

CommandResult background_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.dialog = [&wb, inner = std::move(dialog)] {
        if (inner && !inner()) return false;
        // No edge density yet: the next click on the image picks the centre densities.
        if (edges_all_zero(wb.settings.background)) {
            wb.background_pick.state = kPickCentre;
            return false;
        }
        return true;
    };
    command.operation = [](Workbench& w, int slot) {
        fill_pseudo_background_params(w.settings.background, w.params);
        apply_operation(w, slot, kBackgroundCode);
    };
    return run_in_place_command(wb, command);
}

CommandResult background_image_command(Workbench& wb, std::function<bool()> dialog) {
    bool no_image = false;
    InPlaceCommand command;
    command.dialog = [&wb, &no_image, inner = std::move(dialog)] {
        if (inner && !inner()) return false;
        const int32_t slot = wb.settings.background.reference_slot;
        no_image = !wb.table.valid_slot(slot) || !wb.table[slot].occupied();
        return !no_image;
    };
    command.operation = [](Workbench& w, int slot) {
        fill_reference_background_params(w.settings.background,
                                         w.settings.background.reference_slot, w.params);
        apply_operation(w, slot, kBackgroundCode);
    };
    CommandResult result = run_in_place_command(wb, command);
    return no_image ? CommandResult::fail(msg::kNoImageChosen) : result;
}

CommandResult background_points_command(Workbench& wb, std::function<bool()> dialog) {
    if (!wb.table.has_current_image()) return CommandResult::skip();
    if (dialog && !dialog()) return CommandResult::skip();
    wb.background_pick.points.clear();
    return start_picking(wb, kPickPoints, msg::kPickPoints);
}

CommandResult pick_centre_command(Workbench& wb) {
    return start_picking(wb, kPickCentre, msg::kPickCentre);
}

CommandResult pick_edge_command(Workbench& wb) {
    return start_picking(wb, kPickEdge, msg::kPickEdge);
}

CommandResult background_click(Workbench& wb, int32_t x, int32_t y_from_top, bool right_button) {
    BackgroundPick& pick = wb.background_pick;
    if (!wb.table.has_current_image()) return CommandResult::skip();
    const bool collecting = pick.state >= kPickPoints;
    if (right_button) return collecting ? finish_points(wb) : CommandResult::skip();
    const ImageRecord& image = wb.table.current();
    const int32_t row =
        int32_t(std::clamp<int64_t>(int64_t(image.height) - 1 - y_from_top, 0, image.height - 1));
    BackgroundSettings& settings = wb.settings.background;
    if (pick.state == kPickCentre || pick.state == kPickEdge) {
        pick_densities(image, x, row, pick.state == kPickCentre ? settings.centre : settings.edge);
        pick.state = kPickIdle;
        return {};
    }
    if (!collecting) return CommandResult::skip();
    add_point(pick, image, x, row);
    if (pick.state >= kPickPoints + kMaxBackgroundPoints) return finish_points(wb);
    return {};
}

CommandResult fit_background_points_command(Workbench& wb) {
    BackgroundPick& pick = wb.background_pick;
    const std::vector<BackgroundPoint> points = std::move(pick.points);
    pick.points.clear();
    pick.state = kPickIdle;
    if (!wb.table.has_current_image() || points.size() < 2) return CommandResult::skip();
    const BackgroundSettings& settings = wb.settings.background;
    ImageRecord& image = wb.table.current();
    try {
        const BackgroundFit fit = find_background_fit(image, points);
        if (!fit.valid)
            return {Outcome::failed, {{MessageKind::notice, msg::kBackgroundPointsCoincide}}};
        take_snapshot(image);
        apply_background_fit(image, fit, reference_mode(settings), settings.reference_shift);
        mark_in_place_result(image);
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    return {};
}

int32_t parse_curve_parameter(std::string_view text) {
    constexpr int64_t kWholeCap = 1000000;  // far above the range; keeps the number small
    int64_t whole = 0, decimals = 0;
    int decimal_digits = 0;
    bool after_point = false;
    for (const char ch : text) {
        const bool digit = ch >= '0' && ch <= '9';
        if (!after_point) {
            if (ch == '.')
                after_point = true;
            else
                whole = digit ? std::min(whole * 10 + (ch - '0'), kWholeCap) : 0;
        } else if (digit && decimal_digits < 2) {
            decimals = decimals * 10 + (ch - '0');
            ++decimal_digits;
        }
    }
    if (decimal_digits == 1) decimals *= 10;
    return int32_t(
        std::clamp<int64_t>(whole * 100 + decimals, kBackgroundCurveMin, kBackgroundCurveMax));
}

void raise_centre_densities(BackgroundSettings& settings) {
    for (std::size_t c = 0; c < 3; ++c) {
        const int32_t edge = settings.edge[c];
        if (settings.centre[c] <= edge && edge < std::numeric_limits<int32_t>::max())
            settings.centre[c] = edge + 1;
    }
}

}  // namespace vora
