// The commands of the tone dialogs: gamma (tone curve), level and dynamic range. Each takes
// the dialog as a callback that edits the workbench's settings and answers false on Cancel;
// the work itself runs through the in-place command frame (probe, snapshot, marking).
#pragma once

#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Fills the parameter vector of operation code 1 from the gamma settings: the all-colours
// set in all three triples with p[9] = 0, or the R, G and B sets with p[9] = 1 when the
// selector is R, G or B; p[10] = curve_mode.
void fill_gamma_params(const GammaSettings& settings, ParamVector& p);

// The operations of the three commands on `slot` with the current settings (no snapshot, no
// marking); a per-channel curve or level clears the image's mono flag.
void apply_gamma(Workbench& wb, int slot);
void apply_level_correction(Workbench& wb, int slot);
void apply_dynamic_range(Workbench& wb, int slot);

// Tone curve on the current image, or on every occupied slot in all-images mode; a
// per-channel curve leaves each processed image a colour image (mono cleared).
CommandResult gamma_command(Workbench& wb, std::function<bool()> dialog = {});
// Level correction, sample by sample, on the same images as gamma and with the same mono
// rule.
CommandResult level_command(Workbench& wb, std::function<bool()> dialog = {});
// Dynamic-range correction of the current image only, also in all-images mode.
CommandResult dynamic_range_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
