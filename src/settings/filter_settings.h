// Settings of the single-image filter dialogs: sharpen/smooth, edge enhancement, wavelet,
// blur restoration and noise removal. Each group keeps its dialog's values for as long as
// the program runs; the settings file stores the fields its keyword lists.
#pragma once

#include <array>
#include <cstdint>

namespace vora {

// Sharpen and smooth (keywords "sharp": radius, threshold, smooth_strength, sharp_strength;
// "sharp_flt": falloff). The channel switches are not stored.
struct SharpSettings {
    int32_t radius = 1;             // scale of the mean filter, 1..10
    int32_t threshold = 2560;       // smoothing range in 16-bit units (10.0 levels of 8 bits)
    int32_t smooth_strength = 10;   // pull toward the mean, 0..50
    int32_t sharp_strength = 10;    // amplification of large differences in tenths, 0..50
    int32_t falloff = 50;           // steepness of the mean filter in tenths, 10..50
    int32_t use_r = 1, use_g = 1, use_b = 1;  // which planes are filtered
};

// Edge enhancement (keywords "edge": edge_threshold, edge_strength, dark_bright_split;
// "edgearea": edge_area, edge_smooth). The channel switches are not stored.
struct EdgeSettings {
    int32_t edge_threshold = 2560;  // range up to which a pixel is only smoothed, 16-bit units
    int32_t edge_strength = 10;     // pull toward the own-side mean, 0..50
    int32_t dark_bright_split = 50; // percent of the range above which a pixel counts as bright
    int32_t edge_smooth = 10;       // pull toward the plain mean, 0..50
    int32_t edge_area = 1;          // stored and passed on; the filter does not use it
    int32_t use_r = 1, use_g = 1, use_b = 1;
};

// Wavelet sub-band gains in tenths (keyword "wavelet"): gain[0] is the coarsest residual,
// gain[1] sub-band "5(L)" … gain[5] sub-band "1(H)".
struct WaveletSettings {
    std::array<int32_t, 6> gain{10, 10, 10, 10, 10, 10};  // 0..500 each
};

// The wavelet dialog's two further values (keyword "filter"); only the settings file sets them.
struct WaveletFilterSettings {
    int32_t order = 2;    // Daubechies order N of the enlarging transform, 1..10
    int32_t enlarge = 0;  // 1: enlarge 2× while processing
};

// Blur restoration (keyword "restore", in this order).
struct RestoreSettings {
    int32_t spread = 10;     // width of the spread function in tenths, 1..100
    int32_t bluntness = 20;  // steepness of the spread function in tenths, 10..50
    int32_t iterations = 3;  // deconvolution iterations, 1..5
    int32_t emphasis = 1;    // final emphasis, 0..3
};

// Noise removal (keyword "noise", in this order).
struct NoiseSettings {
    int32_t noise_area = 5;       // neighbourhood size, 3 or 5
    int32_t noise_tolerance = 10; // full-weight difference in units of 1280; set to 10 on OK
    int32_t noise_strength = 3;   // 1..5
};

}  // namespace vora
