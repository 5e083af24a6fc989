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
