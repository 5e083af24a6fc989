// vora-cli: VORA's headless front end for scripts and batch work.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli_commands.h"
#include "huge_pages.h"

namespace {

const char* const kDescription =
    "vora-cli - VORA, the image workbench for astronomical and night-sky photographs.\n"
    "\n"
    "Images are held as 16-bit RGB. Files are read by extension: BMP, PPM/PGM, TIFF, PNG,\n"
    "JPEG (with Exif), GIF, FITS and camera RAW (CR2, CRW, NEF, NRW, ARW, DNG, ORF, PEF,\n"
    "RAF, RW2, SRW and more, decoded by LibRaw). Saving writes 24-bit BMP, 24-bit PNG, JPEG\n"
    "(JFIF or Exif), 48-bit TIFF or 48-bit PPM (binary or ASCII).\n"
    "\n"
    "Camera RAW files are developed while they are opened: settings group \"dark\" holds the\n"
    "method (0 VORA's fast development, 1 the decoder's interpolation), its quality (0\n"
    "bilinear, 1 VNG, 2 PPG, 3 AHD) and the defective-pixel handling of RAW dark frames;\n"
    "group \"raw\" the fast development's gamma, black and white levels, sharpness, radius,\n"
    "false-colour reduction, saturation and hue, e.g. --set dark=1,3 for AHD.\n"
    "\n"
    "Settings: every subcommand starts from the defaults, then reads vora.vrs from the\n"
    "current directory when it exists, then --settings FILE, then each --set in order.\n"
    "\n"
    "Exit status: 0 success, 1 an input could not be read, an operation could not run or an\n"
    "output not written (the reason on stderr), 2 usage error.";

void add_common(CLI::App* command, vora::cli::CommonOptions& common) {
    command->add_option("--settings", common.settings_file, "settings file (.vrs) to read");
    command
        ->add_option("--set", common.overrides,
                     "KEYWORD=V,V,... replaces the values of one settings-file group in the "
                     "file's order, e.g. --set hdr=8,32,5 (repeatable)")
        ->expected(1)
        ->take_all();
    command
        ->add_option("--dark", common.dark_files,
                     "dark frame subtracted from every image opened; up to four of one kind "
                     "and size, averaged (BMP, PNG, GIF and JPEG images by dark frames of the "
                     "same size, FITS by FITS, camera RAW by RAW; TIFF and PPM/PGM images are "
                     "not corrected)")
        ->expected(1)
        ->take_all();
}

CLI::App* add_type(CLI::App* command, int& type) {
    command
        ->add_option("--type", type,
                     "file type: 1 BMP 24-bit, 2 PNG 24-bit, 3 JPEG (JFIF), 4 JPEG (Exif), "
                     "5 TIFF 48-bit, 6 PPM 48-bit binary, 7 PPM 48-bit ASCII (default from "
                     "OUT's extension: BMP 1, PNG 2, JPG/JPEG 3, TIF/TIFF 5, PPM 6, otherwise 1)")
        ->check(CLI::Range(1, 7));
    return command;
}

}  // namespace

int main(int argc, char** argv) {
    vora::cli::restart_with_huge_pages(argv);
    CLI::App app{kDescription, "vora-cli"};
    app.require_subcommand(1);
    vora::cli::CommonOptions common;

    std::vector<std::string> info_files;
    CLI::App* info = app.add_subcommand(
        "info",
        "Open each FILE as the open command does and print one JSON object per file on its own "
        "line: {\"file\", \"kind\", \"width\", \"height\", \"mono\", \"min\": [r,g,b], \"max\", "
        "\"mean\", \"camera_make\", \"camera_model\", \"date_time\", \"exposure_time\": [num, "
        "den], \"f_number\": [num, den], \"iso_speed\"}. A file that cannot be read is reported "
        "on stderr and the run exits 1 after the other files.");
    add_common(info, common);
    info->add_option("FILE", info_files, "image files")->required();

    std::string in_path, out_path;
    int type = 0;
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Open IN and save it as OUT. The file type comes from --type or OUT's extension; a name "
        "without a writable extension gets the type's extension appended (OUT.BMP ...). An "
        "existing OUT is replaced. Prints the path written.");
    add_common(convert, common);
    convert->add_option("IN", in_path, "image to read")->required();
    convert->add_option("OUT", out_path, "file to write")->required();
    add_type(convert, type);

    vora::cli::ApplyOptions apply_options;
    CLI::App* apply = app.add_subcommand(
        "apply",
        "Open IN, run OPERATION as its menu command does with the current settings, and save "
        "OUT as convert does. Prints the path written.\n" +
            vora::cli::apply_operations_help());
    add_common(apply, common);
    apply->add_option("IN", in_path, "image to read")->required();
    apply->add_option("OUT", out_path, "file to write")->required();
    apply->add_option("OPERATION", apply_options.operation, "operation name (see above)")
        ->required();
    apply->add_option("--channel", apply_options.channel,
                      "gamma and level: all, r, g or b (the dialog's channel selector; default "
                      "all for gamma, the settings file's choice for level)");
    apply->add_option("--with", apply_options.with_file,
                      "background-image: the background image; compare: the image subtracted");
    apply->add_option("--points", apply_options.points,
                      "background-points: background positions \"X,Y;X,Y;...\" in pixels, y "
                      "counted from the top (2 to 100 points)");
    apply->add_option("--centre", apply_options.centre,
                      "background: centre densities R,G,B (0..255), replacing the settings");
    apply->add_option("--edge", apply_options.edge,
                      "background: edge (corner) densities R,G,B (0..255), replacing the "
                      "settings");
    apply->add_option("--base", apply_options.base,
                      "compare: base level 0..255 that equal pixels come out at (default 128)");
    apply->add_option("--channels", apply_options.channels,
                      "sharpen and edge: the planes filtered, letters of r, g and b (the "
                      "dialog's check boxes; default rgb)");
    apply->add_option("--even", apply_options.even_file,
                      "lines: also write the even-line image to this file (OUT gets the "
                      "odd-line image)");
    apply->add_option("--size", apply_options.size,
                      "resize: new size WIDTHxHEIGHT (without --size or --scale the size stays)");
    apply->add_option("--scale", apply_options.scale,
                      "resize: new size in percent of the old one (width and height)");
    apply->add_option("--method", apply_options.method,
                      "resize: nearest, bilinear, lanczos-up (Lanczos when enlarging, bilinear "
                      "when reducing) or lanczos (default from settings group \"resize\")");
    apply->add_option("--mode", apply_options.mode,
                      "rotate: 0 left 90, 1 right 90, 2 180, 3 by --angle, 4 flip left-right, 5 "
                      "flip top-bottom (default from settings group \"round\")");
    apply->add_option("--angle", apply_options.angle,
                      "rotate: degrees counter-clockwise, up to two decimals (implies --mode 3)");
    apply->add_option("--from", apply_options.from,
                      "recolor-rgb: source colour R,G,B (0..255); recolor-hsv: H,S,V (hue in "
                      "degrees, S and V 0..255)");
    apply->add_option("--to", apply_options.to, "recolor-rgb/hsv: target colour, as --from");
    apply->add_option("--tolerance", apply_options.tolerance,
                      "recolor-rgb: 0..255; recolor-hsv: 0..1440 (quarter degrees of hue)");
    apply->add_option("--point-a", apply_options.point_a,
                      "recolor-rgb/hsv: take the source colour from pixel X,Y (y counted from "
                      "the top), as the menu command does from point A");
    add_type(apply, apply_options.type);

    const std::string stars_help =
        "rotation method: the two reference stars X1,Y1;X2,Y2 in the first file (pixels, y "
        "counted from the top), each at least half the rotation size (\"compround\", default "
        "64) inside every edge; they are found in the other files by template matching within "
        "the compare range";
    const std::string method_help =
        "comparison method: fast, slow (translation search) or rotation (align on two stars, "
        "needs --stars); default from the settings";
    vora::cli::StackOptions stack_options;
    CLI::App* stack = app.add_subcommand(
        "stack",
        "Multi-file composite: align up to 16 files against the first and stack them (five to "
        "sixteen files in interleaved passes of three or four, then the pass results once "
        "more) with the settings of group \"compfile\": stacking mode (0 average, 1 sum, 2 "
        "maximum, 3 minimum, 4 maximum contrast), compare range, comparison method (1 fast, 2 "
        "slow, 3 rotation), density normalisation, noise level, rejection (0 none, 1 noise "
        "removal, 2 move mode), at least one pixel of shift. With the rotation method each "
        "file is scaled and turned so that the two stars of --stars line up. One file is "
        "simply converted. Saves OUT as convert does and prints the path written; progress "
        "goes to stderr on a terminal.");
    add_common(stack, common);
    stack->add_option("FILE", stack_options.files, "image files, 1 to 16")->required();
    stack->add_option("-o,--output", stack_options.out_path, "file to write")->required();
    stack->add_option("--method", stack_options.method, method_help);
    stack->add_option("--stars", stack_options.stars, stars_help);
    add_type(stack, stack_options.type);

    vora::cli::CompositeOptions composite_options;
    CLI::App* composite = app.add_subcommand(
        "composite",
        "Composite of 2 to 4 files into one image with the settings of group \"composite\" "
        "(stacking mode, compare range, comparison method, density normalisation, noise "
        "level, rejection), \"VER264\" (its 2nd and 3rd values: composite shift X and Y per "
        "image), \"VER560\" (at least one pixel of shift) and \"compround\" (rotation "
        "size). By default the files are aligned by translation against the first; with "
        "--points each file is scaled, turned and shifted so that its A-B segment matches the "
        "first file's (by-point composite); with --method rotation the two stars of --stars "
        "are found in every file and used the same way. Saves OUT as convert does and prints "
        "the path written.");
    add_common(composite, common);
    composite->add_option("FILE", composite_options.files, "image files, 2 to 4")->required();
    composite->add_option("-o,--output", composite_options.out_path, "file to write")->required();
    composite
        ->add_option("--weights", composite_options.weights,
                     "weight of each file in percent, W1,W2,... (default 100 each)")
        ->delimiter(',')
        ->check(CLI::Range(0, 100));
    const std::string points_help =
        "reference stars A and B per image as AX,AY,BX,BY, images separated by \";\" in "
        "command-line order (pixels, y counted from the top); a B of 0,0 (or equal to A) "
        "makes every B = A + (100,100), so only a shift remains";
    composite->add_option("--points", composite_options.points, points_help);
    composite->add_option("--method", composite_options.method, method_help);
    composite->add_option("--stars", composite_options.stars, stars_help);
    add_type(composite, composite_options.type);

    vora::cli::LrgbOptions lrgb_options;
    CLI::App* lrgb = app.add_subcommand(
        "lrgb",
        "Colour composite aligned on two stars per image: --l and --rgb (L+RGB: the colour "
        "image's luminance is replaced by the L image's), or --r, --g, --b with an optional "
        "--l (L+R+G+B: red from the R image's red plane, green from G's green plane, blue "
        "from B's blue plane, weighted, then brought to the L luminance when L has a weight "
        "of 1 or more). The colour images are scaled, turned and shifted onto the reference "
        "(L, or R without L) by their --points. Saves OUT as convert does and prints the path "
        "written.");
    add_common(lrgb, common);
    lrgb->add_option("--l", lrgb_options.l, "luminance image");
    lrgb->add_option("--rgb", lrgb_options.rgb, "colour image (L+RGB)");
    lrgb->add_option("--r", lrgb_options.r, "red-filter image (L+R+G+B)");
    lrgb->add_option("--g", lrgb_options.g, "green-filter image");
    lrgb->add_option("--b", lrgb_options.b, "blue-filter image");
    lrgb->add_option("--weights", lrgb_options.weights,
                     "L+R+G+B weights in percent, L,R,G,B (default 100 each)")
        ->delimiter(',')
        ->check(CLI::Range(0, 100));
    lrgb->add_option("--points", lrgb_options.points,
                     points_help + "; the order is L, RGB or L, R, G, B (R, G, B without --l)");
    lrgb->add_option("-o,--output", lrgb_options.out_path, "file to write")->required();
    add_type(lrgb, lrgb_options.type);

    vora::cli::BatchOptions batch_options;
    std::vector<std::string> batch_args;
    CLI::App* batch = app.add_subcommand(
        "batch",
        "Run a batch recipe (a .vrb batch file) on FILEs as if they were dropped in batch mode: "
        "step 1 \"open one file\" (1) runs the recipe on each file in turn, \"open and "
        "composite\" (2) composites up to 16 files first (rotation method: --stars). Each step "
        "uses its own settings stored in the recipe; step 8 saves into the recipe's folder and "
        "type, named after the file, or ends without saving (17). Messages go to stderr, "
        "progress too on a terminal. With --write, writes a recipe instead: --steps gives the "
        "eight step operations (0 nothing, 1 open, 2 open and composite, 3 save, 4 cut and "
        "resize, 5 background, 6 sharpen, 7 edge, 8 wavelet, 9 restore, 10 rotate, 11 "
        "distortion, 12 gamma, 13 level, 14 saturation/hue, 15 noise, 16 dynamic range, 17 "
        "end), each step taking the current settings (--settings, --set) as its own.");
    add_common(batch, common);
    batch->add_option("RECIPE_AND_FILES", batch_args, "RECIPE.vrb, then the image files");
    batch->add_flag("--yes", batch_options.yes,
                    "replace existing outputs (otherwise they are kept and reported)");
    batch->add_flag("--timing", batch_options.timing,
                    "report the file count and the processing time on stderr");
    batch->add_option("--stars", batch_options.stars,
                      "recipes compositing by rotation: the two reference stars X1,Y1;X2,Y2 in "
                      "the first file (pixels, y from the top)");
    batch->add_option("--write", batch_options.write,
                      "write a recipe to this file (.vrb appended)");
    batch->add_option("--steps", batch_options.steps,
                      "with --write: the eight step operations S1,...,S8 (step 1: 1 or 2; steps "
                      "2-7: 0 or 4-16; step 8: 3 or 17)");
    batch->add_option("--save-dir", batch_options.save_dir,
                      "with --write: the folder step 8 saves into");
    batch
        ->add_option("--save-type", batch_options.save_type,
                     "with --write: step 8's file type, as --type (default 5, TIFF 48-bit)")
        ->check(CLI::Range(1, 7));

    std::string settings_out;
    CLI::App* settings = app.add_subcommand(
        "settings",
        "Write the current settings (defaults, vora.vrs of the current directory, --settings, "
        "--set) as a settings file, to start one from the defaults.");
    add_common(settings, common);
    settings->add_option("--write", settings_out, "settings file to write")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return vora::cli::kExitUsage;
    }
    if (common.dark_files.size() > 4) {
        std::cerr << "vora-cli: at most four dark frames\n";
        return vora::cli::kExitUsage;
    }
    if (*info) return vora::cli::run_info(common, info_files, std::cout, std::cerr);
    if (*convert)
        return vora::cli::run_convert(common, in_path, out_path, type, std::cout, std::cerr);
    if (*stack)
        return vora::cli::run_stack(common, stack_options, isatty(2) == 1, std::cout, std::cerr);
    if (*composite)
        return vora::cli::run_composite(common, composite_options, std::cout, std::cerr);
    if (*lrgb) return vora::cli::run_lrgb(common, lrgb_options, std::cout, std::cerr);
    if (*batch) {
        if (!batch_args.empty()) {
            batch_options.recipe = batch_args.front();
            batch_options.files.assign(batch_args.begin() + 1, batch_args.end());
        }
        return vora::cli::run_batch_command(common, batch_options, isatty(2) == 1, std::cout,
                                            std::cerr);
    }
    if (*apply)
        return vora::cli::run_apply(common, in_path, out_path, apply_options, std::cout, std::cerr);
    return vora::cli::run_settings_write(common, settings_out, std::cerr);
}
