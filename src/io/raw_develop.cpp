#include "io/raw_develop.h"

#include <cstddef>
#include <memory>

#include "io/byte_reader.h"
#include "io/raw_develop_passes.h"

namespace vora {
namespace {

// Gives `out`'s planes n samples each; planes of that size already are reused as they are.
void size_planes(ImageRecord& out, std::size_t n) {
    Plane fresh[3];
    for (int c = 0; c < 3; ++c)
        if (out.plane(c).size() != n) {  // all allocated before any swap
            fresh[c].reserve(n);
            io_detail::prefer_huge_pages(fresh[c].data(), n * sizeof(uint16_t));
            fresh[c].resize(n);
        }
    for (int c = 0; c < 3; ++c)
        if (out.plane(c).size() != n) out.plane(c).swap(fresh[c]);
}

}  // namespace

void develop_fast(const RawSensorView& sensor, const RawSettings& settings, int32_t hue_shift,
                  ImageRecord& out) {
    if (sensor.empty()) return;
    const int32_t w = sensor.width, h = sensor.height;
    const std::size_t n = std::size_t(w) * std::size_t(h);

    raw_pass::apply_tone_curve(sensor, settings);
    // The grey plane is scratch; the transfer writes every sample, so it stays uninitialised.
    const std::unique_ptr<uint16_t[]> grey(new uint16_t[n]);
    io_detail::prefer_huge_pages(grey.get(), n * sizeof(uint16_t));
    size_planes(out, n);
    uint16_t* const planes[3] = {out.red.data(), out.green.data(), out.blue.data()};
    raw_pass::transfer_planes(sensor, planes[0], planes[1], planes[2], grey.get());

    const raw_pass::GreySharpener sharp(grey.get(), w, h, settings.sharpness,
                                        settings.sharp_radius);
    const raw_pass::ColorParams params{settings.false_color, hue_shift, settings.saturation};
    raw_pass::color_pass_in_place(planes, grey.get(), sharp, w, h, params);
    out.width = w;
    out.height = h;
    out.mono = 0;
}

}  // namespace vora
