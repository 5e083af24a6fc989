// The batch runner: dropped files converted into the save folder, the drop ending at an
// unreadable file, the composite mode, each operation step against its interactive command,
// the overwrite answer, timing and the start and stop commands.
#include "ui/batch_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "composite/star_field.h"
#include "core/bands.h"
#include "io/bmp_pnm.h"
#include "settings/batch_steps.h"
#include "test_support.h"
#include "ui/command_table.h"

namespace vora {
namespace {

using test::occupied_count;
using test::TempDir;

// A step holding `operation` with the values it takes from `s`.
void set_step(BatchRecipe& recipe, int step, int32_t operation, const Settings& s = {}) {
    BatchStep& st = recipe.steps[std::size_t(step)];
    st.operation = st.stored_operation = operation;
    st.values = step_values_from(s, operation);
}

// Saving into `folder` as BMP (filter 1).
void save_into(BatchRecipe& recipe, const std::string& folder) {
    set_step(recipe, kBatchSteps - 1, kStepSave);
    recipe.steps[kBatchSteps - 1].values[0] = 1;
    recipe.steps[kBatchSteps - 1].save_extension = ".BMP";
    recipe.steps[kBatchSteps - 1].save_folder = folder;
    recipe.folder_set = true;
}

ImageRecord flat(int v, int w = 8, int h = 6) {
    return test::make_image(w, h, [v](int c, int, int) { return v + 256 * c; });
}

class BatchDrop : public ::testing::Test {
  protected:
    std::string write_ppm(const std::string& name, const ImageRecord& r) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(write_pixmap(path, r, kPixmapBinary16).ok());
        return path;
    }
    std::string out(const std::string& name) const { return (dir.path() / "out" / name).string(); }
    void SetUp() override { std::filesystem::create_directory(dir.path() / "out"); }

    TempDir dir;
    std::unique_ptr<Workbench> wb = test::make_workbench();
    BatchCallbacks callbacks;
};

TEST_F(BatchDrop, SaveOnlyRecipeConvertsEveryDroppedFile) {
    save_into(wb->batch, (dir.path() / "out").string());
    const std::vector<std::string> files = {write_ppm("first.ppm", flat(0x1234)),
                                            write_ppm("second.v2.ppm", flat(0x5600))};
    std::vector<std::string> status;
    std::vector<std::pair<int, int>> progress;
    callbacks.status = [&](const std::string& s) { status.push_back(s); };
    callbacks.progress = [&](int n, int count) { progress.push_back({n, count}); };
    ASSERT_TRUE(batch_start_command(*wb, callbacks).ok());
    EXPECT_EQ(wb->batch.batch_mode, kBatchSingle);

    const auto run = batch_drop(*wb, files, callbacks);
    EXPECT_EQ(run.result.outcome, Outcome::done);
    EXPECT_TRUE(run.result.messages.empty());
    EXPECT_EQ(wb->batch.batch_mode, kBatchOff);
    EXPECT_EQ(occupied_count(wb->table), 0);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(status, (std::vector<std::string>{msg::kBatchDropPrompt, msg::kBatchRunning,
                                                msg::kBatchDropPrompt}));
    // Named after the source without its last extension; a BMP keeps the high bytes.
    for (const auto& [name, value] : {std::pair{"first.BMP", 0x1200}, {"second.v2.BMP", 0x5600}}) {
        ImageRecord saved;
        ASSERT_TRUE(read_bitmap(out(name), saved).ok()) << name;
        EXPECT_TRUE(test::same_pixels(saved, flat(value))) << name;
    }
}

TEST_F(BatchDrop, UnreadableFileEndsTheDropAfterTheEarlierFiles) {
    save_into(wb->batch, (dir.path() / "out").string());
    wb->batch.batch_mode = kBatchSingle;
    const std::vector<std::string> files = {write_ppm("a.ppm", flat(100)), dir.file("b.xyz"),
                                            write_ppm("c.ppm", flat(200))};
    const auto run = batch_drop(*wb, files, callbacks);
    EXPECT_EQ(run.result.outcome, Outcome::failed);
    ASSERT_EQ(run.result.messages.size(), 1u);
    EXPECT_EQ(run.result.messages[0].text,
              dir.file("b.xyz") + " : VORA64 not support this format !");
    EXPECT_TRUE(std::filesystem::exists(out("a.BMP")));
    EXPECT_FALSE(std::filesystem::exists(out("c.BMP")));
    EXPECT_EQ(wb->batch.batch_mode, kBatchOff);
}

TEST_F(BatchDrop, DecliningTheOverwriteKeepsTheOldFile) {
    save_into(wb->batch, (dir.path() / "out").string());
    test::write_file(out("a.BMP"), "old");
    std::string question;
    callbacks.confirm_overwrite = [&](const std::string& q) {
        question = q;
        return false;
    };
    wb->batch.batch_mode = kBatchSingle;
    const auto run = batch_drop(*wb, {write_ppm("a.ppm", flat(100))}, callbacks);
    EXPECT_TRUE(run.result.ok());
    EXPECT_EQ(test::read_file(out("a.BMP")), "old");
    EXPECT_EQ(question, "\"" + out("a.BMP") + "\" already exist.\n Do you overwrite file ?");
    ASSERT_EQ(run.result.messages.size(), 1u);
    EXPECT_EQ(run.result.messages[0].kind, MessageKind::notice);
    EXPECT_EQ(occupied_count(wb->table), 0);

    callbacks.confirm_overwrite = [](const std::string&) { return true; };
    wb->batch.batch_mode = kBatchSingle;
    batch_drop(*wb, {dir.file("a.ppm")}, callbacks);
    EXPECT_NE(test::read_file(out("a.BMP")), "old");
}

// Flat images stacked without moving them: each pass's average shows which files it took.
Settings still_composite() {
    Settings s;
    auto& m = s.multi_file_composite;
    m.compare_range = 0;
    m.min_shift = 0;
    m.normalize = 0;
    m.reject_mode = kRejectNone;
    return s;
}

TEST_F(BatchDrop, CompositeModeStacksFiveFilesThroughTwoGroups) {
    set_step(wb->batch, 0, kStepOpenComposite, still_composite());
    set_step(wb->batch, kBatchSteps - 1, kStepEnd);  // the result stays open
    wb->batch.timing = true;
    std::vector<int64_t> clock = {500, 1734};
    callbacks.clock = [&] {
        const int64_t t = clock.front();
        clock.erase(clock.begin());
        return t;
    };
    ASSERT_TRUE(batch_start_command(*wb, callbacks).ok());
    ASSERT_EQ(wb->batch.batch_mode, kBatchComposite);
    std::vector<std::string> files;
    for (int v : {1000, 2000, 4000, 8000, 16000})
        files.push_back(write_ppm(std::to_string(v) + ".ppm", flat(v)));

    const auto run = batch_drop(*wb, files, callbacks);
    ASSERT_TRUE(run.result.ok()) << run.result.messages[0].text;
    EXPECT_FALSE(run.pending);
    // Groups (0, 2, 4) and (1, 2, 3): 7000 and 4666, then (7000 + 4666) / 2.
    EXPECT_TRUE(test::same_pixels(wb->table.current(), flat(5833)));
    EXPECT_EQ(wb->table.current_slot, 5);
    EXPECT_EQ(wb->settings.multi_file_composite.compare_range, 20);  // live settings put back
    ASSERT_EQ(run.result.messages.size(), 1u);
    EXPECT_EQ(run.result.messages[0].text, "ファイル数：5 枚\n処理時間　：12.34 秒");
}

TEST_F(BatchDrop, CompositeModeTakesSixteenFilesAtMost) {
    set_step(wb->batch, 0, kStepOpenComposite, still_composite());
    set_step(wb->batch, kBatchSteps - 1, kStepEnd);
    wb->batch.batch_mode = kBatchComposite;
    const std::vector<std::string> files(17, write_ppm("f.ppm", flat(3000)));
    const auto run = batch_drop(*wb, files, callbacks);
    ASSERT_FALSE(run.result.messages.empty());
    EXPECT_EQ(run.result.messages[0].text, msg::kBatchTooManyFiles);
    EXPECT_EQ(occupied_count(wb->table), 17);  // sixteen files and their composite
    EXPECT_TRUE(test::same_pixels(wb->table.current(), flat(3000)));
}

// Two bright, well separated stars of the synthetic field inside a w × h image, display
// coordinates.
std::array<PickedPoint, 2> two_stars(int w, int h) {
    std::vector<test::Star> inside;
    for (const test::Star& s : test::field_stars())
        if (s.x > 20 && s.x < w - 20 && s.y > 20 && s.y < h - 20) inside.push_back(s);
    std::sort(inside.begin(), inside.end(),
              [](const test::Star& a, const test::Star& b) { return a.peak > b.peak; });
    const test::Star a = inside.at(0);
    for (const test::Star& b : inside)
        if (std::hypot(b.x - a.x, b.y - a.y) > 30)
            return {PickedPoint{int(std::lround(a.x)), h - 1 - int(std::lround(a.y))},
                    PickedPoint{int(std::lround(b.x)), h - 1 - int(std::lround(b.y))}};
    return {};
}

TEST_F(BatchDrop, RotationMethodWaitsForStarsThenResumes) {
    Settings s = still_composite();
    s.multi_file_composite.compare_method = kCompareRotation;
    s.composite.rotation_size = 16;
    set_step(wb->batch, 0, kStepOpenComposite, s);
    save_into(wb->batch, (dir.path() / "out").string());
    wb->batch.batch_mode = kBatchComposite;
    const auto run = batch_drop(*wb,
                                {write_ppm("a.ppm", test::star_image({0, 0}, 160, 120)),
                                 write_ppm("b.ppm", test::star_image({3, -2}, 160, 120))},
                                callbacks);
    ASSERT_TRUE(run.pending);
    EXPECT_EQ(run.pending->slots, (std::vector<int>{0, 1}));
    EXPECT_EQ(wb->batch.batch_mode, kBatchComposite);
    EXPECT_EQ(wb->table.current_slot, 0);
    EXPECT_EQ(wb->star_pick.star_pick_mode, kStarPickFirst);
    EXPECT_EQ(wb->star_pick.origin, StarPickOrigin::batch);
    EXPECT_EQ(wb->star_pick.box_size, 16);
    EXPECT_FALSE(std::filesystem::exists(out("b.BMP")));

    wb->star_pick.points = two_stars(160, 120);
    wb->star_pick.star_pick_mode = kStarPickIdle;
    const auto resumed = resume_batch_after_pick(*wb, *run.pending, callbacks);
    ASSERT_TRUE(resumed.result.ok()) << resumed.result.messages.at(0).text;
    EXPECT_TRUE(std::filesystem::exists(out("b.BMP")));  // the steps after it ran
    EXPECT_EQ(occupied_count(wb->table), 0);
    EXPECT_EQ(wb->batch.batch_mode, kBatchOff);
    // Stopped, a pick started by the batch ends and nothing resumes.
    wb->batch.batch_mode = kBatchComposite;
    wb->star_pick.star_pick_mode = kStarPickSecond;
    batch_stop_command(*wb);
    EXPECT_EQ(wb->batch.batch_mode, kBatchOff);
    EXPECT_EQ(wb->star_pick.star_pick_mode, kStarPickIdle);
    EXPECT_EQ(resume_batch_after_pick(*wb, *run.pending, callbacks).result.outcome,
              Outcome::skipped);
}

TEST(BatchTimingMessage, TruncatesToHundredths) {
    EXPECT_EQ(batch_timing_message(3, 1234), "ファイル数：3 枚\n処理時間　：12.34 秒");
    EXPECT_EQ(batch_timing_message(1, 5), "ファイル数：1 枚\n処理時間　：0.05 秒");
    EXPECT_EQ(batch_timing_message(1, -7), "ファイル数：1 枚\n処理時間　：0.00 秒");
}

// Each operation step against its interactive command (menu number) with the same settings.
struct StepCase {
    int32_t operation;
    int command;
    void (*settings)(Settings&);
};

const StepCase kStepCases[] = {
    {kStepCut, 213, [](Settings& s) { s.cut = {1, 20, 14, 1, 0, 0, 150}; }},
    {kStepBackground, 3071, [](Settings& s) { s.background_generation = {16, 4, 2, 40, 1, 0}; }},
    {kStepSharpen, 301, [](Settings& s) { s.sharp.sharp_strength = 30; }},
    {kStepEdge, 303, [](Settings& s) { s.edge.edge_strength = 30; }},
    {kStepWavelet, 316, [](Settings& s) { s.wavelet.gain = {10, 10, 15, 20, 30, 50}; }},
    {kStepRestore, 317, [](Settings& s) { s.restore.iterations = 2; }},
    {kStepRotate, 305, [](Settings& s) { s.rotate.rotate_mode = 0; }},
    {kStepDistortion, 330, [](Settings& s) { s.distortion.corner_shift = 3; }},
    {kStepGamma, 311, [](Settings& s) { s.gamma.channel = kToneGreen; }},
    {kStepLevel, 318, [](Settings& s) { s.level.sets[0] = {20, 200, 5, 10, 150, 10, 240}; }},
    {kStepColor, 314,
     [](Settings& s) {
         s.color = {150, 200};
     }},
    {kStepNoise, 777, [](Settings& s) { s.noise.noise_strength = 1; }},
    {kStepDynamicRange, 315, [](Settings& s) { s.dynamic_range.strength = 8; }},
};

// A grey image unless `colour` (saturation and hue leave grey images alone).
ImageRecord noisy_picture(int w, int h, bool colour) {
    ImageRecord r = test::make_image(w, h, [](int, int, int) { return 0; });
    for (int c = 0; c < 3; ++c)
        r.plane(c) = test::random_plane(w, h, 7u + unsigned(c), 2000, 60000);
    r.mono = colour ? 0 : 1;
    return r;
}

TEST(BatchRunSteps, EachOperationStepGivesTheInteractiveCommandsPixels) {
    for (const StepCase& c : kStepCases) {
        SCOPED_TRACE(c.operation);
        Settings chosen;
        c.settings(chosen);
        for (const auto& [w, h] : {std::pair{40, 30}, std::pair{1, 1}}) {
            const ImageRecord input = noisy_picture(w, h, c.operation == kStepColor);
            // Interactive: the chosen settings live, bands forced onto one thread.
            auto reference = test::make_workbench();
            reference->settings = chosen;
            reference->table[0] = input;
            reference->table.current_slot = 0;
            {
                SerialBandsScope serial;
                ASSERT_NE(find_command(c.command), nullptr);
                find_command(c.command)->run(*reference);
            }
            // Batch: the chosen settings only in the step, the live ones stay the defaults.
            auto batch = test::make_workbench();
            set_step(batch->batch, 2, c.operation, chosen);
            set_step(batch->batch, kBatchSteps - 1, kStepEnd);
            batch->table[0] = input;
            const auto run = run_batch(*batch, 1, "/x/pic.ppm", {});
            EXPECT_TRUE(run.result.ok());
            EXPECT_EQ(batch->table.current_slot, reference->table.current_slot);
            if (!reference->table.has_current_image()) continue;  // 1 × 1 may be refused
            const ImageRecord& expected = reference->table.current();
            if (w > 1) {
                EXPECT_FALSE(test::same_pixels(expected, input)) << "the step does something";
            }
            EXPECT_TRUE(test::same_pixels(batch->table.current(), expected));
            EXPECT_EQ(batch->table.current().mono, expected.mono);
            EXPECT_EQ(step_values_from(batch->settings, c.operation),
                      step_values_from(Settings{}, c.operation));
        }
    }
}

TEST(BatchRunSteps, UnknownStepNumbersAndEmptyTablesDoNothing) {
    auto wb = test::make_workbench();
    EXPECT_EQ(run_batch(*wb, 0, "a.ppm", {}).result.outcome, Outcome::skipped);
    wb->batch.steps[1].operation = 99;
    wb->batch.steps[2].operation = -4;
    wb->batch.steps[kBatchSteps - 1].operation = kStepEnd;
    wb->table[0] = flat(5);
    EXPECT_TRUE(run_batch(*wb, 1, "a.ppm", {}).result.ok());
    EXPECT_TRUE(test::same_pixels(wb->table[0], flat(5)));
    EXPECT_EQ(batch_drop(*wb, {"a.ppm"}, {}).result.outcome, Outcome::skipped);  // mode off
}

TEST(BatchStart, RefusedWithoutAFolderAndClosesImagesUntilCancel) {
    auto wb = test::make_workbench();
    wb->batch.batch_mode = kBatchSingle;
    const CommandResult refused = batch_start_command(*wb, {});
    EXPECT_EQ(refused.outcome, Outcome::failed);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_EQ(refused.messages[0].text, "バッチ処理の設定が行われていません！");
    EXPECT_EQ(wb->batch.batch_mode, kBatchOff);

    wb->batch.folder_set = true;
    for (int slot : {0, 1, 2}) wb->table[slot] = flat(slot);
    wb->table[1].changed = 1;
    std::vector<int> asked;
    BatchCallbacks callbacks;
    callbacks.save_on_close = [&](int slot) {
        asked.push_back(slot);
        return SaveAnswer::cancel;
    };
    EXPECT_TRUE(batch_start_command(*wb, callbacks).ok());
    EXPECT_EQ(wb->batch.batch_mode, kBatchSingle);
    EXPECT_EQ(asked, std::vector<int>{1});
    EXPECT_FALSE(wb->table[0].occupied());
    EXPECT_TRUE(wb->table[1].occupied() && wb->table[2].occupied());

    callbacks.save_on_close = [](int) { return SaveAnswer::no; };
    batch_start_command(*wb, callbacks);
    EXPECT_EQ(occupied_count(wb->table), 0);
}

}  // namespace
}  // namespace vora
