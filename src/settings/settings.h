// Every dialog's settings, one group per dialog, with their defaults. The workbench owns one
// Settings; the settings file stores it (settings_file.h lists which field goes under which
// keyword). A value-initialised Settings holds every default.
#pragma once

#include <cstdint>

#include "settings/background_settings.h"
#include "settings/color_settings.h"
#include "settings/composite_settings.h"
#include "settings/display_settings.h"
#include "settings/filter_settings.h"
#include "settings/geometry_settings.h"
#include "settings/raw_settings.h"
#include "settings/tone_settings.h"

namespace vora {

struct Settings {
    GammaSettings gamma;
    LevelSettings level;
    DynamicRangeSettings dynamic_range;
    SharpSettings sharp;
    EdgeSettings edge;
    WaveletSettings wavelet;
    WaveletFilterSettings wavelet_filter;
    RestoreSettings restore;
    NoiseSettings noise;
    ResizeSettings resize;
    RotateSettings rotate;
    CutSettings cut;
    DistortionSettings distortion;
    MonochromeSettings monochrome;
    ColorSettings color;
    ColorReplaceSettings color_replace;
    CompositeSettings composite;
    MultiFileCompositeSettings multi_file_composite;
    LrgbSettings lrgb;
    BackgroundSettings background;
    BackgroundGenerationSettings background_generation;
    ComparisonSettings comparison;
    RawSettings raw;
    DarkSettings dark;
    DisplaySettings display;
    // The value of the "level" keyword: no dialog or operation uses it, but it is read and
    // written back unchanged so files keep it.
    int32_t unused_level = 10;
};

}  // namespace vora
