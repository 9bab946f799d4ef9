#include "tests/support/libpng_oracle.h"

#include <csetjmp>
#include <cstdlib>

#include "testkit/libpng_rgba8.h"

namespace testpng {

namespace {

// libpng zeroes the block it allocates for a chunk before it reads the chunk, so a file of a
// few bytes that claims a 1 GiB chunk costs seconds before libpng finds it too short. Its own
// blocks are rows and chunks (the image goes to ours), none near this in a real file; a
// refused block is a warning and a skipped chunk, as with libpng's own limits.
constexpr png_alloc_size_t kLargestBlock = png_alloc_size_t{64} << 20;

png_voidp capped_malloc(png_structp, png_alloc_size_t size) {
  return size > kLargestBlock ? nullptr : std::malloc(size);
}

void release(png_structp, png_voidp block) { std::free(block); }

void record_error(png_structp png, png_const_charp message) {
  static_cast<OracleImage*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void record_warning(png_structp png, png_const_charp message) {
  static_cast<OracleImage*>(png_get_error_ptr(png))->warnings.emplace_back(message);
}

}  // namespace

OracleImage libpng_decode_rgba(const std::vector<uint8_t>& file) {
  OracleImage image;
  MemoryReader reader{file.data(), file.size(), 0};
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &image, record_error, record_warning, nullptr,
                                             capped_malloc, release);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    image.ok = false;
    return image;
  }
  start_rgba8_read(png, info, &reader);
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  image.rgba.resize(size_t{image.width} * image.height * 4);
  rows.resize(image.height);
  for (uint32_t y = 0; y < image.height; ++y) rows[y] = image.rgba.data() + size_t{y} * image.width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  image.ok = true;
  return image;
}

}  // namespace testpng
