#include "composite/star_locate.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

#include "composite/source_planes.h"
#include "core/bands.h"

namespace vora {
namespace {

constexpr int kWorkers = kBandCount;
// Columns summed in one unsigned 32-bit run: a pixel adds at most 8191² / 256 < 2^18.
constexpr int32_t kRunColumns = 8192;

using Levels = std::array<int32_t, 3>;
using ChannelPointers = std::array<const uint16_t*, 3>;

// The reference window: columns x0 .. x0 + 2·hw − 1, rows row0 .. row0 + 2·hh − 1.
struct Window {
    int32_t x0, row0, hw, hh;
    int32_t cols() const { return 2 * hw; }
    int32_t rows() const { return 2 * hh; }
};

// Inclusive shifts of one image whose window stays inside it, within the search square.
struct ShiftRange {
    int32_t dx_lo, dx_hi, dy_lo, dy_hi;
    int32_t columns() const { return dx_hi - dx_lo + 1; }
};

// One compared image with the window levels of each of its candidates, dy-major.
struct Target {
    ChannelPointers samples{};
    int32_t width = 0;
    ShiftRange shifts{};
    std::vector<Levels> levels;
};

// Sum of the pixel costs of one run of columns, each e = (a − b − dl) / 16 truncated
// towards zero.
[[gnu::target_clones("avx2", "default")]] uint32_t colour_run(
    const uint16_t* ar, const uint16_t* ag, const uint16_t* ab, const uint16_t* br,
    const uint16_t* bg, const uint16_t* bb, int32_t n, int32_t dr, int32_t dg, int32_t db) {
    uint32_t sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t er = (int32_t(ar[i]) - int32_t(br[i]) - dr) / 16;
        const int32_t eg = (int32_t(ag[i]) - int32_t(bg[i]) - dg) / 16;
        const int32_t eb = (int32_t(ab[i]) - int32_t(bb[i]) - db) / 16;
        sum += uint32_t(er * er + eg * eg + eb * eb) / 1024u;
    }
    return sum;
}

[[gnu::target_clones("avx2", "default")]] uint32_t red_run(const uint16_t* ar, const uint16_t* br,
                                                           int32_t n, int32_t dr) {
    uint32_t sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t er = (int32_t(ar[i]) - int32_t(br[i]) - dr) / 16;
        sum += uint32_t(er * er) / 256u;
    }
    return sum;
}

// Cost of image `t` shifted by (dx, dy) against the reference window `ref` (contiguous rows
// of w.cols() samples per channel).
int64_t candidate_cost(const std::array<std::vector<uint16_t>, 3>& ref, const Window& w,
                       const Target& t, int32_t dx, int32_t dy, const Levels& diff, bool mono) {
    int64_t total = 0;
    const std::size_t cols = std::size_t(w.cols());
    for (int32_t j = 0; j < w.rows(); ++j) {
        const std::size_t a = std::size_t(j) * cols;
        const std::size_t b =
            std::size_t(w.row0 + dy + j) * std::size_t(t.width) + std::size_t(w.x0 + dx);
        for (std::size_t c0 = 0; c0 < cols; c0 += kRunColumns) {
            const int32_t n = int32_t(std::min<std::size_t>(kRunColumns, cols - c0));
            if (mono) {
                total += red_run(ref[0].data() + a + c0, t.samples[0] + b + c0, n, diff[0]);
            } else {
                total +=
                    colour_run(ref[0].data() + a + c0, ref[1].data() + a + c0,
                               ref[2].data() + a + c0, t.samples[0] + b + c0, t.samples[1] + b + c0,
                               t.samples[2] + b + c0, n, diff[0], diff[1], diff[2]);
            }
        }
    }
    return total;
}

// Levels of channel c for every shift of `s`: (Σ of sample / 4 over the shifted window) / hw
// / hh. Column sums slide down the rows, a running sum along the columns.
void fill_levels(const uint16_t* plane, int32_t width, const Window& w, const ShiftRange& s, int c,
                 std::vector<Levels>& out) {
    const int32_t nx = s.columns();
    const int32_t left = w.x0 + s.dx_lo;
    std::vector<int64_t> column(std::size_t(nx - 1 + w.cols()), 0);
    auto add_row = [&](int32_t row, int64_t sign) {
        const uint16_t* p = plane + std::size_t(row) * std::size_t(width) + std::size_t(left);
        for (std::size_t k = 0; k < column.size(); ++k) column[k] += sign * (p[k] / 4);
    };
    for (int32_t j = 0; j < w.rows(); ++j) add_row(w.row0 + s.dy_lo + j, 1);
    for (int32_t dy = s.dy_lo; dy <= s.dy_hi; ++dy) {
        if (dy > s.dy_lo) {
            add_row(w.row0 + dy + w.rows() - 1, 1);
            add_row(w.row0 + dy - 1, -1);
        }
        int64_t run = 0;
        for (int32_t k = 0; k < w.cols(); ++k) run += column[std::size_t(k)];
        Levels* row_out = out.data() + std::size_t(dy - s.dy_lo) * std::size_t(nx);
        for (int32_t k = 0; k < nx; ++k) {
            if (k > 0) run += column[std::size_t(k - 1 + w.cols())] - column[std::size_t(k - 1)];
            row_out[k][std::size_t(c)] = int32_t(run / w.hw / w.hh);
        }
    }
}

ChannelPointers channels_of(const ImageRecord& r) {
    return {channel_samples(r, 0), channel_samples(r, 1), channel_samples(r, 2)};
}

// Half-size of the window along one axis: rotation size / 2, no further than the star's
// distance to either edge of any image.
int64_t half_size(int32_t rotation_size, int32_t pos, const std::vector<int32_t>& sizes) {
    int64_t h = std::min<int64_t>(rotation_size / 2, pos);
    for (int32_t size : sizes) h = std::min<int64_t>(h, int64_t(size) - pos);
    return h;
}

struct Best {
    int64_t cost = std::numeric_limits<int64_t>::max();
    int32_t dx = 0, dy = 0;
};

}  // namespace

std::vector<StarPosition> locate_stars(const std::vector<const ImageRecord*>& images,
                                       StarPosition star, int32_t rotation_size,
                                       int32_t compare_range) {
    std::vector<StarPosition> found(images.size(), star);
    if (images.size() < 2 || !images[0] || !usable_source(*images[0])) return found;
    std::vector<int32_t> widths, heights;
    for (const ImageRecord* r : images)
        if (r && usable_source(*r)) {
            widths.push_back(r->width);
            heights.push_back(r->height);
        }
    const int64_t hw = half_size(rotation_size, star.x, widths);
    const int64_t hh = half_size(rotation_size, star.row, heights);
    if (hw < 1 || hh < 1) return found;
    const Window w{int32_t(star.x - hw), int32_t(star.row - hh), int32_t(hw), int32_t(hh)};
    const bool mono = images[0]->mono == 1;
    const int channels = mono ? 1 : 3;
    // No candidate beyond the largest image fits, so this bound changes nothing.
    const int32_t range =
        int32_t(std::clamp<int64_t>(compare_range, 0,
                                    *std::max_element(widths.begin(), widths.end()) +
                                        *std::max_element(heights.begin(), heights.end())));

    const ImageRecord& first = *images[0];
    std::array<std::vector<uint16_t>, 3> ref;
    Levels ref_levels{};
    const ChannelPointers ref_samples = channels_of(first);
    for (int c = 0; c < channels; ++c) {
        ref[std::size_t(c)].resize(std::size_t(w.cols()) * std::size_t(w.rows()));
        for (int32_t j = 0; j < w.rows(); ++j) {
            const uint16_t* src = ref_samples[std::size_t(c)] +
                                  std::size_t(w.row0 + j) * std::size_t(first.width) +
                                  std::size_t(w.x0);
            std::copy(src, src + w.cols(),
                      ref[std::size_t(c)].begin() + std::ptrdiff_t(j) * w.cols());
        }
        std::vector<Levels> one(1);
        fill_levels(ref_samples[std::size_t(c)], first.width, w, {0, 0, 0, 0}, c, one);
        ref_levels[std::size_t(c)] = one[0][std::size_t(c)];
    }

    std::vector<Target> targets(images.size());
    for (std::size_t i = 1; i < images.size(); ++i) {
        const ImageRecord* r = images[i];
        if (!r || !usable_source(*r)) continue;
        Target& t = targets[i];
        t.samples = channels_of(*r);
        t.width = r->width;
        t.shifts = {int32_t(std::max<int64_t>(-range, hw - star.x)),
                    int32_t(std::min<int64_t>(range, int64_t(r->width) - star.x - hw)),
                    int32_t(std::max<int64_t>(-range, hh - star.row)),
                    int32_t(std::min<int64_t>(range, int64_t(r->height) - star.row - hh))};
        t.levels.resize(std::size_t(t.shifts.columns()) *
                        std::size_t(t.shifts.dy_hi - t.shifts.dy_lo + 1));
        for (int c = 0; c < channels; ++c)
            fill_levels(t.samples[std::size_t(c)], t.width, w, t.shifts, c, t.levels);
    }

    // Worker k searches the quadrant whose dx half is k & 1 and dy half k & 2; the zero row
    // and column belong to both halves.
    std::array<std::vector<Best>, kWorkers> best;
    for (auto& b : best) b.assign(images.size(), Best{});
    run_bands(kWorkers, [&](int worker, int, int) {
        const int32_t x_from = (worker & 1) ? 0 : -range, x_to = (worker & 1) ? range : 0;
        const int32_t y_from = (worker & 2) ? 0 : -range, y_to = (worker & 2) ? range : 0;
        for (std::size_t i = 1; i < targets.size(); ++i) {
            const Target& t = targets[i];
            if (t.levels.empty()) continue;
            Best& b = best[std::size_t(worker)][i];
            const int32_t nx = t.shifts.columns();
            for (int32_t dy = std::max(y_from, t.shifts.dy_lo);
                 dy <= std::min(y_to, t.shifts.dy_hi); ++dy)
                for (int32_t dx = std::max(x_from, t.shifts.dx_lo);
                     dx <= std::min(x_to, t.shifts.dx_hi); ++dx) {
                    const Levels& lb = t.levels[std::size_t(dy - t.shifts.dy_lo) * std::size_t(nx) +
                                                std::size_t(dx - t.shifts.dx_lo)];
                    const Levels diff{ref_levels[0] - lb[0], ref_levels[1] - lb[1],
                                      ref_levels[2] - lb[2]};
                    const int64_t cost = candidate_cost(ref, w, t, dx, dy, diff, mono);
                    if (cost < b.cost) b = {cost, dx, dy};
                }
        }
    });

    for (std::size_t i = 1; i < images.size(); ++i) {
        Best overall = best[0][i];
        for (int k = 1; k < kWorkers; ++k)
            if (best[std::size_t(k)][i].cost < overall.cost) overall = best[std::size_t(k)][i];
        if (overall.cost != std::numeric_limits<int64_t>::max())
            found[i] = {star.x + overall.dx, star.row + overall.dy};
    }
    return found;
}

}  // namespace vora
