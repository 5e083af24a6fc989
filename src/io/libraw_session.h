// One camera RAW file open in the decoder library (LibRaw). The library's header stays in the
// .cpp; callers see the file's camera data, its sensor values and its interpolated picture.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/image_record.h"
#include "io/io_status.h"
#include "io/raw_sensor.h"

namespace vora {

// What the decoder reports about the exposure, as it reports it.
struct RawCameraInfo {
    std::string make;
    std::string model;
    int64_t timestamp = 0;  // seconds since 1970, 0 when the file has none
    double iso_speed = 0;
    double shutter = 0;   // seconds
    double aperture = 0;  // f-number
};

// Largest picture the decoder is asked to develop.
inline constexpr int64_t kRawMaxPixels = 200'000'000;

class LibRawSession {
  public:
    LibRawSession();
    ~LibRawSession();
    LibRawSession(const LibRawSession&) = delete;
    LibRawSession& operator=(const LibRawSession&) = delete;

    // Opens, identifies and unpacks the file. Everything below needs this to succeed first.
    ReadResult open(const std::string& path);

    RawCameraInfo camera() const;

    // The sensor values as the decoder prepares them for interpolation: black subtracted,
    // scaled to 16 bits with the camera's white balance, second green merged into slot 1.
    ReadResult sensor(RawSensor& out);
    // The same values handed to `use` where the decoder keeps them, without a copy; the view
    // is valid only during the call.
    ReadResult with_sensor(const std::function<void(const RawSensorView&)>& use);

    // The decoder's own interpolation at `quality` 0..3 (bilinear, VNG, PPG, AHD), camera
    // white balance, sRGB, 16 bits, into width, height and planes of `out`. `before_interpolation`
    // may change the sensor values (the form `sensor` gives) just before the interpolation.
    using SensorHook = std::function<void(RawSensor&)>;
    ReadResult interpolate(int quality, const SensorHook& before_interpolation, ImageRecord& out);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vora
