#include "io/registry.h"

#include "io/bmp_pnm.h"

namespace vora {
namespace {

ReadResult read_bmp(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_bitmap(path, out);
}

ReadResult read_pnm(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_pixmap(path, out);
}

WriteResult write_bmp(const std::string& path, const ImageRecord& record, int) {
    return write_bitmap(path, record);
}

WriteResult write_pnm(const std::string& path, const ImageRecord& record, int filter_index) {
    return write_pixmap(path, record, filter_index == 6 ? kPixmapBinary16 : kPixmapAscii16);
}

}  // namespace

FormatHandlers format_handlers(FileKind kind) {
    switch (kind) {
        case kKindBmp: return {read_bmp, write_bmp, true};
        case kKindPnm: return {read_pnm, write_pnm, true};
        case kKindTiff:
        case kKindJpeg:
        case kKindPng: return {nullptr, nullptr, true};
        case kKindFits:
        case kKindGif:
        case kKindRaw: return {nullptr, nullptr, false};
        case kKindUnknown: break;
    }
    return {};
}

}  // namespace vora
