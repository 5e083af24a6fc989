#include "ui/wavelet_command.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"

namespace vora {
namespace {

constexpr int kWaveletCode = 101;
constexpr int kWaveletProbeCount = 4;

struct Preset {
    const char* label;
    std::array<int32_t, 6> gain;
};
constexpr Preset kPresets[kWaveletPresetCount] = {
    {"変換無し", {10, 10, 10, 10, 10, 10}},
    {"弱", {10, 10, 10, 12, 15, 20}},
    {"中", {10, 12, 15, 20, 30, 50}},
    {"強", {10, 15, 20, 30, 50, 90}},
};

bool too_large_to_enlarge(const ImageRecord& r) {
    return r.width >= kWaveletEnlargeLimit || r.height >= kWaveletEnlargeLimit;
}

}  // namespace

void fill_wavelet_params(const WaveletSettings& gains, const WaveletFilterSettings& filter,
                         ParamVector& p) {
    for (std::size_t i = 0; i < gains.gain.size(); ++i) p[i] = gains.gain[i];
    p[14] = filter.enlarge;
    p[15] = filter.order;
}

void apply_wavelet(Workbench& wb, int slot) {
    fill_wavelet_params(wb.settings.wavelet, wb.settings.wavelet_filter, wb.params);
    apply_operation(wb, slot, kWaveletCode);
}

CommandResult wavelet_command(Workbench& wb, std::function<bool()> dialog) {
    bool cleared = false;
    InPlaceCommand command;
    command.probe_count = command.all_probe_count = kWaveletProbeCount;
    command.dialog = [&wb, &cleared, inner = std::move(dialog)] {
        if (inner && !inner()) return false;
        WaveletFilterSettings& filter = wb.settings.wavelet_filter;
        if (filter.enlarge == 1 && too_large_to_enlarge(wb.table.current())) {
            filter.enlarge = 0;
            cleared = true;
        }
        return true;
    };
    command.operation = apply_wavelet;
    CommandResult result = run_in_place_command(wb, command);
    if (cleared)
        result.messages.insert(result.messages.begin(),
                               {MessageKind::caution, kWaveletTooLargeToEnlarge});
    return result;
}

const char* wavelet_preset_label(int index) {
    return index >= 0 && index < kWaveletPresetCount ? kPresets[index].label : "";
}

bool wavelet_preset(int index, WaveletSettings& settings) {
    if (index < 0 || index >= kWaveletPresetCount) return false;
    settings.gain = kPresets[index].gain;
    return true;
}

std::string wavelet_gain_text(int32_t gain) {
    // A settings file may hold a negative gain: the sign goes in front of both parts.
    const int64_t magnitude = gain < 0 ? -int64_t(gain) : int64_t(gain);
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%01lld", gain < 0 ? "-" : "",
                  static_cast<long long>(magnitude / 10), static_cast<long long>(magnitude % 10));
    return text;
}

int32_t parse_wavelet_gain(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc{}) return 0;
    const double tenths = value * 10.0;
    if (!(tenths > 0.0)) return 0;  // negative, or not a number
    if (tenths >= 500.0) return 500;
    return int32_t(tenths);  // truncation toward zero
}

}  // namespace vora
