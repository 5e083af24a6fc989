// libFuzzer target: whole JPEG files through the decoder, Exif block and fields included.
#include <cstddef>
#include <cstdint>

#include "core/image_record.h"
#include "io/jpeg_io.h"

#include "decoder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    check_decoded(vora::decode_jpeg(data, size, record), record);
    return 0;
}
