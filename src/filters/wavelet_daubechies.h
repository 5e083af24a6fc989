// Daubechies filters for the enlarging wavelet transform, and the one-dimensional periodic
// analysis and synthesis steps that use them.
//
// The low-pass filter of order N has 2N taps: the standard orthonormal (minimum-phase)
// coefficients h with sum √2, N = 1 being the Haar filter. The transform works with
// h·√2: analysis uses (h·√2)/2 and its mirror g, synthesis h·√2 and g, where
// g[k] = (-1)^k·h[2N-1-k]. Lines are periodic and of even length; a line shorter than the
// filter wraps around as often as needed.
#pragma once

#include <array>

namespace vora {

inline constexpr int kDaubechiesMaxOrder = 10;
inline constexpr int kDaubechiesMaxTaps = 2 * kDaubechiesMaxOrder;

// The standard orthonormal low-pass coefficients of order `order` (1..10; others are
// clamped), h[0] first: the filter whose energy leads. The transform's own taps are held as
// h·√2 to full precision; these are those divided by √2.
std::array<double, kDaubechiesMaxTaps> daubechies_lowpass(int order);

struct DaubechiesFilters {
    int order = 1;  // N
    int taps = 2;   // 2N
    std::array<double, kDaubechiesMaxTaps> analysis_lo{}, analysis_hi{};
    std::array<double, kDaubechiesMaxTaps> synthesis_lo{}, synthesis_hi{};
};

// The four filters of the transform for `order` (clamped to 1..10).
DaubechiesFilters daubechies_filters(int order);

// Scratch length (doubles) the line steps need for a line of n samples.
inline int daubechies_scratch_length(int n) {
    return 2 * n + 2 * kDaubechiesMaxTaps;
}

// One analysis step of the periodic line x[0..n), n even: lo[i] = Σk lo_k·x[(2i+k) mod n]
// into x[0..n/2), hi likewise into x[n/2..n). `scratch` holds
// daubechies_scratch_length(n) doubles.
void daubechies_analyze_line(double* x, int n, const DaubechiesFilters& f, double* scratch);

// The inverse step: x[0..n/2) is the low band, x[n/2..n) the high band; each is up-sampled
// (values at even positions) and y[j] = Σk lo_k·up_lo[(j-k) mod n] + hi_k·up_hi[(j-k) mod n]
// replaces x. The terms of the zero positions are left out; they add nothing.
void daubechies_synthesize_line(double* x, int n, const DaubechiesFilters& f, double* scratch);

}  // namespace vora
