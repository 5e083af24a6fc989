// The BATCH dialog ("Batch Sequence", command 801) without its window: the step names and
// the choices of each step's box, what "詳細設定" (details) does for each step, OK and the
// batch-file commands 808 and 809. Steps are numbered 0..7 here (the dialog shows 1..8).
// Dialogs are callbacks that edit the workbench's settings in place and answer false on
// Cancel; messages to show on the way go to a notify callback.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

inline constexpr const char* kBatchDialogTemplate = "BATCH";
inline constexpr const char* kBatchDialogTitle = "Batch Sequence";
inline constexpr const char* kBatchTimingLabel = "時間計測";
inline constexpr const char* kBatchFileFilter = "VORAバッチファイル(*.vrb)|*.VRB|All|*.*||";
inline constexpr const char* kBatchFileLoadTitle = "LOAD";
inline constexpr const char* kBatchFileSaveTitle = "SAVE";
inline constexpr const char* kBatchFileProposedName = "vora";

using NotifyFn = std::function<void(const Message&)>;
using AskFn = std::function<bool(const std::string& question)>;  // "Caution !", true for OK

// The name of step operation `number` (" " for 0); empty outside 0..17.
std::string_view step_operation_name(int32_t number);
// The number whose name is exactly `name`; −1 when none is.
int32_t step_operation_number(std::string_view name);

// The numbers step `step` offers, in the order of its box: step 0 → 1, 2; steps 1..6 → 0,
// 4..16; step 7 → 3, 17; nothing outside 0..7. And their names, the box's texts.
std::vector<int32_t> step_choices(int step);
std::vector<std::string> step_choice_names(int step);

// A box changed: every step takes the number named by its box's text; a text its step does
// not offer leaves that step as it is.
void set_steps_from_texts(BatchRecipe& recipe, const std::array<std::string, kBatchSteps>& texts);

// The dialog template of an operation's details: "COMPOMUL" for 2, "CUT" … "HDR" for 4..16;
// empty for the others.
std::string_view step_dialog_template(int32_t number);

// What "詳細設定" of a step does, by the step's number.
enum class DetailsAction {
    none,          // 0 and 17
    message,       // 1: only `messages`
    dialog,        // 2 and 4..16: `messages` first (for 2), then `dialog_template`, run
                   // through edit_step_details
    confirm_save,  // 3 with folder and extension set: ask `question`; OK keeps them,
                   // Cancel goes on to the save dialog (edit_save_step does both)
    save_dialog,   // 3 otherwise: the save dialog (edit_save_step)
};
struct StepDetails {
    DetailsAction action = DetailsAction::none;
    std::vector<Message> messages;
    std::string_view dialog_template;
    std::string question;
};
StepDetails step_details(const BatchRecipe& recipe, int step);

// The background step in batch mode must multiply or subtract: the notice while the
// correction kind is "無し(バックグランドデータ作成)".
bool background_step_needs_correction(const Settings& s);

// Loads the step's private settings into the live settings, runs `dialog` and stores them
// back (restoring the live settings), whatever the dialog answers. For the background step
// the dialog is shown again, after kBatchBackgroundNeedsCorrection, while it is confirmed
// without a correction kind. An empty dialog counts as confirmed without changes. Returns
// the dialog's last answer; false for a step outside 0..7.
bool edit_step_details(Workbench& wb, int step, const std::function<bool()>& dialog,
                       const NotifyFn& notify = {});

// The save dialog's answer: the chosen path and file type (1..7); cancelled when !confirmed.
struct SaveChoice {
    bool confirmed = false;
    std::string path;
    int filter_index = 1;
};

// A confirmed save dialog: the folder is the path up to its last '/' ("/" for a file in
// the root), the type's default extension and the filter index (clamped to 1..7) become
// the step's; the step now belongs to the save operation and the folder counts as set.
// A path without a folder or a file name sets nothing and gives kBatchSaveFolderNotChosen.
bool apply_save_choice(BatchRecipe& recipe, int step, const SaveChoice& choice, Message& problem);

// Details of a save step: the question when folder and extension are set (OK keeps them),
// otherwise the save dialog, shown again after the notice while its answer holds no folder.
// Cancelling the save dialog ends the details with nothing changed. True when the step's
// folder is set afterwards by this call or kept.
bool edit_save_step(Workbench& wb, int step, const AskFn& ask,
                    const std::function<SaveChoice()>& save_dialog, const NotifyFn& notify);

// OK of the dialog: refused with kBatchNoSaveFolder ("Message !") while no folder is set
// and step 8 saves; otherwise every step's settings are loaded and stored once, so each step
// holds a private copy belonging to its number.
CommandResult batch_dialog_ok(Workbench& wb);

// After the dialog closes: an active batch mode takes step 1's number again.
void after_batch_dialog(BatchRecipe& recipe);

// Closes every open image as the batch start command does (asking to save changed ones).
using CloseImagesFn = std::function<void(Workbench&)>;

// Command 808 after the open dialog. An empty path (cancelled) or a file that cannot be read
// or is no batch file gives kBatchFileNotLoaded and changes nothing. Otherwise the recipe's
// steps are read, the folder counts as set, kBatchCheckSaveFolder is shown when step 8
// saves, batch mode becomes step 1's number and close_images (when given) closes the
// images.
CommandResult open_batch_file_command(Workbench& wb, const std::string& chosen_path,
                                      const CloseImagesFn& close_images);

// Command 809 after the save dialog: an empty path (cancelled) or a failed write gives
// kBatchFileNotSaved; ".vrb" is appended by batch_file_name(); an existing file is replaced
// only when confirm_overwrite answers OK (Cancel ends silently).
CommandResult save_batch_file_command(const Workbench& wb, const std::string& chosen_path,
                                      const AskFn& confirm_overwrite);

}  // namespace vora
