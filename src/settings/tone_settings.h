// Settings of the tone dialogs: gamma (tone curve), level and dynamic range.
#pragma once

#include <array>
#include <cstdint>

namespace vora {

// Channel selector shared by the gamma and level dialogs.
enum ToneChannel : int32_t { kToneAll = 0, kToneRed = 1, kToneGreen = 2, kToneBlue = 3 };

struct TonePoint {
    int32_t in = 0;   // input level 0..255
    int32_t out = 0;  // output level 0..255
};

using ToneCurvePoints = std::array<TonePoint, 3>;

struct GammaSettings {
    int32_t curve_mode = 1;  // 0 straight segments, 1 smooth curve
    int32_t channel = kToneAll;
    // Sets for all colours, red, green and blue.
    std::array<ToneCurvePoints, 4> points{{{{{0, 0}, {128, 128}, {255, 255}}},
                                           {{{0, 0}, {128, 128}, {255, 255}}},
                                           {{{0, 0}, {128, 128}, {255, 255}}},
                                           {{{0, 0}, {128, 128}, {255, 255}}}}};
};

struct LevelSet {
    int32_t in_low = 0;
    int32_t in_high = 255;
    int32_t brightness = 0;
    int32_t contrast = 0;
    int32_t gamma = 100;  // exponent × 100
    int32_t out_low = 0;
    int32_t out_high = 255;
};

struct LevelSettings {
    int32_t channel = kToneAll;
    std::array<LevelSet, 4> sets{};  // all colours, red, green, blue
};

struct DynamicRangeSettings {
    int32_t radius = 8;            // pixels, 4..32 in steps of 4
    int32_t tone_difference = 32;  // 8-bit levels, 0..128
    int32_t strength = 5;          // 1..10
};

}  // namespace vora
