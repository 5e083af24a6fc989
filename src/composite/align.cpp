#include "composite/align.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "composite/source_planes.h"
#include "core/bands.h"

namespace vora {
namespace {

constexpr int32_t kNoOverlap = 0x7F000000;
constexpr int kWorkers = kBandCount;
constexpr int kRanks = 4;

struct Candidate {
    int32_t cost = kNoOverlap;  // an untouched rank loses to every overlapping candidate
    Offset offset;
};
using TopFour = std::array<Candidate, kRanks>;
// Per worker, per image: the four lowest costs, sorted.
using PassLists = std::array<std::vector<TopFour>, kWorkers>;

// Sorted insertion: a cost takes a rank only when strictly lower, so earlier ones win ties.
void enter(TopFour& top, int32_t cost, Offset offset) {
    for (int r = 0; r < kRanks; ++r) {
        if (cost < top[std::size_t(r)].cost) {
            for (int s = kRanks - 1; s > r; --s) top[std::size_t(s)] = top[std::size_t(s) - 1];
            top[std::size_t(r)] = {cost, offset};
            return;
        }
    }
}

struct Span {
    int32_t begin;
    int32_t end;  // exclusive
};

// The compared columns (or rows): all of a small image, the central three quarters of a
// large one, always a multiple of 4 long.
Span region_span(int32_t size) {
    if (size <= 512) return {0, size / 4 * 4};
    return {size / 32 * 4, int32_t(int64_t(size) * 7 / 32 * 4)};
}

struct GreyImage {
    std::vector<uint16_t> data;
    int32_t width = 0;
    int32_t height = 0;
};

GreyImage grey_region(const ImageRecord& r, Span xs, Span ys) {
    GreyImage g{{}, xs.end - xs.begin, ys.end - ys.begin};
    g.data.resize(std::size_t(g.width) * std::size_t(g.height));
    const uint16_t* ch[3] = {channel_samples(r, 0), channel_samples(r, 1), channel_samples(r, 2)};
    for (int32_t y = 0; y < g.height; ++y) {
        const std::size_t src =
            std::size_t(y + ys.begin) * std::size_t(r.width) + std::size_t(xs.begin);
        uint16_t* out = g.data.data() + std::size_t(y) * std::size_t(g.width);
        for (int32_t x = 0; x < g.width; ++x)
            out[x] = uint16_t((int32_t(ch[0][src + std::size_t(x)]) + ch[1][src + std::size_t(x)] +
                               ch[2][src + std::size_t(x)]) /
                              3);
    }
    return g;
}

// 4 × 4 block means.
GreyImage quarter_size(const GreyImage& g) {
    GreyImage q{{}, g.width / 4, g.height / 4};
    q.data.resize(std::size_t(q.width) * std::size_t(q.height));
    for (int32_t y = 0; y < q.height; ++y)
        for (int32_t x = 0; x < q.width; ++x) {
            int32_t sum = 0;
            for (int32_t j = 0; j < 4; ++j) {
                const uint16_t* row = g.data.data() + std::size_t(4 * y + j) * std::size_t(g.width);
                for (int32_t i = 0; i < 4; ++i) sum += row[4 * x + i];
            }
            q.data[std::size_t(y) * std::size_t(q.width) + std::size_t(x)] = uint16_t(sum / 16);
        }
    return q;
}

// Inclusive candidate window of one image.
struct Window {
    int32_t x_low, x_high, y_low, y_high;
};

// Evaluates every image's window on the four workers. Worker k takes the quadrant whose
// horizontal half is k & 1 and vertical half k & 2; the middle row and column belong to both
// halves.
PassLists search_pass(int32_t method, const std::vector<GreyImage>& grey,
                      const std::vector<Window>& windows, int32_t level, bool skip_zero) {
    PassLists lists;
    for (auto& l : lists) l.assign(grey.size(), TopFour{});
    const GreyImage& ref = grey[0];
    run_bands(kWorkers, [&](int worker, int, int) {
        for (std::size_t i = 1; i < grey.size(); ++i) {
            const Window& w = windows[i];
            const int32_t mid_x = (w.x_low + w.x_high) / 2;
            const int32_t mid_y = (w.y_low + w.y_high) / 2;
            const int32_t x0 = (worker & 1) ? mid_x : w.x_low, x1 = (worker & 1) ? w.x_high : mid_x;
            const int32_t y0 = (worker & 2) ? mid_y : w.y_low, y1 = (worker & 2) ? w.y_high : mid_y;
            TopFour& top = lists[std::size_t(worker)][i];
            for (int32_t dy = y0; dy <= y1; ++dy)
                for (int32_t dx = x0; dx <= x1; ++dx) {
                    if (skip_zero && dx == 0 && dy == 0) continue;
                    enter(top,
                          alignment_cost(method, ref.data.data(), grey[i].data.data(), ref.width,
                                         ref.height, dx, dy, level),
                          {dx, dy});
                }
        }
    });
    return lists;
}

// The lowest cost among the workers' best entries; a later worker wins only when strictly
// lower. (0, 0) when nothing overlapped.
Offset best_offset(const PassLists& lists, std::size_t image) {
    Candidate best = lists[0][image][0];
    for (int k = 1; k < kWorkers; ++k)
        if (lists[std::size_t(k)][image][0].cost < best.cost)
            best = lists[std::size_t(k)][image][0];
    return best.offset;
}

// The sixteen entries merged into four sorted candidates with distinct offsets.
TopFour merged_candidates(const PassLists& lists, std::size_t image) {
    TopFour merged;
    for (int k = 0; k < kWorkers; ++k)
        for (const Candidate& c : lists[std::size_t(k)][image]) {
            for (int r = 0; r < kRanks; ++r) {
                if (merged[std::size_t(r)].offset == c.offset &&
                    merged[std::size_t(r)].cost < kNoOverlap)
                    break;  // already held above
                if (c.cost < merged[std::size_t(r)].cost) {
                    for (int s = kRanks - 1; s > r; --s)
                        merged[std::size_t(s)] = merged[std::size_t(s) - 1];
                    merged[std::size_t(r)] = c;
                    break;
                }
            }
        }
    return merged;
}

// Each image takes its best candidate unless an earlier image (the first at (0, 0)) holds it.
void choose_distinct(const PassLists& lists, std::vector<Offset>& offsets) {
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        const TopFour merged = merged_candidates(lists, i);
        std::size_t pick = 0;
        for (std::size_t j = 0; j < i; ++j)
            if (merged[pick].offset == offsets[j] && pick + 1 < merged.size()) ++pick;
        offsets[i] = merged[pick].offset;
    }
}

}  // namespace

int32_t alignment_cost(int32_t method, const uint16_t* a, const uint16_t* b, int32_t w, int32_t h,
                       int32_t dx, int32_t dy, int32_t level_factor) {
    const int64_t left = std::max<int64_t>(dx, 0), right = std::min<int64_t>(w, int64_t(w) + dx);
    const int64_t low = std::max<int64_t>(dy, 0), high = std::min<int64_t>(h, int64_t(h) + dy);
    const int64_t ow = right - left, oh = high - low;
    if (ow < 2 || oh < 2) return kNoOverlap;
    const bool fast = method == 1;  // any other method compares the slow, larger window
    const int64_t s = fast ? 512 : 1024;
    const int64_t t = (fast ? 128 : 256) * int64_t(std::max(level_factor, 1));
    const int64_t hw = std::min(ow, s) / 2, hh = std::min(oh, t) / 2;
    const int64_t x0 = (left + right) / 2 - hw, y0 = (low + high) / 2 - hh;
    int64_t total = 0;
    for (int64_t y = y0; y < y0 + 2 * hh; ++y) {
        const uint16_t* ar = a + y * w + x0;
        const uint16_t* br = b + (y - dy) * w + (x0 - dx);
        int64_t row_sum = 0;
        for (int64_t x = 0; x < 2 * hw; ++x) {
            const int32_t q = (int32_t(ar[x]) - int32_t(br[x])) / 64;  // truncates towards zero
            row_sum += q * q;
        }
        total += row_sum / hw / 2;
    }
    return int32_t(total / hh / 2);
}

std::vector<Offset> find_offsets(int32_t method, const std::vector<const ImageRecord*>& images,
                                 int32_t range_x, int32_t range_y, bool min_shift) {
    std::vector<Offset> offsets(images.size());
    if (images.size() < 2) return offsets;
    int32_t min_w = images[0] ? images[0]->width : 0, min_h = images[0] ? images[0]->height : 0;
    for (const ImageRecord* r : images) {
        if (!r || !usable_source(*r)) return offsets;
        min_w = std::min(min_w, r->width);
        min_h = std::min(min_h, r->height);
    }
    const Span xs = region_span(min_w), ys = region_span(min_h);
    std::vector<GreyImage> grey;
    for (const ImageRecord* r : images) grey.push_back(grey_region(*r, xs, ys));

    const int32_t rx = std::max(range_x, 0), ry = std::max(range_y, 0);
    std::vector<Offset> centres(images.size());
    int32_t radius = std::max(rx, ry);
    if (rx > 4 || ry > 4) {
        std::vector<GreyImage> quarter;
        for (const GreyImage& g : grey) quarter.push_back(quarter_size(g));
        // Beyond the buffer's size nothing overlaps; the cap keeps hostile ranges finite.
        const int32_t hx = std::min(rx / 4 + 1, quarter[0].width + 1);
        const int32_t hy = std::min(ry / 4 + 1, quarter[0].height + 1);
        const std::vector<Window> coarse(images.size(), Window{-hx, hx, -hy, hy});
        const PassLists lists = search_pass(method, quarter, coarse, 1, false);
        for (std::size_t i = 1; i < images.size(); ++i) {
            const Offset best = best_offset(lists, i);
            centres[i] = {best.x * 4, best.y * 4};
        }
        radius = 4;
    }
    std::vector<Window> fine;
    for (const Offset& c : centres)
        fine.push_back({c.x - radius, c.x + radius, c.y - radius, c.y + radius});
    const PassLists lists = search_pass(method, grey, fine, 4, min_shift);
    if (min_shift) {
        choose_distinct(lists, offsets);
    } else {
        for (std::size_t i = 1; i < images.size(); ++i) offsets[i] = best_offset(lists, i);
    }
    return offsets;
}

}  // namespace vora
