// The wavelet command's 2× enlarging Daubechies transform.
#include "filters/wavelet_enlarge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/bands.h"
#include "filters/wavelet_daubechies.h"
#include "test_support.h"

namespace vora {
namespace {

using Gains = std::array<double, 8>;
constexpr Gains kUnit{1, 1, 1, 1, 1, 1, 1, 1};

Plane enlarge(const Plane& in, int w, int h, const Gains& gains, int order) {
    Plane out{1, 2, 3};  // whatever the caller hands over is replaced
    wavelet_enlarge_kernel({in.data(), w, h}, gains, order, out);
    return out;
}

// ---- the transform written out step by step: full 2W2 × 2H2 buffer, modular indices,
// up-sampled bands

struct Buffer {
    int w, h;
    std::vector<double> v;
    double& at(int x, int y) { return v[std::size_t(y) * std::size_t(w) + std::size_t(x)]; }
};

int mod(int a, int n) {
    return ((a % n) + n) % n;
}

void analyze(std::vector<double>& x, const DaubechiesFilters& f) {
    const int n = int(x.size());
    std::vector<double> out(x.size());
    for (int i = 0; i < n / 2; ++i) {
        double lo = 0, hi = 0;
        for (int k = 0; k < f.taps; ++k) {
            lo += f.analysis_lo[std::size_t(k)] * x[std::size_t(mod(2 * i + k, n))];
            hi += f.analysis_hi[std::size_t(k)] * x[std::size_t(mod(2 * i + k, n))];
        }
        out[std::size_t(i)] = lo;
        out[std::size_t(n / 2 + i)] = hi;
    }
    x = out;
}

void synthesize(std::vector<double>& x, const DaubechiesFilters& f) {
    const int n = int(x.size());
    std::vector<double> up_lo(x.size(), 0.0), up_hi(x.size(), 0.0), out(x.size());
    for (int i = 0; i < n / 2; ++i) {
        up_lo[std::size_t(2 * i)] = x[std::size_t(i)];
        up_hi[std::size_t(2 * i)] = x[std::size_t(n / 2 + i)];
    }
    for (int j = 0; j < n; ++j) {
        double y = 0;
        for (int k = 0; k < f.taps; ++k)
            y += f.synthesis_lo[std::size_t(k)] * up_lo[std::size_t(mod(j - k, n))] +
                 f.synthesis_hi[std::size_t(k)] * up_hi[std::size_t(mod(j - k, n))];
        out[std::size_t(j)] = y;
    }
    x = out;
}

using Step = void (*)(std::vector<double>&, const DaubechiesFilters&);

void rows(Buffer& b, int w, int h, const DaubechiesFilters& f, Step step) {
    for (int y = 0; y < h; ++y) {
        std::vector<double> line(static_cast<std::size_t>(w));
        for (int x = 0; x < w; ++x) line[std::size_t(x)] = b.at(x, y);
        step(line, f);
        for (int x = 0; x < w; ++x) b.at(x, y) = line[std::size_t(x)];
    }
}

void columns(Buffer& b, int w, int h, const DaubechiesFilters& f, Step step) {
    for (int x = 0; x < w; ++x) {
        std::vector<double> line(static_cast<std::size_t>(h));
        for (int y = 0; y < h; ++y) line[std::size_t(y)] = b.at(x, y);
        step(line, f);
        for (int y = 0; y < h; ++y) b.at(x, y) = line[std::size_t(y)];
    }
}

Plane reference(const Plane& in, int w, int h, const Gains& d, int order) {
    int levels = 0;
    for (int pos = 1; pos <= 5; ++pos)
        if (d[std::size_t(6 - pos)] != 1.0) levels = pos;
    const int unit = 1 << levels;
    const int w2 = (w + unit - 1) / unit * unit, h2 = (h + unit - 1) / unit * unit;
    const DaubechiesFilters f = daubechies_filters(order);
    Buffer b{2 * w2, 2 * h2, std::vector<double>(std::size_t(4 * w2 * h2), 0.0)};
    for (int y = 0; y < h2; ++y)
        for (int x = 0; x < w2; ++x)
            b.at(x, y) = in[std::size_t(std::min(y, h - 1) * w + std::min(x, w - 1))] - 32768.0;
    for (int l = 0; l < levels; ++l) {
        rows(b, w2 >> l, h2 >> l, f, analyze);
        columns(b, w2 >> l, h2 >> l, f, analyze);
    }
    for (int y = 0; y < h2; ++y)
        for (int x = 0; x < w2; ++x) {
            int j = 0;
            while (!(y < (h2 >> levels) << j && x < (w2 >> levels) << j)) ++j;
            b.at(x, y) *= d[std::size_t(j - levels + 5)];
        }
    for (int step = 0; step <= levels; ++step) {
        const int rw = (w2 >> levels) << (step + 1), rh = (h2 >> levels) << (step + 1);
        columns(b, rw, rh, f, synthesize);
        rows(b, rw, rh, f, synthesize);
    }
    Plane out(std::size_t(4 * w * h));
    for (int y = 0; y < 2 * h; ++y)
        for (int x = 0; x < 2 * w; ++x)
            out[std::size_t(y * 2 * w + x)] =
                uint16_t(std::clamp(std::trunc(b.at(x, y) + 32768.0), 0.0, 65535.0));
    return out;
}

// ---- tests

TEST(WaveletEnlarge, LevelsFollowTheLastGainOtherThanOne) {
    struct Case {
        Gains gains;
        int levels;
    };
    const Case cases[] = {
        {kUnit, 0},
        {{7, 1, 1, 1, 1, 1, 7, 7}, 0},  // d0, d6 and d7 do not count
        {{1, 1, 1, 1, 1, 2, 1, 1}, 1},  // d5, "1(H)"
        {{1, 1, 1, 0, 1, 1, 1, 1}, 3},
        {{1, 1, 1, 0, 1, 2, 1, 1}, 3},
        {{1, 0.5, 1, 1, 1, 1, 1, 1}, 5},
        {{1, 2, 2, 2, 2, 2, 1, 1}, 5},
    };
    for (const Case& c : cases) EXPECT_EQ(wavelet_levels(c.gains), c.levels);
}

TEST(WaveletEnlarge, HaarWithUnitGainsMakesTwoByTwoBlocks) {
    const int w = 5, h = 3;
    const Plane in = test::random_plane(w, h, 3);
    const Plane out = enlarge(in, w, h, kUnit, 1);
    ASSERT_EQ(out.size(), std::size_t(4 * w * h));
    for (int y = 0; y < 2 * h; ++y)
        for (int x = 0; x < 2 * w; ++x)
            EXPECT_EQ(out[std::size_t(y * 2 * w + x)], in[std::size_t(y / 2 * w + x / 2)])
                << x << "," << y;
}

TEST(WaveletEnlarge, NoFinestDetailKeepsTheMean) {
    const int w = 32, h = 24;
    const Plane in = test::random_plane(w, h, 5, 20000, 40000);  // no clipping of the ringing
    Gains g = kUnit;
    g[5] = 0;
    const Plane out = enlarge(in, w, h, g, 3);
    double a = 0, b = 0;
    for (uint16_t s : in) a += s;
    for (uint16_t s : out) b += s;
    EXPECT_NEAR(b / double(out.size()), a / double(in.size()), 1.0);
}

TEST(WaveletEnlarge, MatchesTheStepByStepTransformExactly) {
    struct Case {
        int w, h, order;
        Gains gains;
    };
    const Case cases[] = {
        {1, 1, 2, kUnit},
        {1, 1, 10, {1, 2, 2, 2, 2, 2, 1, 1}},
        {3, 2, 1, {1, 1, 1, 1, 1, 0, 1, 1}},
        {7, 5, 2, {1, 1, 1, 0.5, 2, 3, 1, 1}},
        {33, 17, 10, {1, 1, 1, 1, 1.5, 1, 1, 1}},
        {40, 37, 5, {0.5, 1.2, 1.5, 2, 3, 5, 1, 1}},
        {64, 40, 7, {3, 0, 1, 1, 1, 1, 1, 1}},
        {20, 70, 0, {1, 1, 1, 1, 1, 9, 1, 1}},   // order clamped to 1
        {24, 9, 99, {1, 1, 1, 1, -3, 1, 1, 1}},  // order clamped to 10
    };
    for (const Case& c : cases) {
        const Plane in = test::random_plane(c.w, c.h, unsigned(c.w * 7 + c.h));
        EXPECT_EQ(enlarge(in, c.w, c.h, c.gains, c.order),
                  reference(in, c.w, c.h, c.gains, c.order))
            << c.w << "x" << c.h << " order " << c.order;
    }
}

TEST(WaveletEnlarge, SameResultOnOneThread) {
    const int w = 150, h = 71;
    const Plane in = test::random_plane(w, h, 11);
    const Gains gains{1, 1.2, 1.5, 2, 3, 5, 1, 1};
    const Plane banded = enlarge(in, w, h, gains, 4);
    SerialBandsScope serial;
    EXPECT_EQ(enlarge(in, w, h, gains, 4), banded);
}

TEST(WaveletEnlarge, EmptyPlaneGivesAnEmptyResult) {
    Plane out{1, 2};
    wavelet_enlarge_kernel({nullptr, 0, 5}, kUnit, 2, out);
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace vora
