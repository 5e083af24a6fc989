// The one table of processing commands: menu number, menu label, the name `vora-cli apply`
// knows it by, the settings group its dialog edits and the function that runs it with the
// current settings. Front ends are driven from this table; adding an operation is one row.
#pragma once

#include <string_view>
#include <vector>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

struct CommandRow {
    int id;                        // menu command number
    const char* menu_label;        // as in the menu
    const char* cli_name;          // `vora-cli apply` operation name
    const char* settings_keyword;  // settings-file group the dialog edits
    const char* summary;           // one line for help texts
    // Runs the command on the current image (or all images) with the settings as they are,
    // as if its dialog had been confirmed unchanged.
    CommandResult (*run)(Workbench& wb);
};

const std::vector<CommandRow>& processing_commands();
const CommandRow* find_command(int id);
const CommandRow* find_cli_operation(std::string_view name);

}  // namespace vora
