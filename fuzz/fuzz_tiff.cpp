// libFuzzer entry point for the TIFF decoders (our own reader and libtiff). Besides crashes and
// sanitizer reports it checks the decoder's promise: an accepted file gives full planes, a
// refused one leaves the record as it was and says why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "io/tiff_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::ImageRecord record;
    const vora::ReadResult result = vora::decode_tiff(data, size, record);
    if (result.ok()) {
        const std::size_t n = record.sample_count();
        if (n == 0 || record.red.size() != n || record.green.size() != n || record.blue.size() != n)
            std::abort();
    } else if (record.occupied() || !record.red.empty() || result.detail.empty()) {
        std::abort();
    }
    return 0;
}
