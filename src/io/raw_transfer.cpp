#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "core/bands.h"
#include "io/raw_develop_passes.h"

namespace vora::raw_pass {
namespace {

using Pixel = std::array<uint16_t, 4>;

// Green of a pixel: slot 1, or slot 3 for the second green of four-colour data.
inline uint32_t green_of(const Pixel& v) {
    return v[1] != 0 ? v[1] : v[3];
}

struct Weighted {
    uint32_t sum[3] = {0, 0, 0};
    uint32_t weight[3] = {0, 0, 0};

    void add(const Pixel& v, uint32_t w) {
        const uint32_t value[3] = {v[0], green_of(v), v[2]};
        for (int k = 0; k < 3; ++k) {
            sum[k] += w * value[k];
            weight[k] += value[k] != 0 ? w : 0;  // zero is no value: it adds no weight either
        }
    }
};

// Weighted mean of each colour's non-zero values in the 3 × 3 square that lies inside the image:
// `own` for the pixel itself, 2 for direct and 1 for diagonal neighbours.
std::array<uint16_t, 3> interpolate(const RawSensorView& s, int32_t row, int32_t col,
                                    uint32_t own) {
    Weighted acc;
    const int32_t r0 = std::max(row - 1, 0), r1 = std::min(row + 1, s.height - 1);
    const int32_t c0 = std::max(col - 1, 0), c1 = std::min(col + 1, s.width - 1);
    for (int32_t r = r0; r <= r1; ++r) {
        const Pixel* line = &s.at(r, 0);
        for (int32_t c = c0; c <= c1; ++c)
            acc.add(line[c], (r == row && c == col) ? own : (r == row || c == col) ? 2 : 1);
    }
    std::array<uint16_t, 3> out{};
    for (int k = 0; k < 3; ++k)
        out[std::size_t(k)] = acc.weight[k] ? uint16_t(acc.sum[k] / acc.weight[k]) : 0;
    return out;
}

struct Targets {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;
    uint16_t* grey;

    void put(std::size_t i, uint32_t r, uint32_t g, uint32_t b) const {
        red[i] = uint16_t(r);
        green[i] = uint16_t(g);
        blue[i] = uint16_t(b);
        grey[i] = uint16_t((r + g + b) / 3 / 4);
    }
};

// Column sums for the rows whose 3 × 3 squares lie inside the image, per colour: side[x] and
// side_weight[x] for column x as a left or right neighbour (weights 1, 2, 1 from the row above
// to the row below), centre[x] and centre_weight[x] for column x as the pixel's own (2, own,
// 2). A pixel's sum is then side[x - 1] + centre[x] + side[x + 1].
struct ColumnSums {
    std::vector<uint32_t> side[3], side_weight[3], centre[3], centre_weight[3];

    explicit ColumnSums(std::size_t w) {
        for (int k = 0; k < 3; ++k)
            for (std::vector<uint32_t>* v :
                 {&side[k], &side_weight[k], &centre[k], &centre_weight[k]})
                v->resize(w);
    }
};

template <int K>
inline uint32_t value_of(const Pixel& v) {
    if constexpr (K == 1)
        return green_of(v);
    else
        return v[K];
}

template <int K>
[[gnu::always_inline]] inline void column_sums(const Pixel* up, const Pixel* mid, const Pixel* down,
                                               int32_t w, uint32_t own, ColumnSums& cs) {
    uint32_t* side = cs.side[K].data();
    uint32_t* side_weight = cs.side_weight[K].data();
    uint32_t* centre = cs.centre[K].data();
    uint32_t* centre_weight = cs.centre_weight[K].data();
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t u = value_of<K>(up[x]), m = value_of<K>(mid[x]), d = value_of<K>(down[x]);
        // Zero is no value: it adds no weight either.
        const uint32_t nu = u != 0, nm = m != 0, nd = d != 0;
        side[x] = u + 2 * m + d;
        side_weight[x] = nu + 2 * nm + nd;
        centre[x] = 2 * u + own * m + 2 * d;
        centre_weight[x] = 2 * nu + own * nm + 2 * nd;
    }
}

// Colour K of the pixels 1..w-2 from the column sums: the weighted mean, truncated. A sum is
// below 2^21 and a weight at most 28, so the double quotient truncates exactly; a weight of 0
// comes with a sum of 0.
template <int K>
[[gnu::always_inline]] inline void means_inside(const ColumnSums& cs, int32_t w, uint16_t* out) {
    const uint32_t* side = cs.side[K].data();
    const uint32_t* side_weight = cs.side_weight[K].data();
    const uint32_t* centre = cs.centre[K].data();
    const uint32_t* centre_weight = cs.centre_weight[K].data();
    for (int32_t x = 1; x < w - 1; ++x) {
        const int32_t sum = int32_t(side[x - 1] + centre[x] + side[x + 1]);
        const int32_t weight = int32_t(side_weight[x - 1] + centre_weight[x] + side_weight[x + 1]);
        out[x] = uint16_t(int32_t(double(sum) / double(std::max(weight, 1))));
    }
}

// The pixels 1..w-2 of a row whose neighbour rows both exist, written at base + x; each step a
// plain loop over the row for the vectoriser.
[[gnu::target_clones("avx2", "default")]] void interpolate_inside(const Pixel* mid, int32_t w,
                                                                  uint32_t own, ColumnSums& cs,
                                                                  const Targets& t,
                                                                  std::size_t base) {
    column_sums<0>(mid - w, mid, mid + w, w, own, cs);
    column_sums<1>(mid - w, mid, mid + w, w, own, cs);
    column_sums<2>(mid - w, mid, mid + w, w, own, cs);
    uint16_t* const red = t.red + base;
    uint16_t* const green = t.green + base;
    uint16_t* const blue = t.blue + base;
    uint16_t* const grey = t.grey + base;
    means_inside<0>(cs, w, red);
    means_inside<1>(cs, w, green);
    means_inside<2>(cs, w, blue);
    for (int32_t x = 1; x < w - 1; ++x)
        grey[x] = uint16_t((uint32_t(red[x]) + green[x] + blue[x]) / 3 / 4);
}

void transfer_row(const RawSensorView& s, int32_t row, const Targets& t, ColumnSums& cs) {
    // Decoder rows count from the top, plane rows from the bottom.
    const std::size_t base = std::size_t(s.height - 1 - row) * std::size_t(s.width);
    const int32_t w = s.width;
    if (s.filters == 0) {
        const Pixel* line = &s.at(row, 0);
        for (int32_t col = 0; col < w; ++col)
            t.put(base + std::size_t(col), line[col][0], line[col][1], line[col][2]);
        return;
    }
    const uint32_t own = s.filters == kFiltersXTrans ? 16 : 8;
    const auto edge = [&](int32_t col) {
        const std::array<uint16_t, 3> rgb = interpolate(s, row, col, own);
        t.put(base + std::size_t(col), rgb[0], rgb[1], rgb[2]);
    };
    if (row == 0 || row == s.height - 1 || w < 3) {
        for (int32_t col = 0; col < w; ++col) edge(col);
        return;
    }
    edge(0);
    interpolate_inside(&s.at(row, 0), w, own, cs, t, base);
    edge(w - 1);
}

}  // namespace

void transfer_planes(const RawSensorView& sensor, uint16_t* red, uint16_t* green, uint16_t* blue,
                     uint16_t* grey) {
    const Targets t{red, green, blue, grey};
    run_bands(sensor.height, [&](int, int begin, int end) {
        ColumnSums cs(sensor.filters != 0 && begin < end ? std::size_t(sensor.width) : 0);
        for (int32_t row = begin; row < end; ++row) transfer_row(sensor, row, t, cs);
    });
}

void transfer_planes(const RawSensorView& sensor, Plane& red, Plane& green, Plane& blue,
                     Plane& grey) {
    transfer_planes(sensor, red.data(), green.data(), blue.data(), grey.data());
}

}  // namespace vora::raw_pass
