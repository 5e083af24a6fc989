// The resize command (RESIZE dialog, operation code 6, in place, all-images mode scales every
// image by the same ratios) and the cut-and-resize command (CUT dialog, a new image).
// Dialogs are callbacks that edit what they are given and answer false on Cancel.
#pragma once

#include <cstdint>
#include <functional>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

namespace msg {
inline constexpr const char* kUnsuitableSize = "サイズが不適切です！";
}

// Largest size the resize dialog accepts on either axis.
inline constexpr int32_t kMaxDialogSize = 10000;

// The four size fields of the RESIZE dialog; all start from the current image's size.
struct ResizeSizes {
    int32_t old_width = 0;
    int32_t old_height = 0;
    int32_t new_width = 0;
    int32_t new_height = 0;
};

// Editing a new size stores it (negatives become 0); with keep_aspect the other new size
// follows: height = (old height × width + 1) / old width, and the reverse.
void edit_new_width(ResizeSizes& s, int32_t value, bool keep_aspect);
void edit_new_height(ResizeSizes& s, int32_t value, bool keep_aspect);
// True when all four sizes lie in 0..10000.
bool sizes_suitable(const ResizeSizes& s);
// Method selector for code 6: resize_method 0 and 1 as they are, 3 Lanczos, 2 Lanczos
// unless a new size is smaller than its old size (then bilinear).
int32_t resize_selector(int32_t resize_method, const ResizeSizes& s);
// The sizes of an image of width × height scaled by the same ratios as `s`.
ResizeSizes scaled_sizes(const ResizeSizes& s, int32_t width, int32_t height);

// Probe 2, the dialog, the size check, then code 6 on the current image or on every
// occupied slot in all-images mode (a slot with unsuitable sizes gets the message and is
// skipped). Without a dialog the sizes stay as they are.
CommandResult resize_command(Workbench& wb, std::function<bool(ResizeSizes&)> dialog = {});

// Cut size, output size and method selector of the cut-and-resize command.
struct CutPlan {
    int32_t cut_width;
    int32_t cut_height;
    int32_t output_width;
    int32_t output_height;
    int32_t selector;  // Lanczos when enlarging on both axes, else bilinear
};
CutPlan plan_cut(const CutSettings& s, int32_t width, int32_t height);

// Copies the anchored rectangle of the current image into a free slot, resizes it to the
// output size (skipped when unchanged) and makes it the current, unchanged image.
CommandResult cut_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
