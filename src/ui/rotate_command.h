// The rotate command: the ROUND dialog's choice (quarter turns, any angle, flips) applied
// through operation code 10 to the current image or to every occupied slot in all-images
// mode.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// The angle edit's text in hundredths of a degree: optional spaces, an optional sign,
// digits, then optionally a point and up to two digits used (one digit counts as tenths,
// further ones are ignored). Any other character before the point gives 0.
int32_t parse_angle(std::string_view text);
// The angle as the edit shows it: "%d.%02d", with a leading "-" for negatives.
std::string format_angle(int32_t hundredths);

// The angle confirmed with the dialog: the quarter-turn modes set their fixed angle.
void apply_rotate_mode(RotateSettings& settings);

// Code 10 on `slot` with the stored angle and choice (no snapshot, no marking).
void apply_rotate(Workbench& wb, int slot);

// Probe 3, the dialog (false is Cancel), then the turn or flip in place.
CommandResult rotate_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
