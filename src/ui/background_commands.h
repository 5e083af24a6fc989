// The background-correction commands: correction by a radial model (306) whose centre and
// edge densities can be picked on the image (3061, 3062), correction by another image (307),
// and correction by a surface fitted to points clicked on the image (309). Dialogs are
// callbacks that edit wb.settings.background and answer false on Cancel; clicks on the image
// window arrive through background_click.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Parameter vector of operation code 7 for the radial model: p[0] mode, p[2..7] the
// (centre, edge) pairs of R, G, B, p[8] the curve. In subtractive mode each pair becomes
// (centre − 2 × edge + shift, shift − edge), which keeps centre − edge.
void fill_pseudo_background_params(const BackgroundSettings& settings, ParamVector& p);
// Parameter vector for correction by the image in `slot`: p[0] reference mode, the
// reference shift in p[2], p[4] and p[6], p[8] the slot.
void fill_reference_background_params(const BackgroundSettings& settings, int32_t slot,
                                      ParamVector& p);

// 306: with all three edge densities 0 the next click picks the centre densities and nothing
// is corrected; otherwise the current image (or every image) is corrected.
CommandResult background_command(Workbench& wb, std::function<bool()> dialog = {});
// 307: correction by the image in settings.background.reference_slot.
CommandResult background_image_command(Workbench& wb, std::function<bool()> dialog = {});
// 309: starts collecting points (up to 100) with the next clicks.
CommandResult background_points_command(Workbench& wb, std::function<bool()> dialog = {});
// 3061 / 3062: the next click picks the centre / edge densities.
CommandResult pick_centre_command(Workbench& wb);
CommandResult pick_edge_command(Workbench& wb);

// A click on the image at (x, y counted from the top). Left: picks what the pick state asks
// for; the hundredth point runs the fit. Right while collecting points: runs the fit with the
// points so far. Any other click does nothing.
CommandResult background_click(Workbench& wb, int32_t x, int32_t y_from_top, bool right_button);
// Fits the collected points and corrects the current image (undoable); with fewer than two
// points nothing changes. Either way the points are dropped and picking ends.
CommandResult fit_background_points_command(Workbench& wb);

// Dialog-side rules. The curve parameter as typed ("2.5" is 250): up to two decimals, a
// non-digit in the integer part restarts it at 0, further decimals are ignored, and the
// value is limited to 100..300.
int32_t parse_curve_parameter(std::string_view text);
// On OK: a centre density not above its edge density becomes edge + 1.
void raise_centre_densities(BackgroundSettings& settings);

}  // namespace vora
