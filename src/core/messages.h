// The texts the command level shows, and the result every command function returns.
// Only front ends show messages; core functions only hand them back.
#pragma once

#include <string>
#include <vector>

namespace vora {

inline constexpr const char* kProgramName = "VORA64";

namespace msg {
inline constexpr const char* kNoMemoryToOpen = "メモリ不足で画像を開けません！";
inline constexpr const char* kNoSlotToOpen = "これ以上、画像を開けません！";
inline constexpr const char* kNoMemoryToRun = "メモリ不足で実行できません！";
inline constexpr const char* kNoSlotForResult = "これ以上、新たな画像を作れません！";
inline constexpr const char* kDarkNotApplied = "ダーク補正できませんでした！";
// The dark file list is refused: files of different kinds, or of different sizes.
inline constexpr const char* kDarkFormatDiffers = "Error:ダークファイルのフォーマットが異常！";
inline constexpr const char* kDarkSizeDiffers = "Error:ダークファイルのサイズが異なります！";
inline constexpr const char* kTooFewImages = "画像が２つ以上選択されていません！";
inline constexpr const char* kTooManyCompositeFiles =
    "Error:ファイル数が１６個を超えました！\n超えたファイルは読み込みません！";
// Filled with the path and the program name.
inline constexpr const char* kFormatNotSupported = "%s : %s not support this format !";
inline constexpr const char* kFormatNotWritable = "%s : %s can not save this format !";
// Filled with the path; the answer OK overwrites.
inline constexpr const char* kOverwriteQuestion = "\"%s\" already exist.\n Do you overwrite file ?";
// Filled with the path and the reader's or writer's reason.
inline constexpr const char* kCannotRead = "\"%s\" を開けませんでした！\n(%s)";
inline constexpr const char* kCannotWrite = "\"%s\" を保存できませんでした！\n(%s)";
inline constexpr const char* kNoImageChosen = "画像が選択されていません！";
// The L+RGB composites without their luminance or colour images.
inline constexpr const char* kNoLImage = "L画像が選択されていません！";
inline constexpr const char* kNoRgbImage = "RGB画像が選択されていません！";
inline constexpr const char* kNoRgbImages = "R,G,B画像が選択されていません！";
// Background picking on the image.
inline constexpr const char* kPickCentre = "画像中央付近の背景を選択して下さい！";
inline constexpr const char* kPickEdge = "画像角付近の背景を選択して下さい！";
inline constexpr const char* kPickPoints =
    "画像の背景をできるだけ多く選択して下さい！\n終了したい時は右ボタンを押して下さい。";
inline constexpr const char* kPickPointsDone = "画像の背景選択終了！";
// The picked points give no surface (all on one pixel, for example).
inline constexpr const char* kBackgroundPointsCoincide =
    "背景点の位置が重なっているため補正できません！";
// Batch recipe and batch files.
inline constexpr const char* kBatchOpenNeedsNoDetails =
    "詳細設定は不要です。\nファイルをドラッグアンドドロップすると\n"
    "１枚ずつバッチ処理が実行されます。";
inline constexpr const char* kBatchCompositeDetails =
    "複数のファイルをドラッグアンドドロップすると\nそれらを合成してからバッチ処理が実行されます。"
    "\nコンポジットの設定のみ行って下さい。";
// Filled with the save folder and the save extension.
inline constexpr const char* kBatchSaveSettingsQuestion =
    "現在の設定は下記の通りです。これでよろしいですか？\n  フォルダー：%s\n  フォーマット：%s";
inline constexpr const char* kBatchSaveFolderNotChosen =
    "正しく設定できていません。仮のファイル名を入力し、保存ボタンを押して下さい。";
inline constexpr const char* kBatchBackgroundNeedsCorrection =
    "バッチモードでは、バックグランド補正は\n乗算補正か引算補正を選択下さい！";
inline constexpr const char* kBatchNoSaveFolder =
    "8.ファイル保存の詳細設定を押し、\n保存するフォルダーを設定下さい！";
inline constexpr const char* kBatchCheckSaveFolder = "ファイルを保存するフォルダーを確認下さい！";
inline constexpr const char* kBatchFileNotLoaded = "Error:設定を読み込めませんでした！";
inline constexpr const char* kBatchFileNotSaved = "Error:設定を保存できませんでした！";
// Batch runs.
inline constexpr const char* kBatchNotSetUp = "バッチ処理の設定が行われていません！";
inline constexpr const char* kBatchTooManyFiles =
    "Error:バッチ処理で一度にコンポジットできるのは１６画像までです！\n"
    "最初の１６画像だけで処理を行います。";
// Status strip texts while a drop runs and while batch mode waits for files.
inline constexpr const char* kBatchRunning = "＊＊＊　バッチ処理中　＊＊＊";
inline constexpr const char* kBatchDropPrompt =
    "バッチモード：ファイルをドラッグアンドドロップして下さい！";
// Filled with the file count, the whole seconds and the hundredths.
inline constexpr const char* kBatchTiming = "ファイル数：%d 枚\n処理時間　：%d.%02d 秒";
// Filled with the path whose overwriting was declined.
inline constexpr const char* kBatchFileKept = "\"%s\" は上書きせずに残しました。";
}  // namespace msg

// Titles of the message boxes.
enum class MessageKind { error, caution, notice };
inline const char* message_title(MessageKind kind) {
    return kind == MessageKind::error ? "Error !" : kind == MessageKind::caution ? "Caution !"
                                                                                 : "Message !";
}

struct Message {
    MessageKind kind;
    std::string text;
};

// printf-style filling of a message text with string arguments.
std::string format_message(const char* pattern, const std::string& a);
std::string format_message(const char* pattern, const std::string& a, const std::string& b);

enum class Outcome {
    done,     // the command did its work
    skipped,  // nothing to do: no current image, cancelled, nothing undoable
    failed,   // refused or failed; the messages say why
};

struct CommandResult {
    Outcome outcome = Outcome::done;
    std::vector<Message> messages;  // shown in order

    static CommandResult skip() { return {Outcome::skipped, {}}; }
    static CommandResult fail(std::string text) {
        return {Outcome::failed, {{MessageKind::error, std::move(text)}}};
    }
    bool ok() const { return outcome != Outcome::failed; }
};

}  // namespace vora
