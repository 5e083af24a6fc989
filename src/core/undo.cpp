#include "core/undo.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/image_table.h"

namespace vora {
namespace {

// Copies the rows [row0, row0 + h) and columns [col0, col0 + w) of every plane into dst.
void copy_rect(const ImageRecord& src, ImageRecord& dst, int col0, int row0, int w, int h) {
    for (int c = 0; c < 3; ++c) {
        const Plane& from = src.plane(c);
        Plane& to = dst.plane(c);
        to.resize(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y) {
            const auto first = from.begin() + std::ptrdiff_t(std::size_t(row0 + y) * std::size_t(src.width) + std::size_t(col0));
            std::copy(first, first + w, to.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(w)));
        }
    }
    dst.width = w;
    dst.height = h;
    dst.mono = src.mono;
}

// Clips the span between two coordinates to [0, limit): start and length.
std::pair<int, int> clip_span(int a, int b, int limit) {
    int start = std::min(a, b);
    int length = std::abs(b - a);
    if (start < 0) {
        length += start;
        start = 0;
    }
    length = std::clamp(length, 0, std::max(limit - start, 0));
    return {start, length};
}

}  // namespace

void take_snapshot(ImageRecord& r) {
    r.undo_red = r.red;
    r.undo_green = r.green;
    r.undo_blue = r.blue;
    r.undo_width = r.width;
    r.undo_height = r.height;
    r.undo_mono = r.mono;
}

void swap_with_snapshot(ImageRecord& r) {
    std::swap(r.red, r.undo_red);
    std::swap(r.green, r.undo_green);
    std::swap(r.blue, r.undo_blue);
    std::swap(r.width, r.undo_width);
    std::swap(r.height, r.undo_height);
    std::swap(r.mono, r.undo_mono);
}

void mark_in_place_result(ImageRecord& r) {
    r.stats_stale = 1;
    r.undo_available = 1;
    r.redo_available = 0;
    r.changed_before = r.changed;
    r.changed = 1;
}

void mark_new_result(ImageRecord& r) {
    r.stats_stale = 1;
    r.undo_available = 0;
    r.redo_available = 0;
    r.changed_before = r.changed;
    r.changed = 1;
    r.undo_mono = r.mono;
}

void mark_fresh_copy(ImageRecord& r) {
    r.stats_stale = 0;
    r.undo_available = 0;
    r.redo_available = 0;
    r.changed = 0;
    r.changed_before = 0;
    compute_histogram(r);
}

void mark_loaded(ImageRecord& r) {
    r.stats_stale = 1;
    r.changed = 0;
    r.changed_before = 0;
    r.mono = 0;
    r.undo_mono = 0;
    r.undo_available = 0;
    r.redo_available = 0;
}

void crop_record(const ImageRecord& src, ImageRecord& dst, int w, int h, int anchor) {
    const int kw = std::clamp(w, 0, std::max(src.width, 0));
    const int kh = std::clamp(h, 0, std::max(src.height, 0));
    const int spare_x = src.width - kw;
    const int spare_y = src.height - kh;
    const int column = anchor % 3;  // 0 left, 1 centre, 2 right
    const int line = anchor / 3;    // 0 top, 1 middle, 2 bottom (rows are stored bottom-up)
    const int col0 = column == 0 ? 0 : column == 1 ? spare_x / 2 : spare_x;
    const int row0 = line == 0 ? spare_y : line == 1 ? spare_y / 2 : 0;
    copy_rect(src, dst, col0, row0, kw, kh);
}

void copy_area(const ImageRecord& src, ImageRecord& dst, SampleCorner a, SampleCorner b) {
    const auto [left, w] = clip_span(a.x, b.x, src.width);
    const auto [bottom, h] = clip_span(a.y, b.y, src.height);
    copy_rect(src, dst, left, bottom, w, h);
}

}  // namespace vora
