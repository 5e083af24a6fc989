#include "ui/rotate_command.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"

namespace vora {
namespace {

constexpr int kRotateCode = 10;
constexpr int kRotateProbe = 3;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int32_t parse_angle(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t whole = 0;
    for (; i < text.size() && text[i] != '.'; ++i) {
        if (!is_digit(text[i])) return 0;
        whole = std::min<int64_t>(whole * 10 + (text[i] - '0'), int64_t(1) << 40);
    }
    int64_t fraction = 0;
    if (i < text.size()) {  // the point
        ++i;
        if (i < text.size() && is_digit(text[i])) {
            fraction = (text[i++] - '0') * 10;
            if (i < text.size() && is_digit(text[i])) fraction += text[i] - '0';
        }
    }
    const int64_t value = (whole * 100 + fraction) * (negative ? -1 : 1);
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

std::string format_angle(int32_t hundredths) {
    const int64_t magnitude = hundredths < 0 ? -int64_t(hundredths) : int64_t(hundredths);
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", hundredths < 0 ? "-" : "",
                  static_cast<long long>(magnitude / 100), static_cast<long long>(magnitude % 100));
    return text;
}

void apply_rotate_mode(RotateSettings& settings) {
    switch (settings.rotate_mode) {
        case 0:
            settings.angle = 9000;
            break;
        case 1:
            settings.angle = -9000;
            break;
        case 2:
            settings.angle = 18000;
            break;
        default:
            break;
    }
}

void apply_rotate(Workbench& wb, int slot) {
    wb.params[0] = wb.settings.rotate.angle;
    wb.params[1] = wb.settings.rotate.rotate_mode;
    apply_operation(wb, slot, kRotateCode);
}

CommandResult rotate_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.probe_count = command.all_probe_count = kRotateProbe;
    command.dialog = [dialog = std::move(dialog), &wb] {
        if (dialog && !dialog()) return false;
        apply_rotate_mode(wb.settings.rotate);
        return true;
    };
    command.operation = apply_rotate;
    return run_in_place_command(wb, command);
}

}  // namespace vora
