#include "ui/command_table.h"

#include "ui/tone_commands.h"

namespace vora {
namespace {

CommandResult run_gamma(Workbench& wb) { return gamma_command(wb); }
CommandResult run_level(Workbench& wb) { return level_command(wb); }
CommandResult run_dynamic_range(Workbench& wb) { return dynamic_range_command(wb); }

}  // namespace

const std::vector<CommandRow>& processing_commands() {
    static const std::vector<CommandRow> rows = {
        {311, "ガンマ補正(&G)", "gamma", "gamma",
         "tone curve through three points (straight or smooth), all colours or per channel",
         run_gamma},
        {318, "レベル補正(&L)", "level", "lvl",
         "input black/white points, brightness, contrast, gamma, output black/white points",
         run_level},
        {315, "ダイナミックレンジ補正(&K)", "hdr", "hdr",
         "local tone correction against the smoothed neighbourhood (current image only)",
         run_dynamic_range},
    };
    return rows;
}

const CommandRow* find_command(int id) {
    for (const CommandRow& row : processing_commands())
        if (row.id == id) return &row;
    return nullptr;
}

const CommandRow* find_cli_operation(std::string_view name) {
    for (const CommandRow& row : processing_commands())
        if (row.cli_name && name == row.cli_name) return &row;
    return nullptr;
}

}  // namespace vora
