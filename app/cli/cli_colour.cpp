#include "cli_colour.h"

#include <algorithm>
#include <ostream>
#include <string>

#include "cli_parse.h"
#include "ui/color_commands.h"

namespace vora::cli {
namespace {

// "A,B,C" with A in 0..first_max and B, C in 0..255.
bool parse_colour(const std::string& text, int32_t first_max, std::array<int32_t, 3>& out) {
    const auto parts = split(text, ',');
    if (parts.size() != 3) return false;
    for (std::size_t c = 0; c < 3; ++c)
        if (!parse_int(parts[c], 0, c == 0 ? first_max : 255, out[c])) return false;
    return true;
}

}  // namespace

int parse_colour_inputs(const ApplyOptions& apply, ColourInputs& in, std::ostream& err) {
    const bool rgb = apply.operation == "recolor-rgb", hsv = apply.operation == "recolor-hsv";
    const auto refuse = [&err](const std::string& text) {
        err << "vora-cli: " << text << "\n";
        return kExitUsage;
    };
    if (!rgb && !hsv) {
        if (!apply.from.empty() || !apply.to.empty() || !apply.tolerance.empty() ||
            !apply.point_a.empty())
            return refuse("--from, --to, --tolerance and --point-a belong to recolor-rgb/hsv");
        return kExitOk;
    }
    const int32_t first_max = rgb ? 255 : 360;
    const char* form = rgb ? "R,G,B (0..255)" : "H,S,V (hue 0..360 degrees, S and V 0..255)";
    std::array<int32_t, 3> colour{};
    if (!apply.from.empty()) {
        if (!parse_colour(apply.from, first_max, colour))
            return refuse(std::string("--from takes ") + form);
        in.from = colour;
    }
    if (!apply.to.empty()) {
        if (!parse_colour(apply.to, first_max, colour))
            return refuse(std::string("--to takes ") + form);
        in.to = colour;
    }
    if (!apply.tolerance.empty()) {
        int32_t t = 0;
        if (!parse_int(apply.tolerance, 0, rgb ? 255 : 1440, t))
            return refuse(rgb ? "--tolerance takes 0..255"
                              : "--tolerance takes 0..1440 (quarter degrees)");
        in.tolerance = t;
    }
    if (!apply.point_a.empty()) {
        const auto xy = split(apply.point_a, ',');
        std::array<int32_t, 2> p{};
        if (xy.size() != 2 || !parse_int(xy[0], 0, 1 << 30, p[0]) ||
            !parse_int(xy[1], 0, 1 << 30, p[1]))
            return refuse("--point-a takes X,Y in pixels, y counted from the top");
        in.point_a = p;
    }
    return kExitOk;
}

std::optional<CommandResult> run_colour_operation(Workbench& wb, const ApplyOptions& apply,
                                                  const ColourInputs& in) {
    const bool rgb = apply.operation == "recolor-rgb";
    if (!rgb && apply.operation != "recolor-hsv") return std::nullopt;
    ColorReplaceSettings& s = wb.settings.color_replace;
    if (in.from) (rgb ? s.rgb_source : s.hsv_source) = *in.from;
    if (in.to) (rgb ? s.rgb_target : s.hsv_target) = *in.to;
    if (in.tolerance) (rgb ? s.rgb_tolerance : s.hsv_tolerance) = *in.tolerance;
    std::optional<SampleCorner> point;
    if (in.point_a) {
        const ImageRecord& image = wb.table.current();
        const auto [x, y] = *in.point_a;
        if (x >= image.width || y >= image.height)
            return CommandResult::fail("--point-a lies outside the image");
        point = SampleCorner{x, image.height - 1 - y};
    }
    CommandResult result = rgb ? recolor_rgb_command(wb, point) : recolor_hsv_command(wb, point);
    // The hint about point A speaks to GUI users; here the colours come from the options.
    std::erase_if(result.messages, [](const auto& m) { return m.text == kPickColourHint; });
    return result;
}

}  // namespace vora::cli
