#include "filters/resize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

ImageRecord noise_image(int w, int h, uint32_t seed = 7) {
    return make_image(w, h, [&](int c, int x, int y) {
        uint32_t v = seed + uint32_t(c * 7919 + x * 104729 + y * 1299709);
        v ^= v >> 13;
        v *= 0x5bd1e995u;
        return int(v >> 16);
    });
}

// ---- plain per-pixel versions of the rules, for comparison with the table-driven kernels

int64_t span_lo(int64_t i, ScaleTerms t) {
    return i * t.old_term / t.new_term;
}

struct RefAxis {
    std::vector<std::pair<int, int64_t>> taps;  // line, weight
    int64_t divisor;
};

RefAxis ref_axis(int i, int src, ScaleTerms t, bool area) {
    const int64_t lo = span_lo(i, t);
    const int64_t hi = std::min<int64_t>(span_lo(i + 1, t), src - 1);
    RefAxis a;
    if (area && hi > lo) {
        for (int64_t q = lo; q < hi; ++q) a.taps.push_back({int(q), 1});
        a.divisor = hi - lo;
        return a;
    }
    const int64_t s = int64_t(i) * t.old_term;
    const int q0 = int(s / t.new_term);
    const int64_t f = (s % t.new_term) * 128 / t.new_term;
    a.taps = {{q0, 128 - f}, {std::min(q0 + 1, src - 1), f}};
    a.divisor = 128;
    return a;
}

double ref_lanczos(double r) {
    if (r == 0) return 1;
    if (r > 2) return 0;
    const double a = std::numbers::pi * r;
    return std::sin(a) / a * (std::sin(a / 2) / (a / 2));
}

ImageRecord reference_resize(const ImageRecord& in, int nw, int ow, int nh, int oh, int method) {
    ScaleTerms tx{nw, ow}, ty{nh, oh};
    if (method != 0) {
        tx = reduce_terms(nw, ow);
        ty = reduce_terms(nh, oh);
    }
    const int W = in.width, H = in.height;
    const int w = int(scaled_size(W, tx)), h = int(scaled_size(H, ty));
    const bool area = h <= 2 * H / 3;
    return make_image(w, h, [&](int c, int i, int j) -> int {
        auto P = [&](int x, int y) { return int64_t(sample(in, c, x, y)); };
        if (method == 0) return int(P(int(span_lo(i, tx)), int(span_lo(j, ty))));
        if (method == 1) {
            const RefAxis ax = ref_axis(i, W, tx, area), ay = ref_axis(j, H, ty, area);
            int64_t sum = 0;
            for (auto [y, wy] : ay.taps)
                for (auto [x, wx] : ax.taps) sum += wy * wx * P(x, y);
            return int(sum / ax.divisor / ay.divisor);
        }
        const int64_t s = int64_t(i) * tx.old_term, t = int64_t(j) * ty.old_term;
        const int q = int(s / tx.new_term), r = int(t / ty.new_term);
        const int px = int((s % tx.new_term) * 16 / tx.new_term);
        const int py = int((t % ty.new_term) * 16 / ty.new_term);
        double k[5][5], total = 0;
        for (int m = -2; m <= 2; ++m)
            for (int n = -2; n <= 2; ++n)
                total += k[m + 2][n + 2] = ref_lanczos(std::sqrt(
                    (n - px / 16.0) * (n - px / 16.0) + (m - py / 16.0) * (m - py / 16.0)));
        double sum = 0;
        for (int m = -2; m <= 2; ++m)
            for (int n = -2; n <= 2; ++n)
                sum += k[m + 2][n + 2] / total *
                       double(P(std::clamp(q + n, 0, W - 1), std::clamp(r + m, 0, H - 1)));
        return int(std::clamp(sum, 0.0, 65535.0));
    });
}

ImageRecord resized(ImageRecord r, int nw, int ow, int nh, int oh, int method) {
    resize_record(r, nw, ow, nh, oh, method);
    return r;
}

TEST(ResizeTerms, ReduceOnceByEachDivisorThenHalve) {
    struct Case {
        int32_t n, o, want_n, want_o;
    } cases[] = {
        {6, 4, 3, 2},              // 2 once
        {8, 4, 4, 2},              // each divisor at most once
        {100, 50, 10, 5},          // 2, then 5
        {9000, 4500, 20, 10},      // 2, 3, 5, then the odd divisor 15
        {5000, 4099, 2500, 2049},  // no common divisor: halved below 4097
        {0, -3, 1, 1},             // terms below 1 count as 1
    };
    for (const Case& c : cases) {
        const ScaleTerms t = reduce_terms(c.n, c.o);
        EXPECT_EQ(t.new_term, c.want_n) << c.n << "/" << c.o;
        EXPECT_EQ(t.old_term, c.want_o) << c.n << "/" << c.o;
    }
}

TEST(Resize, SameSizeNearestIsIdentity) {
    const ImageRecord in = noise_image(7, 5);
    EXPECT_TRUE(test::same_pixels(resized(in, 7, 7, 5, 5, kResizeNearest), in));
    EXPECT_TRUE(test::same_pixels(resized(in, 3, 3, 9, 9, kResizeNearest), in));
}

TEST(Resize, NearestPicksTruncatedSourcePositions) {
    // 4 × 1 → 3 × 1 (ratio 3/4): columns 0, 4/3 = 1, 8/3 = 2.
    const ImageRecord in = make_image(4, 1, [](int, int x, int) { return 10 * x + 1; });
    const ImageRecord out = resized(in, 3, 4, 1, 1, kResizeNearest);
    ASSERT_EQ(out.width, 3);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(sample(out, 1, x, 0), 10 * x + 1);
}

TEST(Resize, BilinearInterpolatesIn128ths) {
    // 2 × 2 → 3 × 3: phases 0, 85 (= 256/3) and 42 (= 128/3) of 128.
    const ImageRecord in = make_image(2, 2, [](int, int x, int y) { return 1000 * x + 2000 * y; });
    const ImageRecord out = resized(in, 3, 2, 3, 2, kResizeBilinear);
    ASSERT_EQ(out.width, 3);
    ASSERT_EQ(out.height, 3);
    EXPECT_EQ(sample(out, 0, 0, 0), 0);
    EXPECT_EQ(sample(out, 0, 1, 0), 664);   // 1000·85·128 / 128 / 128
    EXPECT_EQ(sample(out, 0, 1, 1), 1992);  // (85·(3000·85 + 2000·43) + 43·1000·85) / 16384
    EXPECT_EQ(sample(out, 0, 2, 2), 3000);  // last column and row have no right/upper neighbour
}

TEST(Resize, BilinearAreaMeanTruncatesAndSkipsLastLine) {
    // 4 × 4 → 2 × 2: boxes {0,1} and {2}; row and column 3 never count.
    const ImageRecord in = make_image(4, 4, [](int, int x, int y) {
        return 100 * x + 1000 * y + (x == 1 && y == 0 ? 3 : 0) + (x == 3 || y == 3 ? 50000 : 0);
    });
    const ImageRecord out = resized(in, 2, 4, 2, 4, kResizeBilinear);
    ASSERT_EQ(out.width, 2);
    EXPECT_EQ(sample(out, 2, 0, 0), 550);  // 2203 / 2 / 2
    EXPECT_EQ(sample(out, 2, 1, 0), 700);
    EXPECT_EQ(sample(out, 2, 0, 1), 2050);
    EXPECT_EQ(sample(out, 2, 1, 1), 2200);
}

TEST(Resize, AreaBoxWithoutColumnFallsBackToInterpolation) {
    // 3 × 3 → 3 × 1: the last column's box is empty (q1 limited to 2) and is interpolated.
    const ImageRecord in = make_image(3, 3, [](int, int x, int y) { return 100 * x + 1000 * y; });
    const ImageRecord out = resized(in, 3, 3, 1, 3, kResizeBilinear);
    ASSERT_EQ(out.width, 3);
    ASSERT_EQ(out.height, 1);
    EXPECT_EQ(sample(out, 0, 0, 0), 500);
    EXPECT_EQ(sample(out, 0, 1, 0), 600);
    EXPECT_EQ(sample(out, 0, 2, 0), 700);
}

TEST(Resize, LanczosPhaseZeroKernel) {
    // Background 1000, a 5000 bump at the centre. Phase (0, 0): centre 1, diagonals
    // L(√2) = −0.07771, sum 0.68916 → centre 1.45105, diagonal −0.11276.
    const ImageRecord in =
        make_image(5, 5, [](int, int x, int y) { return x == 2 && y == 2 ? 6000 : 1000; });
    const ImageRecord out = resized(in, 5, 5, 5, 5, kResizeLanczos);
    EXPECT_EQ(sample(out, 0, 2, 2), 8255);
    EXPECT_EQ(sample(out, 0, 1, 1), 436);
    EXPECT_EQ(sample(out, 0, 3, 3), 436);
}

TEST(Resize, MatchesPerPixelRules) {
    const ImageRecord in = noise_image(23, 17);
    struct Case {
        int nw, ow, nh, oh;
    } cases[] = {{1, 2, 1, 2},   {2, 1, 2, 1},   {3, 7, 2, 5},   {7, 3, 5, 2},
                 {23, 23, 1, 3}, {40, 17, 4, 9}, {1, 23, 1, 17}, {9, 10, 11, 10}};
    for (int method : {0, 1, 2})
        for (const Case& c : cases)
            EXPECT_TRUE(test::same_pixels(resized(in, c.nw, c.ow, c.nh, c.oh, method),
                                          reference_resize(in, c.nw, c.ow, c.nh, c.oh, method)))
                << method << " " << c.nw << "/" << c.ow << " " << c.nh << "/" << c.oh;
}

TEST(Resize, SerialBandsGiveTheSameResult) {
    const ImageRecord in = noise_image(41, 33);
    for (int method : {0, 1, 2}) {
        for (auto [n, o] : {std::pair{1, 2}, std::pair{3, 2}}) {
            const ImageRecord threaded = resized(in, n, o, n, o, method);
            SerialBandsScope serial;
            EXPECT_TRUE(test::same_pixels(resized(in, n, o, n, o, method), threaded)) << method;
        }
    }
}

TEST(Resize, ProcessesAllThreePlanesOfMonoRecord) {
    ImageRecord in = noise_image(6, 4);
    in.mono = 1;
    const ImageRecord out = resized(in, 1, 2, 1, 2, kResizeBilinear);
    EXPECT_EQ(out.mono, 1);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out.plane(c).size(), 6u);
}

TEST(Resize, HostileInputNeverCrashes) {
    ImageRecord empty;
    resize_record(empty, 2, 1, 2, 1, kResizeLanczos);
    EXPECT_FALSE(empty.occupied());

    const ImageRecord one = make_image(1, 1, [](int, int, int) { return 777; });
    for (int method : {0, 1, 2}) {
        const ImageRecord up = resized(one, 3, 1, 4, 1, method);
        EXPECT_EQ(up.width, 3);
        EXPECT_EQ(up.height, 4);
        if (method != 2) {
            for (uint16_t v : up.red) EXPECT_EQ(v, 777);
        }
        // An empty new size leaves the image unchanged.
        EXPECT_TRUE(test::same_pixels(resized(one, 1, 2, 1, 1, method), one));
    }
    // Beyond kMaxResizeSamples nearest leaves the image unchanged.
    EXPECT_TRUE(test::same_pixels(resized(one, INT32_MAX, 1, INT32_MAX, 1, kResizeNearest), one));
    for (int method : {1, 2}) {
        // 10000/3 halves to 2500/0: the old term stays at least 1.
        EXPECT_EQ(resized(one, 10000, 3, 1, 1, method).width, 2500);
    }
    const ImageRecord column = noise_image(1, 9);
    EXPECT_EQ(resized(column, 1, 1, 1, 3, kResizeBilinear).height, 3);
}

TEST(Resize, EngineCodeSixRaisesZeroTerms) {
    auto wb = test::make_workbench();
    wb->table[0] = noise_image(8, 6);
    wb->params = {};
    wb->params[0] = 1;  // 1/2 wide, 0/0 → 1/1 high
    wb->params[1] = 2;
    wb->params[4] = kResizeNearest;
    apply_operation(*wb, 0, 6);
    EXPECT_EQ(wb->table[0].width, 4);
    EXPECT_EQ(wb->table[0].height, 6);
}

}  // namespace
}  // namespace vora
