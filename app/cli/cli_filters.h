// The extra options of the detail filters of `vora-cli apply`: the planes sharpen and edge
// work on (--channels, the dialogs' R, G and B check boxes, which the settings file does not
// store) and the second output of the line separation (--even).
#pragma once

#include <iosfwd>
#include <string>

#include "cli_commands.h"
#include "core/workbench.h"

namespace vora::cli {

// Checks that the options fit the operation; a non-zero exit status on error.
int check_filter_options(const ApplyOptions& apply, std::ostream& err);
// Sets the channel switches of the sharpen or edge settings from --channels.
void install_filter_options(Workbench& wb, const ApplyOptions& apply);
// lines: writes the even-line image, which the command left in a slot of its own beside IN's
// slot `in_slot`, to --even.
int save_even_lines(Workbench& wb, const ApplyOptions& apply, int in_slot, std::ostream& out,
                    std::ostream& err);

}  // namespace vora::cli
