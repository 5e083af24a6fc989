// Settings of the composite dialogs: the automatic and by-point composite (which
// share one group), the multi-file composite and the L+RGB composite.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vora {

// Stacking modes shared by every composite.
enum StackMode : int32_t {
    kStackAverage = 0,
    kStackSum = 1,
    kStackMaximum = 2,
    kStackMinimum = 3,
    kStackMaxContrast = 4,
};

// Comparison methods: fast (centre only), slow (all pixels), rotation (two stars).
enum CompareMethod : int32_t { kCompareFast = 1, kCompareSlow = 2, kCompareRotation = 3 };

// Rejection modes of the average.
enum RejectMode : int32_t { kRejectNone = 0, kRejectNoise = 1, kRejectMove = 2 };

// The two reference stars A and B of one composite image, in display coordinates (y counted
// from the top row).
struct AlignPoints {
    int32_t a_x = 0, a_y = 0;
    int32_t b_x = 0, b_y = 0;
};

// Automatic composite, shared with the by-point composite and the four-image
// L+R+G+B composite. Stored under "composite" (stack_mode, compare_range, compare_method,
// normalize, noise_level, reject_mode), "VER264" (shift_x, shift_y after the background
// generation's exclude-zero flag), "VER560" (min_shift) and "compround" (rotation_size).
struct CompositeSettings {
    int32_t stack_mode = kStackAverage;
    int32_t compare_range = 20;  // search half-width in pixels
    int32_t compare_method = kCompareSlow;
    int32_t normalize = 1;    // density normalisation
    int32_t noise_level = 5;  // 0..255
    int32_t reject_mode = kRejectNoise;
    int32_t min_shift = 1;  // shift by at least one pixel
    int32_t shift_x = 0;    // composite shift per image, pixels
    int32_t shift_y = 0;
    int32_t rotation_size = 64;  // reference box of the rotation composite; also the
                                 // multi-file composite's
    // Not stored in the settings file:
    std::array<int32_t, 4> weights{100, 100, 100, 100};  // percent per image
    std::array<std::string, 4> images{};                 // the chosen images' list texts
    std::array<AlignPoints, 4> points{};                 // A and B per image index 0..3
};

// Multi-file composite (keyword "compfile", in this order; the rotation size is
// CompositeSettings::rotation_size).
struct MultiFileCompositeSettings {
    int32_t stack_mode = kStackAverage;
    int32_t compare_range = 20;
    int32_t compare_method = kCompareFast;
    int32_t normalize = 1;
    int32_t noise_level = 5;
    int32_t reject_mode = kRejectNoise;
    int32_t min_shift = 1;
    std::vector<std::string> files;  // up to 16 dropped paths; not stored
};

// L+RGB composite: the list texts of its L and RGB images (not stored). The four-image
// variant uses CompositeSettings::images and weights.
struct LrgbSettings {
    std::string l_image;
    std::string rgb_image;
};

// The rotation composite's pick of two reference stars on the first image, kept between
// clicks (ui/star_pick.h has the functions).
inline constexpr int32_t kStarPickIdle = 0, kStarPickFirst = 1, kStarPickSecond = 2;

// Where the pick was started; the value is the command the main window receives after the
// second star.
enum class StarPickOrigin : int32_t { automatic = 3020, multi_file = 3022, batch = 3023 };

// A clicked position in display coordinates (y counted from the top row).
struct PickedPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const PickedPoint&) const = default;
};

struct StarPick {
    int32_t star_pick_mode = kStarPickIdle;
    StarPickOrigin origin = StarPickOrigin::automatic;
    std::array<PickedPoint, 2> points{};
    int32_t box_size = 64;  // the rotation size in use
};

}  // namespace vora
