// The extra options of the geometric operations of `vora-cli apply`: the new size of resize
// (--size, --scale) and its method (--method), the mode and angle of rotate (--mode, --angle).
#pragma once

#include <iosfwd>
#include <optional>

#include "cli_commands.h"
#include "core/messages.h"
#include "core/workbench.h"

namespace vora::cli {

struct GeometryInputs {
    std::optional<std::pair<int32_t, int32_t>> size;  // resize: new width and height
    std::optional<int32_t> scale;                     // resize: percent of both sides
    std::optional<int32_t> method;                    // resize: 0..3 as in group "resize"
    std::optional<int32_t> mode;                      // rotate: 0..5 as in group "round"
    std::optional<int32_t> angle;                     // rotate: hundredths of a degree
};

// Checks that the options fit the operation and reads them; a non-zero exit status on error.
int parse_geometry_inputs(const ApplyOptions& apply, GeometryInputs& inputs, std::ostream& err);
// Sets the method and the rotation settings (an angle alone means mode 3, by angle).
void install_geometry_inputs(Workbench& wb, const GeometryInputs& inputs);
// resize with the new size the dialog would have been given; nullopt for other operations.
std::optional<CommandResult> run_geometry_operation(Workbench& wb, const ApplyOptions& apply,
                                                    const GeometryInputs& inputs);

}  // namespace vora::cli
