// The decoders people use, from Debian's packages, each asked for the output ours gives:
// 8-bit RGBA, 16-bit samples cut to the high byte, transparency as alpha, no gamma.
// Each is used the way its documentation suggests for a whole image in memory; per-call
// set-up (contexts, row pointers) is part of what is timed, as it is for ours.
#include <png.h>
#include <spng.h>
#include <stb/stb_image.h>

#include <csetjmp>
#include <cstring>

#include "bench/backend.h"
#include "testkit/libpng_rgba8.h"

namespace velabench {

namespace {

// libpng's read API with the transformations that give ours' output; rows are written
// straight into the caller's buffer.
class Libpng final : public Backend {
 public:
  const char* name() const override { return "libpng"; }
  Role role() const override { return Role::peer; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    testpng::MemoryReader reader{image.bytes.data(), image.bytes.size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    // Sized before setjmp: nothing that owns memory may be created between it and a longjmp.
    rows_.resize(image.layout.height);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
      png_destroy_read_struct(&png, &info, nullptr);
      return false;
    }
    testpng::start_rgba8_read(png, info, &reader);
    const size_t stride = size_t{png_get_image_width(png, info)} * 4;
    for (size_t y = 0; y < rows_.size(); ++y) rows_[y] = out + y * stride;
    png_read_image(png, rows_.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
  }

 private:
  static void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
  static void on_warning(png_structp, png_const_charp) {}

  std::vector<png_bytep> rows_;
};

class Libspng final : public Backend {
 public:
  const char* name() const override { return "libspng"; }
  Role role() const override { return Role::peer; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    spng_ctx* context = spng_ctx_new(0);
    if (context == nullptr) return false;
    size_t size = 0;
    const bool ok = spng_set_png_buffer(context, image.bytes.data(), image.bytes.size()) == 0 &&
                    spng_decoded_image_size(context, SPNG_FMT_RGBA8, &size) == 0 && size == image.rgba_bytes() &&
                    spng_decode_image(context, out, size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
    spng_ctx_free(context);
    return ok;
  }
};

// stb_image always returns memory of its own; the copy into `out` is made only when the
// output is to be compared, so the timed decodes do not pay for it.
class StbImage final : public Backend {
 public:
  const char* name() const override { return "stb_image"; }
  Role role() const override { return Role::peer; }
  bool decode(const BenchImage& image, uint8_t* out, bool keep) override {
    if (image.bytes.size() > INT32_MAX) return false;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(image.bytes.data(), static_cast<int>(image.bytes.size()), &width, &height, &channels, 4);
    if (pixels == nullptr) return false;
    const bool ok = uint64_t(width) * uint64_t(height) == image.pixels();
    if (ok && keep) std::memcpy(out, pixels, image.rgba_bytes());
    stbi_image_free(pixels);
    return ok;
  }
};

}  // namespace

std::unique_ptr<Backend> make_libpng() { return std::make_unique<Libpng>(); }
std::unique_ptr<Backend> make_libspng() { return std::make_unique<Libspng>(); }
std::unique_ptr<Backend> make_stb_image() { return std::make_unique<StbImage>(); }

}  // namespace velabench
