// The sharpen/smooth command: the SHARP dialog's settings applied in place through operation
// code 0, to the current image or to every occupied slot in all-images mode.
#pragma once

#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Fills the parameter vector of operation code 0: p[0] radius, p[1] threshold, p[2] smooth
// strength, p[3] sharp strength, p[4] falloff, p[5] channel mask (4 R, 2 G, 1 B).
void fill_sharpen_params(const SharpSettings& settings, ParamVector& p);

// Sharpen/smooth of `slot` with the current settings (no snapshot, no marking).
void apply_sharpen(Workbench& wb, int slot);

// Probe 2, the dialog (false is Cancel), then sharpen/smooth in place.
CommandResult sharpen_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
