// The three commands on all settings (initialise 133, save 134, load 135) and reading the
// start-up settings file. The front end runs the dialogs; these functions get the answers.
#pragma once

#include <functional>
#include <string>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// The settings file read at start-up from the program's folder.
inline constexpr const char* kStartupSettingsName = "vora.vrs";

namespace msg {
inline constexpr const char* kInitialiseSettingsQuestion =
    "全設定を初期化しますが、良いですか？";
// Filled with the program name.
inline constexpr const char* kSaveSettingsNotice =
    "全設定を保存します。\n\n%sをインストールしたフォルダーに\n"
    "\"vora.vrs\""
    "の名前で保存すると、\n次回起動時に自動的に読み込まれます！";
inline constexpr const char* kSettingsNotSaved = "Error:設定を保存できませんでした！";
inline constexpr const char* kSettingsNotLoaded = "Error:設定を読み込めませんでした！";
}  // namespace msg

// Titles, filters and proposed name of the settings file dialogs.
inline constexpr const char* kSettingsSaveTitle = "SAVE";
inline constexpr const char* kSettingsLoadTitle = "LOAD";
inline constexpr const char* kSettingsFilter =
    "VORA設定ファイル(*.vrs)|*.VRS|All|*.*||";
inline constexpr const char* kSettingsProposedName = "vora";

// A question shown with the title "Caution !" and OK / Cancel; true for OK.
using ConfirmQuestion = std::function<bool(const std::string& question)>;

// Command 133: asks kInitialiseSettingsQuestion; OK sets every setting to its default and
// leaves the images alone. The background correction's pseudo shift then takes the
// background generation's shift.
CommandResult initialise_settings_command(Workbench& wb, const ConfirmQuestion& confirm);

// Command 134, first step: the notice shown before the save dialog.
Message save_settings_notice();

// Command 134 after the save dialog. An empty `chosen_path` means the dialog was cancelled
// (kSettingsNotSaved). ".vrs" is appended by settings_file_name(); an existing file is
// replaced only when confirm_overwrite answers OK (Cancel ends silently). A file that
// cannot be written ends the command as failed without a message, the old file intact.
CommandResult save_settings_command(const Workbench& wb, const std::string& chosen_path,
                                    const ConfirmQuestion& confirm_overwrite);

// Command 135 after the open dialog. An empty `chosen_path` means the dialog was cancelled
// (kSettingsNotLoaded); a file that cannot be read ends the command as failed without a
// message and changes nothing. Images already open are not touched.
CommandResult load_settings_command(Workbench& wb, const std::string& chosen_path);

// Reads kStartupSettingsName from `dir` into the settings when it can be read; true then.
// A missing or unreadable file is ignored and the settings stay as they are. The start-up
// sequence is reset_settings(wb, 0) followed by this.
bool read_startup_settings(Workbench& wb, const std::string& dir);

}  // namespace vora
