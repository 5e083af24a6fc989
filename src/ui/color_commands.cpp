#include "ui/color_commands.h"

#include <array>
#include <cstddef>
#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"
#include "core/image_table.h"
#include "filters/color_replace.h"
#include "filters/hsv.h"

namespace vora {
namespace {

constexpr int kMonochromeCode = 20;
constexpr int kSaturationHueCode = 22;

// The pixel at `point` of the current image, if there is one there.
std::optional<std::array<uint16_t, 3>> picked_pixel(const ImageTable& table,
                                                    std::optional<SampleCorner> point) {
    if (!point || !table.has_current_image()) return std::nullopt;
    const ImageRecord& r = table[table.current_slot];
    if (point->x < 0 || point->y < 0 || point->x >= r.width || point->y >= r.height)
        return std::nullopt;
    const std::size_t i = std::size_t(point->y) * std::size_t(r.width) + std::size_t(point->x);
    if (r.red.size() <= i) return std::nullopt;
    // A mono record's green and blue planes may be stale: its grey is the red sample.
    if (r.mono == 1) return std::array<uint16_t, 3>{r.red[i], r.red[i], r.red[i]};
    if (r.green.size() <= i || r.blue.size() <= i) return std::nullopt;
    return std::array<uint16_t, 3>{r.red[i], r.green[i], r.blue[i]};
}

// Current image only, recoloured in place. After the memory check and before the dialog,
// `pick` reads the source colour from point A; when it cannot, the hint is added.
CommandResult run_recolor(Workbench& wb, std::function<bool()> pick, std::function<bool()> dialog,
                          std::function<void(ImageRecord&)> recolor) {
    bool asked = false, picked = false;
    InPlaceCommand command;
    command.honours_all = false;
    command.dialog = [&, inner = std::move(dialog)] {
        asked = true;
        picked = pick();
        return !inner || inner();
    };
    // A grey image becomes a colour one: its planes are made to agree first.
    command.mono_after = 0;
    command.operation = [recolor = std::move(recolor)](Workbench& w, int slot) {
        expand_mono(w.table[slot]);
        recolor(w.table[slot]);
    };
    CommandResult result = run_in_place_command(wb, command);
    if (asked && !picked)
        result.messages.insert(result.messages.begin(),
                               Message{MessageKind::notice, kPickColourHint});
    return result;
}

}  // namespace

std::optional<SampleCorner> current_point_a(const ImageTable& table) {
    if (!table.has_current_image()) return std::nullopt;
    const ImageRecord& r = table[table.current_slot];
    if (r.point_a_x < 0) return std::nullopt;
    return SampleCorner{r.point_a_x, r.point_a_y};
}

CommandResult monochrome_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.dialog = std::move(dialog);
    command.mono_after = 1;
    command.operation = [](Workbench& w, int slot) {
        const MonochromeSettings& s = w.settings.monochrome;
        w.params[0] = s.method;
        w.params[1] = s.weights[0];
        w.params[2] = s.weights[1];
        w.params[3] = s.weights[2];
        apply_operation(w, slot, kMonochromeCode);
    };
    return run_in_place_command(wb, command);
}

void apply_color(Workbench& wb, int slot) {
    wb.params[0] = wb.settings.color.saturation - 100;
    wb.params[1] = wb.settings.color.hue - 180;
    apply_operation(wb, slot, kSaturationHueCode);
}

CommandResult color_command(Workbench& wb, std::function<bool()> dialog) {
    return run_in_place_command(wb, apply_color, std::move(dialog));
}

CommandResult recolor_rgb_command(Workbench& wb, std::optional<SampleCorner> point_a,
                                  std::function<bool()> dialog) {
    ColorReplaceSettings& s = wb.settings.color_replace;
    auto pick = [&] {
        const auto pixel = picked_pixel(wb.table, point_a);
        if (pixel)
            for (std::size_t c = 0; c < 3; ++c) s.rgb_source[c] = (*pixel)[c] / 256;
        return pixel.has_value();
    };
    return run_recolor(wb, pick, std::move(dialog), [&s](ImageRecord& r) {
        replace_rgb(r, {s.rgb_source, s.rgb_target, s.rgb_tolerance});
    });
}

CommandResult recolor_hsv_command(Workbench& wb, std::optional<SampleCorner> point_a,
                                  std::function<bool()> dialog) {
    ColorReplaceSettings& s = wb.settings.color_replace;
    auto pick = [&] {
        const auto pixel = picked_pixel(wb.table, point_a);
        if (!pixel) return false;
        const Hsv hsv = rgb_to_hsv((*pixel)[0], (*pixel)[1], (*pixel)[2]);
        s.hsv_source = {hsv.hue * 60 / kHueSector, hsv.saturation / 256, hsv.value / 256};
        return true;
    };
    return run_recolor(wb, pick, std::move(dialog), [&s](ImageRecord& r) {
        replace_hsv(r, {s.hsv_source, s.hsv_target, s.hsv_tolerance});
    });
}

}  // namespace vora
