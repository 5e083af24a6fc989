#include "io/registry.h"

#include "core/workbench.h"
#include "io/bmp_pnm.h"
#include "io/fits.h"
#include "io/gif.h"
#include "io/jpeg_io.h"
#include "io/png_io.h"
#include "io/raw_decoder.h"
#include "io/tiff_io.h"

namespace vora {
namespace {

// Readers and writers by kind, adapted to the registry's common signatures.

ReadResult read_bmp(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_bitmap(path, out);
}
ReadResult read_pnm(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_pixmap(path, out);
}
ReadResult read_tif(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_tiff(path, out);
}
ReadResult read_jpg(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_jpeg(path, out);
}
ReadResult read_fit(const Workbench& wb, const std::string& path, ImageRecord& out) {
    return read_fits(wb.dark, path, out);
}
ReadResult read_gif_file(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_gif(path, out);
}
ReadResult read_png_file(const Workbench&, const std::string& path, ImageRecord& out) {
    return read_png(path, out);
}

WriteResult write_bmp(const std::string& path, const ImageRecord& record, int) {
    return write_bitmap(path, record);
}
WriteResult write_pnm(const std::string& path, const ImageRecord& record, int filter_index) {
    return write_pixmap(path, record, filter_index == 6 ? kPixmapBinary16 : kPixmapAscii16);
}
WriteResult write_tif(const std::string& path, const ImageRecord& record, int) {
    return write_tiff(path, record);
}
WriteResult write_jpg(const std::string& path, const ImageRecord& record, int filter_index) {
    return write_jpeg(path, record, filter_index == 3 ? JpegHeader::jfif : JpegHeader::exif);
}
WriteResult write_png_file(const std::string& path, const ImageRecord& record, int) {
    return write_png(path, record);
}

}  // namespace

FormatHandlers format_handlers(FileKind kind) {
    switch (kind) {
        case kKindBmp: return {read_bmp, write_bmp, true};
        case kKindTiff: return {read_tif, write_tif, true};
        case kKindPnm: return {read_pnm, write_pnm, true};
        case kKindJpeg: return {read_jpg, write_jpg, true};
        case kKindFits: return {read_fit, nullptr, false};
        case kKindGif: return {read_gif_file, nullptr, false};
        case kKindPng: return {read_png_file, write_png_file, true};
        case kKindRaw: return {read_raw, nullptr, false};
        case kKindUnknown: break;
    }
    return {};
}

}  // namespace vora
