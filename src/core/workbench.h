// Everything process-wide: the image table, the engine's parameter vector and the state the
// commands remember between calls. Front ends own exactly one; there are no other globals.
#pragma once

#include <cstdint>

#include "core/engine.h"
#include "core/image_table.h"
#include "io/dark_frames.h"
#include "settings/batch_settings.h"
#include "settings/settings.h"

namespace vora {

// Save dialog file types, 1..7: BMP, PNG, JPEG (JFIF), JPEG (Exif), TIFF, PPM binary, PPM ASCII.
inline constexpr int32_t kSaveFilterCount = 7;

struct Workbench {
    ImageTable table;
    ParamVector params{};
    int32_t save_filter_index = 1;  // file type last chosen when saving
    DarkFrames dark;
    Settings settings;
    BackgroundPick background_pick;  // clicks on the image collecting background samples
    StarPick star_pick;              // clicks choosing the rotation composite's two stars
    BatchRecipe batch;               // the batch recipe and batch mode
};

}  // namespace vora
