// libFuzzer target: the GIF decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "core/image_record.h"
#include "io/gif.h"

#include "decoder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    check_decoded(vora::decode_gif(data, size, record), record);
    return 0;
}
