// The wavelet command (menu 316) and the pure parts of its dialog: the gain texts and the
// preset buttons. The dialog shows the gains of sub-bands "5(L)" to "1(H)" (gain[1..5]);
// gain[0], `order` and `enlarge` come from the settings file only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Shown when enlargement is asked for an image of 5000 pixels or more in width or height.
inline constexpr const char* kWaveletTooLargeToEnlarge =
    "サイズが大きすぎ、２倍に拡大できません！\n等倍で処理します。";
inline constexpr int32_t kWaveletEnlargeLimit = 5000;

// p[0..5] = gain[0..5], p[14] = enlarge, p[15] = order (code 101).
void fill_wavelet_params(const WaveletSettings& gains, const WaveletFilterSettings& filter,
                         ParamVector& p);

// Code 101 on `slot` with the current gains and filter (no snapshot, no marking).
void apply_wavelet(Workbench& wb, int slot);

// Probe for four copies, the dialog, the size rule (which clears `enlarge` for good), then
// code 101 in place on the current image or, in all-images mode, on every occupied slot.
CommandResult wavelet_command(Workbench& wb, std::function<bool()> dialog = {});

// The preset buttons: 0 "変換無し", 1 "弱", 2 "中", 3 "強".
inline constexpr int kWaveletPresetCount = 4;
const char* wavelet_preset_label(int index);
// Sets all six gains to preset `index`; false (settings untouched) for an unknown index.
bool wavelet_preset(int index, WaveletSettings& settings);

// A gain in tenths as the dialog shows it, "%d.%01d": 15 → "1.5".
std::string wavelet_gain_text(int32_t gain);
// An edited decimal number × 10, truncated and limited to 0..500; text that is not a
// number counts as 0.
int32_t parse_wavelet_gain(std::string_view text);

}  // namespace vora
