// The rotation composite end to end: the pick started by the composite commands, the clicks,
// the stars found in turned copies of a star field, and the stack aligned on them.
#include "ui/rotation_composite_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "composite/star_field.h"
#include "io/bmp_pnm.h"
#include "test_support.h"
#include "ui/composite_commands.h"

namespace vora {
namespace {

constexpr int kW = 200, kH = 160;
constexpr double kCx = 100, kCy = 80;

// A sky of a few stars (x, stored row, sigma, peak); the first two are the ones picked.
const test::Star kSky[] = {{62, 52, 1.6, 40000},  {141, 108, 2.0, 36000}, {30, 28, 1.2, 20000},
                           {172, 40, 1.8, 15000}, {95, 132, 1.4, 25000},  {118, 71, 1.1, 12000},
                           {48, 120, 2.2, 18000}, {160, 140, 1.5, 22000}};

double sky_value(double x, double y) {
    double v = 1200;
    for (const test::Star& s : kSky) {
        const double dx = x - s.x, dy = y - s.y;
        v += s.peak * std::exp(-(dx * dx + dy * dy) / (2 * s.sigma * s.sigma));
    }
    return v;
}

// Pixel (x, row) shows the sky at c + R(θ)((x, row) − c) + shift.
ImageRecord turned_field(double degrees, double sx, double sy) {
    const double t = degrees * 3.14159265358979323846 / 180.0;
    return test::make_image(kW, kH, [&](int c, int x, int row) {
        const double u = x - kCx, v = row - kCy;
        const double fx = kCx + std::cos(t) * u - std::sin(t) * v + sx;
        const double fy = kCy + std::sin(t) * u + std::cos(t) * v + sy;
        return sky_value(fx, fy) * (c == 0 ? 1.0 : 0.8);
    });
}

// Where a sky position shows in turned_field(degrees, sx, sy), display coordinates.
std::pair<double, double> shown_at(double degrees, double sx, double sy, double x, double row) {
    const double t = degrees * 3.14159265358979323846 / 180.0;
    const double u = x - sx - kCx, v = row - sy - kCy;
    const double qx = kCx + std::cos(t) * u + std::sin(t) * v;
    const double qr = kCy - std::sin(t) * u + std::cos(t) * v;
    return {qx, kH - 1 - qr};
}

std::array<test::Star, 2> reference_stars() {
    return {kSky[0], kSky[1]};
}

int brightest(const ImageRecord& r) {
    return *std::max_element(r.red.begin(), r.red.end());
}

class RotationComposite : public ::testing::Test {
  protected:
    // Clicks the two reference stars (rounded) and returns the command the second sends.
    int32_t pick_stars() {
        int32_t command = 0;
        for (const test::Star& s : reference_stars())
            command = star_pick_click(wb->star_pick, kW, kH, int32_t(std::lround(s.x)),
                                      kH - 1 - int32_t(std::lround(s.y)));
        return command;
    }
    std::unique_ptr<Workbench> wb = test::make_workbench();
};

TEST_F(RotationComposite, FindsTheStarsInTurnedImagesAndStacksOnThem) {
    const double turns[] = {0, 3, -2};
    const double shifts[][2] = {{0, 0}, {6, -4}, {-5, 3}};
    CompositeSettings& s = wb->settings.composite;
    for (int i = 0; i < 3; ++i) {
        wb->table[i] = turned_field(turns[i], shifts[i][0], shifts[i][1]);
        wb->table[i].name = "f" + std::to_string(i);
        s.images[std::size_t(i)] = list_label(wb->table, i, LabelStyle::composite);
    }
    wb->table.current_slot = 2;
    s.compare_method = kCompareRotation;
    s.stack_mode = kStackMinimum;  // a star survives only where every image has it
    ASSERT_TRUE(auto_composite_command(*wb).ok());
    EXPECT_EQ(wb->table.current_slot, 0);
    ASSERT_EQ(pick_stars(), 3020);
    EXPECT_EQ(wb->star_pick.star_pick_mode, kStarPickIdle);

    const CommandResult r = rotation_composite_command(*wb);
    ASSERT_TRUE(r.ok()) << r.messages.at(0).text;
    const auto stars = reference_stars();
    for (int i = 1; i < 3; ++i) {
        const auto a = shown_at(turns[i], shifts[i][0], shifts[i][1], stars[0].x, stars[0].y);
        const auto b = shown_at(turns[i], shifts[i][0], shifts[i][1], stars[1].x, stars[1].y);
        const AlignPoints& p = s.points[std::size_t(i)];
        EXPECT_NEAR(p.a_x, a.first, 1.5) << i;
        EXPECT_NEAR(p.a_y, a.second, 1.5) << i;
        EXPECT_NEAR(p.b_x, b.first, 1.5) << i;
        EXPECT_NEAR(p.b_y, b.second, 1.5) << i;
    }
    EXPECT_EQ(wb->table.current_slot, 3);
    EXPECT_GT(brightest(wb->table[3]), brightest(wb->table[0]) * 7 / 10);
}

TEST_F(RotationComposite, MultiFilePassesStackOnThePickedStars) {
    test::TempDir dir;
    MultiFileCompositeSettings& m = wb->settings.multi_file_composite;
    const double turns[] = {0, 2, -2, 1, -1};
    for (int i = 0; i < 5; ++i) {
        const std::string path = dir.file("t" + std::to_string(i) + ".ppm");
        ASSERT_TRUE(write_pixmap(path, turned_field(turns[i], i - 2, 2 - i), kPixmapBinary16).ok());
        m.files.push_back(path);
    }
    m.compare_method = kCompareRotation;
    m.stack_mode = kStackMinimum;
    ASSERT_TRUE(multi_file_composite_command(*wb).ok());
    const int holder = wb->table.current_slot;
    EXPECT_EQ(wb->star_pick.star_pick_mode, kStarPickFirst);
    const int first_peak = brightest(wb->table[holder]);
    ASSERT_EQ(pick_stars(), 3022);

    const CommandResult r = multi_file_rotation_command(*wb);
    ASSERT_TRUE(r.ok()) << r.messages.at(0).text;
    EXPECT_EQ(wb->table.current_slot, holder);
    EXPECT_EQ(test::occupied_count(wb->table), 1);  // the passes' slots were given back
    EXPECT_GT(brightest(wb->table[holder]), first_peak * 6 / 10);
    EXPECT_EQ(wb->table[holder].changed, 1);
}

TEST_F(RotationComposite, NeedsTwoImages) {
    wb->table[0] = turned_field(0, 0, 0);
    wb->settings.composite.images = {list_label(wb->table, 0, LabelStyle::composite), "", "", ""};
    EXPECT_EQ(rotation_composite_command(*wb).messages.at(0).text, msg::kTooFewImages);
}

}  // namespace
}  // namespace vora
