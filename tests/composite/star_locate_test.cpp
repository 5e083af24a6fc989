#include "composite/star_locate.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

struct Star {
    double x, row, sigma, peak;
};

// Gaussian stars on a sky of `sky` with uniform noise of ±noise; green and blue dimmer.
ImageRecord star_field(int w, int h, const std::vector<Star>& stars, int sky, int noise,
                       unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    std::vector<int> grain(std::size_t(w) * std::size_t(h));
    for (int& g : grain) g = jitter(rng);
    return test::make_image(w, h, [&](int c, int x, int row) {
        double v = sky + grain[std::size_t(row) * std::size_t(w) + std::size_t(x)];
        for (const Star& s : stars) {
            const double dx = x - s.x, dy = row - s.row;
            v += s.peak * std::exp(-(dx * dx + dy * dy) / (2 * s.sigma * s.sigma));
        }
        return int(std::clamp(v * (1.0 - 0.2 * c), 0.0, 65535.0));
    });
}

// A few bright stars and many faint ones, spread over w × h.
std::vector<Star> sky_stars(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> ux(0, w), uy(0, h), us(1.0, 2.5), up(2000, 12000);
    std::vector<Star> stars;
    for (int i = 0; i < 40; ++i) stars.push_back({ux(rng), uy(rng), us(rng), up(rng)});
    return stars;
}

std::vector<Star> moved(std::vector<Star> stars, double dx, double dy) {
    for (Star& s : stars) {
        s.x += dx;
        s.row += dy;
    }
    return stars;
}

std::vector<const ImageRecord*> pointers(const std::vector<ImageRecord>& images) {
    std::vector<const ImageRecord*> p;
    for (const ImageRecord& r : images) p.push_back(&r);
    return p;
}

// The plain definition: window, levels, every candidate of each quadrant in order, the first
// lowest kept; candidates whose window leaves the image skipped.
std::vector<StarPosition> reference_locate(const std::vector<ImageRecord>& images, StarPosition s,
                                           int size, int range) {
    std::vector<StarPosition> out(images.size(), s);
    int64_t hw = std::min(size / 2, s.x), hh = std::min(size / 2, s.row);
    for (const ImageRecord& r : images) {
        hw = std::min<int64_t>(hw, r.width - s.x);
        hh = std::min<int64_t>(hh, r.height - s.row);
    }
    if (hw < 1 || hh < 1) return out;
    const ImageRecord& a = images[0];
    const bool mono = a.mono == 1;
    auto level = [&](const ImageRecord& r, int c, int64_t x0, int64_t y0) {
        int64_t sum = 0;
        for (int64_t y = y0; y < y0 + 2 * hh; ++y)
            for (int64_t x = x0; x < x0 + 2 * hw; ++x)
                sum += test::sample(r, c, int(x), int(y)) / 4;
        return sum / hw / hh;
    };
    const int64_t ax = s.x - hw, ay = s.row - hh;
    for (std::size_t i = 1; i < images.size(); ++i) {
        const ImageRecord& b = images[i];
        int64_t best = std::numeric_limits<int64_t>::max();
        for (int q = 0; q < 4; ++q) {
            const int x0 = (q & 1) ? 0 : -range, x1 = (q & 1) ? range : 0;
            const int y0 = (q & 2) ? 0 : -range, y1 = (q & 2) ? range : 0;
            for (int dy = y0; dy <= y1; ++dy)
                for (int dx = x0; dx <= x1; ++dx) {
                    const int64_t bx = ax + dx, by = ay + dy;
                    if (bx < 0 || by < 0 || bx + 2 * hw > b.width || by + 2 * hh > b.height)
                        continue;
                    int64_t dl[3];
                    for (int c = 0; c < 3; ++c) dl[c] = level(a, c, ax, ay) - level(b, c, bx, by);
                    int64_t cost = 0;
                    for (int64_t y = 0; y < 2 * hh; ++y)
                        for (int64_t x = 0; x < 2 * hw; ++x) {
                            int64_t e2 = 0;
                            for (int c = 0; c < (mono ? 1 : 3); ++c) {
                                const int64_t d =
                                    int64_t(test::sample(a, c, int(ax + x), int(ay + y))) -
                                    test::sample(b, c, int(bx + x), int(by + y)) - dl[c];
                                e2 += (d / 16) * (d / 16);
                            }
                            cost += mono ? e2 / 256 : e2 / 1024;
                        }
                    if (cost < best) {
                        best = cost;
                        out[i] = {s.x + dx, s.row + dy};
                    }
                }
        }
    }
    return out;
}

constexpr StarPosition kCentre{80, 60};

// Image 0 has a bright star at kCentre; image i shows the sky moved by shifts[i − 1], with a
// different sky level and its own noise.
std::vector<ImageRecord> shifted_fields(const std::vector<StarPosition>& shifts) {
    std::vector<Star> stars = sky_stars(160, 120, 7);
    stars.push_back({double(kCentre.x), double(kCentre.row), 1.8, 30000});
    std::vector<ImageRecord> images{star_field(160, 120, stars, 2000, 300, 1)};
    for (std::size_t i = 0; i < shifts.size(); ++i)
        images.push_back(star_field(160, 120, moved(stars, shifts[i].x, shifts[i].row),
                                    3500 + 1500 * int(i), 300, unsigned(i) + 2));
    return images;
}

TEST(LocateStars, FindsTheStarInShiftedFields) {
    const std::vector<StarPosition> shifts{{7, -4}, {-12, 9}, {0, 0}, {20, -20}};
    const std::vector<ImageRecord> images = shifted_fields(shifts);
    const std::vector<StarPosition> found = locate_stars(pointers(images), kCentre, 64, 20);
    ASSERT_EQ(found.size(), images.size());
    EXPECT_EQ(found[0], kCentre);
    for (std::size_t i = 0; i < shifts.size(); ++i)
        EXPECT_EQ(found[i + 1],
                  (StarPosition{kCentre.x + shifts[i].x, kCentre.row + shifts[i].row}))
            << "shift " << shifts[i].x << "," << shifts[i].row;
}

TEST(LocateStars, FindsTheStarInARotatedField) {
    // The second field is the first turned by 3° about (30, 20); the picked star at (80, 60)
    // lands at (77.84, 62.56).
    std::vector<Star> stars = sky_stars(160, 120, 11);
    stars.push_back({80, 60, 1.8, 30000});
    const double t = 3.0 * M_PI / 180.0;
    std::vector<Star> turned = stars;
    for (Star& s : turned) {
        const double x = s.x - 30, y = s.row - 20;
        s.x = 30 + x * std::cos(t) - y * std::sin(t);
        s.row = 20 + x * std::sin(t) + y * std::cos(t);
    }
    const std::vector<ImageRecord> images{star_field(160, 120, stars, 2000, 200, 1),
                                          star_field(160, 120, turned, 2500, 200, 2)};
    for (int size : {32, 64}) {
        const std::vector<StarPosition> found = locate_stars(pointers(images), {80, 60}, size, 20);
        EXPECT_LE(std::abs(found[1].x - 77.84), 1.0) << size;
        EXPECT_LE(std::abs(found[1].row - 62.56), 1.0) << size;
    }
}

TEST(LocateStars, MonoReferenceComparesRedOnly) {
    // Red shows the star moved by (5, 3); green and blue show a brighter copy moved by
    // (-6, -2). Only the first image's mono flag decides which one is followed.
    const std::vector<Star> faint{{40, 30, 1.8, 20000}}, bright{{40, 30, 1.8, 60000}};
    ImageRecord ref = star_field(80, 60, bright, 1000, 0, 1);
    ref.red = star_field(80, 60, faint, 1000, 0, 1).red;
    ImageRecord other = star_field(80, 60, moved(bright, -6, -2), 1000, 0, 1);
    other.red = star_field(80, 60, moved(faint, 5, 3), 1000, 0, 1).red;
    std::vector<ImageRecord> images{ref, other};
    EXPECT_EQ(locate_stars(pointers(images), {40, 30}, 32, 10)[1], (StarPosition{34, 28}));
    images[0].mono = 1;
    EXPECT_EQ(locate_stars(pointers(images), {40, 30}, 32, 10)[1], (StarPosition{45, 33}));
}

TEST(LocateStars, DifferencesAreTruncatedPerPixel) {
    // 4 × 4 images, star (2, 2), size 2: a 2 × 2 window, range 1. The reference is all 0.
    // Candidate (-1, -1) covers the only non-zero sample, 332 at (0, 0): Lb = 332 / 4 = 83,
    // e = (0 − 0 − (0 − 83)) / 16 = 5 three times and (0 − 332 + 83) / 16 = −249 / 16 = −15
    // (towards zero); 25 / 256 and 225 / 256 are 0, so it ties with every other candidate at
    // 0 and, being first, wins. A floor division (−16, 256 / 256 = 1) would lose it to (0, -1).
    ImageRecord ref = test::make_image(4, 4, [](int, int, int) { return 0; });
    ref.mono = 1;
    const ImageRecord other =
        test::make_image(4, 4, [](int, int x, int row) { return x == 0 && row == 0 ? 332 : 0; });
    const std::vector<ImageRecord> images{ref, other};
    EXPECT_EQ(locate_stars(pointers(images), {2, 2}, 2, 1)[1], (StarPosition{1, 1}));
}

TEST(LocateStars, TiesGoToTheEarlierCandidateAndWorker) {
    // Flat images: every cost is 0, the first candidate of worker 0 wins: (−r, −r), or the
    // first one whose window fits near the lower left corner.
    const ImageRecord flat = test::make_image(60, 50, [](int, int, int) { return 5000; });
    const std::vector<ImageRecord> flats{flat, flat};
    EXPECT_EQ(locate_stars(pointers(flats), {30, 25}, 16, 5)[1], (StarPosition{25, 20}));
    EXPECT_EQ(locate_stars(pointers(flats), {10, 12}, 16, 5)[1], (StarPosition{8, 8}));

    // Patterns constant along (3, −1): the reference's window matches exactly at (2, −2)
    // (worker 1) and at (−1, −1) (worker 0) and nowhere else within ±2. A single scan of the
    // square, dy first, would meet (2, −2) first; worker 0 wins the tie.
    auto g = [](int k) { return int((uint32_t(k + 1000) * 2654435761u) >> 16); };
    const ImageRecord a =
        test::make_image(40, 40, [&](int, int x, int row) { return g(x + 3 * row - 4); });
    const ImageRecord b =
        test::make_image(40, 40, [&](int, int x, int row) { return g(x + 3 * row); });
    const std::vector<ImageRecord> images{a, b};
    EXPECT_EQ(locate_stars(pointers(images), {20, 20}, 16, 2)[1], (StarPosition{19, 19}));
    EXPECT_EQ(reference_locate(images, {20, 20}, 16, 2)[1], (StarPosition{19, 19}));
}

TEST(LocateStars, MatchesThePlainDefinitionOnRandomData) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 24; ++trial) {
        const bool mono = trial % 3 == 0;
        std::vector<ImageRecord> images;
        for (int i = 0; i < 3; ++i) {
            const int w = 30 + int(rng() % 12), h = 28 + int(rng() % 12);
            ImageRecord r = test::make_image(w, h, [](int, int, int) { return 0; });
            for (int c = 0; c < 3; ++c)
                r.plane(c) = test::random_plane(w, h, unsigned(rng()), 0, trial % 2 ? 65535 : 3000);
            images.push_back(r);
        }
        images[0].mono = mono ? 1 : 0;
        const StarPosition s{4 + int(rng() % 24), 4 + int(rng() % 22)};
        const int size = 4 + int(rng() % 14), range = int(rng() % 8);
        EXPECT_EQ(locate_stars(pointers(images), s, size, range),
                  reference_locate(images, s, size, range))
            << "trial " << trial;
    }
}

TEST(LocateStars, SerialBandsGiveTheSameResult) {
    const std::vector<ImageRecord> images = shifted_fields({{7, -4}, {-3, 2}, {15, 11}});
    const ImageRecord flat = test::make_image(60, 50, [](int, int, int) { return 5000; });
    const std::vector<ImageRecord> flats{flat, flat};
    const std::vector<StarPosition> threaded = locate_stars(pointers(images), kCentre, 64, 20);
    const std::vector<StarPosition> tie = locate_stars(pointers(flats), {30, 25}, 16, 5);
    SerialBandsScope serial;
    EXPECT_EQ(locate_stars(pointers(images), kCentre, 64, 20), threaded);
    EXPECT_EQ(locate_stars(pointers(flats), {30, 25}, 16, 5), tie);
}

TEST(LocateStars, CandidatesLeavingTheImageAreSkipped) {
    // The star sits 12 pixels from the right edge of a smaller second image whose sky is moved
    // by (+15, 0): the true match leaves that image, so a fitting candidate wins instead.
    std::vector<Star> stars = sky_stars(160, 120, 3);
    stars.push_back({100, 60, 1.8, 30000});
    const std::vector<ImageRecord> images{star_field(160, 120, stars, 2000, 100, 1),
                                          star_field(112, 120, moved(stars, 15, 0), 2000, 100, 2)};
    const std::vector<StarPosition> found = locate_stars(pointers(images), {100, 60}, 64, 20);
    // hw = min(32, 100, 160 − 100, 112 − 100) = 12: the window may move right by 0 at most.
    EXPECT_LE(found[1].x, 100);
    EXPECT_EQ(found, reference_locate(images, {100, 60}, 64, 20));
    // A range far beyond the images behaves as one just covering them.
    EXPECT_EQ(locate_stars(pointers(images), {100, 60}, 64, INT_MAX),
              locate_stars(pointers(images), {100, 60}, 64, 160));

    // The star 10 rows above the bottom: the window (hh = 10) touches row 0, so it may only
    // move up; the sky moved by (4, 6) is found, one moved down gives a row at or above 10.
    std::vector<Star> low = sky_stars(160, 120, 4);
    low.push_back({60, 10, 1.5, 30000});
    const ImageRecord low_ref = star_field(160, 120, low, 2000, 100, 1);
    const std::vector<ImageRecord> up{low_ref,
                                      star_field(160, 120, moved(low, 4, 6), 2000, 100, 2)};
    EXPECT_EQ(locate_stars(pointers(up), {60, 10}, 64, 20)[1], (StarPosition{64, 16}));
    const std::vector<ImageRecord> down{low_ref,
                                        star_field(160, 120, moved(low, 4, -6), 2000, 100, 2)};
    EXPECT_EQ(locate_stars(pointers(down), {60, 10}, 64, 20),
              reference_locate(down, {60, 10}, 64, 20));
    EXPECT_GE(locate_stars(pointers(down), {60, 10}, 64, 20)[1].row, 10);
}

TEST(LocateStars, HostileInputGivesTheStarBack) {
    const std::vector<ImageRecord> images = shifted_fields({{7, -4}});
    const std::vector<const ImageRecord*> p = pointers(images);
    const std::vector<StarPosition> unchanged(2, kCentre);
    EXPECT_TRUE(locate_stars({}, kCentre, 64, 20).empty());
    EXPECT_EQ(locate_stars({p[0]}, kCentre, 64, 20), (std::vector<StarPosition>{kCentre}));
    EXPECT_EQ(locate_stars(p, kCentre, 64, 0), unchanged);
    EXPECT_EQ(locate_stars(p, kCentre, 64, -5), unchanged);
    for (int size : {0, 1, -64, INT_MIN})
        EXPECT_EQ(locate_stars(p, kCentre, size, 20), unchanged) << size;
    // On or beyond an edge the window is empty.
    for (StarPosition s :
         {StarPosition{0, 60}, StarPosition{160, 60}, StarPosition{80, 0}, StarPosition{80, 120},
          StarPosition{-5, 60}, StarPosition{80, 500}, StarPosition{INT_MIN, INT_MAX}})
        EXPECT_EQ(locate_stars(p, s, 64, 20), (std::vector<StarPosition>(2, s)))
            << s.x << "," << s.row;

    // An empty or missing image keeps the star and does not narrow the others' window.
    const ImageRecord empty;
    const std::vector<StarPosition> found =
        locate_stars({p[0], &empty, nullptr, p[1]}, kCentre, 64, 20);
    EXPECT_EQ(found, (std::vector<StarPosition>{kCentre, kCentre, kCentre, {87, 56}}));
    // An empty reference: nothing to look for.
    EXPECT_EQ(locate_stars({&empty, p[1]}, kCentre, 64, 20),
              (std::vector<StarPosition>(2, kCentre)));

    // 1 × 1 and 2 × 2 images: nothing, or the one window and range 5 clipped to (0, 0).
    const ImageRecord one = test::make_image(1, 1, [](int, int, int) { return 7; });
    EXPECT_EQ(locate_stars({&one, &one}, {0, 0}, 64, 5), (std::vector<StarPosition>(2, {0, 0})));
    const ImageRecord two = test::make_image(2, 2, [](int c, int x, int) { return 100 * c + x; });
    EXPECT_EQ(locate_stars({&two, &two}, {1, 1}, 64, 5), (std::vector<StarPosition>(2, {1, 1})));
}

}  // namespace
}  // namespace vora
