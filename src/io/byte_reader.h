// Small helpers shared by the BMP and PNM codecs: fixed-width integers out of a byte buffer,
// the planes a decoder fills before it hands them to the record, and a check writers make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "core/image_record.h"

namespace vora::io_detail {

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline int32_t le32_signed(const uint8_t* p) { return int32_t(le32(p)); }

inline uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

// Pictures larger than this many pixels are refused by every reader here.
inline constexpr int64_t kMaxPixels = int64_t(1) << 30;

// The planes of one decoded picture. A decoder fills these and moves them into the record
// only once the whole file has been accepted, so a rejected file leaves the record as it was.
struct DecodedPlanes {
    int32_t width = 0;
    int32_t height = 0;
    Plane red, green, blue;

    // Zero-filled planes of width × height samples; false when memory runs out.
    bool allocate(int32_t w, int32_t h) {
        const std::size_t n = std::size_t(w) * std::size_t(h);
        try {
            red.assign(n, 0);
            green.assign(n, 0);
            blue.assign(n, 0);
        } catch (const std::bad_alloc&) {
            red = Plane();
            green = Plane();
            return false;
        }
        width = w;
        height = h;
        return true;
    }

    uint16_t* row(Plane& p, int32_t y) { return p.data() + std::size_t(y) * std::size_t(width); }

    void move_into(ImageRecord& out) {
        out.width = width;
        out.height = height;
        out.red = std::move(red);
        out.green = std::move(green);
        out.blue = std::move(blue);
    }
};

// True when the record has a picture and every plane holds all of its samples.
inline bool has_full_planes(const ImageRecord& r) {
    if (!r.occupied()) return false;
    const std::size_t n = r.sample_count();
    return r.red.size() >= n && r.green.size() >= n && r.blue.size() >= n;
}

}  // namespace vora::io_detail
