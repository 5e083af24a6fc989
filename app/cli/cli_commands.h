// The subcommands of vora-cli, each a thin layer over the core's command functions.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vora::cli {

struct CommonOptions {
    std::string settings_file;            // --settings
    std::vector<std::string> overrides;   // --set KEYWORD=V,V,...
    std::vector<std::string> dark_files;  // --dark, up to four
};

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int run_info(const CommonOptions& options, const std::vector<std::string>& files, std::ostream& out,
             std::ostream& err);
// type 0 means: from OUT's extension. Prints the path written (an extension may have been
// appended) on `out`.
int run_convert(const CommonOptions& options, const std::string& in, const std::string& out_path,
                int type, std::ostream& out, std::ostream& err);

struct ApplyOptions {
    std::string operation;
    std::string channel;    // gamma and level selector: all, r, g, b; empty keeps the settings
    std::string with_file;  // the other image of background-image and compare
    std::string points;     // background-points: "X,Y;X,Y;..." (y from the top)
    std::string centre;     // background: "R,G,B" centre densities (0..255)
    std::string edge;       // background: "R,G,B" edge densities (0..255)
    std::string base;       // compare: base level (0..255)
    std::string channels;   // sharpen, edge: the planes filtered, letters of "rgb"
    std::string even_file;  // lines: where the even-line image goes
    std::string size;       // resize: "WxH"
    std::string scale;      // resize: percent
    std::string method;     // resize: nearest, bilinear, lanczos-up, lanczos
    std::string mode;       // rotate: 0..5
    std::string angle;      // rotate: degrees
    std::string from;       // recolor-rgb/hsv: source colour
    std::string to;         // recolor-rgb/hsv: target colour
    std::string tolerance;  // recolor-rgb/hsv
    std::string point_a;    // recolor-rgb/hsv: "X,Y", y from the top
    int type = 0;
};
int run_apply(const CommonOptions& options, const std::string& in, const std::string& out_path,
              const ApplyOptions& apply, std::ostream& out, std::ostream& err);

// Multi-file composite of up to 16 files with the "compfile" settings, saved as OUT.
// `progress` prints each step on `err`.
struct StackOptions {
    std::vector<std::string> files;
    std::string method;  // fast, slow, rotation; empty keeps the settings
    std::string stars;   // rotation: "X1,Y1;X2,Y2" in the first file, y from the top
    std::string out_path;
    int type = 0;
};
int run_stack(const CommonOptions& options, const StackOptions& stack, bool progress,
              std::ostream& out, std::ostream& err);

// Automatic, by-point (with --points) or rotation composite of 2..4 files opened into slots,
// with the "composite" settings, saved as OUT.
struct CompositeOptions {
    std::vector<std::string> files;
    std::vector<int> weights;  // empty: 100 each
    std::string points;        // "AX,AY,BX,BY;..." one per file: the by-point composite
    std::string method;        // fast, slow, rotation; empty keeps the settings
    std::string stars;         // rotation: "X1,Y1;X2,Y2" in the first file
    std::string out_path;
    int type = 0;
};
int run_composite(const CommonOptions& options, const CompositeOptions& composite,
                  std::ostream& out, std::ostream& err);

// L+RGB (l and rgb) or L+R+G+B (r, g, b and optionally l) composite, saved as OUT.
struct LrgbOptions {
    std::string l, rgb, r, g, b;
    std::vector<int> weights;  // L,R,G,B
    std::string points;        // one quadruple per image in the order L, RGB or L, R, G, B
    std::string out_path;
    int type = 0;
};
int run_lrgb(const CommonOptions& options, const LrgbOptions& lrgb, std::ostream& out,
             std::ostream& err);

// Batch runs and recipes.
struct BatchOptions {
    std::string recipe;              // RECIPE.vrb to run
    std::vector<std::string> files;  // the files dropped
    bool yes = false;                // replace existing outputs
    bool timing = false;             // the file count and time on stderr
    std::string stars;               // rotation composite: "X1,Y1;X2,Y2" in the first file
    std::string write;               // --write RECIPE.vrb
    std::string steps;               // --steps S1,...,S8
    std::string save_dir;            // --save-dir
    int save_type = 5;               // --save-type 1..7
};
// Runs the recipe on the files as a drop in the recipe's batch mode, or with `write` set
// writes a recipe; `terminal` shows progress on `err`.
int run_batch_command(const CommonOptions& options, const BatchOptions& batch, bool terminal,
                      std::ostream& out, std::ostream& err);

// Writes the current settings (defaults, start-up file, --settings, --set) to `path`.
int run_settings_write(const CommonOptions& options, const std::string& path, std::ostream& err);

// Help text listing the operations of `apply`.
std::string apply_operations_help();

}  // namespace vora::cli
