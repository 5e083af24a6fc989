// What every vora-cli subcommand shares: the start-up of the workbench, printing messages
// and saving the result.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "core/messages.h"
#include "core/workbench.h"

namespace vora::cli {

// A workbench with an initialised image table.
std::unique_ptr<Workbench> new_workbench();
// Applies the settings as the program starts (defaults, "vora.vrs" of the current
// directory, --settings, each --set); returns a non-zero exit status on failure.
int prepare(const CommonOptions& options, Workbench& wb, std::ostream& err);
void print_messages(const CommandResult& result, std::ostream& err);
// Saves the current image as OUT (type 0: from the extension), replacing an existing file,
// and prints the path written.
int save_output(Workbench& wb, const std::string& out_path, int type, std::ostream& out,
                std::ostream& err);

// "X1,Y1;X2,Y2": the two reference stars of a rotation composite (pixels, y from the top);
// a non-zero exit status after a message when the text is not that.
int parse_stars(const std::string& text, std::vector<std::array<int32_t, 2>>& stars,
                std::ostream& err);
// Clicks the stars into the star pick just started on the current image; false with a
// message when one lies outside the pick frame.
bool click_stars(Workbench& wb, const std::vector<std::array<int32_t, 2>>& stars,
                 std::ostream& err);

}  // namespace vora::cli
