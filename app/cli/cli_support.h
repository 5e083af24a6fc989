// What every vora-cli subcommand shares: the start-up of the workbench, printing messages
// and saving the result.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

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

}  // namespace vora::cli
