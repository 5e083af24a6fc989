// How the composites read a source record: a mono record, or one whose green or blue plane is
// missing, is read through its red plane for all three channels.
#pragma once

#include <cstdint>

#include "core/image_record.h"

namespace vora {

// The samples of channel c (0 red, 1 green, 2 blue); null when the record has no picture or
// its red plane is shorter than width × height.
inline const uint16_t* channel_samples(const ImageRecord& r, int c) {
    const std::size_t n = r.sample_count();
    if (n == 0 || r.red.size() < n) return nullptr;
    const Plane& p = r.plane(c);
    return (r.mono == 1 || p.size() < n) ? r.red.data() : p.data();
}

inline bool usable_source(const ImageRecord& r) {
    return channel_samples(r, 0) != nullptr;
}

}  // namespace vora
