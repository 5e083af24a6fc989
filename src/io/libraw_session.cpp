#include "io/libraw_session.h"

#include <libraw.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

#include "core/bands.h"
#include "io/byte_reader.h"

namespace vora {
namespace {

// The decoder with access to the single steps of its development.
class Decoder : public LibRaw {
  public:
    // No default handlers: they print data and memory errors on the terminal.
    Decoder() : LibRaw(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK) {}

    // The steps dcraw_process runs before its interpolation, in its order: raw data into the
    // four-slot image (black subtracted on the way for colour-filter data), zero pixels
    // filled, black levels subtracted, maximum adjusted, white-balance scaling to 16 bits,
    // pre_interpolate (second green merged into slot 1, filter code adjusted).
    int prepare_for_interpolation() {
        libraw_decoder_info_t info{};
        get_decoder_info(&info);
        auto& internal = libraw_internal_data.internal_output_params;
        const bool is_bayer = imgdata.idata.filters || imgdata.idata.colors == 1;
        const int subtract_inline = !imgdata.params.bad_pixels && !imgdata.params.dark_frame &&
                                    is_bayer && !internal.zero_is_bad;
        if (int rc = raw2image_ex(subtract_inline); rc != LIBRAW_SUCCESS) return rc;
        if (!imgdata.image) return LIBRAW_OUT_OF_ORDER_CALL;
        if (internal.zero_is_bad) remove_zeroes();
        if (!subtract_inline || !imgdata.color.data_maximum) {
            adjust_bl();
            subtract_black_internal();
        }
        if (!(info.decoder_flags & LIBRAW_DECODER_FIXEDMAXC)) adjust_maximum();
        if (imgdata.params.user_sat > 0) imgdata.color.maximum = imgdata.params.user_sat;
        scale_colors();
        pre_interpolate();
        return LIBRAW_SUCCESS;
    }

    int image_width() const { return imgdata.sizes.iwidth; }
    int image_height() const { return imgdata.sizes.iheight; }

    // Runs dcraw_process with `hook` called on the prepared sensor values just before the
    // interpolation.
    int process_with_hook(const LibRawSession::SensorHook* hook) {
        struct Unhook {
            Decoder& d;
            ~Unhook() {
                d.callbacks.pre_interpolate_cb = nullptr;
                d.hook_ = nullptr;
            }
        } unhook{*this};
        hook_ = hook;
        callbacks.pre_interpolate_cb = hook ? &Decoder::run_hook : nullptr;
        return dcraw_process();
    }

    void copy_sensor(RawSensor& out) const;
    // The prepared values where they are, with the same slot fixes as copy_sensor.
    RawSensorView sensor_in_place();
    void restore_sensor(const RawSensor& in);

  private:
    static void run_hook(void* context) {
        auto* self = static_cast<Decoder*>(static_cast<LibRaw*>(context));
        if (!self->hook_ || !self->imgdata.image) return;
        RawSensor sensor;
        self->copy_sensor(sensor);
        (*self->hook_)(sensor);
        self->restore_sensor(sensor);
    }

    const LibRawSession::SensorHook* hook_ = nullptr;
};

// Reads the decoder's four-slot pixels as sensor pixels, changed on the way by Fix, so that
// the sensor's vector is filled in one pass without being zeroed first.
template <class Fix>
class PixelReader {
  public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::array<uint16_t, 4>;
    using difference_type = std::ptrdiff_t;
    using pointer = const value_type*;
    using reference = value_type;

    explicit PixelReader(const ushort (*at)[4]) : at_(at) {}
    value_type operator*() const {
        value_type v{(*at_)[0], (*at_)[1], (*at_)[2], (*at_)[3]};
        Fix{}(v);
        return v;
    }
    PixelReader& operator++() {
        ++at_;
        return *this;
    }
    PixelReader operator++(int) {
        PixelReader before = *this;
        ++at_;
        return before;
    }
    PixelReader& operator--() {
        --at_;
        return *this;
    }
    PixelReader& operator+=(difference_type k) {
        at_ += k;
        return *this;
    }
    difference_type operator-(const PixelReader& o) const { return at_ - o.at_; }
    bool operator==(const PixelReader& o) const { return at_ == o.at_; }

  private:
    const ushort (*at_)[4];
};

template <class Fix>
void read_pixels(const ushort (*image)[4], std::size_t n, RawSensor& out) {
    std::vector<std::array<uint16_t, 4>> fresh;
    fresh.reserve(n);  // allocated, not yet touched
    io_detail::prefer_huge_pages(fresh.data(), n * sizeof(fresh[0]));
    fresh.assign(PixelReader<Fix>(image), PixelReader<Fix>(image + n));
    out.values.swap(fresh);
}

// Pixels per unit of the bands of fix_pixels.
constexpr std::size_t kFixChunk = 4096;

struct KeepSlots {
    void operator()(std::array<uint16_t, 4>&) const {}
};
// pre_interpolate leaves the second green's copy in slot 3; only slots 0..2 count.
struct ClearSlot3 {
    void operator()(std::array<uint16_t, 4>& v) const { v[3] = 0; }
};
// Monochrome sensors: grey in all three colours.
struct GreyToColours {
    void operator()(std::array<uint16_t, 4>& v) const { v[1] = v[2] = v[0]; }
};

// The decoder's buffer seen as sensor values, changed in place as the copies are changed.
template <class Fix>
void fix_pixels(ushort (*image)[4], std::size_t n) {
    // ushort[4] and std::array<uint16_t, 4> have the same layout; std::array holds the array
    // as its only member.
    auto* pixels = reinterpret_cast<std::array<uint16_t, 4>*>(image);
    run_bands(int(n / kFixChunk) + 1, [&](int, int begin, int end) {
        const std::size_t to = std::min(n, std::size_t(end) * kFixChunk);
        for (std::size_t i = std::size_t(begin) * kFixChunk; i < to; ++i) Fix{}(pixels[i]);
    });
}

RawSensorView Decoder::sensor_in_place() {
    const int w = image_width(), h = image_height();
    const std::size_t n = std::size_t(w) * std::size_t(h);
    const int colors = imgdata.idata.colors;
    if (colors == 3)
        fix_pixels<ClearSlot3>(imgdata.image, n);
    else if (colors == 1 && imgdata.idata.filters == 0)
        fix_pixels<GreyToColours>(imgdata.image, n);
    RawSensorView view;
    view.width = w;
    view.height = h;
    view.values = reinterpret_cast<std::array<uint16_t, 4>*>(imgdata.image);
    view.filters = imgdata.idata.filters;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) view.xtrans[r][c] = imgdata.idata.xtrans[r][c];
    return view;
}

void Decoder::copy_sensor(RawSensor& out) const {
    const int w = image_width(), h = image_height();
    const std::size_t n = std::size_t(w) * std::size_t(h);
    out.width = w;
    out.height = h;
    out.filters = imgdata.idata.filters;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) out.xtrans[r][c] = imgdata.idata.xtrans[r][c];
    const int colors = imgdata.idata.colors;
    if (colors == 3)
        read_pixels<ClearSlot3>(imgdata.image, n, out);
    else if (colors == 1 && out.filters == 0)
        read_pixels<GreyToColours>(imgdata.image, n, out);
    else
        read_pixels<KeepSlots>(imgdata.image, n, out);
}

void Decoder::restore_sensor(const RawSensor& in) {
    const std::size_t n = std::size_t(image_width()) * std::size_t(image_height());
    if (in.values.size() != n) return;
    const int slots = imgdata.idata.colors == 3 ? 3 : imgdata.idata.colors == 1 ? 1 : 4;
    for (std::size_t i = 0; i < n; ++i)
        for (int s = 0; s < slots; ++s) imgdata.image[i][s] = in.values[i][std::size_t(s)];
}

// The decoder's error code as a read status, with its own wording as the reason.
ReadResult decoder_error(int rc, const char* step) {
    ReadStatus status = ReadStatus::corrupt;
    if (rc == LIBRAW_FILE_UNSUPPORTED) status = ReadStatus::not_this_format;
    if (rc == LIBRAW_UNSUFFICIENT_MEMORY || rc == LIBRAW_TOO_BIG) status = ReadStatus::unsupported;
    return read_failed(status, std::string(step) + ": " + libraw_strerror(rc));
}

bool fits_limits(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w * h <= kRawMaxPixels;
}

// The decoder's 16-bit RGB bitmap, top row first, into the record's planes (bottom row first).
bool bitmap_into(const libraw_processed_image_t& img, ImageRecord& out) {
    const int w = img.width, h = img.height;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    if (img.type != LIBRAW_IMAGE_BITMAP || img.colors != 3 || img.bits != 16 ||
        !fits_limits(w, h) || img.data_size < n * 6)
        return false;
    for (Plane* p : {&out.red, &out.green, &out.blue}) p->assign(n, 0);
    uint16_t px[3];
    for (int r = 0; r < h; ++r) {
        const unsigned char* src = img.data + std::size_t(r) * std::size_t(w) * 6;
        const std::size_t row = std::size_t(h - 1 - r) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            std::memcpy(px, src + std::size_t(x) * 6, sizeof px);
            out.red[row + std::size_t(x)] = px[0];
            out.green[row + std::size_t(x)] = px[1];
            out.blue[row + std::size_t(x)] = px[2];
        }
    }
    out.width = w;
    out.height = h;
    return true;
}

}  // namespace

struct LibRawSession::Impl {
    Decoder decoder;
    bool unpacked = false;
};

LibRawSession::LibRawSession() = default;
LibRawSession::~LibRawSession() = default;

ReadResult LibRawSession::open(const std::string& path) {
    try {
        if (!std::ifstream(path, std::ios::binary))
            return read_failed(ReadStatus::cannot_open, "cannot open " + path);
        impl_ = std::make_unique<Impl>();
        Decoder& d = impl_->decoder;
        // Camera white balance; the full-size picture, never halved.
        d.imgdata.params.use_camera_wb = 1;
        d.imgdata.params.half_size = 0;
        d.imgdata.params.four_color_rgb = 0;
        // The maximum as the camera tables give it, not lowered to the brightest value of this
        // file: images and dark frames are then scaled alike.
        d.imgdata.params.adjust_maximum_thr = 0.0f;
        if (int rc = d.open_file(path.c_str()); rc != LIBRAW_SUCCESS)
            return decoder_error(rc, "identify");
        const auto& s = d.imgdata.sizes;
        if (!fits_limits(s.raw_width, s.raw_height) || !fits_limits(s.width, s.height))
            return read_failed(ReadStatus::unsupported, "picture size out of range");
        if (int rc = d.unpack(); rc != LIBRAW_SUCCESS) return decoder_error(rc, "unpack");
        impl_->unpacked = true;
        return read_ok();
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory");
    } catch (...) {
        return read_failed(ReadStatus::corrupt, "decoder failure");
    }
}

RawCameraInfo LibRawSession::camera() const {
    RawCameraInfo info;
    if (!impl_) return info;
    const auto& d = impl_->decoder.imgdata;
    info.make.assign(d.idata.make, strnlen(d.idata.make, sizeof d.idata.make));
    info.model.assign(d.idata.model, strnlen(d.idata.model, sizeof d.idata.model));
    info.timestamp = int64_t(d.other.timestamp);
    info.iso_speed = d.other.iso_speed;
    info.shutter = d.other.shutter;
    info.aperture = d.other.aperture;
    return info;
}

ReadResult LibRawSession::sensor(RawSensor& out) {
    RawSensor staged;
    const ReadResult r = with_sensor([&](const RawSensorView& view) {
        staged.width = view.width;
        staged.height = view.height;
        staged.filters = view.filters;
        staged.xtrans = view.xtrans;
        staged.values.reserve(view.size());  // allocated, not yet touched
        io_detail::prefer_huge_pages(staged.values.data(), view.size() * sizeof(view.values[0]));
        staged.values.assign(view.values, view.values + view.size());
    });
    if (r.ok()) out = std::move(staged);
    return r;
}

ReadResult LibRawSession::with_sensor(const std::function<void(const RawSensorView&)>& use) {
    if (!impl_ || !impl_->unpacked) return read_failed(ReadStatus::corrupt, "not unpacked");
    try {
        Decoder& d = impl_->decoder;
        if (int rc = d.prepare_for_interpolation(); rc != LIBRAW_SUCCESS)
            return decoder_error(rc, "prepare");
        if (!fits_limits(d.image_width(), d.image_height()))
            return read_failed(ReadStatus::corrupt, "picture size out of range");
        use(d.sensor_in_place());
        d.recycle();
        impl_->unpacked = false;
        return read_ok();
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory");
    } catch (...) {
        return read_failed(ReadStatus::corrupt, "decoder failure");
    }
}

ReadResult LibRawSession::interpolate(int quality, const SensorHook& before_interpolation,
                                      ImageRecord& out) {
    if (!impl_ || !impl_->unpacked) return read_failed(ReadStatus::corrupt, "not unpacked");
    try {
        Decoder& d = impl_->decoder;
        auto& p = d.imgdata.params;
        p.user_qual = std::clamp(quality, 0, 3);
        p.output_color = 1;  // sRGB
        p.output_bps = 16;
        // The sensor's geometry, as the fast development gives it: no turn by the orientation
        // tag, no Fuji 45-degree rotation, no stretch of non-square pixels.
        p.user_flip = 0;
        p.use_fuji_rotate = 0;
        p.med_passes = 0;
        p.green_matching = 0;
        const int rc = d.process_with_hook(before_interpolation ? &before_interpolation : nullptr);
        if (rc != LIBRAW_SUCCESS) return decoder_error(rc, "develop");
        int err = LIBRAW_SUCCESS;
        libraw_processed_image_t* img = d.dcraw_make_mem_image(&err);
        if (!img) return decoder_error(err, "output");
        ImageRecord staged;
        const bool ok = bitmap_into(*img, staged);
        LibRaw::dcraw_clear_mem(img);
        d.recycle();
        impl_->unpacked = false;
        if (!ok) return read_failed(ReadStatus::corrupt, "unexpected decoder output");
        out.width = staged.width;
        out.height = staged.height;
        out.red = std::move(staged.red);
        out.green = std::move(staged.green);
        out.blue = std::move(staged.blue);
        return read_ok();
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory");
    } catch (...) {
        return read_failed(ReadStatus::corrupt, "decoder failure");
    }
}

}  // namespace vora
