// The colour commands: monochrome conversion, saturation/hue, and the two selective colour
// replacements. Each takes the dialog as a callback that edits the workbench's settings and
// answers false on Cancel.
#pragma once

#include <functional>
#include <optional>

#include "core/messages.h"
#include "core/undo.h"
#include "core/workbench.h"

namespace vora {

// Shown when a colour replacement opens without point A.
inline constexpr const char* kPickColourHint =
    "Aキーで色を変更する場所を指定してから\nこのメニューを選ぶ事も可能です";

// Monochrome conversion (code 20) of the current image or of every occupied slot in
// all-images mode; the results are mono images.
CommandResult monochrome_command(Workbench& wb, std::function<bool()> dialog = {});
// Saturation and hue (code 22) of `slot` with the current settings (no snapshot, no marking).
void apply_color(Workbench& wb, int slot);
// Saturation and hue (code 22) with the slider values less their neutral positions; mono
// images are left alone.
CommandResult color_command(Workbench& wb, std::function<bool()> dialog = {});

// Colour replacement of the current image. `point_a` (column, stored row) is the pixel the
// source colour is read from before the dialog opens; without it (or outside the image) the
// stored source colour is kept and the hint comes back as a notice.
CommandResult recolor_rgb_command(Workbench& wb, std::optional<SampleCorner> point_a,
                                  std::function<bool()> dialog = {});
CommandResult recolor_hsv_command(Workbench& wb, std::optional<SampleCorner> point_a,
                                  std::function<bool()> dialog = {});

// Point A of the current image, if it is set.
std::optional<SampleCorner> current_point_a(const ImageTable& table);

}  // namespace vora
