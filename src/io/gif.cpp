#include "io/gif.h"

namespace vora {

ReadResult read_gif(const std::string&, ImageRecord&) {
    return read_failed(ReadStatus::unsupported, "GIF files cannot be read yet");
}

}  // namespace vora
