// The DARK dialog's OK path: taking over a dark file list and loading its frames.
#pragma once

#include <array>
#include <string>

#include "core/messages.h"
#include "io/dark_frames.h"

namespace vora {

struct Workbench;

// Copies `list` into the workbench's dark file list and loads its non-empty entries in
// order, averaging them into one frame. No entries: no dark frame. The files must all be of
// one kind and one size; otherwise, or when one cannot be read, the command fails with the
// message saying why and no dark frame stays loaded.
CommandResult set_dark_files(Workbench& wb, const std::array<std::string, kDarkFileCount>& list);

}  // namespace vora
