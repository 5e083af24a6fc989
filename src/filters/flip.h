// Mirror images of a record, in place: mode 1 left-right, mode 2 top-bottom.
#pragma once

#include <cstdint>

#include "core/image_record.h"

namespace vora {

// Any other mode, an empty record or planes of the wrong size leave the record alone.
void flip(ImageRecord& record, int32_t mode);

}  // namespace vora
