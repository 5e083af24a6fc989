#include "settings/settings_commands.h"

#include <filesystem>
#include <system_error>

#include "settings/settings_file.h"

namespace vora {
namespace {

bool path_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Failed, with nothing to show: the settings commands ignore files that cannot be
// created or read once their dialog was confirmed.
CommandResult silent_failure() { return {Outcome::failed, {}}; }

}  // namespace

CommandResult initialise_settings_command(Workbench& wb, const ConfirmQuestion& confirm) {
    if (!confirm(msg::kInitialiseSettingsQuestion)) return CommandResult::skip();
    reset_settings(wb, 1);
    wb.settings.background.pseudo_shift = wb.settings.background_generation.shift;
    return {};
}

Message save_settings_notice() {
    return {MessageKind::notice, format_message(msg::kSaveSettingsNotice, kProgramName)};
}

CommandResult save_settings_command(const Workbench& wb, const std::string& chosen_path,
                                    const ConfirmQuestion& confirm_overwrite) {
    if (chosen_path.empty()) return CommandResult::fail(msg::kSettingsNotSaved);
    const std::string path = settings_file_name(chosen_path);
    if (path_exists(path) && !confirm_overwrite(format_message(msg::kOverwriteQuestion, path)))
        return CommandResult::skip();
    if (!save_settings_file(wb, path).ok()) return silent_failure();
    return {};
}

CommandResult load_settings_command(Workbench& wb, const std::string& chosen_path) {
    if (chosen_path.empty()) return CommandResult::fail(msg::kSettingsNotLoaded);
    if (!load_settings_file(wb, chosen_path).ok()) return silent_failure();
    return {};
}

bool read_startup_settings(Workbench& wb, const std::string& dir) {
    const std::string path = (std::filesystem::path(dir) / kStartupSettingsName).string();
    return load_settings_file(wb, path).ok();
}

}  // namespace vora
