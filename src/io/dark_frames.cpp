#include "io/dark_frames.h"

namespace vora {

bool dark_mismatch(const DarkFrames& dark, FileKind kind, const ImageRecord& image) {
    if (!dark.loaded()) return false;
    if (image.width != dark.width || image.height != dark.height) return true;
    return (kind == kKindFits || kind == kKindRaw) && dark.kind != kind;
}

DarkResult subtract_dark_frame(const DarkFrames& dark, ImageRecord& image) {
    if (!dark.loaded()) return DarkResult::none;
    if (image.width != dark.width || image.height != dark.height) return DarkResult::size_differs;
    // The 16-bit frames and their averaging arrive with the dark-frame loader.
    return DarkResult::none;
}

}  // namespace vora
