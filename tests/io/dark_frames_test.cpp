#include "io/dark_frames.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "io/bmp_pnm.h"
#include "io/dark_commands.h"
#include "io/open_save.h"
#include "io/raw_dark.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;
using test::TempDir;

using DarkList = std::array<std::string, kDarkFileCount>;

// A grey 16-bit FITS file, width × height values in file order (plane row 0 first).
std::string fits_file(int width, int height, const std::vector<int>& values) {
    std::string h;
    for (const std::string& c : std::vector<std::string>{
             "SIMPLE  = T", "BITPIX  = 16", "NAXIS   = 2", "NAXIS1  = " + std::to_string(width),
             "NAXIS2  = " + std::to_string(height), std::string("END")}) {
        h += c;
        h.resize((h.size() + 79) / 80 * 80, ' ');
    }
    h.resize(2880, ' ');
    std::string data;
    for (int v : values) data += {char((v >> 8) & 0xFF), char(v & 0xFF)};
    data.resize(2880, '\0');
    return h + data;
}

class DarkFramesTest : public ::testing::Test {
  protected:
    // An 8-bit picture whose every sample is value(x, row) × 256, written as a BMP.
    template <class F>
    std::string bmp(const std::string& name, int w, int h, F value) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(write_bitmap(
                        path, make_image(w, h, [&](int, int x, int y) { return value(x, y) << 8; }))
                        .ok());
        return path;
    }
    std::string ppm16(const std::string& name, int w, int h, int value) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(write_pixmap(path, make_image(w, h, [&](int, int, int) { return value; }),
                                 kPixmapBinary16)
                        .ok());
        return path;
    }
    std::string fits(const std::string& name, int w, const std::vector<int>& values) {
        const std::string path = dir.file(name);
        test::write_file(path, fits_file(w, 1, values));
        return path;
    }
    std::unique_ptr<Workbench> wb = make_workbench();
    TempDir dir;
};

TEST_F(DarkFramesTest, SixteenBitFramesAverageWithOneTruncatingDivision) {
    const DarkList list = {ppm16("a.ppm", 2, 1, 3), "", ppm16("b.ppm", 2, 1, 4)};
    ASSERT_TRUE(set_dark_files(*wb, list).ok());
    EXPECT_EQ(wb->dark.kind, kKindPnm);
    EXPECT_EQ(wb->dark.frame_count, 2);
    ImageRecord image = make_image(2, 1, [](int, int, int) { return 10; });
    EXPECT_EQ(subtract_dark_frame(wb->dark, image), DarkResult::subtracted);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(sample(image, c, 1, 0), 7);  // 10 − (3 + 4) / 2

    // A mono image has only red in use.
    image.mono = 1;
    EXPECT_EQ(subtract_dark_frame(wb->dark, image), DarkResult::subtracted);
    EXPECT_EQ(sample(image, 0, 0, 0), 4);
    EXPECT_EQ(sample(image, 1, 0, 0), 7);
    ImageRecord other = make_image(1, 2, [](int, int, int) { return 10; });
    EXPECT_EQ(subtract_dark_frame(wb->dark, other), DarkResult::size_differs);
    EXPECT_EQ(sample(other, 0, 0, 0), 10);
}

TEST_F(DarkFramesTest, OpenedBitmapLosesTheDarkFrameAndNeverGoesNegative) {
    // Dark 8-bit values 5, 7, 9 across; the image equals it in the first column, is darker in
    // the second and brighter in the third.
    const auto dark = [](int x, int) { return 5 + 2 * x; };
    ASSERT_TRUE(set_dark_files(*wb, {bmp("dark.bmp", 3, 2, dark)}).ok());
    const std::string image = bmp("image.bmp", 3, 2, [](int x, int y) {
        return x == 0 ? 5 : x == 1 ? 3 : 20 + y;
    });
    const CommandResult r = open_image_command(*wb, image);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(test::has_pixels(wb->table.current(), 3, 2,
                                 {{0, 0, 0},
                                  {0, 0, 0},
                                  {12, 12, 12},  // top row: 21 − 9
                                  {0, 0, 0},
                                  {0, 0, 0},
                                  {11, 11, 11}}));
}

TEST_F(DarkFramesTest, FitsFramesAreDividedBeforeTheyAreSummed) {
    // Per frame: 3/2 + 4/2 = 3 and 5/2 + 5/2 = 4 (a plain average would give 3 and 5).
    const DarkList list = {fits("d1.fits", 3, {3, 5, 0}), fits("d2.fits", 3, {4, 5, 0})};
    ASSERT_TRUE(set_dark_files(*wb, list).ok());
    EXPECT_EQ(wb->dark.kind, kKindFits);
    for (const auto& colour : wb->dark.fits_planes)
        EXPECT_EQ(colour, (std::vector<int32_t>{3, 4, 0}));
    // Through the reader: 103 − 3 = 104 − 4 = 100 is the darkest, 110 the brightest.
    const CommandResult r = open_image_command(*wb, fits("image.fits", 3, {103, 104, 110}));
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(test::has_samples(wb->table.current(), 3, 1,
                                  {{0, 0, 0}, {0, 0, 0}, {65535, 65535, 65535}}));
}

TEST_F(DarkFramesTest, FloatingPointFitsFramesAreRoundedToWholeValues) {
    std::string file = fits_file(3, 1, {});
    file.replace(80, 80, std::string("BITPIX  = -32").append(67, ' '));
    std::string data;
    for (float f : {1.4f, 2.6f, -1.5f}) {
        const uint32_t u = std::bit_cast<uint32_t>(f);
        for (int shift = 24; shift >= 0; shift -= 8) data += char((u >> shift) & 0xFF);
    }
    file.replace(2880, data.size(), data);
    test::write_file(dir.file("f.fits"), file);
    ASSERT_TRUE(set_dark_files(*wb, {dir.file("f.fits")}).ok());
    EXPECT_EQ(wb->dark.fits_planes[2], (std::vector<int32_t>{1, 3, -2}));
}

TEST_F(DarkFramesTest, RefusedListsLoadNothing) {
    const std::string small = bmp("small.bmp", 2, 2, [](int, int) { return 9; });
    const std::string large = bmp("large.bmp", 3, 2, [](int, int) { return 9; });
    struct Case {
        const char* what;
        DarkList list;
        std::string message;
    };
    const Case cases[] = {
        {"kinds differ", {small, fits("f.fits", 2, {1, 2})}, msg::kDarkFormatDiffers},
        {"sizes differ", {small, "", "", large}, msg::kDarkSizeDiffers},
        {"unreadable", {dir.file("missing.bmp")}, "missing.bmp\" を開けませんでした！"},
        {"unknown kind", {dir.file("dark.xyz")}, "dark.xyz : VORA64 not support this format !"},
    };
    for (const Case& c : cases) {
        auto w = make_workbench();
        ASSERT_TRUE(set_dark_files(*w, {large}).ok());  // a list that was loaded before
        const CommandResult r = set_dark_files(*w, c.list);
        EXPECT_EQ(r.outcome, Outcome::failed) << c.what;
        ASSERT_EQ(r.messages.size(), 1u) << c.what;
        EXPECT_NE(r.messages[0].text.find(c.message), std::string::npos) << c.what;
        EXPECT_FALSE(w->dark.loaded()) << c.what;
        EXPECT_EQ(w->dark.kind, -1) << c.what;
        EXPECT_EQ(w->dark.files, c.list) << c.what;  // the dialog shows the list again
        // Images then open uncorrected and without the notice.
        const CommandResult opened = open_image_command(*w, small);
        EXPECT_TRUE(opened.messages.empty()) << c.what;
        EXPECT_EQ(sample(w->table.current(), 0, 0, 0), 9 << 8) << c.what;
    }
    // An empty list is no dark frame, without a message.
    const CommandResult r = set_dark_files(*wb, {});
    EXPECT_EQ(r.outcome, Outcome::done);
    EXPECT_FALSE(wb->dark.loaded());
}

TEST_F(DarkFramesTest, PixmapWithAPixmapDarkFrameStaysUncorrectedWithoutNotice) {
    ASSERT_TRUE(set_dark_files(*wb, {ppm16("dark.ppm", 2, 2, 100)}).ok());
    const CommandResult r = open_image_command(*wb, ppm16("image.ppm", 2, 2, 300));
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(sample(wb->table.current(), 0, 1, 1), 300);
}

// ---- RAW frames ----

// A sensor of rows (top first) whose values sit in one colour slot.
RawSensor sensor(const std::vector<std::vector<int>>& rows, std::size_t slot = 0) {
    RawSensor s;
    s.height = int32_t(rows.size());
    s.width = int32_t(rows[0].size());
    for (const auto& row : rows)
        for (int v : row) {
            std::array<uint16_t, 4> values{};
            values[slot] = uint16_t(v);
            s.values.push_back(values);
        }
    return s;
}

std::vector<std::vector<int>> slot_rows(const RawSensor& s, std::size_t slot = 0) {
    std::vector<std::vector<int>> rows(std::size_t(s.height));
    for (int32_t y = 0; y < s.height; ++y)
        for (int32_t x = 0; x < s.width; ++x) rows[std::size_t(y)].push_back(s.at(y, x)[slot]);
    return rows;
}

TEST(RawDark, FramesAverageLeavingOutTheValueFarthestFromTheMean) {
    struct Case {
        const char* what;
        std::vector<int> values;  // one per frame
        int expected;
    };
    const Case cases[] = {
        {"one frame", {7}, 7},
        {"two frames", {3, 4}, 3},
        {"three: 30 is farthest from 17", {10, 12, 30}, 11},
        {"three, tie: the first frame's value goes", {1, 3, 5}, 4},
        {"four: 40 is farthest from 88", {100, 104, 108, 40}, 104},
        {"four, tie: the first frame's value goes", {0, 10, 20, 30}, 20},
        {"four, full scale", {65535, 65535, 65535, 0}, 65535},
    };
    for (const Case& c : cases) {
        std::vector<RawSensor> frames;
        for (int v : c.values) frames.push_back(sensor({{v, 1}}, 1));
        ASSERT_TRUE(average_raw_darks(frames)) << c.what;
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(slot_rows(frames[0], 1), (std::vector<std::vector<int>>{{c.expected, 1}}))
            << c.what;
        EXPECT_EQ(frames[0].at(0, 0)[0], 0) << c.what;
    }
    std::vector<RawSensor> mixed = {sensor({{1, 2}}), sensor({{1}, {2}})};
    EXPECT_FALSE(average_raw_darks(mixed));
    std::vector<RawSensor> none;
    EXPECT_FALSE(average_raw_darks(none));
}

DarkFrames raw_dark(const std::vector<std::vector<int>>& rows, std::size_t slot = 0) {
    DarkFrames d;
    d.raw = sensor(rows, slot);
    d.kind = kKindRaw;
    d.width = d.raw.width;
    d.height = d.raw.height;
    return d;
}

using Grid = std::vector<std::vector<int>>;

TEST(RawDark, DefectivePixelHandlings) {
    struct Case {
        const char* what;
        Grid image, dark;
        int32_t option2;  // level × 256 + handling
        Grid expected;
        std::size_t slot = 0;
    };
    const Grid five_zero(5, std::vector<int>(5, 0));
    Grid centre_dark = five_zero;
    centre_dark[2][2] = 9;
    const Case cases[] = {
        {"keep: below the dark value stays; 0 is left alone",
         {{10, 5, 0}},
         {{4, 8, 3}},
         0,
         {{6, 5, 0}}},
        {"zero; the level counts only for the average",
         {{10, 5, 0}},
         {{4, 8, 3}},
         5 * 256 + 1,
         {{6, 0, 0}},
         3},
        {"unknown handling keeps", {{10, 5}}, {{4, 8}}, 3, {{6, 5}}},
        {"average, no neighbour: 0", {{20}}, {{9}}, 16 * 256 + 2, {{0}}},
        {"average of two neighbours", {{10, 5, 15}}, {{0, 9, 0}}, 2, {{10, 12, 15}}, 2},
        {"level marks values above the dark value",
         {{40, 30, 60}},
         {{0, 10, 0}},
         32 * 256 + 2,
         {{40, 50, 60}}},
        {"replacements are seen by later pixels",
         {{100, 5, 5, 200}},
         {{0, 10, 10, 0}},
         2,
         {{100, 150, 175, 200}}},
        {"three or more: the largest is farthest from 175",
         {{0, 0, 0, 0, 0},
          {0, 0, 90, 0, 0},
          {0, 100, 7, 110, 0},
          {0, 0, 400, 0, 0},
          {0, 0, 0, 0, 0}},
         centre_dark,
         2,
         {{0, 0, 0, 0, 0},
          {0, 0, 90, 0, 0},
          {0, 100, 100, 110, 0},
          {0, 0, 400, 0, 0},
          {0, 0, 0, 0, 0}}},
        {"three or more: the smallest is farthest from 85",
         {{0, 0, 0, 0, 0},
          {0, 0, 10, 0, 0},
          {100, 0, 7, 0, 0},
          {0, 0, 0, 110, 0},
          {0, 0, 120, 0, 0}},
         centre_dark,
         2,
         {{0, 0, 0, 0, 0},
          {0, 0, 10, 0, 0},
          {100, 0, 110, 0, 0},
          {0, 0, 0, 110, 0},
          {0, 0, 120, 0, 0}}},
        {"equally far: the smallest goes; corners are no neighbours",
         {{1000, 0, 20, 0, 0},
          {1000, 10, 0, 0, 0},
          {0, 0, 7, 0, 30},
          {0, 0, 0, 0, 0},
          {0, 0, 0, 0, 0}},
         centre_dark,
         2,
         {{1000, 0, 20, 0, 0},
          {1000, 10, 0, 0, 0},
          {0, 0, 25, 0, 30},
          {0, 0, 0, 0, 0},
          {0, 0, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        const DarkFrames dark = raw_dark(c.dark, c.slot);
        RawSensor image = sensor(c.image, c.slot);
        EXPECT_EQ(subtract_raw_dark(dark, image, c.option2), RawDarkResult::subtracted) << c.what;
        EXPECT_EQ(slot_rows(image, c.slot), c.expected) << c.what;
    }
}

TEST(RawDark, OnlyALoadedFrameOfTheImagesSizeIsSubtracted) {
    RawSensor image = sensor({{10, 10}});
    EXPECT_EQ(subtract_raw_dark(DarkFrames(), image, 2), RawDarkResult::none);
    EXPECT_EQ(subtract_raw_dark(raw_dark({{1}, {1}}), image, 2), RawDarkResult::size_differs);
    DarkFrames bitmap = raw_dark({{1, 1}});
    bitmap.kind = kKindBmp;
    EXPECT_EQ(subtract_raw_dark(bitmap, image, 2), RawDarkResult::none);
    EXPECT_EQ(subtract_raw_dark(raw_dark({{1, 1}}), image, -5), RawDarkResult::subtracted);
    EXPECT_EQ(slot_rows(image), (Grid{{9, 9}}));
}

}  // namespace
}  // namespace vora
