// libFuzzer target: the FITS decoder on arbitrary bytes, with and without a dark frame.
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/image_record.h"
#include "io/fits.h"

#include "decoder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    check_decoded(vora::decode_fits(data, size, record), record);
    // A 2 × 2 dark frame: exercises the subtraction whenever the input is 2 × 2.
    static const std::array<int32_t, 4> dark = {1, -2, 3, 2147483647};
    const vora::FitsDarkView view{2, 2, {dark.data(), dark.data(), dark.data()}};
    vora::ImageRecord with_dark;
    check_decoded(vora::decode_fits(data, size, with_dark, &view), with_dark);
    return 0;
}
