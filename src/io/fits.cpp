#include "io/fits.h"

namespace vora {

ReadResult read_fits(const DarkFrames&, const std::string&, ImageRecord&) {
    return read_failed(ReadStatus::unsupported, "FITS files cannot be read yet");
}

}  // namespace vora
