#include "composite/point_align.h"

#include <cmath>

#include "core/engine.h"
#include "filters/resize.h"

namespace vora {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Segment {
    double length = 0.0;
    double angle = 0.0;  // thousandths of a degree
};

// Length and direction of B − A on the packed values (y from the top).
Segment segment_of(const PointSource& s) {
    const double dx = double(s.packed_b / kPointPack) - double(s.packed_a / kPointPack);
    const double dy = double(s.packed_b % kPointPack) - double(s.packed_a % kPointPack);
    return {std::sqrt(dx * dx + dy * dy), segment_angle(dx, dy)};
}

RotationPoint stored_point(int32_t packed, int32_t height) {
    const StoredPoint p = unpack_point(packed, height);
    return {double(p.x), double(p.row)};
}

// The three planes of `r` (a mono record's red plane in all three) without its undo data.
std::unique_ptr<ImageRecord> working_copy(const ImageRecord& r) {
    auto copy = std::make_unique<ImageRecord>();
    copy->width = r.width;
    copy->height = r.height;
    const std::size_t n = r.sample_count();
    for (int c = 0; c < 3; ++c) {
        const Plane& src = (r.mono == 1 || r.plane(c).size() < n) ? r.red : r.plane(c);
        copy->plane(c).assign(src.begin(), src.begin() + std::ptrdiff_t(n));
    }
    return copy;
}

bool same_source(const PointSource& a, const PointSource& b) {
    return a.image == b.image && a.packed_a == b.packed_a && a.packed_b == b.packed_b;
}

int32_t midpoint(double a, double b) {
    return int32_t(int64_t(a + b + 1.0) / 2);
}

}  // namespace

double segment_angle(double dx, double dy) {
    if (dx == 0.0) return dy < 1.0 ? -90000.0 : 90000.0;
    const double angle = std::atan(dy / dx) * 180000.0 / kPi;
    return dx < 0.0 ? angle + 180000.0 : angle;
}

AlignedImages align_by_points(const std::vector<PointSource>& sources) {
    AlignedImages out;
    if (sources.empty()) return out;
    const Segment ref = segment_of(sources[0]);
    for (std::size_t i = 0; i < sources.size() && i < out.points.size(); ++i) {
        const PointSource& s = sources[i];
        RotationPointPair& pts = out.points[i];
        const ImageRecord* shown = s.image;
        pts = {stored_point(s.packed_a, s.image->height),
               stored_point(s.packed_b, s.image->height)};
        bool shared = false;
        for (std::size_t k = 1; k < i && !shared; ++k) {
            if (!same_source(sources[k], s)) continue;
            shown = out.placed[k].image;
            pts = out.points[k];
            shared = true;
        }
        if (i > 0 && !shared) {
            const Segment seg = segment_of(s);
            // A segment shorter than a pixel has no usable scale.
            const bool scale =
                std::fabs(seg.length - ref.length) >= 1.0 && seg.length >= 1.0 && ref.length >= 1.0;
            const double turn = seg.angle - ref.angle;
            const bool rotate = std::fabs(turn) >= 1.0;
            if (scale || rotate) {
                out.copies.push_back(working_copy(*s.image));
                ImageRecord& copy = *out.copies.back();
                if (scale) {
                    const auto num = int32_t(ref.length * 256.0);
                    const auto den = int32_t(seg.length * 256.0);
                    resize_record(copy, num, den, num, den, kResizeBilinear);
                    const double f = ref.length / seg.length;
                    pts = {{pts.a.x * f, pts.a.y * f}, {pts.b.x * f, pts.b.y * f}};
                }
                // Moves pts, which is out.points[i], with the content.
                if (rotate) rotate_any(copy, int32_t(turn), int32_t(i), &out.points);
                shown = &copy;
            }
        }
        out.placed.push_back({shown, 0, 0, 100});
    }
    const RotationPointPair& r = out.points[0];
    const int32_t mx = midpoint(r.a.x, r.b.x), my = midpoint(r.a.y, r.b.y);
    for (std::size_t i = 1; i < out.placed.size(); ++i) {
        const RotationPointPair& p = out.points[i];
        out.placed[i].ox = mx - midpoint(p.a.x, p.b.x);
        out.placed[i].oy = my - midpoint(p.a.y, p.b.y);
    }
    return out;
}

}  // namespace vora
