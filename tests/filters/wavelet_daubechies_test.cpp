#include "filters/wavelet_daubechies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "filters/wavelet_grid.h"

namespace vora {
namespace {

TEST(DaubechiesFilters, LowpassIsTheOrthonormalDaubechiesFilter) {
    // Closed forms for the two shortest filters.
    const double r2 = std::sqrt(2.0), r3 = std::sqrt(3.0);
    const auto haar = daubechies_lowpass(1);
    EXPECT_DOUBLE_EQ(haar[0], 1 / r2);
    EXPECT_DOUBLE_EQ(haar[1], 1 / r2);
    const auto d2 = daubechies_lowpass(2);
    const double d2_expected[4] = {(1 + r3) / (4 * r2), (3 + r3) / (4 * r2), (3 - r3) / (4 * r2),
                                   (1 - r3) / (4 * r2)};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(d2[std::size_t(k)], d2_expected[k], 4e-16) << k;

    for (int n = 1; n <= kDaubechiesMaxOrder; ++n) {
        const auto h = daubechies_lowpass(n);
        const int taps = 2 * n;
        double sum = 0.0;
        for (int k = 0; k < taps; ++k) sum += h[std::size_t(k)];
        EXPECT_NEAR(sum, r2, 1e-15) << "order " << n;
        for (int k = taps; k < kDaubechiesMaxTaps; ++k) EXPECT_EQ(h[std::size_t(k)], 0.0);
        // Orthonormal under even shifts: Σ h_k h_{k+2m} = δ_m.
        for (int m = 0; m < n; ++m) {
            double dot = 0.0;
            for (int k = 0; k + 2 * m < taps; ++k)
                dot += h[std::size_t(k)] * h[std::size_t(k + 2 * m)];
            EXPECT_NEAR(dot, m == 0 ? 1.0 : 0.0, 1e-15) << "order " << n << " shift " << m;
        }
        // N vanishing moments of the high-pass g_k = (-1)^k h_{2N-1-k}, about the centre.
        for (int p = 0; p < n; ++p) {
            double moment = 0.0, scale = 0.0;
            for (int k = 0; k < taps; ++k) {
                const double g = (k % 2 ? -1 : 1) * h[std::size_t(taps - 1 - k)];
                const double w = std::pow(k - (taps - 1) / 2.0, p);
                moment += g * w;
                scale += std::abs(g * w);
            }
            EXPECT_LE(std::abs(moment), 1e-14 * scale) << "order " << n << " moment " << p;
        }
    }
}

TEST(DaubechiesFilters, HaarTapsAreExactAndOrdersAreClamped) {
    // Exact Haar taps: its synthesis copies samples without rounding.
    const DaubechiesFilters haar = daubechies_filters(1);
    EXPECT_EQ(haar.synthesis_lo[0], 1.0);
    EXPECT_EQ(haar.synthesis_lo[1], 1.0);
    EXPECT_EQ(haar.analysis_hi[0], 0.5);
    EXPECT_EQ(haar.analysis_hi[1], -0.5);
    EXPECT_EQ(daubechies_filters(0).taps, 2);
    EXPECT_EQ(daubechies_filters(-5).taps, 2);
    EXPECT_EQ(daubechies_filters(11).taps, 20);
}

std::vector<double> random_samples(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-32768.0, 32767.0);
    std::vector<double> v(n);
    for (double& x : v) x = dist(rng);
    return v;
}

TEST(DaubechiesFilters, HaarAnalysisGivesMeansAndHalfDifferences) {
    const DaubechiesFilters f = daubechies_filters(1);
    std::vector<double> line{10, 4, 7, 7, -2, 6};
    std::vector<double> scratch(std::size_t(daubechies_scratch_length(6)));
    daubechies_analyze_line(line.data(), 6, f, scratch.data());
    const double expected[6] = {7, 7, 2, 3, 0, -4};  // (a+b)/2, then (a-b)/2
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(line[std::size_t(i)], expected[i], 1e-13) << i;
}

TEST(DaubechiesFilters, LineStepsReconstructPerfectly) {
    // Lines shorter than the filter wrap around more than once.
    for (int order = 1; order <= kDaubechiesMaxOrder; ++order) {
        const DaubechiesFilters f = daubechies_filters(order);
        for (int n : {2, 4, 6, 10, 32, 50}) {
            const std::vector<double> input =
                random_samples(std::size_t(n), unsigned(order * 100 + n));
            std::vector<double> line = input;
            std::vector<double> scratch(std::size_t(daubechies_scratch_length(n)));
            daubechies_analyze_line(line.data(), n, f, scratch.data());
            daubechies_synthesize_line(line.data(), n, f, scratch.data());
            for (int i = 0; i < n; ++i)
                ASSERT_NEAR(line[std::size_t(i)], input[std::size_t(i)], 1e-9)
                    << "order " << order << " n " << n << " i " << i;
        }
    }
}

TEST(DaubechiesFilters, GridTransformReconstructsPerfectly) {
    struct Case {
        int width, height, levels, order;
    };
    const Case cases[] = {{2, 2, 1, 10},   {8, 4, 2, 3},   {64, 32, 5, 2},
                          {96, 40, 3, 10}, {40, 72, 3, 7}, {32, 32, 5, 1}};
    for (const Case& c : cases) {
        const std::size_t n = std::size_t(c.width) * std::size_t(c.height);
        const std::vector<double> input = random_samples(n, unsigned(c.width + c.order));
        std::vector<double> data = input;
        const WaveletGrid grid{data.data(), c.width, c.height, c.width};
        WaveletScratch scratch(c.width, c.height);
        const DaubechiesFilters f = daubechies_filters(c.order);
        wavelet_forward(grid, c.levels, f, scratch);
        double moved = 0.0;
        for (std::size_t i = 0; i < n; ++i) moved = std::max(moved, std::abs(data[i] - input[i]));
        EXPECT_GT(moved, 1.0);  // the transform did something
        wavelet_inverse(grid, c.levels, f, scratch);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_NEAR(data[i], input[i], 1e-9) << c.width << "x" << c.height << " at " << i;
    }
}

}  // namespace
}  // namespace vora
