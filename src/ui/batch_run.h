// Running the batch recipe on dropped files: the drop loop of batch mode, the recipe's steps
// one after the other, and the start and stop commands (802, 803). The steps run the same
// functions as the interactive commands, with each step's private settings loaded into the
// live settings for the time it runs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/workbench.h"
#include "io/open_save.h"

namespace vora {

// The answer to the save prompt when a changed image is closed. `yes` means the front end
// has run its save dialog (whatever came of it); the image is closed after yes and no.
enum class SaveAnswer { yes, no, cancel };

struct BatchCallbacks {
    // The overwrite question; unset keeps existing files.
    ConfirmFn confirm_overwrite;
    // The save prompt for a changed image in `slot` (the current one while asked); unset
    // answers cancel, so nothing changed is lost.
    std::function<SaveAnswer(int slot)> save_on_close;
    // Centiseconds of a steady clock; unset uses std::chrono::steady_clock.
    std::function<int64_t()> clock;
    // Before each dropped file is handled: its number from 1 and the number of files.
    std::function<void(int file, int count)> progress;
    // The text of the status strip.
    std::function<void(const std::string& text)> status;
};

// A batch run waiting for the two stars of the rotation composite: what command 3023 needs
// to go on.
struct PendingBatch {
    std::vector<int> slots;    // the opened files, in drop order
    std::string dropped_path;  // the file the saved result is named after
    int composite_step = 0;    // the step (0..7) that started the pick
};

struct BatchRun {
    CommandResult result;
    std::optional<PendingBatch> pending;  // set while the star pick runs
};

// Runs the recipe on the images open in slots 0..file_count-1 (slot 0 first current);
// `dropped_path` names the saved file. Steps whose number is outside 1..16 are skipped; a
// save (3) empties every slot and ends the run.
BatchRun run_batch(Workbench& wb, int file_count, const std::string& dropped_path,
                   const BatchCallbacks& callbacks);

// Files dropped while batch mode is on. Mode 1 empties the table, opens each file into slot 0
// and runs the recipe on it; mode 2 opens up to 16 files and runs the recipe once on all of
// them. A file that cannot be opened ends the drop. Unless the run waits for stars, batch mode
// then returns to 0 (with the timing message when the recipe asks for it).
BatchRun batch_drop(Workbench& wb, const std::vector<std::string>& files,
                    const BatchCallbacks& callbacks);

// 3023: the rotation composite of the pending run on the picked stars, then the steps after
// the composite step; batch mode then returns to 0.
BatchRun resume_batch_after_pick(Workbench& wb, const PendingBatch& pending,
                                 const BatchCallbacks& callbacks);

// "ファイル数：%d 枚\n処理時間　：%d.%02d 秒" with the hundredths truncated.
std::string batch_timing_message(int files, int64_t centiseconds);

// 802: refused without a save folder (unless the last step ends without saving); otherwise
// batch mode follows the first step and every image is closed, a changed one after the save
// prompt (cancel leaves it and the images after it open).
CommandResult batch_start_command(Workbench& wb, const BatchCallbacks& callbacks);
// 803: batch mode off; a star pick the batch started ends too.
CommandResult batch_stop_command(Workbench& wb);

}  // namespace vora
