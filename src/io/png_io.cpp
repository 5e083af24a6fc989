#include "io/png_io.h"

namespace vora {

ReadResult read_png(const std::string&, ImageRecord&) {
    return read_failed(ReadStatus::unsupported, "PNG files cannot be read yet");
}

WriteResult write_png(const std::string&, const ImageRecord&) {
    return write_failed("PNG files cannot be written yet");
}

}  // namespace vora
