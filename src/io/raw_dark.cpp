#include "io/raw_dark.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>

#include "io/file_kind.h"

namespace vora {
namespace {

using Values = std::array<uint16_t, 4>;

std::size_t pixel_count(const RawSensor& s) {
    return s.empty() ? 0 : std::size_t(s.width) * std::size_t(s.height);
}

bool well_formed(const RawSensor& s) {
    return !s.empty() && s.values.size() == pixel_count(s);
}

// One dark value from the n frames' values (n = 1..4) of one pixel and slot.
uint16_t combine(const std::array<int32_t, 4>& v, int n) {
    int32_t sum = 0;
    for (int i = 0; i < n; ++i) sum += v[std::size_t(i)];
    if (n <= 2) return uint16_t(sum / n);
    const int32_t mean = sum / n;
    int left_out = 0;  // the farthest from the mean; the earliest frame of equally far ones
    for (int i = 1; i < n; ++i)
        if (std::abs(v[std::size_t(i)] - mean) > std::abs(v[std::size_t(left_out)] - mean))
            left_out = i;
    return uint16_t((sum - v[std::size_t(left_out)]) / (n - 1));
}

enum Handling : int32_t { kKeep = 0, kZero = 1, kAverage = 2 };

// The twelve positions within two steps: row offset, column offset.
constexpr std::array<std::array<int32_t, 2>, 12> kNeighbours = {{
    {0, -2},
    {0, -1},
    {0, 1},
    {0, 2},
    {-1, -1},
    {-1, 0},
    {-1, 1},
    {1, -1},
    {1, 0},
    {1, 1},
    {-2, 0},
    {2, 0},
}};

// Estimate of a defective value from the non-zero values of the same slot around it: none
// gives 0, one or two their mean; from three on the one of the largest and the smallest
// that lies farther from the mean is left out and the rest averaged.
uint16_t neighbour_estimate(const RawSensorView& s, int32_t row, int32_t col, std::size_t slot) {
    int32_t count = 0;
    int64_t sum = 0;
    int32_t lo = 65535, hi = 0;
    for (const auto& [dy, dx] : kNeighbours) {
        const int32_t r = row + dy, c = col + dx;
        if (r < 0 || r >= s.height || c < 0 || c >= s.width) continue;
        const int32_t v = s.at(r, c)[slot];
        if (v == 0) continue;
        ++count;
        sum += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (count == 0) return 0;
    if (count <= 2) return uint16_t(sum / count);
    const int64_t mean = sum / count;
    const int32_t left_out = hi - mean > mean - lo ? hi : lo;
    return uint16_t((sum - left_out) / (count - 1));
}

// Subtracts the dark values of one pixel; returns the slots marked defective as bits.
uint8_t subtract_pixel(Values& v, const Values& d, Handling h, int64_t level) {
    uint8_t defects = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        if (v[k] == 0) continue;
        const bool below = v[k] < d[k];
        if (h == kAverage && int64_t(v[k]) < level + d[k]) defects |= uint8_t(1u << k);
        if (!below)
            v[k] = uint16_t(v[k] - d[k]);
        else if (h != kKeep)
            v[k] = 0;
    }
    return defects;
}

}  // namespace

bool average_raw_darks(std::vector<RawSensor>& frames) {
    const std::size_t n = frames.size();
    if (n == 0 || n > 4) return false;
    for (const RawSensor& f : frames)
        if (!well_formed(f) || f.width != frames[0].width || f.height != frames[0].height)
            return false;
    RawSensor& out = frames[0];
    std::array<int32_t, 4> v{};
    for (std::size_t i = 0; i < out.values.size(); ++i) {
        for (std::size_t k = 0; k < 4; ++k) {
            for (std::size_t f = 0; f < n; ++f) v[f] = frames[f].values[i][k];
            out.values[i][k] = combine(v, int(n));
        }
    }
    frames.resize(1);
    return true;
}

RawDarkResult subtract_raw_dark(const DarkFrames& dark, const RawSensorView& image,
                                int32_t option2) {
    const RawSensor& d = dark.raw;
    if (!dark.loaded() || dark.kind != kKindRaw || !well_formed(d)) return RawDarkResult::none;
    if (image.empty() || image.width != d.width || image.height != d.height)
        return RawDarkResult::size_differs;
    Handling h = kKeep;
    int64_t level = 0;  // counts only for the neighbour average
    if (option2 > 0 && option2 % 256 <= kAverage) h = Handling(option2 % 256);
    if (h == kAverage) level = option2 / 256;

    std::vector<uint8_t> defects;
    if (h == kAverage) defects.assign(image.size(), 0);
    for (std::size_t i = 0; i < image.size(); ++i) {
        const uint8_t marks = subtract_pixel(image.values[i], d.values[i], h, level);
        if (h == kAverage) defects[i] = marks;
    }
    if (h != kAverage) return RawDarkResult::subtracted;

    // In row order, in place: a replaced value is seen by the pixels after it.
    for (int32_t row = 0; row < image.height; ++row)
        for (int32_t col = 0; col < image.width; ++col) {
            const uint8_t marks =
                defects[std::size_t(row) * std::size_t(image.width) + std::size_t(col)];
            for (std::size_t k = 0; k < 4; ++k)
                if (marks & (1u << k))
                    image.at(row, col)[k] = neighbour_estimate(image, row, col, k);
        }
    return RawDarkResult::subtracted;
}

}  // namespace vora
