#include "io/raw_develop.h"

#include <cstddef>

#include "io/raw_develop_passes.h"

namespace vora {
namespace {

bool usable(const RawSensor& s) {
    return !s.empty() && s.values.size() == std::size_t(s.width) * std::size_t(s.height);
}

// Gives `out`'s planes n samples each; planes of that size already are reused as they are.
void size_planes(ImageRecord& out, std::size_t n) {
    Plane fresh[3];
    for (int c = 0; c < 3; ++c)
        if (out.plane(c).size() != n) fresh[c].resize(n);  // all allocated before any swap
    for (int c = 0; c < 3; ++c)
        if (out.plane(c).size() != n) out.plane(c).swap(fresh[c]);
}

}  // namespace

void develop_fast(RawSensor& sensor, const RawSettings& settings, int32_t hue_shift,
                  ImageRecord& out) {
    if (!usable(sensor)) return;
    const int32_t w = sensor.width, h = sensor.height;
    const std::size_t n = std::size_t(w) * std::size_t(h);

    raw_pass::apply_tone_curve(sensor, settings);
    Plane red(n), green(n), blue(n), grey(n);
    raw_pass::transfer_planes(sensor, red, green, blue, grey);

    const raw_pass::GreySharpener sharp(grey, w, h, settings.sharpness, settings.sharp_radius);
    size_planes(out, n);
    const Plane* const in[3] = {&red, &green, &blue};
    Plane* const dst[3] = {&out.red, &out.green, &out.blue};
    const raw_pass::ColorParams params{settings.false_color, hue_shift, settings.saturation};
    raw_pass::color_pass(in, grey, sharp, w, h, params, dst);
    out.width = w;
    out.height = h;
    out.mono = 0;
}

}  // namespace vora
