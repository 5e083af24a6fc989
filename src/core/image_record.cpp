#include "core/image_record.h"

namespace vora {

void set_camera_text(std::string& field, std::string_view text) {
    field.assign(text.substr(0, kCameraTextMax));
}

}  // namespace vora
