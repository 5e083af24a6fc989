#include "core/image_table.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;

// Fills a slot with a small image so the table sees it as occupied.
void occupy(ImageTable& t, int slot, int w = 2, int h = 2) {
    t[slot] = make_image(w, h, [](int, int, int) { return 0; });
}

TEST(ImageTable, InitLeavesEveryRecordEmpty) {
    auto wb = make_workbench();
    for (const ImageRecord& r : wb->table.image_table) {
        EXPECT_FALSE(r.occupied());
        EXPECT_EQ(r.zoom, 100);
        EXPECT_EQ(r.histogram_peak, 1);
        EXPECT_EQ(r.point_a_x, -1);
        EXPECT_EQ(r.point_b_y, -1);
    }
    EXPECT_EQ(wb->table.current_slot, -1);
}

TEST(ImageTable, FindFreeSlotTakesTheLowestEmptyAndFailsWhenFull) {
    auto wb = make_workbench();
    ImageTable& t = wb->table;
    EXPECT_EQ(find_free_slot(t), 0);
    occupy(t, 0);
    occupy(t, 2);
    EXPECT_EQ(find_free_slot(t), 1);
    t[1].width = 5;  // width without height is not occupied
    EXPECT_EQ(find_free_slot(t), 1);
    for (int i = 0; i < kSlotCount; ++i) occupy(t, i, 1, 1);
    EXPECT_EQ(find_free_slot(t), -1);
}

TEST(ImageTable, FindFreeSlotFailsWhenMemoryIsShort) {
    auto wb = make_workbench();
    wb->table.available_memory = [] { return uint64_t(1000); };
    EXPECT_EQ(find_free_slot(wb->table), -1);
}

TEST(ImageTable, ProbeCountsBytesOfTheRightImage) {
    auto wb = make_workbench();
    ImageTable& t = wb->table;
    uint64_t available = 0;
    t.available_memory = [&] { return available; };
    occupy(t, 3, 1000, 3000);  // 3,000,000 samples, above the 2,097,152 floor

    struct Case {
        int slot, count, w, h;
        uint64_t needed;  // count × n × 3 × 2
    };
    const Case cases[] = {
        {3, 2, 0, 0, 2ull * 3000000 * 6},     // the slot's own size
        {-1, 1, 0, 0, 1ull * 3000000 * 6},    // the largest image
        {-1, 4, 10, 10, 4ull * 100 * 6},      // an explicit size
        {-1, 0, 10, 10, 8ull * 100 * 6},      // counts outside 1..8 are 8
        {-1, 9, 10, 10, 8ull * 100 * 6},
        {-1, 1, 0, 7, 1ull * 3000000 * 6},    // w < 1: the largest image
    };
    for (const Case& c : cases) {
        available = c.needed;
        EXPECT_TRUE(probe_memory(t, c.slot, c.count, c.w, c.h)) << c.slot << " " << c.count;
        available = c.needed - 1;
        EXPECT_FALSE(probe_memory(t, c.slot, c.count, c.w, c.h)) << c.slot << " " << c.count;
    }
}

TEST(ImageTable, ProbeUsesAtLeastTheFloorForTheLargestImage) {
    auto wb = make_workbench();
    uint64_t available = uint64_t(kMinProbeSamples) * 6 * 6;
    wb->table.available_memory = [&] { return available; };
    EXPECT_TRUE(probe_memory(wb->table, -1, 6));
    available -= 1;
    EXPECT_FALSE(probe_memory(wb->table, -1, 6));
}

TEST(ImageTable, ProbeOfAnEmptySlotSucceeds) {
    auto wb = make_workbench();
    wb->table.available_memory = [] { return uint64_t(0); };
    EXPECT_TRUE(probe_memory(wb->table, 5, 2));
}

TEST(ImageTable, ReleaseEmptiesTheSlotButKeepsChangedBeforeAndStatistics) {
    ImageRecord r = make_image(3, 2, [](int, int, int) { return 7; });
    r.name = "/tmp/a.bmp";
    r.undo_red = r.red;
    r.undo_available = r.redo_available = r.stats_stale = r.changed = r.mono = r.undo_mono = 1;
    r.changed_before = 1;
    r.zoom = 200;
    r.scroll_x = 4;
    r.point_a_x = 1;
    r.exif_block = {1, 2, 3};
    r.camera_make = "Maker";
    r.exposure_time = pack_rational(10, 2500);
    r.iso_speed = 800;
    r.max_value = {1, 2, 3};
    r.histogram[0][5] = 9;
    r.histogram_peak = 9;
    release_slot(r);
    EXPECT_TRUE(r.name.empty());
    EXPECT_FALSE(r.occupied());
    EXPECT_TRUE(r.red.empty());
    EXPECT_TRUE(r.undo_red.empty());
    EXPECT_EQ(r.exif_length(), 0);
    EXPECT_EQ(r.zoom, 100);
    EXPECT_EQ(r.scroll_x, 0);
    EXPECT_EQ(r.point_a_x, -1);
    EXPECT_EQ(r.undo_available + r.redo_available + r.stats_stale + r.changed + r.mono +
                  r.undo_mono,
              0);
    EXPECT_EQ(r.changed_before, 1);
    EXPECT_EQ(r.histogram_peak, 1);
    EXPECT_TRUE(r.camera_make.empty());
    EXPECT_EQ(r.exposure_time, 0u);
    EXPECT_EQ(r.iso_speed, 0);
    EXPECT_EQ(r.max_value[2], 3);       // statistics are not cleared
    EXPECT_EQ(r.histogram[0][5], 9u);   // nor histograms
}

TEST(ImageTable, CopyRecordCopiesPixelsAndCameraFieldsOnly) {
    ImageRecord src = make_image(2, 3, [](int c, int x, int y) { return c * 100 + x * 10 + y; });
    src.mono = 1;
    src.name = "/tmp/src.bmp";
    src.zoom = 50;
    src.undo_available = 1;
    src.exif_block = {9, 8, 7};
    src.camera_model = "Model";
    src.f_number = pack_rational(56, 10);
    ImageRecord dst = make_image(5, 5, [](int, int, int) { return 1; });
    copy_record(src, dst);
    EXPECT_EQ(dst.width, 2);
    EXPECT_EQ(dst.height, 3);
    EXPECT_EQ(dst.red, src.red);
    EXPECT_EQ(dst.blue, src.blue);
    EXPECT_EQ(dst.mono, 1);
    EXPECT_EQ(dst.exif_block, src.exif_block);
    EXPECT_EQ(dst.camera_model, "Model");
    EXPECT_EQ(dst.f_number, src.f_number);
    EXPECT_TRUE(dst.name.empty());
    EXPECT_EQ(dst.zoom, 100);
    EXPECT_EQ(dst.undo_available, 0);
}

TEST(ImageTable, ExpandMonoCopiesRedOnlyForMonoRecords) {
    ImageRecord r = make_image(2, 2, [](int c, int x, int) { return c * 1000 + x; });
    const Plane green = r.green;
    expand_mono(r);
    EXPECT_EQ(r.green, green);
    r.mono = 1;
    expand_mono(r);
    EXPECT_EQ(r.green, r.red);
    EXPECT_EQ(r.blue, r.red);
    EXPECT_EQ(r.mono, 1);
}

TEST(ImageTable, StatisticsUseTheMeanOfTruncatedRowMeans) {
    // Red rows: {1, 2} -> row mean 1; {4, 4} -> 4; mean (1 + 4) / 2 = 2 (not 11/4 = 2.75).
    // Green rows {0, 1} -> 0 and {0, 1} -> 0: mean 0 although the true mean is 0.5.
    ImageRecord r = make_image(2, 2, [](int c, int x, int y) {
        if (c == 0) return y == 0 ? 1 + x : 4;
        if (c == 1) return x;
        return 65535;
    });
    compute_statistics(r);
    EXPECT_EQ(r.mean_value, (std::array<int32_t, 3>{2, 0, 65535}));
    EXPECT_EQ(r.min_value, (std::array<int32_t, 3>{1, 0, 65535}));
    EXPECT_EQ(r.max_value, (std::array<int32_t, 3>{4, 1, 65535}));

    ImageRecord empty;
    compute_statistics(empty);
    EXPECT_EQ(empty.max_value, (std::array<int32_t, 3>{65535, 65535, 65535}));
    EXPECT_EQ(empty.min_value, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(empty.mean_value, (std::array<int32_t, 3>{32768, 32768, 32768}));
}

TEST(ImageTable, StatisticsOfAWideBrightRowDoNotOverflow) {
    ImageRecord r = make_image(70000, 1, [](int, int, int) { return 65535; });
    compute_statistics(r);
    EXPECT_EQ(r.mean_value[0], 65535);
}

TEST(ImageTable, HistogramSamplingGrid) {
    struct Case {
        int w, h, count;
    };
    // step = size / 100 + 1: 1 × 1 samples one pixel; 250 × 250 samples every third
    // column and row (0, 3, ..., 249: 84 each); 100 × 100 every second (50 each).
    const Case cases[] = {{1, 1, 1}, {250, 250, 84 * 84}, {100, 100, 50 * 50}, {99, 1, 99}};
    for (const Case& c : cases) {
        ImageRecord r = make_image(c.w, c.h, [](int, int, int) { return 0; });
        compute_histogram(r);
        EXPECT_EQ(r.histogram_count, c.count) << c.w << "x" << c.h;
        EXPECT_EQ(r.histogram_peak, c.count);
        EXPECT_EQ(r.histogram[2][0], uint32_t(c.count));
    }
}

TEST(ImageTable, HistogramBinsTheHighByteOfSampledPixelsOnly) {
    // 250 × 250: only columns and rows divisible by 3 are sampled.
    ImageRecord r = make_image(250, 250, [](int c, int x, int y) {
        if (c == 1) return 0x1234;
        return (x % 3 == 0 && y % 3 == 0) ? 0xFF00 : 0x0100;
    });
    compute_histogram(r);
    EXPECT_EQ(r.histogram[0][0xFF], 84u * 84u);
    EXPECT_EQ(r.histogram[0][0x01], 0u);
    EXPECT_EQ(r.histogram[1][0x12], 84u * 84u);
    // Computing again does not accumulate.
    compute_histogram(r);
    EXPECT_EQ(r.histogram_count, 84 * 84);
    EXPECT_EQ(r.histogram[2][0xFF], 84u * 84u);

    ImageRecord empty;
    empty.histogram_peak = 7;
    compute_histogram(empty);
    EXPECT_EQ(empty.histogram_peak, 1);
}

TEST(ImageTable, LabelsAndReadingThemBack) {
    auto wb = make_workbench();
    wb->table[7].name = "/data/m42.bmp";
    EXPECT_EQ(list_label(wb->table, 7, LabelStyle::selection), "007(/data/m42.bmp)");
    EXPECT_EQ(list_label(wb->table, 7, LabelStyle::composite), "07(/data/m42.bmp)");
    EXPECT_EQ(list_label(wb->table, 123, LabelStyle::composite), "123()");

    struct Case {
        const char* label;
        int slot;
    };
    const Case cases[] = {{"007(/data/m42.bmp)", 7}, {"07(x)", 7},   {"255()", 255},
                          {"(x)", -1},               {"", -1},       {"abc", -1},
                          {"256(x)", -1},            {"99999999999999(x)", -1}, {"12", 12}};
    for (const Case& c : cases) EXPECT_EQ(slot_from_label(c.label), c.slot) << c.label;
}

TEST(ImageTable, NextAndPreviousWrapOverOccupiedSlots) {
    auto wb = make_workbench();
    ImageTable& t = wb->table;
    occupy(t, 2);
    occupy(t, 5);
    occupy(t, 9);
    EXPECT_EQ(next_occupied_slot(t, 5), 9);
    EXPECT_EQ(next_occupied_slot(t, 9), 2);
    EXPECT_EQ(previous_occupied_slot(t, 5), 2);
    EXPECT_EQ(previous_occupied_slot(t, 2), 9);
    EXPECT_EQ(highest_occupied_slot_or_zero(t), 9);

    auto alone = make_workbench();
    occupy(alone->table, 4);
    EXPECT_EQ(next_occupied_slot(alone->table, 4), 4);
    EXPECT_EQ(previous_occupied_slot(alone->table, 4), 4);
    EXPECT_EQ(highest_occupied_slot_or_zero(make_workbench()->table), 0);
}

TEST(ImageTable, ClosingMovesTheCurrentSlotToTheHighestLeftOrZero) {
    auto wb = make_workbench();
    ImageTable& t = wb->table;
    occupy(t, 1);
    occupy(t, 6);
    t.current_slot = 6;
    close_slot(t, 6);
    EXPECT_EQ(t.current_slot, 1);
    close_slot(t, 1);  // the only image: slot 0 becomes current although it is empty
    EXPECT_EQ(t.current_slot, 0);
    EXPECT_FALSE(t[0].occupied());
    EXPECT_FALSE(t.has_current() && t.current().occupied());
}

TEST(ImageRecord, CameraTextsAreCutTo31Characters) {
    ImageRecord r;
    set_camera_text(r.camera_make, std::string(40, 'x'));
    EXPECT_EQ(r.camera_make, std::string(31, 'x'));
    set_camera_text(r.camera_model, "short");
    EXPECT_EQ(r.camera_model, "short");
    EXPECT_EQ(pack_rational(10, 2500), (10u << 16) | 2500u);
    EXPECT_EQ(pack_rational(0x12345, 0x10002), (0x2345u << 16) | 2u);
}

}  // namespace
}  // namespace vora
