// Every dialog's settings, one group per dialog, with their defaults. The workbench owns one
// Settings; the settings file stores it.
#pragma once

#include "settings/tone_settings.h"

namespace vora {

struct Settings {
    GammaSettings gamma;
    LevelSettings level;
    DynamicRangeSettings dynamic_range;
};

}  // namespace vora
