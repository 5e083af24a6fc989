// libFuzzer entry point for the TIFF decoders (our own reader and libtiff). Besides crashes and
// sanitizer reports it checks the decoder's promise: an accepted file gives full planes, a
// refused one leaves the record as it was and says why.
#include <cstddef>
#include <cstdint>

#include "io/tiff_io.h"

#include "decoder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    check_decoded(vora::decode_tiff(data, size, record), record);
    return 0;
}
