#include "settings/settings_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::read_file;
using test::TempDir;
using test::write_file;

// Records the questions asked and gives a fixed answer.
struct Answerer {
    explicit Answerer(bool a) : answer(a) {}
    bool answer;
    std::vector<std::string> asked;
    ConfirmQuestion fn() {
        return [this](const std::string& q) {
            asked.push_back(q);
            return answer;
        };
    }
};

std::string default_text() { return settings_text(Settings{}); }

// A workbench with one image and settings away from their defaults.
std::unique_ptr<Workbench> busy_workbench() {
    auto wb = make_workbench();
    wb->table[5] = make_image(3, 3, [](int c, int x, int y) { return c + x + y; });
    wb->table.current_slot = 5;
    wb->settings.resize.resize_method = 3;
    wb->settings.raw.gamma[0] = 1.8;
    wb->settings.sharp.use_b = 0;
    wb->settings.background.pseudo_shift = 7;
    wb->settings.background_generation.shift = 44;
    return wb;
}

// ---- 133 initialise ----

TEST(SettingsCommands, InitialiseAsksFirstAndCancelChangesNothing) {
    auto wb = busy_workbench();
    const std::string before = settings_text(wb->settings);
    Answerer cancel{false};
    const CommandResult r = initialise_settings_command(*wb, cancel.fn());
    EXPECT_EQ(r.outcome, Outcome::skipped);
    EXPECT_TRUE(r.messages.empty());
    ASSERT_EQ(cancel.asked.size(), 1u);
    EXPECT_EQ(cancel.asked[0], "全設定を初期化しますが、良いですか？");
    EXPECT_EQ(settings_text(wb->settings), before);
    EXPECT_EQ(wb->settings.sharp.use_b, 0);
}

TEST(SettingsCommands, InitialiseResetsEverySettingAndKeepsTheImages) {
    auto wb = busy_workbench();
    Answerer ok{true};
    const CommandResult r = initialise_settings_command(*wb, ok.fn());
    EXPECT_EQ(r.outcome, Outcome::done);
    EXPECT_EQ(settings_text(wb->settings), default_text());
    EXPECT_EQ(wb->settings.sharp.use_b, 1);
    // The pseudo shift takes the (reset) background generation shift.
    EXPECT_EQ(wb->settings.background.pseudo_shift, 30);
    EXPECT_TRUE(wb->table[5].occupied());
    EXPECT_EQ(wb->table.current_slot, 5);
}

// ---- 134 save ----

TEST(SettingsCommands, SaveNoticeNamesTheProgramAndTheStartUpFile) {
    const Message m = save_settings_notice();
    EXPECT_EQ(m.kind, MessageKind::notice);
    EXPECT_EQ(m.text,
              "全設定を保存します。\n\n"
              "VORA64をインストールしたフォルダーに\n"
              "\"vora.vrs\"の名前で保存すると、\n"
              "次回起動時に自動的に読み込まれます！");
}

TEST(SettingsCommands, SaveCancelledShowsTheError) {
    auto wb = busy_workbench();
    Answerer ok{true};
    const CommandResult r = save_settings_command(*wb, "", ok.fn());
    EXPECT_EQ(r.outcome, Outcome::failed);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].kind, MessageKind::error);
    EXPECT_EQ(r.messages[0].text, "Error:設定を保存できませんでした！");
    EXPECT_TRUE(ok.asked.empty());
}

TEST(SettingsCommands, SaveAppendsVrsAndWritesTheSettings) {
    TempDir dir;
    auto wb = busy_workbench();
    const std::pair<std::string, std::string> cases[] = {
        {"test", "test.vrs"}, {"mine.vrs", "mine.vrs"}, {"test.VRS", "test.VRS.vrs"}};
    for (const auto& [chosen, written] : cases) {
        Answerer ok{true};
        const CommandResult r = save_settings_command(*wb, dir.file(chosen), ok.fn());
        EXPECT_EQ(r.outcome, Outcome::done) << chosen;
        EXPECT_TRUE(r.messages.empty());
        EXPECT_TRUE(ok.asked.empty()) << "no question for a new file";
        EXPECT_EQ(read_file(dir.file(written)), settings_text(wb->settings)) << written;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("test")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("mine.vrs.vrs")));
}

TEST(SettingsCommands, SaveOverAnExistingFileOnlyAfterOk) {
    TempDir dir;
    auto wb = busy_workbench();
    const std::string path = dir.file("old.vrs");
    write_file(path, "resize 0 0\n");

    Answerer cancel{false};
    CommandResult r = save_settings_command(*wb, dir.file("old"), cancel.fn());
    EXPECT_EQ(r.outcome, Outcome::skipped);
    EXPECT_TRUE(r.messages.empty());  // Cancel ends silently
    ASSERT_EQ(cancel.asked.size(), 1u);
    EXPECT_EQ(cancel.asked[0], "\"" + path + "\" already exist.\n Do you overwrite file ?");
    EXPECT_EQ(read_file(path), "resize 0 0\n");

    Answerer ok{true};
    r = save_settings_command(*wb, path, ok.fn());
    EXPECT_EQ(r.outcome, Outcome::done);
    EXPECT_EQ(ok.asked.size(), 1u);
    EXPECT_EQ(read_file(path), settings_text(wb->settings));
}

TEST(SettingsCommands, SaveThatCannotWriteFailsWithoutAMessage) {
    TempDir dir;
    auto wb = busy_workbench();
    Answerer ok{true};
    const CommandResult r = save_settings_command(*wb, dir.file("missing/x"), ok.fn());
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_TRUE(r.messages.empty());
}

// ---- 135 load ----

TEST(SettingsCommands, LoadCancelledShowsTheError) {
    auto wb = busy_workbench();
    const std::string before = settings_text(wb->settings);
    const CommandResult r = load_settings_command(*wb, "");
    EXPECT_EQ(r.outcome, Outcome::failed);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].kind, MessageKind::error);
    EXPECT_EQ(r.messages[0].text, "Error:設定を読み込めませんでした！");
    EXPECT_EQ(settings_text(wb->settings), before);
}

TEST(SettingsCommands, LoadReadsTheChosenFileAndLeavesImagesAlone) {
    TempDir dir;
    auto wb = busy_workbench();
    // Loading takes the name as chosen: no ".vrs" is appended.
    write_file(dir.file("plain"), "noise 3 10 5\nresize 0 2\n");
    const CommandResult r = load_settings_command(*wb, dir.file("plain"));
    EXPECT_EQ(r.outcome, Outcome::done);
    EXPECT_EQ(wb->settings.noise.noise_area, 3);
    EXPECT_EQ(wb->settings.noise.noise_strength, 5);
    EXPECT_EQ(wb->settings.resize.keep_aspect, 0);
    EXPECT_EQ(wb->settings.resize.resize_method, 2);
    EXPECT_EQ(wb->settings.raw.gamma[0], 1.8);  // not in the file: kept
    EXPECT_TRUE(wb->table[5].occupied());
    EXPECT_EQ(wb->table.current_slot, 5);
}

TEST(SettingsCommands, LoadOfAnUnreadableFileFailsWithoutAMessage) {
    TempDir dir;
    auto wb = busy_workbench();
    const std::string before = settings_text(wb->settings);
    for (const std::string& path : {dir.file("missing.vrs"), dir.path().string()}) {
        const CommandResult r = load_settings_command(*wb, path);
        EXPECT_EQ(r.outcome, Outcome::failed) << path;
        EXPECT_TRUE(r.messages.empty()) << path;
        EXPECT_EQ(settings_text(wb->settings), before) << path;
    }
}

// ---- start-up ----

TEST(SettingsStartup, ReadsVoraVrsFromTheFolderWhenThere) {
    TempDir dir;
    write_file(dir.file("vora.vrs"), "hdr 16 64 9\n");
    auto wb = make_workbench();
    reset_settings(*wb, 0);
    EXPECT_TRUE(read_startup_settings(*wb, dir.path().string()));
    EXPECT_EQ(wb->settings.dynamic_range.radius, 16);
    EXPECT_EQ(wb->settings.dynamic_range.tone_difference, 64);
    EXPECT_EQ(wb->settings.dynamic_range.strength, 9);
}

TEST(SettingsStartup, WithoutVoraVrsTheSettingsStay) {
    TempDir dir;
    write_file(dir.file("VORA.VRS"), "hdr 16 64 9\n");  // names are case-sensitive here
    write_file(dir.file("other.vrs"), "hdr 16 64 9\n");
    std::filesystem::create_directory(dir.path() / "sub");
    write_file((dir.path() / "sub" / "vora.vrs").string(), "hdr 16 64 9\n");
    auto wb = make_workbench();
    reset_settings(*wb, 0);
    EXPECT_FALSE(read_startup_settings(*wb, dir.path().string()));
    EXPECT_FALSE(read_startup_settings(*wb, dir.file("nowhere")));
    EXPECT_EQ(settings_text(wb->settings), default_text());
}

TEST(SettingsStartup, AFolderNamedVoraVrsIsIgnored) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "vora.vrs");
    auto wb = make_workbench();
    EXPECT_FALSE(read_startup_settings(*wb, dir.path().string()));
    EXPECT_EQ(settings_text(wb->settings), default_text());
}

}  // namespace
}  // namespace vora
