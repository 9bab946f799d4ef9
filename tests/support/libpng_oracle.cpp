#include "tests/support/libpng_oracle.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace testpng {

namespace {

struct Reader {
  const std::vector<uint8_t>* file;
  size_t offset;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t size) {
  auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
  if (reader->offset + size > reader->file->size()) png_error(png, "read past end");
  std::memcpy(out, reader->file->data() + reader->offset, size);
  reader->offset += size;
}

void record_error(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

}  // namespace

OracleImage libpng_decode_rgba(const std::vector<uint8_t>& file) {
  OracleImage image;
  Reader reader{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &image.error, record_error, ignore_warning);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    image.ok = false;
    return image;
  }
  png_set_read_fn(png, &reader, read_from_memory);
  png_read_info(png, info);
  const png_byte colour_type = png_get_color_type(png, info);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_expand(png);  // low-depth grey to 8 bits, tRNS to alpha
  png_set_strip_16(png);  // keeps the high byte
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
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
