// The two-dimensional periodic Daubechies transform on a grid of doubles: each analysis
// step transforms every row, then every column of a region that starts at the grid's
// top-left corner; each synthesis step rebuilds the columns, then the rows. Rows are shared
// out over the band runner, columns in blocks of neighbouring columns, so that every pass
// reads and writes whole row segments. Results do not depend on the bands.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "core/bands.h"
#include "filters/wavelet_daubechies.h"

namespace vora {

// A width × height grid, row-major, row y at data + y·stride.
struct WaveletGrid {
    double* data;
    int width;
    int height;
    int stride;
    double* row(int y) const { return data + std::ptrdiff_t(y) * stride; }
};

// Asks for huge pages behind a large fresh buffer before it is first touched: the page
// faults of fresh memory otherwise cost more than the transform. Only a hint.
void advise_huge_pages(void* data, std::size_t bytes);
// An uninitialised array of n doubles, advised as above.
std::unique_ptr<double[]> wavelet_doubles(std::size_t n);

// Working lines of the four bands, sized once for the largest region of a plane.
class WaveletScratch {
  public:
    WaveletScratch(int width, int height);
    double* band(int b) { return lines_[std::size_t(b)].data(); }

  private:
    std::array<std::vector<double>, kBandCount> lines_;
};

// `levels` analysis steps: the region starts at width × height and halves each time, so
// both must be multiples of 2^levels.
void wavelet_forward(WaveletGrid grid, int levels, const DaubechiesFilters& f,
                     WaveletScratch& scratch);
// The matching `levels` synthesis steps, the last one on the whole grid.
void wavelet_inverse(WaveletGrid grid, int levels, const DaubechiesFilters& f,
                     WaveletScratch& scratch);

}  // namespace vora
