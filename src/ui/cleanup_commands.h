// The clean-up commands: edge enhancement, noise removal and odd/even line separation.
// Dialogs are callbacks that edit the workbench's settings and answer false on Cancel; the
// in-place commands run through the command frame (probe, snapshot, all-images mode, marking).
#pragma once

#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Parameter vector of operation code 5: p[0] edge_area, p[1] edge_threshold, p[2]
// edge_strength, p[3] dark_bright_split, p[4] edge_smooth, p[5] channel mask (4 R, 2 G, 1 B).
void fill_edge_params(const EdgeSettings& settings, ParamVector& p);

// Edge enhancement of `slot` / noise removal of `slot` with the current settings (no
// snapshot, no marking).
void apply_edge(Workbench& wb, int slot);
void apply_noise(Workbench& wb, int slot);

// Edge enhancement (code 5) of the current image, or of every occupied slot in all-images mode.
CommandResult edge_command(Workbench& wb, std::function<bool()> dialog = {});

// Noise removal of the current image, or of every occupied slot in all-images mode, with
// k = 6 − noise_strength. Confirming the dialog (or running without one) sets
// noise_tolerance to 10.
CommandResult noise_command(Workbench& wb, std::function<bool()> dialog = {});

// Builds the even-line image and then the odd-line image of the current image in two free
// slots (codes 30 and 31); both are new, unchanged images with the source's mono flag, and
// the odd one becomes current. Without a free slot the command stops with the message, and
// an image already built stays.
CommandResult line_split_command(Workbench& wb);

}  // namespace vora
