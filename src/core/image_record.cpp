#include "core/image_record.h"

#include <utility>

namespace vora {

void set_camera_text(std::string& field, std::string_view text) {
    field.assign(text.substr(0, kCameraTextMax));
}

void adopt_camera_fields(ImageRecord& to, ImageRecord&& from) {
    to.exif_block = std::move(from.exif_block);
    to.camera_make = std::move(from.camera_make);
    to.camera_model = std::move(from.camera_model);
    to.date_time = std::move(from.date_time);
    to.exposure_time = from.exposure_time;
    to.f_number = from.f_number;
    to.iso_speed = from.iso_speed;
}

void adopt_picture(ImageRecord& slot, ImageRecord&& staged) {
    slot.name = std::move(staged.name);
    slot.width = staged.width;
    slot.height = staged.height;
    slot.red = std::move(staged.red);
    slot.green = std::move(staged.green);
    slot.blue = std::move(staged.blue);
    adopt_camera_fields(slot, std::move(staged));
}

}  // namespace vora
