// The commands of the Edit menu and the frame every in-place processing command runs in.
// They take what the user chose (corners, dialog answers) as arguments and hand messages
// back; they never talk to the user themselves.
#pragma once

#include <functional>

#include "core/messages.h"
#include "core/undo.h"
#include "core/workbench.h"

namespace vora {

CommandResult undo_command(ImageTable& table);
CommandResult redo_command(ImageTable& table);
// Copies the current image into a free slot as an unchanged image that becomes current.
CommandResult copy_command(ImageTable& table);
// Copies the rectangle between two corners (column, stored row) into a new current image;
// a rectangle without width or height does nothing (the selection keeps waiting).
CommandResult area_copy_command(ImageTable& table, SampleCorner a, SampleCorner b);

struct InPlaceCommand {
    int probe_count = 2;      // image buffers the current slot must have room for
    int all_probe_count = 2;  // per slot in all-images mode
    bool honours_all = true;  // false: only the current image even in all-images mode
    // Optional probe replacing the all-images one (resizing checks each new size).
    std::function<bool(const ImageTable&, int slot)> slot_probe;
    std::function<bool()> dialog;  // edits the settings; false is Cancel
    std::function<void(Workbench&, int slot)> operation;
    int mono_after = -1;  // value `mono` takes after the operation; -1 keeps it
};

// Probe, dialog, snapshot, operation and marking, on the current slot or, in all-images
// mode, on every occupied slot in index order (stopping at the first failed probe).
CommandResult run_in_place_command(Workbench& wb, const InPlaceCommand& command);
// The same with the default probes: `operation` on the current image or all images.
CommandResult run_in_place_command(Workbench& wb,
                                   std::function<void(Workbench&, int slot)> operation,
                                   std::function<bool()> dialog);

// Takes a free slot for a result, or the message when there is none.
int take_result_slot(const ImageTable& table, CommandResult& result);

}  // namespace vora
