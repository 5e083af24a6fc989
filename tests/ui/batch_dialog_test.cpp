#include "ui/batch_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/batch_file.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_workbench;
using test::read_file;
using test::TempDir;
using test::write_file;

TEST(BatchDialog, NamesAndChoices) {
    // Every name leads back to its own number (no two alike), and a few as the menus show them.
    for (int32_t n = 0; n < kStepOperationCount; ++n)
        EXPECT_EQ(step_operation_number(step_operation_name(n)), n);
    EXPECT_EQ(step_operation_name(0), " ");
    EXPECT_EQ(step_operation_name(2), "ファイル開く&画像合成");
    EXPECT_EQ(step_operation_name(17), "終了");
    EXPECT_EQ(step_operation_name(18), "");
    EXPECT_EQ(step_operation_name(-1), "");
    EXPECT_EQ(step_operation_number("回転 "), -1);
    EXPECT_EQ(step_operation_number(""), -1);

    EXPECT_EQ(step_choices(0), (std::vector<int32_t>{1, 2}));
    for (int s = 1; s <= 6; ++s)
        EXPECT_EQ(step_choices(s),
                  (std::vector<int32_t>{0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(step_choice_names(7), (std::vector<std::string>{"ファイル保存", "終了"}));
    EXPECT_TRUE(step_choices(8).empty());
    EXPECT_TRUE(step_choices(-1).empty());

    BatchRecipe r;
    std::array<std::string, kBatchSteps> texts{
        "ファイル開く&画像合成", "回転", "終了", " ", "", "ガンマ補正", "ウェーブレット", "終了"};
    r.steps[3].operation = kStepColor;
    r.steps[4].operation = kStepNoise;
    set_steps_from_texts(r, texts);
    const int32_t expected[] = {2, 10, 0, 0, 15, 12, 8, 17};  // "終了" is not offered by step 3
    for (int i = 0; i < kBatchSteps; ++i) EXPECT_EQ(r.steps[std::size_t(i)].operation, expected[i]);
}

TEST(BatchDialog, DetailsByStepNumber) {
    BatchRecipe r;
    StepDetails d = step_details(r, 0);
    EXPECT_EQ(d.action, DetailsAction::message);
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(message_title(d.messages[0].kind), std::string("Message !"));
    EXPECT_EQ(d.messages[0].text,
              "詳細設定は不要です。\nファイルをドラッグアンドドロップすると\n"
              "１枚ずつバッチ処理が実行されます。");

    r.steps[0].operation = kStepOpenComposite;
    d = step_details(r, 0);
    EXPECT_EQ(d.action, DetailsAction::dialog);
    EXPECT_EQ(d.dialog_template, "COMPOMUL");
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].text,
              "複数のファイルをドラッグアンドドロップすると\nそれらを合成してからバッチ処理が"
              "実行されます。\nコンポジットの設定のみ行って下さい。");

    EXPECT_EQ(step_details(r, 7).action, DetailsAction::save_dialog);
    r.steps[7].save_folder = "/out";
    r.steps[7].save_extension = ".TIF";
    d = step_details(r, 7);
    EXPECT_EQ(d.action, DetailsAction::confirm_save);
    EXPECT_EQ(d.question,
              "現在の設定は下記の通りです。これでよろしいですか？\n  フォルダー：/out\n"
              "  フォーマット：.TIF");

    const char* templates[] = {"CUT",     "MAKEBG", "SHARP",    "EDGE",  "WAVELET",
                               "RESTORE", "ROUND",  "WAIKYOKU", "GAMMA", "LEVEL",
                               "COLORUP", "LV",     "HDR"};
    for (int32_t n = 4; n <= 16; ++n) {
        r.steps[1].operation = n;
        d = step_details(r, 1);
        EXPECT_EQ(d.action, DetailsAction::dialog);
        EXPECT_EQ(d.dialog_template, templates[n - 4]);
        EXPECT_TRUE(d.messages.empty());
    }
    r.steps[1].operation = kStepNothing;
    r.steps[7].operation = kStepEnd;
    EXPECT_EQ(step_details(r, 1).action, DetailsAction::none);
    EXPECT_EQ(step_details(r, 7).action, DetailsAction::none);
    EXPECT_EQ(step_details(r, 9).action, DetailsAction::none);
}

TEST(BatchDialog, SaveChoiceSetsFolderExtensionAndType) {
    BatchRecipe r;
    Message problem{MessageKind::error, ""};
    for (const char* path : {"", "name.png", "/some/dir/"}) {
        EXPECT_FALSE(apply_save_choice(r, 7, {true, path, 2}, problem));
        EXPECT_EQ(problem.text,
                  "正しく設定できていません。仮のファイル名を入力し、保存ボタンを押して下さい。");
    }
    EXPECT_FALSE(r.folder_set);
    EXPECT_TRUE(r.steps[7].save_folder.empty());
    ASSERT_TRUE(apply_save_choice(r, 7, {true, "/home/u/my out/x.png", 2}, problem));
    EXPECT_EQ(r.steps[7].save_folder, "/home/u/my out");
    EXPECT_EQ(r.steps[7].save_extension, ".PNG");
    EXPECT_EQ(r.steps[7].values[0], 2);
    EXPECT_EQ(r.steps[7].stored_operation, kStepSave);
    EXPECT_TRUE(r.folder_set);
    ASSERT_TRUE(apply_save_choice(r, 7, {true, "/x.ppm", 99}, problem));
    EXPECT_EQ(r.steps[7].save_folder, "/");
    EXPECT_EQ(r.steps[7].values[0], 7);
    EXPECT_EQ(r.steps[7].save_extension, ".PPM");
}

TEST(BatchDialog, SaveStepAsksAgainUntilAFolderIsChosen) {
    auto wb = make_workbench();
    std::vector<SaveChoice> answers{{true, "", 1}, {true, "/data/a.jpg", 3}};
    std::size_t shown = 0;
    std::vector<std::string> notices;
    auto dialog = [&] { return answers[shown++]; };
    auto notify = [&](const Message& m) { notices.push_back(m.text); };
    EXPECT_TRUE(edit_save_step(*wb, 7, {}, dialog, notify));
    EXPECT_EQ(shown, 2u);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(wb->batch.steps[7].save_folder, "/data");
    EXPECT_EQ(wb->batch.steps[7].values[0], 3);  // kept through load and store

    // Set: the question comes first; OK keeps the settings without a dialog.
    std::vector<std::string> asked;
    auto ok = [&](const std::string& q) {
        asked.push_back(q);
        return true;
    };
    EXPECT_TRUE(edit_save_step(*wb, 7, ok, dialog, notify));
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(shown, 2u);
    // Cancel on the question, then on the dialog: nothing changes.
    auto cancel_dialog = [&] {
        ++shown;
        return SaveChoice{};
    };
    EXPECT_FALSE(edit_save_step(
        *wb, 7, [](const std::string&) { return false; }, cancel_dialog, notify));
    EXPECT_EQ(shown, 3u);
    EXPECT_EQ(wb->batch.steps[7].save_folder, "/data");
    EXPECT_EQ(wb->batch.steps[7].values[0], 3);
}

TEST(BatchDialog, BackgroundDetailsInsistOnACorrection) {
    auto wb = make_workbench();
    wb->batch.steps[2].operation = kStepBackground;
    wb->settings.background_generation.shift = 44;
    int shown = 0;
    std::vector<std::string> notices;
    auto dialog = [&] {
        wb->settings.background_generation.correction = shown++ == 0 ? 0 : 2;
        wb->settings.background_generation.shift = 12;
        return true;
    };
    EXPECT_TRUE(
        edit_step_details(*wb, 2, dialog, [&](const Message& m) { notices.push_back(m.text); }));
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0],
              "バッチモードでは、バックグランド補正は\n乗算補正か引算補正を選択下さい！");
    EXPECT_EQ(wb->batch.steps[2].stored_operation, kStepBackground);
    EXPECT_EQ(wb->batch.steps[2].values[2], 2);
    EXPECT_EQ(wb->batch.steps[2].values[3], 12);
    EXPECT_EQ(wb->settings.background_generation.correction, 0);  // live settings back
    EXPECT_EQ(wb->settings.background_generation.shift, 44);
    // Cancel ends the details even without a correction.
    EXPECT_FALSE(edit_step_details(*wb, 2, [] { return false; }));
    EXPECT_FALSE(edit_step_details(*wb, 8, [] { return true; }));
}

TEST(BatchDialog, OkNeedsAFolderUnlessTheLastStepEnds) {
    auto wb = make_workbench();
    wb->batch.steps[1].operation = kStepSharpen;
    wb->settings.sharp.radius = 6;
    CommandResult res = batch_dialog_ok(*wb);
    EXPECT_EQ(res.outcome, Outcome::failed);
    ASSERT_EQ(res.messages.size(), 1u);
    EXPECT_EQ(message_title(res.messages[0].kind), std::string("Message !"));
    EXPECT_EQ(res.messages[0].text,
              "8.ファイル保存の詳細設定を押し、\n保存するフォルダーを設定下さい！");
    EXPECT_NE(wb->batch.steps[1].stored_operation, kStepSharpen);

    wb->batch.steps[7].operation = kStepEnd;
    EXPECT_TRUE(batch_dialog_ok(*wb).messages.empty());
    for (const BatchStep& s : wb->batch.steps) EXPECT_EQ(s.stored_operation, s.operation);
    EXPECT_EQ(wb->batch.steps[1].values[3], 6);

    wb->batch.batch_mode = kBatchOff;
    after_batch_dialog(wb->batch);
    EXPECT_EQ(wb->batch.batch_mode, kBatchOff);
    wb->batch.steps[0].operation = kStepOpenComposite;
    wb->batch.batch_mode = kBatchSingle;
    after_batch_dialog(wb->batch);
    EXPECT_EQ(wb->batch.batch_mode, kBatchComposite);
}

TEST(BatchDialog, BatchFileCommands) {
    TempDir dir;
    auto wb = make_workbench();
    wb->batch.steps[0].operation = kStepOpenComposite;
    wb->batch.steps[7].save_folder = "/a b";
    CommandResult res = save_batch_file_command(*wb, "", {});
    ASSERT_EQ(res.messages.size(), 1u);
    EXPECT_EQ(res.messages[0].text, "Error:設定を保存できませんでした！");
    const std::string base = (dir.path() / "r").string();
    EXPECT_TRUE(save_batch_file_command(*wb, base, {}).ok());
    const std::string path = base + ".vrb";
    const std::string saved = read_file(path);
    wb->batch.steps[7].save_folder = "/c";
    int asked = 0;
    res = save_batch_file_command(*wb, path, [&](const std::string&) { return ++asked, false; });
    EXPECT_EQ(res.outcome, Outcome::skipped);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(read_file(path), saved);

    auto other = make_workbench();
    int closed = 0;
    auto close = [&](Workbench&) { ++closed; };
    res = open_batch_file_command(*other, "", close);
    EXPECT_EQ(res.messages.at(0).text, "Error:設定を読み込めませんでした！");
    write_file((dir.path() / "bad.vrb").string(), "1 2 3");
    res = open_batch_file_command(*other, (dir.path() / "bad.vrb").string(), close);
    EXPECT_EQ(res.outcome, Outcome::failed);
    EXPECT_EQ(other->batch.steps[0].operation, kStepOpen);
    EXPECT_FALSE(other->batch.folder_set);
    EXPECT_EQ(closed, 0);

    res = open_batch_file_command(*other, path, close);
    EXPECT_TRUE(res.ok());
    ASSERT_EQ(res.messages.size(), 1u);
    EXPECT_EQ(res.messages[0].text, "ファイルを保存するフォルダーを確認下さい！");
    EXPECT_EQ(other->batch.steps[7].save_folder, "/a b");
    EXPECT_TRUE(other->batch.folder_set);
    EXPECT_EQ(other->batch.batch_mode, kBatchComposite);
    EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace vora
