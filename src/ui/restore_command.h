// The blur restoration command: the RESTORE dialog's settings applied in place through
// operation code 102, to the current image or to every occupied slot in all-images mode.
#pragma once

#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Fills the parameter vector of operation code 102: spread, bluntness, iterations, emphasis.
void fill_restore_params(const RestoreSettings& settings, ParamVector& p);

// Blur restoration of `slot` with the current settings (no snapshot, no marking).
void apply_restore(Workbench& wb, int slot);

// Probe 5 (also for each slot in all-images mode), the dialog (false is Cancel), then the
// restoration in place.
CommandResult restore_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
