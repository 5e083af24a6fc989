// The program's own fast development of camera RAW sensor values into the record's planes:
// tone curve, transfer with the fast colour-filter interpolation, sharpening of a grey plane and
// the colour pass (false-colour reduction, hue, saturation, sharpening carried into the
// colours). Every pass runs in bands; the sharpened grey value is worked out inside the colour
// pass instead of being kept as a plane of its own.
#pragma once

#include <cstdint>

#include "core/image_record.h"
#include "io/raw_sensor.h"
#include "settings/raw_settings.h"

namespace vora {

// The tone curve of one colour (black level b, white level w, gamma g of the settings) at x.
uint16_t raw_tone_value(double x, int32_t black_level, int32_t white_level, double gamma);

// Develops `sensor` (its values are changed by the tone curve) into `out`: width, height and
// three planes, plane row 0 = the picture's bottom row. `hue_shift` is hue × 2 − 36.
void develop_fast(const RawSensorView& sensor, const RawSettings& settings, int32_t hue_shift,
                  ImageRecord& out);

}  // namespace vora
