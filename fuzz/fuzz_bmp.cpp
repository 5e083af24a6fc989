// libFuzzer entry point for the BMP decoder. Besides crashes and sanitizer reports it checks
// the decoder's promise: an accepted file gives full planes, a refused one leaves the record
// as it was.
#include <cstddef>
#include <cstdint>

#include "io/bmp_pnm.h"

#include "decoder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    check_decoded(vora::decode_bitmap(data, size, record), record);
    return 0;
}
