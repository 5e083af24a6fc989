// Shared by the benchmarks: realistic test images built in memory.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/image_record.h"

namespace vora::bench {

// A camera-sized frame: 6000 × 4000 pixels, three 16-bit planes.
inline constexpr int kFrameWidth = 6000;
inline constexpr int kFrameHeight = 4000;

// A w × h colour record whose samples use all 16 bits: smooth gradients plus deterministic
// noise, so no reader, writer or statistic meets an unrealistically uniform image.
inline ImageRecord make_frame(int w = kFrameWidth, int h = kFrameHeight) {
    ImageRecord r;
    r.width = w;
    r.height = h;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    r.red.resize(n);
    r.green.resize(n);
    r.blue.resize(n);
    uint32_t state = 0x2545F491u;
    std::size_t i = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, ++i) {
            state = state * 1664525u + 1013904223u;  // LCG: fast and the same everywhere
            const uint32_t noise = state >> 24;      // 0..255
            const uint32_t gx = uint32_t(x) * 60000u / uint32_t(w);
            const uint32_t gy = uint32_t(y) * 60000u / uint32_t(h);
            r.red[i] = uint16_t(gx + noise * 16u);
            r.green[i] = uint16_t(gy + noise * 16u);
            r.blue[i] = uint16_t((gx + gy) / 2u + noise * 16u);
        }
    }
    return r;
}

// The same frame, built once per process (about 144 MB).
inline const ImageRecord& shared_frame() {
    static const ImageRecord frame = make_frame();
    return frame;
}

// A folder under /tmp for the files of the file benchmarks, removed at exit.
class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/vora-bench-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool ok() const { return !path_.empty(); }
    std::string file(const char* name) const { return path_.empty() ? "" : path_ + "/" + name; }

private:
    std::string path_;
};

// The one folder of this process.
inline TempFolder& temp_folder() {
    static TempFolder folder;
    return folder;
}

// Puts `source`'s picture back into `target` between the runs of an in-place operation.
inline void reset_picture(ImageRecord& target, const ImageRecord& source) {
    target.width = source.width;
    target.height = source.height;
    target.mono = source.mono;
    for (int c = 0; c < 3; ++c) target.plane(c) = source.plane(c);
}

// Bytes of the three 16-bit planes of `r`.
inline int64_t frame_bytes(const ImageRecord& r) {
    return int64_t(r.sample_count()) * 3 * 2;
}

}  // namespace vora::bench
