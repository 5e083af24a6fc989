// The extra options of the colour replacements of `vora-cli apply`: the source and target
// colours (--from, --to), the tolerance (--tolerance) and point A (--point-a), whose colour
// becomes the source as in the menu command.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>

#include "cli_commands.h"
#include "core/messages.h"
#include "core/workbench.h"

namespace vora::cli {

struct ColourInputs {
    std::optional<std::array<int32_t, 3>> from, to;
    std::optional<int32_t> tolerance;
    std::optional<std::array<int32_t, 2>> point_a;  // x, y from the top
};

// Checks that the options fit the operation and reads them; a non-zero exit status on error.
int parse_colour_inputs(const ApplyOptions& apply, ColourInputs& inputs, std::ostream& err);
// recolor-rgb and recolor-hsv with the given colours; nullopt for other operations.
std::optional<CommandResult> run_colour_operation(Workbench& wb, const ApplyOptions& apply,
                                                  const ColourInputs& inputs);

}  // namespace vora::cli
