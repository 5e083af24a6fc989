// The background-generation command (3071) and the two-image comparison (370), with the
// value rules of the "Make background" dialog. Each command takes the dialog as a callback
// that edits the workbench's settings and answers false on Cancel.
#pragma once

#include <cstdint>
#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Detection size: typed values are clamped to 8..256; the scroll thumb gives a multiple of 8
// (rounded down, kept inside 8..256).
int32_t clamp_detection_size(int32_t typed);
int32_t detection_size_from_scroll(int32_t pos);
// Averaging size: typed values are clamped to 2..16; the scroll thumb gives an even value
// (rounded down, kept inside 2..16).
int32_t clamp_averaging_size(int32_t typed);
int32_t averaging_size_from_scroll(int32_t pos);

// Generates the background of the current image (code 50; twice with half the detection
// size in two-step mode). Correction 0 keeps it as a new current image; 1 divides the
// current image by it and 2 subtracts it (code 7, modes 3 and 4), undoably, and the
// background image is released again.
CommandResult make_background_command(Workbench& wb, std::function<bool()> dialog = {});

// Subtracts the chosen image from the current one around the base level (code 7, mode 4):
// current − (other + 1) + base × 256. The current image itself cannot be chosen.
CommandResult compare_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
