// The distortion correction command.
#pragma once

#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Code 60 on `slot` with the stored corner shift (no snapshot, no marking).
void apply_distortion(Workbench& wb, int slot);

// Operation code 60 with the stored corner shift on the current image, or on every occupied
// slot in all-images mode. The dialog edits the settings and answers false on Cancel.
CommandResult distortion_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
