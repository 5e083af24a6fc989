#include "cli_geometry.h"

#include <charconv>
#include <ostream>
#include <string>

#include "ui/resize_commands.h"
#include "ui/rotate_command.h"

namespace vora::cli {
namespace {

// A whole number in 1..limit, the whole text.
bool parse_count(std::string_view text, int32_t limit, int32_t& out) {
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 1 || v > limit) return false;
    out = v;
    return true;
}

constexpr const char* kMethods[] = {"nearest", "bilinear", "lanczos-up", "lanczos"};

}  // namespace

int parse_geometry_inputs(const ApplyOptions& apply, GeometryInputs& in, std::ostream& err) {
    const bool resize = apply.operation == "resize", rotate = apply.operation == "rotate";
    const auto refuse = [&err](const std::string& text) {
        err << "vora-cli: " << text << "\n";
        return kExitUsage;
    };
    if (!resize && (!apply.size.empty() || !apply.scale.empty() || !apply.method.empty()))
        return refuse("--size, --scale and --method belong to resize");
    if (!rotate && (!apply.mode.empty() || !apply.angle.empty()))
        return refuse("--mode and --angle belong to rotate");
    if (!apply.size.empty() && !apply.scale.empty()) return refuse("give --size or --scale");
    if (!apply.size.empty()) {
        const std::size_t x = apply.size.find('x');
        int32_t w = 0, h = 0;
        if (x == std::string::npos ||
            !parse_count(std::string_view(apply.size).substr(0, x), 10000, w) ||
            !parse_count(std::string_view(apply.size).substr(x + 1), 10000, h))
            return refuse("--size takes WIDTHxHEIGHT, each 1..10000");
        in.size = std::pair{w, h};
    }
    if (!apply.scale.empty()) {
        int32_t p = 0;
        if (!parse_count(apply.scale, 100000, p)) return refuse("--scale takes a percentage");
        in.scale = p;
    }
    if (!apply.method.empty()) {
        for (int32_t i = 0; i < 4; ++i)
            if (apply.method == kMethods[i]) in.method = i;
        if (!in.method) return refuse("--method takes nearest, bilinear, lanczos-up or lanczos");
    }
    if (!apply.mode.empty()) {
        int32_t m = 0;
        if (apply.mode != "0" && !parse_count(apply.mode, 5, m))
            return refuse("--mode takes 0..5 (left, right, 180, by angle, flip L-R, flip T-B)");
        in.mode = m;
    }
    if (!apply.angle.empty()) {
        // Degrees with up to two decimals, as the dialog's edit takes them.
        if (apply.angle.find_first_not_of("+-0123456789. ") != std::string::npos)
            return refuse("--angle takes degrees, e.g. 12.5 or -90");
        in.angle = parse_angle(apply.angle);
    }
    return kExitOk;
}

void install_geometry_inputs(Workbench& wb, const GeometryInputs& in) {
    if (in.method) wb.settings.resize.resize_method = *in.method;
    if (in.angle) {
        wb.settings.rotate.angle = *in.angle;
        wb.settings.rotate.rotate_mode = 3;
    }
    if (in.mode) wb.settings.rotate.rotate_mode = *in.mode;
}

std::optional<CommandResult> run_geometry_operation(Workbench& wb, const ApplyOptions& apply,
                                                    const GeometryInputs& in) {
    if (apply.operation != "resize") return std::nullopt;
    return resize_command(wb, [&in](ResizeSizes& s) {
        if (in.size) {
            s.new_width = in.size->first;
            s.new_height = in.size->second;
        } else if (in.scale) {
            s.new_width = int32_t(int64_t(s.old_width) * *in.scale / 100);
            s.new_height = int32_t(int64_t(s.old_height) * *in.scale / 100);
        }
        return true;
    });
}

}  // namespace vora::cli
