// Raw sensor values of one camera file: four 16-bit values per pixel (one per decoder colour
// slot), rows from the top as the decoder delivers them. For colour-filter data only the slot
// of the pixel's own filter colour is non-zero. Dark frames, the dark subtraction and the
// fast development all work on this form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vora {

// The decoder's filter code of X-Trans sensors.
inline constexpr uint32_t kFiltersXTrans = 9;

struct RawSensor {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::array<uint16_t, 4>> values;  // width × height, row after row from the top
    uint32_t filters = 0;  // 0 full colour; 9 X-Trans; 1 Leaf CatchLight; otherwise Bayer
    std::array<std::array<int8_t, 6>, 6> xtrans{};  // X-Trans colours by (row, col) mod 6

    bool empty() const { return width < 1 || height < 1; }
    std::array<uint16_t, 4>& at(int32_t row, int32_t col) {
        return values[std::size_t(row) * std::size_t(width) + std::size_t(col)];
    }
    const std::array<uint16_t, 4>& at(int32_t row, int32_t col) const {
        return values[std::size_t(row) * std::size_t(width) + std::size_t(col)];
    }
};

// Sensor values held elsewhere: by a RawSensor, or in place in the decoder's own buffer, so
// that a 24-megapixel file is developed without a 192 MB copy. A RawSensor whose vector does
// not hold width × height pixels gives an empty view.
struct RawSensorView {
    using Pixel = std::array<uint16_t, 4>;
    int32_t width = 0;
    int32_t height = 0;
    Pixel* values = nullptr;  // width × height, row after row from the top
    uint32_t filters = 0;
    std::array<std::array<int8_t, 6>, 6> xtrans{};

    RawSensorView() = default;
    RawSensorView(RawSensor& s)  // NOLINT: implicit, a RawSensor can go wherever a view does
        : filters(s.filters), xtrans(s.xtrans) {
        if (s.empty() || s.values.size() != std::size_t(s.width) * std::size_t(s.height)) return;
        width = s.width;
        height = s.height;
        values = s.values.data();
    }

    bool empty() const { return width < 1 || height < 1 || !values; }
    std::size_t size() const { return empty() ? 0 : std::size_t(width) * std::size_t(height); }
    Pixel& at(int32_t row, int32_t col) const {
        return values[std::size_t(row) * std::size_t(width) + std::size_t(col)];
    }
};

}  // namespace vora
