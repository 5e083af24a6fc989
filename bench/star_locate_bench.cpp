// Star location of the rotation composite: one star of a 4000 × 3000 RGB frame found in a
// second frame of the same sky moved by (6, −3), compare range 20, rotation sizes 64 and 128
// (41 × 41 candidates of 64 × 64 or 128 × 128 pixels, three channels).
//
// Real time is reported: the search runs on the band runner.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "composite/star_locate.h"
#include "core/image_record.h"

namespace {

using vora::ImageRecord;
using vora::StarPosition;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kRange = 20;
constexpr StarPosition kShift{6, -3};
constexpr StarPosition kStar{2000, 1500};  // a bright star is placed here

struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    float unit() { return float(next() >> 8) / float(1u << 24); }
};

// Sky with noise and 3000 Gaussian stars plus the picked one, seen moved by `shift`.
ImageRecord render_frame(StarPosition shift, uint32_t seed) {
    ImageRecord r;
    r.width = kWidth;
    r.height = kHeight;
    const std::size_t n = std::size_t(kWidth) * kHeight;
    Lcg noise{seed};
    for (int c = 0; c < 3; ++c) {
        r.plane(c).resize(n);
        for (uint16_t& s : r.plane(c)) s = uint16_t(3000 + 400 * c + (noise.next() >> 24) * 3);
    }
    Lcg sky{12345u};
    auto add_star = [&](float sx, float sr, float sigma, float peak) {
        const float cx = sx + float(shift.x), cr = sr + float(shift.row);
        const int reach = int(std::ceil(4.0f * sigma));
        for (int row = std::max(0, int(cr) - reach); row <= std::min(kHeight - 1, int(cr) + reach);
             ++row)
            for (int x = std::max(0, int(cx) - reach); x <= std::min(kWidth - 1, int(cx) + reach);
                 ++x) {
                const float dx = float(x) - cx, dr = float(row) - cr;
                const float g = std::exp(-(dx * dx + dr * dr) / (2 * sigma * sigma));
                const std::size_t i = std::size_t(row) * kWidth + std::size_t(x);
                for (int c = 0; c < 3; ++c) {
                    uint16_t& s = r.plane(c)[i];
                    s = uint16_t(
                        std::min(65535.0f, float(s) + peak * (1.0f - 0.2f * float(c)) * g));
                }
            }
    };
    for (int i = 0; i < 3000; ++i) {
        const float x = sky.unit() * kWidth, row = sky.unit() * kHeight;
        const float sigma = 1.0f + sky.unit() * 1.5f, u = sky.unit();
        add_star(x, row, sigma, 1500.0f + u * u * u * 50000.0f);
    }
    add_star(float(kStar.x), float(kStar.row), 2.0f, 40000.0f);
    return r;
}

const std::vector<ImageRecord>& frames() {
    static const std::vector<ImageRecord> f{render_frame({0, 0}, 1u), render_frame(kShift, 2u)};
    return f;
}

void BM_LocateStar(benchmark::State& state) {
    const std::vector<const ImageRecord*> images{&frames()[0], &frames()[1]};
    const int32_t size = int32_t(state.range(0));
    std::vector<StarPosition> found;
    for (auto _ : state) {
        found = vora::locate_stars(images, kStar, size, kRange);
        benchmark::DoNotOptimize(found.data());
    }
    const bool as_made =
        found.size() == 2 && found[1] == StarPosition{kStar.x + kShift.x, kStar.row + kShift.row};
    state.counters["found_as_made"] = as_made ? 1 : 0;
}
BENCHMARK(BM_LocateStar)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
