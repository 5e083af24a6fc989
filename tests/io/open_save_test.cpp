#include "io/open_save.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;
using test::TempDir;

const auto kYes = [](const std::string&) { return true; };

class OpenSaveTest : public ::testing::Test {
protected:
    void SetUp() override { wb = make_workbench(); }
    // A 4 × 3 picture written as a BMP in the temp folder.
    std::string bmp(const std::string& name) {
        const ImageRecord img =
            make_image(4, 3, [](int c, int x, int y) { return (c * 60 + x * 10 + y) << 8; });
        const std::string path = dir.file(name);
        EXPECT_TRUE(write_bitmap(path, img).ok());
        return path;
    }
    std::unique_ptr<Workbench> wb;
    TempDir dir;
};

TEST_F(OpenSaveTest, OpenFillsTheLowestFreeSlotAndMakesItCurrent) {
    wb->table[0] = make_image(1, 1, [](int, int, int) { return 0; });
    const std::string path = bmp("a.bmp");
    const CommandResult r = open_image_command(*wb, path);
    ASSERT_TRUE(r.ok()) << r.messages.at(0).text;
    EXPECT_EQ(wb->table.current_slot, 1);
    const ImageRecord& img = wb->table[1];
    EXPECT_EQ(img.name, path);
    EXPECT_EQ(img.width, 4);
    EXPECT_EQ(img.height, 3);
    EXPECT_EQ(img.changed, 0);
    EXPECT_EQ(img.mono, 0);
    EXPECT_EQ(img.stats_stale, 1);
    EXPECT_EQ(sample(img, 2, 3, 2), (120 + 30 + 2) << 8);
}

TEST_F(OpenSaveTest, OpenRefusalsAndTheirMessages) {
    struct Case {
        const char* name;
        std::string contents;
        bool unknown_type;  // else the reader refused the file
    };
    const Case cases[] = {
        {"noext", "BM", true},
        {"bad.bmp", "XX not a bitmap", false},
        {"empty.ppm", "", false},
        {"later.png", "\x89PNG", false},  // known type without a reader yet
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        test::write_file(path, c.contents);
        const CommandResult r = open_image_command(*wb, path);
        ASSERT_EQ(r.outcome, Outcome::failed) << c.name;
        const std::string expected = c.unknown_type
                                         ? path + " : VORA64 not support this format !"
                                         : "\"" + path + "\" を開けませんでした！\n(";
        EXPECT_EQ(r.messages.at(0).text.substr(0, expected.size()), expected);
        EXPECT_FALSE(wb->table[0].occupied()) << c.name;  // the slot stays empty
        EXPECT_EQ(wb->table.current_slot, -1);
    }
    // The next open reuses the same slot.
    ASSERT_TRUE(open_image_command(*wb, bmp("good.bmp")).ok());
    EXPECT_EQ(wb->table.current_slot, 0);
}

TEST_F(OpenSaveTest, OpenWithAFullTableOrShortMemoryChangesNothing) {
    const std::string path = bmp("a.bmp");
    for (int i = 0; i < kSlotCount; ++i) wb->table[i] = make_image(1, 1, [](int, int, int) { return 0; });
    CommandResult r = open_image_command(*wb, path);
    EXPECT_EQ(r.messages.at(0).text, "これ以上、画像を開けません！");

    auto fresh = make_workbench();
    fresh->table.available_memory = [] { return uint64_t(6) * 0x200000 * 6 - 1; };
    r = open_image_command(*fresh, path);
    EXPECT_EQ(r.messages.at(0).text, "メモリ不足で画像を開けません！");
    EXPECT_FALSE(fresh->table[0].occupied());
    fresh->table.available_memory = [] { return uint64_t(6) * 0x200000 * 6; };
    EXPECT_TRUE(open_image_command(*fresh, path).ok());
}

TEST_F(OpenSaveTest, DroppedFilesStopAtAnUnsupportedNameButStartUpFilesGoOn) {
    const std::vector<std::string> files = {bmp("1.bmp"), dir.file("2.xyz"), bmp("3.bmp")};
    CommandResult dropped = open_image_files(*wb, files, OpenSource::dropped);
    EXPECT_EQ(dropped.outcome, Outcome::failed);
    EXPECT_EQ(dropped.messages.size(), 1u);
    EXPECT_TRUE(wb->table[0].occupied());
    EXPECT_FALSE(wb->table[1].occupied());

    auto start = make_workbench();
    CommandResult started = open_image_files(*start, files, OpenSource::command_line);
    EXPECT_EQ(started.messages.size(), 1u);
    EXPECT_TRUE(start->table[1].occupied());
    EXPECT_EQ(start->table[1].name, files[2]);
    EXPECT_EQ(start->table.current_slot, 1);
}

TEST_F(OpenSaveTest, DarkFramesThatDoNotFitAreReportedOnceAfterOpening) {
    const std::vector<std::string> files = {bmp("1.bmp"), bmp("2.bmp")};
    wb->dark.kind = kKindBmp;  // another size than the 4 × 3 images
    wb->dark.width = wb->dark.height = 5;
    CommandResult r = open_image_files(*wb, files, OpenSource::dropped);
    EXPECT_EQ(r.outcome, Outcome::done);  // the images stay open, uncorrected
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "ダーク補正できませんでした！");
    EXPECT_TRUE(wb->table[1].occupied());

    // Same size: no notice. A PPM with a PPM dark frame is not corrected, yet fits.
    auto other = make_workbench();
    other->dark.kind = kKindPnm;
    other->dark.width = 4;
    other->dark.height = 3;
    const ImageRecord img = make_image(4, 3, [](int, int, int) { return 0; });
    ASSERT_TRUE(write_pixmap(dir.file("a.ppm"), img, kPixmapBinary16).ok());
    r = open_image_command(*other, dir.file("a.ppm"));
    EXPECT_TRUE(r.messages.empty());
}

TEST(CommandLine, QuotedNamesMayHoldSpaces) {
    EXPECT_EQ(split_command_line("\"/a b/c.bmp\" d.bmp"),
              (std::vector<std::string>{"/a b/c.bmp", "d.bmp"}));
    EXPECT_EQ(split_command_line("a.bmp  b.bmp"), (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_TRUE(split_command_line("").empty());
    EXPECT_TRUE(split_command_line("\"\"").empty());
}

TEST(SaveNames, ProposalCutsTheExtensionAndPicksTheType) {
    struct Case {
        const char* name;
        const char* base;
        int index;
    };
    const Case cases[] = {
        {"/d/m42.bmp", "/d/m42", 1},  {"/d/m42.PNG", "/d/m42", 2}, {"/d/a.jpeg", "/d/a", 3},
        {"/d/a.JPG", "/d/a", 3},      {"/d/a.tif", "/d/a", 5},     {"/d/a.ppm", "/d/a", 6},
        {"/d/a.fits", "/d/a", 7},     // other extensions keep the last type (7 here)
        {"/d.x/noext", "/d.x/noext", 7}, {"", "", 7},
    };
    for (const Case& c : cases) {
        const SaveProposal p = propose_save_name(c.name, 7);
        EXPECT_EQ(p.name, c.base) << c.name;
        EXPECT_EQ(p.filter_index, c.index) << c.name;
    }
}

class SaveTest : public OpenSaveTest {
protected:
    void SetUp() override {
        OpenSaveTest::SetUp();
        ASSERT_TRUE(open_image_command(*wb, bmp("src.bmp")).ok());
        wb->table.current().changed = 1;
    }
    ImageRecord& current() { return wb->table.current(); }
};

TEST_F(SaveTest, DefaultExtensionIsAppendedForUnknownAndRawNames) {
    struct Case {
        const char* chosen;
        int filter;
        const char* written;
    };
    const Case cases[] = {
        {"plain", 1, "plain.BMP"},     {"shot.NEF", 1, "shot.NEF.BMP"},
        {"ascii", 7, "ascii.PPM"},     {"bin", 6, "bin.PPM"},
        {"keep.bmp", 6, "keep.bmp"},   // a writable extension wins over the type
    };
    for (const Case& c : cases) {
        const CommandResult r = save_image_command(*wb, dir.file(c.chosen), c.filter, kYes);
        ASSERT_EQ(r.outcome, Outcome::done) << c.chosen;
        EXPECT_TRUE(std::filesystem::exists(dir.file(c.written))) << c.written;
        EXPECT_EQ(current().name, dir.file(c.written));
        EXPECT_EQ(current().changed, 0);
        EXPECT_EQ(wb->save_filter_index, c.filter);
    }
    // Filter 6 writes binary P6, 7 ASCII P3.
    EXPECT_EQ(test::read_file(dir.file("bin.PPM")).substr(0, 2), "P6");
    EXPECT_EQ(test::read_file(dir.file("ascii.PPM")).substr(0, 2), "P3");
}

TEST_F(SaveTest, ReadOnlyTypesAreRefusedAndTheImageStaysChanged) {
    const std::string name = current().name;
    for (const char* chosen : {"out.fits", "out.gif"}) {
        const CommandResult r = save_image_command(*wb, dir.file(chosen), 1, kYes);
        ASSERT_EQ(r.outcome, Outcome::failed);
        EXPECT_NE(r.messages.at(0).text.find("can not save this format"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir.file(chosen)));
        EXPECT_EQ(current().name, name);
        EXPECT_EQ(current().changed, 1);
    }
}

TEST_F(SaveTest, OverwriteIsAskedAndRefusalKeepsTheFile) {
    const std::string target = dir.file("exists.bmp");
    test::write_file(target, "old");
    std::string asked;
    const CommandResult r = save_image_command(*wb, target, 1, [&](const std::string& q) {
        asked = q;
        return false;
    });
    EXPECT_EQ(r.outcome, Outcome::skipped);
    EXPECT_EQ(asked, "\"" + target + "\" already exist.\n Do you overwrite file ?");
    EXPECT_EQ(test::read_file(target), "old");
    EXPECT_EQ(current().changed, 1);
    ASSERT_TRUE(save_image_command(*wb, target, 1, kYes).ok());
    EXPECT_EQ(test::read_file(target).substr(0, 2), "BM");
}

TEST_F(SaveTest, AFailedWriteKeepsTheExistingFileAndReportsIt) {
    const std::string missing_dir = dir.file("no/such/dir/out.bmp");
    CommandResult r = save_image_command(*wb, missing_dir, 1, kYes);
    ASSERT_EQ(r.outcome, Outcome::failed);
    EXPECT_NE(r.messages.at(0).text.find("を保存できませんでした！"), std::string::npos);
    EXPECT_EQ(current().changed, 1);
    EXPECT_NE(current().name, missing_dir);
}

TEST_F(SaveTest, AGreyImageIsSavedWithThreeEqualChannels) {
    current().mono = 1;
    ASSERT_TRUE(save_image_command(*wb, dir.file("grey.bmp"), 1, kYes).ok());
    ImageRecord back;
    ASSERT_TRUE(read_bitmap(dir.file("grey.bmp"), back).ok());
    EXPECT_EQ(back.green, back.red);
    EXPECT_EQ(back.blue, back.red);
}

TEST_F(SaveTest, NothingHappensWithoutACurrentImage) {
    wb->table.current_slot = -1;
    EXPECT_EQ(save_image_command(*wb, dir.file("x.bmp"), 1, kYes).outcome, Outcome::skipped);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));
}

}  // namespace
}  // namespace vora
