// Small helpers shared by the BMP and PNM codecs: fixed-width integers out of a byte buffer,
// the planes a decoder fills before it hands them to the record, and a check writers make.
#pragma once

#include <sys/mman.h>

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
// Asks for huge pages behind a large buffer before it is first touched: filling the planes of
// a camera-sized picture otherwise costs tens of thousands of page faults, which take longer
// than decoding the pixels. Only a hint; nothing changes where the kernel declines.
inline void prefer_huge_pages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

struct DecodedPlanes {
    int32_t width = 0;
    int32_t height = 0;
    Plane red, green, blue;

    // Zero-filled planes of width × height samples; false when memory runs out.
    bool allocate(int32_t w, int32_t h) {
        const std::size_t n = std::size_t(w) * std::size_t(h);
        try {
            for (Plane* p : {&red, &green, &blue}) {
                p->reserve(n);
                prefer_huge_pages(p->data(), n * sizeof(uint16_t));
                p->assign(n, 0);
            }
        } catch (const std::bad_alloc&) {
            red = green = blue = Plane();
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
