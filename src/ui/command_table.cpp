#include "ui/command_table.h"

#include "ui/background_commands.h"
#include "ui/background_generation_commands.h"
#include "ui/cleanup_commands.h"
#include "ui/color_commands.h"
#include "ui/composite_commands.h"
#include "ui/distortion_command.h"
#include "ui/point_composite_commands.h"
#include "ui/resize_commands.h"
#include "ui/restore_command.h"
#include "ui/rotate_command.h"
#include "ui/sharpen_command.h"
#include "ui/tone_commands.h"
#include "ui/wavelet_command.h"

namespace vora {
namespace {

CommandResult run_gamma(Workbench& wb) { return gamma_command(wb); }
CommandResult run_level(Workbench& wb) { return level_command(wb); }
CommandResult run_dynamic_range(Workbench& wb) { return dynamic_range_command(wb); }
CommandResult run_auto_composite(Workbench& wb) { return auto_composite_command(wb); }
CommandResult run_multi_file_composite(Workbench& wb) { return multi_file_composite_command(wb); }
CommandResult run_point_composite(Workbench& wb) { return point_composite_command(wb); }
CommandResult run_lrgb(Workbench& wb) { return lrgb_command(wb); }
CommandResult run_lrgb4(Workbench& wb) { return lrgb4_command(wb); }
CommandResult run_background(Workbench& wb) { return background_command(wb); }
CommandResult run_background_image(Workbench& wb) { return background_image_command(wb); }
CommandResult run_background_points(Workbench& wb) { return background_points_command(wb); }
CommandResult run_make_background(Workbench& wb) { return make_background_command(wb); }
CommandResult run_compare(Workbench& wb) { return compare_command(wb); }
CommandResult run_sharpen(Workbench& wb) { return sharpen_command(wb); }
CommandResult run_restore(Workbench& wb) { return restore_command(wb); }
CommandResult run_resize(Workbench& wb) { return resize_command(wb); }
CommandResult run_rotate(Workbench& wb) { return rotate_command(wb); }
CommandResult run_cut(Workbench& wb) { return cut_command(wb); }
CommandResult run_wavelet(Workbench& wb) { return wavelet_command(wb); }
CommandResult run_edge(Workbench& wb) { return edge_command(wb); }
CommandResult run_noise(Workbench& wb) { return noise_command(wb); }
CommandResult run_line_split(Workbench& wb) { return line_split_command(wb); }
CommandResult run_monochrome(Workbench& wb) { return monochrome_command(wb); }
CommandResult run_color(Workbench& wb) { return color_command(wb); }
CommandResult run_distortion(Workbench& wb) { return distortion_command(wb); }
CommandResult run_recolor_rgb(Workbench& wb) {
    return recolor_rgb_command(wb, current_point_a(wb.table));
}
CommandResult run_recolor_hsv(Workbench& wb) {
    return recolor_hsv_command(wb, current_point_a(wb.table));
}

}  // namespace

const std::vector<CommandRow>& processing_commands() {
    static const std::vector<CommandRow> rows = {
        {311, "ガンマ補正(&G)", "gamma", "gamma",
         "tone curve through three points (straight or smooth), all colours or per channel",
         run_gamma},
        {312, "白黒化(&W)", "gray", "gray",
         "monochrome: largest or smallest channel, or weighted luminance", run_monochrome},
        {314, "彩度／色相調整(&U)", "color", "color",
         "saturation and hue turn (sliders 0..200 and 0..360, neutral at 100 and 180)",
         run_color},
        {318, "レベル補正(&L)", "level", "lvl",
         "input black/white points, brightness, contrast, gamma, output black/white points",
         run_level},
        {315, "ダイナミックレンジ補正(&K)", "hdr", "hdr",
         "local tone correction against the smoothed neighbourhood (current image only)",
         run_dynamic_range},
        {302, "画像合成-自動(&A)", nullptr, "composite",
         "aligned stack of two to four open images into a new image", run_auto_composite},
        {3021, "画像合成-複数ファイル(&M)", nullptr, "compfile",
         "aligned stack of up to sixteen files into a new image", run_multi_file_composite},
        {308, "画像合成-ポイント指定(&P)", nullptr, "composite",
         "stack of two to four open images aligned by two stars each into a new image",
         run_point_composite},
        {313, "L+RGB画像合成(&L)", nullptr, nullptr,
         "colour image from a luminance image and a colour image aligned by two stars",
         run_lrgb},
        {360, "L+R+G+B画像合成", nullptr, "composite",
         "colour image from R, G and B images and an optional luminance image", run_lrgb4},
        {306, "補正実行(&B)", "background", "back2",
         "flattens the sky with a radial model from centre and edge densities (--centre, "
         "--edge)",
         run_background},
        {307, "バックグランド補正（画像データ）(&G)", "background-image", "back1",
         "divides by or subtracts a background image (--with FILE)", run_background_image},
        {309, "バックグランド補正(ポイント指定)", "background-points", "back1",
         "fits a gradient surface to background points and removes it (--points)",
         run_background_points},
        {3071, "バックグランドデータ生成", "make-background", "back3",
         "estimates the sky background; correction 0 outputs it, 1 divides, 2 subtracts",
         run_make_background},
        {301, "シャープ/スムーズ(&S)", "sharpen", "sharp",
         "pulls small differences toward a local mean and amplifies large ones", run_sharpen},
        {303, "エッジ強調(&E)", "edge", "edge",
         "steepens edges: pulls each pixel toward the mean of its own side of a 3x3 edge",
         run_edge},
        {213, "切り出しとサイズ変更", "cut", "cut",
         "copies an anchored rectangle into a new image and resizes it to a size or scale",
         run_cut},
        {304, "サイズ変更(&R)", "resize", "resize",
         "new size by nearest, bilinear (area mean when reducing) or Lanczos; all images alike",
         run_resize},
        {305, "回転(&T)", "rotate", "round",
         "quarter and half turns, turns by any angle (bilinear, black corners), flips",
         run_rotate},
        {316, "ウェーブレット(&W)", "wavelet", "wavelet",
         "sub-band gains of a wavelet split (fine detail up or down); optional 2x enlargement",
         run_wavelet},
        {317, "ボケ補正", "restore", "restore",
         "iterative deconvolution of a radial blur, then an unsharp emphasis", run_restore},
        {320, "奇数／偶数ライン分離(&E)", "lines", nullptr,
         "splits an interlaced image into an even-line and an odd-line image (two new images)",
         run_line_split},
        {330, "歪曲収差補正(&Y)", "distortion", "waikyoku",
         "barrel/pincushion correction: corners move outward (+) or inward (-) by N pixels",
         run_distortion},
        {331, "色変更(RGB)", "recolor-rgb", nullptr,
         "replaces colours near the point-A colour by RGB distance, fading to the tolerance",
         run_recolor_rgb},
        {332, "色変更(HSV)", "recolor-hsv", nullptr,
         "turns hues near the point-A hue to a new hue, saturation and value",
         run_recolor_hsv},
        {777, "ノイズ除去(&N)", "noise", "noise",
         "edge-preserving smoothing: weighted 3x3 or 5x5 mean, less weight for large differences",
         run_noise},
        {370, "２画像比較", "compare", nullptr,
         "current image minus another (--with FILE) around a base level", run_compare},
    };
    return rows;
}

const CommandRow* find_command(int id) {
    for (const CommandRow& row : processing_commands())
        if (row.id == id) return &row;
    return nullptr;
}

const CommandRow* find_cli_operation(std::string_view name) {
    for (const CommandRow& row : processing_commands())
        if (row.cli_name && name == row.cli_name) return &row;
    return nullptr;
}

}  // namespace vora
