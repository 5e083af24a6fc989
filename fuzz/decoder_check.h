// What every image decoder promises, checked after each fuzz input: an accepted file gives
// three planes of exactly width × height samples; a refused one says why and leaves the
// (fresh) record empty.
#pragma once

#include <cstdlib>

#include "core/image_record.h"
#include "io/io_status.h"

inline void check_decoded(const vora::ReadResult& result, const vora::ImageRecord& record) {
    if (result.ok()) {
        const std::size_t n = record.sample_count();
        if (n == 0 || record.red.size() != n || record.green.size() != n ||
            record.blue.size() != n)
            std::abort();
    } else if (record.occupied() || !record.red.empty() || result.detail.empty()) {
        std::abort();
    }
}
