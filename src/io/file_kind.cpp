#include "io/file_kind.h"

#include <cctype>
#include <initializer_list>

namespace vora {
namespace {

bool ends_with_nocase(std::string_view name, std::string_view ext) {
    if (name.size() < ext.size()) return false;
    const std::string_view tail = name.substr(name.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(tail[i])) != ext[i]) return false;
    return true;
}

bool any_of(std::string_view name, std::initializer_list<std::string_view> exts) {
    for (std::string_view ext : exts)
        if (ends_with_nocase(name, ext)) return true;
    return false;
}

}  // namespace

FileKind file_kind(std::string_view name) {
    // Tested in table order; a dot before the extension is not required.
    if (any_of(name, {"BMP"})) return kKindBmp;
    if (any_of(name, {"TIF", "TIFF"})) return kKindTiff;
    if (any_of(name, {"PPM", "PGM"})) return kKindPnm;
    if (any_of(name, {"JPG", "JPEG"})) return kKindJpeg;
    if (any_of(name, {"FTS", "FIT", "FITS"})) return kKindFits;
    if (any_of(name, {"GIF"})) return kKindGif;
    if (any_of(name, {"PNG"})) return kKindPng;
    if (any_of(name, {"CRW", "CR2", "NEF", "NRW", "PEF", "RAF", "ORF", "MRW", "RAW", "RW2",
                      "RWL", "SRF", "SR2", "ARW", "DNG", "ERF", "KDC", "MEF", "SRW"}))
        return kKindRaw;
    return kKindUnknown;
}

}  // namespace vora
