// Sharpen and smooth (operation code 0), and the radial mean filter it shares with blur
// restoration.
//
// The mean filter is a square of weights that depend only on the distance from the centre:
// w(d²) is tabulated for offsets −10..10, the half-width n is the largest |dy| whose row
// holds a weight above 0.02, and the (2n + 1)² square is divided by its sum (summed row by
// row, left to right). Neighbours outside the picture are clamped to the nearest row and
// column.
//
// Evaluation of a weighted sum at (x, y) with centre sample s. Offsets that share a weight
// form a class (a, b), 0 ≤ a ≤ b ≤ n, holding the m distinct offsets among (±a, ±b) and
// (±b, ±a) (m = 4 when a = 0 or a = b, else 8). With the vertical pair sums V0 = row y,
// Vj = row(y − j) + row(y + j), and pair(V, 0) = V[x], pair(V, k) = V[x − k] + V[x + k],
// the class sum is
//   S(a, b) = pair(Vb, a)                  when a = b,
//   S(a, b) = pair(Vb, a) + pair(Va, b)    otherwise,
// and the weighted sum is s + c, where c = 0 + w(0,1)·(S(0,1) − m·s) + w(1,1)·(S(1,1) − m·s)
// + w(0,2)·(S(0,2) − m·s) + … (b ascending, a ascending within b). Since the weights sum to
// 1 this is Σ w · sample, written so that a flat neighbourhood gives exactly its own value:
// summing the products directly leaves a flat 40000 at 39999.99… in many kernels, which the
// truncation that follows turns into 39999. For 16-bit samples the class terms are exact
// integers, so only the order of the products matters.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/bands.h"
#include "core/engine.h"

namespace vora {

inline constexpr int kKernelReach = 10;  // offsets −10..10
inline constexpr int kKernelSide = 2 * kKernelReach + 1;
inline constexpr int kKernelMaxDistance2 = 2 * kKernelReach * kKernelReach;

struct RadialKernel {
    int half_width = 0;  // n, 0..10
    // Normalised weights, row dy + 10, column dx + 10; zero outside the used square.
    std::array<double, kKernelSide * kKernelSide> weights{};

    double at(int dx, int dy) const {
        return weights[std::size_t((dy + kKernelReach) * kKernelSide + dx + kKernelReach)];
    }
};

// Builds the kernel from the raw weight of each squared distance 0..200. A square whose sum
// is not a positive number becomes the identity (n = 0, centre weight 1).
RadialKernel radial_kernel(const std::array<double, kKernelMaxDistance2 + 1>& weight_of_d2);

// The sharpen mean filter: w = 1 / (1 + (d² / radius) ^ (falloff / 20)).
RadialKernel sharpen_kernel(int32_t radius, int32_t falloff);

// Weighted sums over the kernel square for one row, in the summation order above. Sum is
// the type of the pair sums: int32_t for 16-bit rows, double for double rows. Holds its
// buffers; one per band.
template <class Sum>
class RadialRowFilter {
  public:
    using Sample = std::conditional_t<std::is_same_v<Sum, double>, double, uint16_t>;

    RadialRowFilter(const RadialKernel& kernel, int width);
    int half_width() const { return n_; }
    // rows[j], j = 0..2n: the input row at vertical offset j − n, already clamped.
    void filter(const Sample* const* rows, double* out);

  private:
    void pair_sums(const Sample* const* rows, int lo, int hi);

    int n_;
    int width_;
    int stride_;                   // n columns, one chunk of columns, n more
    std::vector<double> weights_;  // of the classes in summation order
    std::vector<Sum> sums_;        // V0..Vn of one chunk of columns, each `stride_` long
};

extern template class RadialRowFilter<int32_t>;
extern template class RadialRowFilter<double>;

// The rows of a plane that one band reads while every band overwrites its own rows in
// place. Its own rows come from the plane (a band reads each for the last time before it
// writes it); rows of other bands up to `reach` away are copied before any band starts.
class BandRows {
  public:
    BandRows(ConstPlaneRef plane, BandBounds band, int reach);
    const uint16_t* row(int r) const;

  private:
    ConstPlaneRef plane_;
    BandBounds band_;
    int lo_;
    std::vector<uint16_t> below_, above_;
};

// The rows of every band, made on the caller before run_bands.
std::vector<BandRows> rows_of_bands(ConstPlaneRef plane, int reach);

// Operation code 0 on one plane, in place: p[0] radius, p[1] threshold, p[2] smooth
// strength, p[3] sharp strength (limited to their ranges here too), p[4] falloff as is. All
// means are taken from the unchanged samples. The bands keep the few rows they still need,
// so no scratch plane is used.
void sharpen_plane(PlaneRef plane, const ParamVector& p);

}  // namespace vora
