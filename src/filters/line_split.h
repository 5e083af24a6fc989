// Odd/even line separation (operation codes 30 and 31): a new image of the source's size
// built from every second row of the source, each row doubled.
#pragma once

#include "core/image_record.h"

namespace vora {

// Fills the target (already given the source's size and three planes by the engine): target
// rows 2j and 2j + 1 both receive source row 2j (even) or 2j + 1 (odd), for every pair that
// fits. With an odd height the last row, which belongs to no pair, repeats the row below it;
// a single-row image copies its only row. All three planes are copied. Mismatched sizes or
// planes leave the target alone.
void line_image(const ImageRecord& source, ImageRecord& target, bool odd);

}  // namespace vora
