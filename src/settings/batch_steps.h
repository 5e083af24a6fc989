// A batch step's private settings and the live settings: loading puts the step's values into
// the live settings of its operation (saving those aside), storing copies them back into the
// step and restores what was put aside. Each operation keeps its values in the step's 32
// integers in a fixed layout.
#pragma once

#include <array>
#include <cstdint>

#include "settings/batch_settings.h"
#include "settings/settings.h"

namespace vora {

// Saves the live settings of `operation` aside and, when step `step` (0..7) holds values of
// that operation, puts them into the live settings; otherwise the live settings stay and will
// become the step's starting values.
void load_step_settings(BatchRecipe& recipe, Settings& live, int32_t operation, int step);

// Copies the live settings of `operation` into step `step` (which then belongs to it) and
// restores the live settings put aside by load_step_settings.
void store_step_settings(BatchRecipe& recipe, Settings& live, int32_t operation, int step);

// The 32 integers of `operation` taken from / given to the settings (operations without
// settings give zeros and take nothing).
std::array<int32_t, kStepValues> step_values_from(const Settings& s, int32_t operation);
void step_values_to(const std::array<int32_t, kStepValues>& values, int32_t operation,
                    Settings& s);

}  // namespace vora
