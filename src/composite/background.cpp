#include "composite/background.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/bands.h"
#include "core/workbench.h"

namespace vora {
namespace {

constexpr int64_t kModelBase = 1024;  // radial model at the corners
constexpr int64_t kMaxSample = 65535;

uint16_t clamp_sample(int64_t v) {
    return uint16_t(std::clamp<int64_t>(v, 0, kMaxSample));
}

int channel_count(const ImageRecord& r) {
    return r.mono == 1 ? 1 : 3;
}

// The plane a channel reads: a mono record has only its red plane.
const Plane& channel_plane(const ImageRecord& r, int c) {
    return r.mono == 1 ? r.red : r.plane(c);
}

// An occupied record whose planes in use all hold width × height samples.
bool has_planes(const ImageRecord& r) {
    if (!r.occupied()) return false;
    for (int c = 0; c < channel_count(r); ++c)
        if (r.plane(c).size() < r.sample_count()) return false;
    return true;
}

// What one channel of the target needs during the correction pass.
struct ChannelPass {
    uint16_t* data = nullptr;
    const uint16_t* background = nullptr;  // modes 3/4: the background's plane
    int64_t step = 0;                      // modes 0/1: D / 16
    int64_t level = 0;                     // multiplicative modes: L
    bool narrow = false;                   // 0 ≤ L ≤ 65535: v × L fits 32 bits
    int64_t offset = 0;                    // subtractive modes: added after the model is removed
};

struct CorrectionPass {
    bool multiplicative = false;
    int32_t width = 0;
    int32_t height = 0;
    int channels = 0;
    std::array<ChannelPass, 3> channel{};
};

// One sample with model value m: divided (modes 0/3) or subtracted (modes 1/4).
inline uint16_t correct(bool multiplicative, const ChannelPass& ch, int64_t v, int64_t m) {
    if (!multiplicative) return clamp_sample(v - m + ch.offset);
    if (m == 0) return uint16_t(kMaxSample);
    if (ch.narrow)
        return clamp_sample(int64_t(uint32_t(v) * uint32_t(ch.level) / uint32_t(m)) * 16);
    return clamp_sample((v * ch.level / m) * 16);
}

// ---- radial model --------------------------------------------------------------------------

// A distance raised to k and truncated; saturates far below the int64 limit.
int64_t truncated_power(double distance, double k) {
    constexpr double kLimit = 4.0e18;
    const double v = std::pow(distance, k);
    return v < kLimit ? int64_t(v) : int64_t(kLimit);
}

// 16 × ((Rc − r) × (D/16) / Rc) + 1024, exact even where the product passes 64 bits.
inline int64_t radial_model(int64_t rc, int64_t r, int64_t step) {
    const int64_t t = rc - r;  // 0 ≤ t ≤ rc
    int64_t q;
    if (step == 0 || t <= std::numeric_limits<int64_t>::max() / (step < 0 ? -step : step))
        q = t * step / rc;
    else
        q = int64_t(__int128(t) * step / rc);
    return std::clamp<int64_t>(16 * q + kModelBase, 0, kMaxSample);
}

struct RadialPass {
    CorrectionPass pass;
    double k = 2.0;
    int64_t rc = 1;
};

void correct_radial_rows(const RadialPass& job, int begin, int end) {
    const CorrectionPass& pass = job.pass;
    const int64_t w = pass.width;
    for (int row = begin; row < end; ++row) {
        const int64_t dy = row - pass.height / 2;
        const std::size_t line = std::size_t(row) * std::size_t(w);
        for (int64_t x = 0; x < w; ++x) {
            const int64_t dx = x - w / 2;
            const int64_t r = truncated_power(std::sqrt(double(dx * dx + dy * dy)), job.k);
            const std::size_t i = line + std::size_t(x);
            for (int c = 0; c < pass.channels; ++c) {
                const ChannelPass& ch = pass.channel[std::size_t(c)];
                ch.data[i] =
                    correct(pass.multiplicative, ch, ch.data[i], radial_model(job.rc, r, ch.step));
            }
        }
    }
}

void correct_radial(ImageRecord& r, bool multiplicative, const std::array<int32_t, 6>& levels,
                    int32_t curve) {
    RadialPass job;
    CorrectionPass& pass = job.pass;
    pass.multiplicative = multiplicative;
    pass.width = r.width;
    pass.height = r.height;
    pass.channels = channel_count(r);
    for (int c = 0; c < pass.channels; ++c) {
        const int64_t centre = levels[std::size_t(2 * c)];
        const int64_t d = centre - levels[std::size_t(2 * c + 1)];
        ChannelPass& ch = pass.channel[std::size_t(c)];
        ch.data = r.plane(c).data();
        ch.step = d / 16;
        ch.level = (d + kModelBase) / 16;
        ch.narrow = ch.level >= 0 && ch.level <= kMaxSample;
        ch.offset = centre + kModelBase;
    }
    job.k = std::clamp(curve, kBackgroundCurveMin, kBackgroundCurveMax) / 100.0;
    const double w = r.width, h = r.height;
    // Below one (images of a pixel or two) the centre-to-corner power would divide by zero.
    job.rc = std::max<int64_t>(1, truncated_power(std::sqrt((w * w + h * h) * 0.25), job.k));
    run_bands(r.height, [&](int, int begin, int end) { correct_radial_rows(job, begin, end); });
}

// ---- background image ----------------------------------------------------------------------

// The background's stored row under target stored row `row`: display rows are matched from
// the top and clamped to the background's last (bottom) row.
inline int32_t overlay_row(int32_t row, int32_t height, int32_t bg_height) {
    const int32_t display = std::min(height - 1 - row, bg_height - 1);
    return bg_height - 1 - display;
}

// The largest background sample over every fourth row and column of the target's middle
// half (rows and columns from a quarter up to three quarters, display rows), positions
// outside the background skipped. When none lies inside, the overlay's value at the first
// position is used instead, so that a small background still gives a level.
int64_t largest_middle_sample(const uint16_t* bg, int32_t bw, int32_t bh, int32_t w, int32_t h) {
    int64_t largest = 0;
    bool seen = false;
    const int64_t row_end = std::min<int64_t>(3 * int64_t(h) / 4, bh);
    const int64_t col_end = std::min<int64_t>(3 * int64_t(w) / 4, bw);
    for (int64_t y = h / 4; y < row_end; y += 4) {
        const uint16_t* line = bg + std::size_t(bh - 1 - y) * std::size_t(bw);
        for (int64_t x = w / 4; x < col_end; x += 4) {
            largest = std::max<int64_t>(largest, line[x]);
            seen = true;
        }
    }
    if (seen) return largest;
    const int32_t row = overlay_row(h - 1 - h / 4, h, bh);
    return bg[std::size_t(row) * std::size_t(bw) + std::size_t(std::min(w / 4, bw - 1))];
}

void correct_reference_rows(const CorrectionPass& pass, int32_t bw, int32_t bh, int begin,
                            int end) {
    const int32_t w = pass.width;
    for (int row = begin; row < end; ++row) {
        const std::size_t line = std::size_t(row) * std::size_t(w);
        const std::size_t bg_line =
            std::size_t(overlay_row(row, pass.height, bh)) * std::size_t(bw);
        for (int c = 0; c < pass.channels; ++c) {
            const ChannelPass& ch = pass.channel[std::size_t(c)];
            const uint16_t* bg = ch.background + bg_line;
            uint16_t* out = ch.data + line;
            for (int32_t x = 0; x < w; ++x) {
                const int64_t m = int64_t(bg[std::min(x, bw - 1)]) + 1;
                out[x] = correct(pass.multiplicative, ch, out[x], m);
            }
        }
    }
}

void correct_reference(Workbench& wb, ImageRecord& r, bool multiplicative,
                       const std::array<int32_t, 6>& levels, int32_t slot) {
    if (!wb.table.valid_slot(slot)) return;
    const ImageRecord& bg = wb.table[slot];
    if (&bg == &r || !bg.occupied() || bg.red.size() < bg.sample_count()) return;
    if (bg.mono != 1 && !has_planes(bg)) return;
    CorrectionPass pass;
    pass.multiplicative = multiplicative;
    pass.width = r.width;
    pass.height = r.height;
    pass.channels = channel_count(r);
    for (int c = 0; c < pass.channels; ++c) {
        ChannelPass& ch = pass.channel[std::size_t(c)];
        ch.data = r.plane(c).data();
        ch.background = channel_plane(bg, c).data();
        ch.offset = levels[std::size_t(2 * c)];
        if (multiplicative) {
            ch.level =
                largest_middle_sample(ch.background, bg.width, bg.height, r.width, r.height) / 16;
            ch.narrow = true;  // at most 65535 / 16
        }
    }
    run_bands(r.height, [&](int, int begin, int end) {
        correct_reference_rows(pass, bg.width, bg.height, begin, end);
    });
}

}  // namespace

void background_kernel(Workbench& wb, ImageRecord& record, int32_t mode,
                       const std::array<int32_t, 6>& levels, int32_t extra) {
    if (!has_planes(record)) return;
    switch (mode) {
        case kBackgroundPseudoMultiply:
        case kBackgroundPseudoSubtract:
            correct_radial(record, mode == kBackgroundPseudoMultiply, levels, extra);
            break;
        case kBackgroundReferenceMultiply:
        case kBackgroundReferenceSubtract:
            correct_reference(wb, record, mode == kBackgroundReferenceMultiply, levels, extra);
            break;
        default:
            break;
    }
}

std::array<int32_t, 3> background_sample(const ImageRecord& record, int32_t x, int32_t row) {
    std::array<int32_t, 3> out{};
    if (!record.occupied()) return out;
    const int32_t w = record.width, h = record.height;
    // One pixel inside the edge where the image is large enough, else its nearest pixel.
    const int32_t cx = std::clamp(std::min(std::max(x, 1), w - 2), 0, w - 1);
    const int32_t cy = std::clamp(std::min(std::max(row, 1), h - 2), 0, h - 1);
    for (int c = 0; c < 3; ++c) {
        const Plane& plane = channel_plane(record, c);
        if (plane.size() < record.sample_count()) continue;
        std::array<uint16_t, 9> v{};
        std::size_t n = 0;
        for (int32_t dy = -1; dy <= 1; ++dy) {
            const int32_t yy = std::clamp(cy + dy, 0, h - 1);
            for (int32_t dx = -1; dx <= 1; ++dx) {
                const int32_t xx = std::clamp(cx + dx, 0, w - 1);
                v[n++] = plane[std::size_t(yy) * std::size_t(w) + std::size_t(xx)];
            }
        }
        std::sort(v.begin(), v.end());
        out[std::size_t(c)] = (int32_t(v[2]) + int32_t(v[3])) / 2;
    }
    return out;
}

}  // namespace vora
