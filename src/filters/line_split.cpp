#include "filters/line_split.h"

#include <algorithm>
#include <cstddef>

namespace vora {
namespace {

bool has_planes(const ImageRecord& r) {
    const std::size_t n = r.sample_count();
    return n > 0 && r.red.size() == n && r.green.size() == n && r.blue.size() == n;
}

void split_plane(const uint16_t* source, uint16_t* target, int width, int height, bool odd) {
    const std::size_t w = std::size_t(width);
    auto row = [w](auto* plane, int y) { return plane + std::size_t(y) * w; };
    for (int y = 0; y + 1 < height; y += 2) {
        const uint16_t* from = row(source, y + (odd ? 1 : 0));
        std::copy_n(from, w, row(target, y));
        std::copy_n(from, w, row(target, y + 1));
    }
    if (height % 2 == 0) return;
    // The unpaired top row: a copy of the row below it, or the only row there is.
    const uint16_t* from = height > 1 ? row(target, height - 2) : row(source, 0);
    std::copy_n(from, w, row(target, height - 1));
}

}  // namespace

void line_image(const ImageRecord& source, ImageRecord& target, bool odd) {
    if (!has_planes(source) || !has_planes(target)) return;
    if (source.width != target.width || source.height != target.height) return;
    for (int c = 0; c < 3; ++c)
        split_plane(source.plane(c).data(), target.plane(c).data(), source.width, source.height,
                    odd);
}

}  // namespace vora
