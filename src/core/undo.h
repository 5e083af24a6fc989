// One-level undo inside each record, the flags every kind of result receives, and the
// record helpers that build derived images (cut, area copy).
#pragma once

#include "core/image_record.h"

namespace vora {

// Copies the three planes, size and mono flag into the undo copy (reusing its memory).
void take_snapshot(ImageRecord& r);
// Exchanges planes, size and mono with the undo copy; no sample is copied.
void swap_with_snapshot(ImageRecord& r);

void mark_in_place_result(ImageRecord& r);
void mark_new_result(ImageRecord& r);
void mark_fresh_copy(ImageRecord& r);  // also computes the histogram
void mark_loaded(ImageRecord& r);

// Keeps a W × H rectangle of `src` in `dst`, placed by anchor 0..8 (reading order on
// screen: 0 top-left, 4 centre, 8 bottom-right); sizes larger than the source keep it whole.
void crop_record(const ImageRecord& src, ImageRecord& dst, int w, int h, int anchor);

// A corner of an area selection: column and stored row.
struct SampleCorner {
    int x;
    int y;
};
// Copies the rectangle spanned by two corners (clipped to the source) into `dst`.
void copy_area(const ImageRecord& src, ImageRecord& dst, SampleCorner a, SampleCorner b);

}  // namespace vora
