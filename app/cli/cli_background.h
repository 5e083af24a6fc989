// The extra inputs of the background operations of `vora-cli apply`: the other image
// (--with), the background points (--points), the pseudo-function densities
// (--centre, --edge) and the comparison base (--base).
#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "core/messages.h"
#include "core/workbench.h"

namespace vora::cli {

struct BackgroundInputs {
    std::string with_file;
    std::vector<std::array<int32_t, 2>> points;  // x, y from the top
    std::optional<std::array<int32_t, 3>> centre, edge;
    std::optional<int32_t> base;  // compare: the base level, 8-bit scale
    bool needs_edges = false;     // background: the model needs edge densities
};

// Checks that the options fit the operation and reads them; a non-zero exit status on error.
int parse_background_inputs(const ApplyOptions& apply, BackgroundInputs& inputs, std::ostream& err);
// After IN was opened: opens the other image and chooses it for the operation (IN stays
// current) and sets the densities.
int install_background_inputs(Workbench& wb, const BackgroundInputs& inputs, std::ostream& err);
// Runs the operation; background-points clicks each point and finishes with a right click.
CommandResult run_apply_operation(Workbench& wb, const ApplyOptions& apply,
                                  const BackgroundInputs& inputs, CommandResult (*run)(Workbench&));

}  // namespace vora::cli
