// Settings of the background dialogs: background correction (pseudo-function, image data,
// points), background generation and the two-image comparison.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vora {

// Background correction. Stored under "back1" (reference_mode, reference_slot,
// reference_shift) and "back2" (pseudo_mode, then centre and edge density of red, green and
// blue in the order red centre, red edge, green centre, …, then curve).
struct BackgroundSettings {
    int32_t pseudo_mode = 0;          // 0 multiply, 1 subtract
    std::array<int32_t, 3> centre{};  // density at the image centre, 8-bit scale, R G B
    std::array<int32_t, 3> edge{};    // density at the corners, 8-bit scale, R G B
    int32_t curve = 200;              // curve exponent × 100, 100..300
    int32_t pseudo_shift = 0;         // not stored; "initialise all" sets it to the
                                      // generation shift
    int32_t reference_mode = 3;       // 3 multiply, 4 subtract
    int32_t reference_slot = 0;       // slot of the background image
    int32_t reference_shift = 30;     // 8-bit scale
};

// Background generation. Stored under "back3" (detection_size, averaging_size, correction,
// shift, two_step) and as the first value of "VER264" (exclude_zero).
struct BackgroundGenerationSettings {
    int32_t detection_size = 32;  // 8..256
    int32_t averaging_size = 16;  // 2..16
    int32_t correction = 0;       // 0 keep the background as a new image, 1 multiply, 2 subtract
    int32_t shift = 30;           // 8-bit scale
    int32_t two_step = 0;         // run twice with half the detection size
    int32_t exclude_zero = 1;     // samples of value 0 are not used
};

// Two-image comparison (not stored).
struct ComparisonSettings {
    int32_t base = 128;       // 8-bit scale
    int32_t image_slot = 0;   // the other image
};

// Picking background samples on the image with the mouse (not stored).
inline constexpr int32_t kPickIdle = 0, kPickCentre = 1, kPickEdge = 2, kPickPoints = 100;
inline constexpr int32_t kMaxBackgroundPoints = 100;

struct BackgroundPoint {
    int32_t x = 0;              // column
    int32_t row = 0;            // stored row (bottom-up)
    std::array<int32_t, 3> value{};  // background sample of R, G, B (16-bit)
    int32_t mean = 0;
};

struct BackgroundPick {
    int32_t state = kPickIdle;  // idle, centre, edge, or kPickPoints + points taken
    std::vector<BackgroundPoint> points;
};

}  // namespace vora
