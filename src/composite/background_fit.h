// Background correction by picked points: a surface K·g + z is fitted by grid search to
// background samples picked on the image and then divided out or subtracted.
//
// g(x, y) = ((x − x0)² + (y − y0)²)^q + a·(x − x0) + b·(y − y0), in double precision, with
// x the column and y the stored row (points and pixels alike). The grid: x0 from w/4 to 3w/4
// in steps of w/20 (at least 1), y0 likewise with h; a from −4000/w upwards in steps of
// (4000/w)/20 while below 4000/w, b likewise with h; q = 0.6, 0.8, … while ≤ 1.4. For each
// combination K is the mean slope (v_j − v_i)/(g_j − g_i) over the pairs i < j with
// g_i ≠ g_j, z = Σ(v_i − K·g_i)/n, and the residual Σ(v_i − (K·g_i + z))²; the first
// combination with the smallest residual wins. Combinations where no pair has distinct g
// (K undefined) or the residual is not finite are passed over.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/image_record.h"
#include "settings/background_settings.h"

namespace vora {

struct BackgroundSurface {
    double x0 = 0, y0 = 0, a = 0, b = 0, q = 1;
    double k = 0, z = 0;
    double residual = 0;
};

struct BackgroundFit {
    bool valid = false;  // false: fewer than two points, or K undefined everywhere
    int channels = 0;    // 1 for a mono record, else 3
    std::array<BackgroundSurface, 3> surface{};
};

// K·g(x, y) + z.
double surface_value(const BackgroundSurface& s, double x, double y);

// The grid search, per channel (red only for a mono record), over the first
// kMaxBackgroundPoints points. Leaves the image alone.
BackgroundFit find_background_fit(const ImageRecord& record,
                                  const std::vector<BackgroundPoint>& points);

// Corrects every sample with S = surface (0 where not positive): mode 3 v × z / S (0 where S
// is 0), mode 4 v − S + shift × 256; truncated and limited to 0..65535. Returns false, with
// the image unchanged, for an invalid fit, an empty image or another mode.
bool apply_background_fit(ImageRecord& record, const BackgroundFit& fit, int32_t reference_mode,
                          int32_t reference_shift);

// Search and correction together; false when the image was left unchanged.
bool fit_background_points(ImageRecord& record, const std::vector<BackgroundPoint>& points,
                           int32_t reference_mode, int32_t reference_shift);

}  // namespace vora
