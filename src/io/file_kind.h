// File kinds, chosen from the name's extension alone (contents are never sniffed).
#pragma once

#include <string_view>

namespace vora {

enum FileKind : int {
    kKindUnknown = 0,
    kKindBmp = 1,
    kKindTiff = 2,
    kKindPnm = 3,
    kKindJpeg = 4,
    kKindFits = 5,
    kKindGif = 6,
    kKindPng = 7,
    kKindRaw = 10,
};

// The kind named by the last three (or four) characters of `name`, compared without case.
FileKind file_kind(std::string_view name);

}  // namespace vora
