// Stacking mode 4: a blend whose weights drift, pixel by pixel in raster order, towards the
// image with clearly the highest local contrast.
#include <algorithm>
#include <array>
#include <limits>

#include "composite/stack_rows.h"

namespace vora::stacking {
namespace {

constexpr int32_t kAbsent = -513;  // no full 3 × 3 neighbourhood, or no image
constexpr int32_t kLead = 513;     // margin by which one contrast must beat every other
constexpr int32_t kLowest = 2, kHighest = 10;

struct ColumnScratch {
    std::vector<int32_t> high, low;
};

// Local contrast along one canvas row: max − min of R + G + B over the 3 × 3 neighbourhood
// in the image, kAbsent where that neighbourhood is not entirely inside it.
void contrast_row(const PlacedImage& im, const RowView& v, int32_t width, std::vector<int32_t>& out,
                  ColumnScratch& s) {
    std::fill(out.begin(), out.end(), kAbsent);
    if (!v.covered || v.image_row < 1 || v.image_row > im.height - 2) return;
    const int64_t x0 = std::max<int64_t>(im.ox + 1, 0);
    const int64_t x1 = std::min<int64_t>(im.ox + im.width - 1, width);
    if (x0 >= x1) return;
    // Column extremes over the three rows, for image columns first .. first + count − 1.
    const int64_t first = x0 - im.ox - 1, count = x1 - x0 + 2;
    for (int64_t k = 0; k < count; ++k) {
        int32_t high = std::numeric_limits<int32_t>::min(),
                low = std::numeric_limits<int32_t>::max();
        for (int64_t dy = -1; dy <= 1; ++dy) {
            const int64_t at = first + k + dy * im.width;
            const int32_t sum = int32_t(v.row[0][at]) + v.row[1][at] + v.row[2][at];
            high = std::max(high, sum);
            low = std::min(low, sum);
        }
        s.high[std::size_t(k)] = high;
        s.low[std::size_t(k)] = low;
    }
    for (int64_t x = x0; x < x1; ++x) {
        const std::size_t k = std::size_t(x - x0 + 1);
        const int32_t high = std::max({s.high[k - 1], s.high[k], s.high[k + 1]});
        const int32_t low = std::min({s.low[k - 1], s.low[k], s.low[k + 1]});
        out[std::size_t(x)] = high - low;
    }
}

// The image whose contrast is at least every other's plus kLead, or −1.
int leading_image(const std::array<int32_t, kMaxImages>& c) {
    for (int i = 0; i < kMaxImages; ++i) {
        if (c[std::size_t(i)] < 0) continue;
        bool leads = true;
        for (int j = 0; j < kMaxImages; ++j)
            if (j != i && c[std::size_t(i)] < c[std::size_t(j)] + kLead) leads = false;
        if (leads) return i;
    }
    return -1;
}

}  // namespace

void stack_max_contrast(const std::vector<PlacedImage>& images, ImageRecord& target) {
    const int32_t width = target.width;
    const std::size_t n = images.size();
    std::array<int32_t, kMaxImages> blend{1, 1, 1, 1};  // carried over the whole canvas
    std::vector<std::vector<int32_t>> contrast(n, std::vector<int32_t>(std::size_t(width)));
    ColumnScratch scratch{std::vector<int32_t>(std::size_t(width) + 2),
                          std::vector<int32_t>(std::size_t(width) + 2)};
    std::array<RowView, kMaxImages> views{};
    // Raster order: stored rows from row 0 up, x ascending.
    for (int32_t y = 0; y < target.height; ++y) {
        for (std::size_t i = 0; i < n; ++i) {
            views[i] = row_view(images[i], y, width);
            contrast_row(images[i], views[i], width, contrast[i], scratch);
        }
        const std::size_t row = std::size_t(y) * std::size_t(width);
        for (int32_t x = 0; x < width; ++x) {
            std::array<int32_t, kMaxImages> c;
            c.fill(kAbsent);
            for (std::size_t i = 0; i < n; ++i) c[i] = contrast[i][std::size_t(x)];
            const int lead = leading_image(c);
            if (lead >= 0)
                for (int i = 0; i < kMaxImages; ++i) blend[std::size_t(i)] += i == lead ? 1 : -1;
            for (int32_t& b : blend) b = std::clamp(b, kLowest, kHighest);
            for (int ch = 0; ch < 3; ++ch) {
                int64_t sum = 0, weights = 0;
                for (std::size_t i = 0; i < n; ++i) {
                    if (c[i] < 0) continue;
                    sum += int64_t(views[i].at(ch, x)) * blend[i];
                    weights += blend[i];
                }
                target.plane(ch)[row + std::size_t(x)] =
                    weights == 0 ? uint16_t(0) : clamp_sample(sum / weights);
            }
        }
    }
}

}  // namespace vora::stacking
