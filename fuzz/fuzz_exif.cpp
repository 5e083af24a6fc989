// libFuzzer target: the Exif reader on its own, both on the start of a JPEG file (segment
// scan, then the camera fields) and on bare TIFF data; then the template built from the
// fields found, which must always have its fixed size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/image_record.h"
#include "io/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    vora::exif::read_exif_into(data, size, record);
    const vora::exif::CameraFields fields = vora::exif::parse_tiff(data, size);
    if (fields.make.size() > vora::kCameraTextMax || fields.model.size() > vora::kCameraTextMax ||
        fields.date_time.size() > vora::kCameraTextMax)
        std::abort();
    if (vora::exif::build_template(fields).size() != vora::exif::kTemplateSize) std::abort();
    if (!record.exif_block.empty() && !vora::exif::is_valid_block(record.exif_block)) std::abort();
    return 0;
}
