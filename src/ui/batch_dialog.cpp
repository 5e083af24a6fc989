#include "ui/batch_dialog.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "io/open_save.h"
#include "settings/batch_file.h"
#include "settings/batch_steps.h"

namespace vora {
namespace {

constexpr std::array<std::string_view, kStepOperationCount> kStepNames{
    " ",
    "ファイル開く(１枚)",
    "ファイル開く&画像合成",
    "ファイル保存",
    "切り出しとサイズ変更",
    "バックグランド補正",
    "シャープ/スムーズ",
    "エッジ強調",
    "ウェーブレット",
    "ボケ補正",
    "回転",
    "歪曲収差補正",
    "ガンマ補正",
    "レベル補正",
    "彩度/色相調整",
    "ノイズ除去",
    "ダイナミックレンジ補正",
    "終了",
};

// Details dialogs of operations 4..16 in order.
constexpr std::array<std::string_view, 13> kOperationTemplates{
    "CUT",      "MAKEBG", "SHARP", "EDGE",    "WAVELET", "RESTORE", "ROUND",
    "WAIKYOKU", "GAMMA",  "LEVEL", "COLORUP", "LV",      "HDR",
};

bool valid_step(int step) {
    return step >= 0 && step < kBatchSteps;
}

Message notice(const char* text) {
    return {MessageKind::notice, text};
}

bool path_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// The folder of a chosen path: up to its last '/', "/" for the root; empty when the path
// names no folder or no file.
std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool save_settings_set(const BatchStep& st) {
    return !st.save_folder.empty() && !st.save_extension.empty();
}

}  // namespace

std::string_view step_operation_name(int32_t number) {
    if (number < 0 || number >= kStepOperationCount) return {};
    return kStepNames[std::size_t(number)];
}

int32_t step_operation_number(std::string_view name) {
    const auto it = std::find(kStepNames.begin(), kStepNames.end(), name);
    return it == kStepNames.end() ? -1 : int32_t(it - kStepNames.begin());
}

std::vector<int32_t> step_choices(int step) {
    std::vector<int32_t> out;
    for (int32_t n = 0; n < kStepOperationCount; ++n)
        if (step_offers(step, n)) out.push_back(n);
    return out;
}

std::vector<std::string> step_choice_names(int step) {
    std::vector<std::string> out;
    for (const int32_t n : step_choices(step)) out.emplace_back(step_operation_name(n));
    return out;
}

void set_steps_from_texts(BatchRecipe& recipe, const std::array<std::string, kBatchSteps>& texts) {
    for (int i = 0; i < kBatchSteps; ++i) {
        const int32_t n = step_operation_number(texts[std::size_t(i)]);
        if (step_offers(i, n)) recipe.steps[std::size_t(i)].operation = n;
    }
}

std::string_view step_dialog_template(int32_t number) {
    if (number == kStepOpenComposite) return "COMPOMUL";
    if (number < kStepCut || number > kStepDynamicRange) return {};
    return kOperationTemplates[std::size_t(number - kStepCut)];
}

StepDetails step_details(const BatchRecipe& recipe, int step) {
    StepDetails d;
    if (!valid_step(step)) return d;
    const BatchStep& st = recipe.steps[std::size_t(step)];
    switch (st.operation) {
        case kStepOpen:
            d.action = DetailsAction::message;
            d.messages.push_back(notice(msg::kBatchOpenNeedsNoDetails));
            break;
        case kStepSave:
            if (save_settings_set(st)) {
                d.action = DetailsAction::confirm_save;
                d.question = format_message(msg::kBatchSaveSettingsQuestion, st.save_folder,
                                            st.save_extension);
            } else {
                d.action = DetailsAction::save_dialog;
            }
            break;
        default:
            d.dialog_template = step_dialog_template(st.operation);
            if (d.dialog_template.empty()) break;
            d.action = DetailsAction::dialog;
            if (st.operation == kStepOpenComposite)
                d.messages.push_back(notice(msg::kBatchCompositeDetails));
            break;
    }
    return d;
}

bool background_step_needs_correction(const Settings& s) {
    return s.background_generation.correction == 0;
}

bool edit_step_details(Workbench& wb, int step, const std::function<bool()>& dialog,
                       const NotifyFn& notify) {
    if (!valid_step(step)) return false;
    const int32_t op = wb.batch.steps[std::size_t(step)].operation;
    load_step_settings(wb.batch, wb.settings, op, step);
    bool ok = true;
    if (dialog) {
        ok = dialog();
        while (ok && op == kStepBackground && background_step_needs_correction(wb.settings)) {
            if (notify) notify(notice(msg::kBatchBackgroundNeedsCorrection));
            ok = dialog();
        }
    }
    store_step_settings(wb.batch, wb.settings, op, step);
    return ok;
}

bool apply_save_choice(BatchRecipe& recipe, int step, const SaveChoice& choice, Message& problem) {
    if (!valid_step(step)) return false;
    const std::string folder = folder_of(choice.path);
    if (folder.empty()) {
        problem = notice(msg::kBatchSaveFolderNotChosen);
        return false;
    }
    BatchStep& st = recipe.steps[std::size_t(step)];
    const int index = std::clamp(choice.filter_index, 1, int(kSaveFilterCount));
    if (st.stored_operation != kStepSave) st.values = {};
    st.stored_operation = kStepSave;
    st.values[0] = index;
    st.save_extension = default_extension(index);
    st.save_folder = folder;
    recipe.folder_set = true;
    return true;
}

bool edit_save_step(Workbench& wb, int step, const AskFn& ask,
                    const std::function<SaveChoice()>& save_dialog, const NotifyFn& notify) {
    const StepDetails d = step_details(wb.batch, step);
    if (d.action == DetailsAction::confirm_save && ask && ask(d.question)) {
        wb.batch.folder_set = true;
        return true;
    }
    if (d.action != DetailsAction::confirm_save && d.action != DetailsAction::save_dialog)
        return false;
    if (!save_dialog) return false;
    // The save step keeps no live settings; the dialog's answer goes straight to the step.
    bool set = false;
    edit_step_details(wb, step, [&] {
        for (;;) {
            const SaveChoice choice = save_dialog();
            if (!choice.confirmed) return false;
            Message problem;
            if (apply_save_choice(wb.batch, step, choice, problem)) return set = true;
            if (notify) notify(problem);
        }
    });
    return set;
}

CommandResult batch_dialog_ok(Workbench& wb) {
    BatchRecipe& r = wb.batch;
    if (r.steps[kBatchSteps - 1].operation != kStepEnd && !r.folder_set)
        return {Outcome::failed, {notice(msg::kBatchNoSaveFolder)}};
    for (int i = 0; i < kBatchSteps; ++i) {
        const int32_t op = r.steps[std::size_t(i)].operation;
        load_step_settings(r, wb.settings, op, i);
        store_step_settings(r, wb.settings, op, i);
    }
    return {};
}

void after_batch_dialog(BatchRecipe& recipe) {
    if (recipe.batch_mode != kBatchOff) recipe.batch_mode = recipe.steps[0].operation;
}

CommandResult open_batch_file_command(Workbench& wb, const std::string& chosen_path,
                                      const CloseImagesFn& close_images) {
    if (chosen_path.empty() || !load_batch_file(wb.batch, chosen_path).ok())
        return CommandResult::fail(msg::kBatchFileNotLoaded);
    BatchRecipe& r = wb.batch;
    r.folder_set = true;
    CommandResult result;
    if (r.steps[kBatchSteps - 1].operation == kStepSave)
        result.messages.push_back(notice(msg::kBatchCheckSaveFolder));
    r.batch_mode = r.steps[0].operation;
    if (close_images) close_images(wb);
    return result;
}

CommandResult save_batch_file_command(const Workbench& wb, const std::string& chosen_path,
                                      const AskFn& confirm_overwrite) {
    if (chosen_path.empty()) return CommandResult::fail(msg::kBatchFileNotSaved);
    const std::string path = batch_file_name(chosen_path);
    if (path_exists(path) &&
        !(confirm_overwrite && confirm_overwrite(format_message(msg::kOverwriteQuestion, path))))
        return CommandResult::skip();
    if (!save_batch_file(wb.batch, path).ok()) return CommandResult::fail(msg::kBatchFileNotSaved);
    return {};
}

}  // namespace vora
