// Opening files into free slots and saving the current image: the capacity checks, the
// choice of reader and writer by extension, the save path rules and the messages.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.h"
#include "core/workbench.h"
#include "io/io_status.h"

namespace vora {

// Reads `path` into the empty record `slot` with the reader of its kind.
ReadResult open_image_file(const Workbench& wb, const std::string& path, ImageRecord& slot);

// Checks memory for six buffers of the largest image and that a slot is free, as the open
// command does before its file dialog.
CommandResult check_open_capacity(const ImageTable& table);

// Opens one file into the lowest free slot and makes it current.
CommandResult open_image_command(Workbench& wb, const std::string& path);

// Several files in a row. At start-up an unsupported name is reported and skipped; when
// files are dropped it ends the loop. Shortage of memory or slots always ends it.
enum class OpenSource { command_line, dropped };
CommandResult open_image_files(Workbench& wb, const std::vector<std::string>& paths,
                               OpenSource source);

// Names from a command line: separated by spaces, a name in double quotes may hold spaces.
std::vector<std::string> split_command_line(std::string_view text);

// Save dialog file types 1..7 and the extension each one appends.
int filter_index_for_extension(std::string_view extension, int fallback);
const char* default_extension(int filter_index);

// The name the save dialog proposes (the image's name without extension) and its file type.
struct SaveProposal {
    std::string name;
    int filter_index;
};
SaveProposal propose_save_name(const std::string& image_name, int last_filter_index);

// Writes the current image. A name without a writable extension gets the file type's
// extension appended; an existing file is replaced only when confirm_overwrite says so.
using ConfirmFn = std::function<bool(const std::string& question)>;
CommandResult save_image_command(Workbench& wb, const std::string& path, int filter_index,
                                 const ConfirmFn& confirm_overwrite);

}  // namespace vora
