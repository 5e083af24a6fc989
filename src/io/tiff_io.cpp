#include "io/tiff_io.h"

namespace vora {

ReadResult read_tiff(const std::string&, ImageRecord&) {
    return read_failed(ReadStatus::unsupported, "TIFF files cannot be read yet");
}

WriteResult write_tiff(const std::string&, const ImageRecord&) {
    return write_failed("TIFF files cannot be written yet");
}

}  // namespace vora
