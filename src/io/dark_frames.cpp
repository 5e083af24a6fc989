#include "io/dark_frames.h"

#include <algorithm>
#include <cstddef>

namespace vora {
namespace {

std::size_t pixels(int32_t width, int32_t height) {
    return std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0));
}

void subtract_plane(const Plane& dark, Plane& image) {
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = image[i] > dark[i] ? uint16_t(image[i] - dark[i]) : uint16_t(0);
}

}  // namespace

void drop_dark_frames(DarkFrames& dark) {
    std::array<std::string, kDarkFileCount> files = std::move(dark.files);
    dark = DarkFrames();
    dark.files = std::move(files);
}

bool dark_mismatch(const DarkFrames& dark, FileKind kind, const ImageRecord& image) {
    if (!dark.loaded()) return false;
    if (image.width != dark.width || image.height != dark.height) return true;
    return (kind == kKindFits || kind == kKindRaw) && dark.kind != kind;
}

DarkResult subtract_dark_frame(const DarkFrames& dark, ImageRecord& image) {
    const ImageRecord& frame = dark.frame16;
    const std::size_t n = pixels(frame.width, frame.height);
    const bool have_frame = dark.loaded() && frame.width == dark.width &&
                            frame.height == dark.height && frame.red.size() == n &&
                            frame.green.size() == n && frame.blue.size() == n;
    if (!have_frame) return DarkResult::none;
    if (image.width != frame.width || image.height != frame.height) return DarkResult::size_differs;
    // A mono image has only its red plane in use; the others are refilled from it later.
    const int planes = image.mono ? 1 : 3;
    for (int c = 0; c < planes; ++c) {
        Plane& p = image.plane(c);
        if (p.size() == n) subtract_plane(frame.plane(c), p);
    }
    return DarkResult::subtracted;
}

}  // namespace vora
