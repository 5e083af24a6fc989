#include "io/jpeg_io.h"

namespace vora {

ReadResult read_jpeg(const std::string&, ImageRecord&) {
    return read_failed(ReadStatus::unsupported, "JPEG files cannot be read yet");
}

WriteResult write_jpeg(const std::string&, const ImageRecord&, JpegHeader) {
    return write_failed("JPEG files cannot be written yet");
}

}  // namespace vora
