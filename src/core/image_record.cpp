#include "core/image_record.h"

namespace vora {

void set_camera_text(std::string& field, std::string_view text) {
    field.assign(text.substr(0, kCameraTextMax));
}

void adopt_picture(ImageRecord& slot, ImageRecord&& staged) {
    slot.name = std::move(staged.name);
    slot.width = staged.width;
    slot.height = staged.height;
    slot.red = std::move(staged.red);
    slot.green = std::move(staged.green);
    slot.blue = std::move(staged.blue);
    slot.exif_block = std::move(staged.exif_block);
    slot.camera_make = std::move(staged.camera_make);
    slot.camera_model = std::move(staged.camera_model);
    slot.date_time = std::move(staged.date_time);
    slot.exposure_time = staged.exposure_time;
    slot.f_number = staged.f_number;
    slot.iso_speed = staged.iso_speed;
}

}  // namespace vora
