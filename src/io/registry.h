// The one map from a file kind to its reader and writer. Opening, saving, batch runs and
// the multi-file composite all go through it.
#pragma once

#include <string>

#include "core/image_record.h"
#include "io/file_kind.h"
#include "io/io_status.h"

namespace vora {

struct Workbench;

// Fills `out` (a fresh record) on success and leaves it alone otherwise. The workbench
// gives the readers that need them the development settings and dark frames.
using ReadFn = ReadResult (*)(const Workbench& wb, const std::string& path, ImageRecord& out);
// filter_index is the save dialog's file type 1..7 (JFIF or Exif JPEG, binary or ASCII PPM).
using WriteFn = WriteResult (*)(const std::string& path, const ImageRecord& record,
                                int filter_index);

struct FormatHandlers {
    ReadFn read = nullptr;    // null: the kind is known but cannot be read yet
    WriteFn write = nullptr;  // null: the kind is never written
    bool writable = false;    // the kind has a writer in the save dialog's list
};

FormatHandlers format_handlers(FileKind kind);

}  // namespace vora
