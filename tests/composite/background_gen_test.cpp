#include "composite/background_gen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "core/bands.h"

namespace vora {
namespace {

struct Image {
    int w = 0, h = 0;
    Plane v;
    uint16_t at(int x, int row) const {
        return v[std::size_t(row) * std::size_t(w) + std::size_t(x)];
    }
};

Image make(int w, int h, const std::function<int(int, int)>& f) {
    Image im{w, h, Plane(std::size_t(w) * std::size_t(h))};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            im.v[std::size_t(y) * std::size_t(w) + std::size_t(x)] = uint16_t(f(x, y));
    return im;
}

Image background(const Image& src, int detection, int averaging, int threshold) {
    Image out{src.w, src.h, Plane(src.v.size(), 7)};
    generate_background_plane({src.v.data(), src.w, src.h}, out.v.data(), detection, averaging,
                              threshold);
    return out;
}

// A full-size image whose 2 × 2 blocks hold the values of a half-size grid (base elsewhere),
// so that the half-size image is known exactly.
using GridValues = std::map<std::pair<int, int>, int>;
Image from_grid(int half_w, int half_h, int base, const GridValues& values) {
    return make(2 * half_w, 2 * half_h, [&](int x, int y) {
        const auto it = values.find({x / 2, y / 2});
        return it == values.end() ? base : it->second;
    });
}

// Up to a half-size width of 16 the box filter (averaging 16, r = 8) reaches no pixel, so
// target (2x, 2y) shows the detection value of half-size pixel (x, y).
TEST(BackgroundGeneration, DetectionTakesTheMeanOfTheThirdAndFourthSmallest) {
    // 11 × 11 half grid; with detection 8 (s = 2) the window of (5, 5) is columns and rows
    // 1, 3, 5, 7, 9. Window positions not listed hold 5000, all other pixels 50000.
    GridValues centre{{{1, 1}, 0}, {{3, 5}, 3000}, {{9, 9}, 1000}, {{5, 7}, 4000}, {{7, 1}, 2000}};
    for (int y = 1; y <= 9; y += 2)
        for (int x = 1; x <= 9; x += 2) centre.insert({{x, y}, 5000});
    // Detection 32 (s = 8): near the edge the step at 9 is 9 / 2 = 4, the window 1, 5, 9.
    const GridValues near_edge{
        {{1, 1}, 1000}, {{1, 5}, 1100}, {{5, 1}, 1200}, {{1, 9}, 1300}, {{9, 1}, 1400}};
    // Corner (0, 0): step at least 2, so only 2 and 4 along each axis lie inside 1..9.
    const GridValues corner{{{2, 2}, 1000}, {{2, 4}, 2000}, {{4, 2}, 3000}, {{4, 4}, 4000}};
    const GridValues corner_two{{{2, 2}, 1000}, {{2, 4}, 2000}, {{4, 2}, 0}, {{4, 4}, 0}};
    const GridValues corner_one{{{2, 2}, 1000}, {{2, 4}, 0}, {{4, 2}, 0}, {{4, 4}, 0}};
    const GridValues corner_none{{{2, 2}, 0}, {{2, 4}, 0}, {{4, 2}, 0}, {{4, 4}, 0}};
    struct Case {
        const char* what;
        const GridValues* grid;
        int detection, threshold, x, y, expected;
    } cases[] = {
        {"zero excluded", &centre, 8, 0, 5, 5, (3000 + 4000) / 2},
        {"zero used", &centre, 8, -1, 5, 5, (2000 + 3000) / 2},
        {"step y / 2 near the edge", &near_edge, 32, 0, 9, 9, (1200 + 1300) / 2},
        {"step at least 2 near the far edge", &near_edge, 8, 0, 9, 9, 50000},
        {"corner window of four", &corner, 8, 0, 0, 0, (3000 + 4000) / 2},
        // Fewer than four usable samples: the two largest of them, or the single one.
        {"two usable", &corner_two, 8, 0, 0, 0, (1000 + 2000) / 2},
        {"one usable", &corner_one, 8, 0, 0, 0, 1000},
        {"none usable keeps the pixel", &corner_none, 8, 0, 0, 0, 50000},
    };
    for (const Case& c : cases) {
        const Image out =
            background(from_grid(11, 11, 50000, *c.grid), c.detection, 16, c.threshold);
        EXPECT_EQ(out.at(2 * c.x, 2 * c.y), c.expected) << c.what;
    }
}

// A 7 × 7 image has a 3 × 3 half grid whose only inner position is (1, 1): every detection
// value is the half-size pixel itself.
Image grid_7x7() {
    const int g[3][3] = {{1000, 2000, 4000}, {3000, 5000, 9000}, {8000, 6000, 7000}};  // [row][x]
    // The odd last column and row are not part of any 2 × 2 block.
    return make(7, 7, [&](int x, int y) { return x == 6 || y == 6 ? 65535 : g[y / 2][x / 2]; });
}

TEST(BackgroundGeneration, EnlargementAveragesWithRightUpperAndDiagonalNeighbours) {
    const Image out = background(grid_7x7(), 32, 16, -1);
    // Stored rows from row 0; the odd last column repeats its left neighbour and the odd
    // last row the row before it.
    const int expected[7][7] = {
        {1000, 1500, 2000, 3000, 4000, 4000, 4000}, {2000, 3000, 3500, 5500, 6500, 4000, 4000},
        {3000, 4000, 5000, 7000, 9000, 9000, 9000}, {5500, 4500, 5500, 6000, 8000, 9000, 9000},
        {8000, 7000, 6000, 6500, 7000, 7000, 7000}, {8000, 8000, 6000, 6000, 7000, 7000, 7000},
        {8000, 8000, 6000, 6000, 7000, 7000, 7000},
    };
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(out.at(x, y), expected[y][x]) << x << "," << y;
}

TEST(BackgroundGeneration, BoxFilterAveragesTrimmedMeansAwayFromTheEdge) {
    // Averaging 2 (r = 1): only (1, 1) is at least 1 from every edge. Its value is the mean
    // of the nine trimmed 3 × 3 means: 2500 3500 4500 / 4000 5000 5500 / 5500 6500 6500.
    const Image out = background(grid_7x7(), 32, 2, -1);
    EXPECT_EQ(out.at(2, 2), 43500 / 9);
    EXPECT_EQ(out.at(3, 2), (43500 / 9 + 9000) / 2);
    EXPECT_EQ(out.at(0, 0), 1000);  // nearer the edge: the detection value, not smoothed
    EXPECT_EQ(out.at(4, 4), 7000);
}

TEST(BackgroundGeneration, StarsNarrowerThanTheGridLeaveAFlatSky) {
    const int sky = 10000;
    // 3 × 3 stars, at least 2s half-size pixels from the edges, in separate rows and columns.
    const std::vector<std::pair<int, int>> stars{{40, 40}, {71, 90}, {100, 55}, {120, 70}};
    const Image field = make(160, 128, [&](int x, int y) {
        for (auto [sx, sy] : stars)
            if (std::abs(x - sx) <= 1 && std::abs(y - sy) <= 1) return 60000;
        return sky;
    });
    const Image out = background(field, 32, 16, 0);
    EXPECT_TRUE(std::all_of(out.v.begin(), out.v.end(), [&](uint16_t v) { return v == sky; }));

    // A patch wider than the windows around it is background and shows.
    Image patch = field;
    for (int y = 14; y < 116; ++y)
        for (int x = 20; x < 140; ++x) patch.v[std::size_t(y) * 160 + std::size_t(x)] = 30000;
    EXPECT_EQ(background(patch, 32, 16, 0).at(80, 64), 30000);
}

TEST(BackgroundGeneration, ExcludingZeroKeepsABlackBorderOutOfTheSky) {
    const int sky = 20000;
    // 128 × 128 with a black border 16 pixels wide: half-size sky 8..55.
    const Image framed = make(
        128, 128, [&](int x, int y) { return x < 16 || y < 16 || x >= 112 || y >= 112 ? 0 : sky; });
    const Image kept = background(framed, 32, 16, 0);
    // Box windows of half-size 17..46 see only smoothed sky.
    for (int y = 34; y <= 92; ++y)
        for (int x = 34; x <= 92; ++x) ASSERT_EQ(kept.at(x, y), sky) << x << "," << y;
    // A border without sky samples never turns into white either.
    EXPECT_LE(*std::max_element(kept.v.begin(), kept.v.end()), sky);

    const Image dragged = background(framed, 32, 16, -1);
    EXPECT_LT(dragged.at(40, 40), sky / 4);
    EXPECT_LT(dragged.at(64, 64), sky);
}

TEST(BackgroundGeneration, ImagesBelowFiveByFiveAreCopied) {
    for (auto [w, h] : {std::pair{1, 1}, {4, 4}, {4, 9}, {9, 4}, {1, 12}}) {
        const Image src = make(w, h, [](int x, int y) { return 1000 * x + 37 * y + 5; });
        EXPECT_EQ(background(src, 32, 16, 0).v, src.v) << w << "x" << h;
    }
}

// Every stage only averages or picks samples, so the background stays inside the source's
// range whatever the parameters, and no size reads outside the planes.
TEST(BackgroundGeneration, HostileSizesAndParametersStayInsideTheSourceRange) {
    const std::pair<int, int> sizes[] = {{5, 5}, {6, 6}, {5, 41}, {41, 5}, {7, 64}, {65, 48}};
    const int detections[] = {INT_MIN, -40, 0, 3, 8, 256, 600, INT_MAX};
    const int averagings[] = {INT_MIN, -4, 0, 1, 16, 1000, INT_MAX};
    const int thresholds[] = {INT_MIN, -1, 0, 30000, INT_MAX};
    SerialBandsScope serial;  // many small runs; threads add nothing here
    for (auto [w, h] : sizes) {
        const Image src =
            make(w, h, [](int x, int y) { return 3000 + (x * 7919 + y * 104729) % 40000; });
        const auto [lo, hi] = std::minmax_element(src.v.begin(), src.v.end());
        for (int d : detections)
            for (int a : averagings)
                for (int t : thresholds) {
                    const Image out = background(src, d, a, t);
                    const auto [olo, ohi] = std::minmax_element(out.v.begin(), out.v.end());
                    ASSERT_TRUE(*olo >= *lo && *ohi <= *hi)
                        << w << "x" << h << " d=" << d << " a=" << a << " t=" << t;
                }
    }
}

TEST(BackgroundGeneration, SameResultOnOneThread) {
    const Image src = make(203, 157, [](int x, int y) {
        return 8000 + 30 * x + 20 * y + ((x * 31 + y * 17) % 23 == 0 ? 40000 : 0) + (x * y) % 97;
    });
    for (auto [d, a, t] : {std::tuple{32, 16, 0}, {8, 2, -1}, {256, 6, 0}}) {
        const Image threaded = background(src, d, a, t);
        SerialBandsScope serial;
        EXPECT_EQ(background(src, d, a, t).v, threaded.v) << d << " " << a << " " << t;
    }
}

}  // namespace
}  // namespace vora
