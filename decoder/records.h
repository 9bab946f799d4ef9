// The decoder's records: the state of one inspection or decode and everything inside it.
// Plain data with no functions; the pixel subsystem reads them too, which is why they stand
// apart from decoder.h. Ownership follows decoder.h: owned blocks come from malloc and go back
// through the release operations.
#pragma once

#include <cstdint>

struct libdeflate_decompressor;
struct libdeflate_compressor;

namespace velapng {

// How pixels are laid out: the file's own format, or the one a caller asks for.
struct VelaPNGPixelFormat {
  uint32_t colour_type = 6;    // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  uint32_t bit_depth = 8;      // bits per sample (per index for palettes)
  uint8_t* palette = nullptr;  // owned; 4 bytes per entry: red, green, blue, alpha
  uint32_t palette_size = 0;
  uint32_t colour_key_defined = 0;  // 1: one colour is transparent (grey or RGB)
  uint32_t colour_key_red = 0;      // raw sample values at the image's depth;
  uint32_t colour_key_green = 0;    // grey keys repeat the grey value in all three
  uint32_t colour_key_blue = 0;
};

// Byte order of 8-bit four-channel pixels: the decoder's RGBA, or the BGRA of Windows
// bitmaps that the plug-in's host wants.
enum class ChannelOrder : uint8_t { rgba, bgra };

// The PNG a decode reads, and what the decode may do with it (decoder.h makes the two
// kinds). Borrowed bytes are only read: a host's buffer. Owned bytes are a block the caller
// hands over for the decode: the direct route moves image data split over several IDAT
// chunks together inside it rather than copying it out, so after the decode the block's
// bytes past the header are unspecified.
struct VelaPNGInput {
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
  uint8_t* movable = nullptr;  // `bytes` again when owned; null when borrowed
};

// What the file says about itself. Counts and arrays of the text entries are
// index-aligned arrays of owned NUL-terminated strings.
struct VelaPNGImageInfo {
  uint32_t compression_method = 0;
  uint32_t filter_method = 0;
  uint32_t interlace_method = 0;
  VelaPNGPixelFormat pixel_format;

  uint32_t background_defined = 0;  // 16-bit samples, or a palette index in all three
  uint32_t background_red = 0;
  uint32_t background_green = 0;
  uint32_t background_blue = 0;

  uint64_t text_count = 0;  // tEXt and zTXt, Latin-1
  char** text_keys = nullptr;
  char** text_values = nullptr;

  uint64_t itext_count = 0;  // iTXt
  char** itext_keys = nullptr;
  char** itext_languages = nullptr;
  char** itext_translated_keys = nullptr;
  char** itext_values = nullptr;

  uint32_t time_defined = 0;
  uint32_t time_year = 0;
  uint32_t time_month = 0;
  uint32_t time_day = 0;
  uint32_t time_hour = 0;
  uint32_t time_minute = 0;
  uint32_t time_second = 0;

  uint32_t phys_defined = 0;
  uint32_t pixels_per_unit_x = 0;
  uint32_t pixels_per_unit_y = 0;
  uint32_t phys_unit = 0;

  uint32_t gamma_defined = 0;
  uint32_t gamma = 0;  // as stored: gamma times 100000

  uint32_t chromaticity_defined = 0;  // as stored: values times 100000
  uint32_t white_point_x = 0;
  uint32_t white_point_y = 0;
  uint32_t red_x = 0;
  uint32_t red_y = 0;
  uint32_t green_x = 0;
  uint32_t green_y = 0;
  uint32_t blue_x = 0;
  uint32_t blue_y = 0;

  uint32_t srgb_defined = 0;
  uint32_t rendering_intent = 0;

  uint32_t icc_defined = 0;
  char* icc_profile_name = nullptr;
  uint8_t* icc_profile = nullptr;  // inflated profile
  uint32_t icc_profile_size = 0;

  // Whole unknown chunks as stored (length, type, data, CRC), by position:
  // 0 before PLTE, 1 between PLTE and IDAT, 2 after the first IDAT.
  uint8_t* unknown_chunk_data[3] = {nullptr, nullptr, nullptr};
  uint64_t unknown_chunk_size[3] = {0, 0, 0};

  // Not from the file: what the compressed text and profile chunks of this decode have
  // inflated to so far, held against the decode's total (reader_support.h).
  uint64_t inflated_ancillary_bytes = 0;
};

struct VelaPNGInflateOptions;
struct VelaPNGDeflateOptions;

// Inflates (or deflates) `in` into the caller's block *out of `capacity` bytes and
// reports the bytes produced through *out_size. Never allocates, never moves *out.
using VelaPNGDecompressHook = uint32_t (*)(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                                           const VelaPNGInflateOptions* options, uint64_t capacity);
using VelaPNGCompressHook = uint32_t (*)(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                                         const VelaPNGDeflateOptions* options, uint64_t capacity);

struct VelaPNGInflateOptions {
  uint32_t spare_flag = 0;  // unread (see below)
  VelaPNGDecompressHook zlib_hook = nullptr;
  void* spare_slots[2] = {nullptr, nullptr};        // unread
  libdeflate_decompressor* decompressor = nullptr;  // owned; null if allocation failed
};

struct VelaPNGDecodeOptions {
  VelaPNGInflateOptions inflate;
  uint32_t skip_crc_check = 0;
  uint32_t allow_unknown_critical = 0;
  uint32_t allow_missing_end = 0;
  uint32_t convert_colour = 1;
  uint32_t keep_text_chunks = 1;
  uint32_t keep_unknown_chunks = 0;
};

// ---------------------------------------------------------------------------------------
// Kept for the record's layout: the encoder side, and every field marked "unread"
// Nothing that decodes reads these. The fields marked unread (here, and the two spare ones
// between the inflate options' hook and decompressor) are read by nothing at all; they hold
// their places so that the records keep the layout they were given. The compressor and its
// hook are set up by state_init alone (encoder_side.cpp) and serve no decode.
// ---------------------------------------------------------------------------------------

struct VelaPNGDeflateOptions {
  uint32_t tuning_words[6] = {2, 1, 2048, 3, 128, 1};  // unread
  VelaPNGCompressHook zlib_hook = nullptr;
  void* spare_slots[2] = {nullptr, nullptr};    // unread
  libdeflate_compressor* compressor = nullptr;  // owned, level 6
};

struct VelaPNGEncodeOptions {
  VelaPNGDeflateOptions deflate;
  uint32_t encoder_setting_0 = 1;  // unread, as are the six after it
  uint32_t encoder_setting_1 = 1;
  uint32_t encoder_setting_2 = 1;
  uint32_t encoder_setting_3 = 0;
  void* encoder_setting_4 = nullptr;
  uint32_t encoder_setting_5 = 0;
  uint32_t encoder_setting_6 = 1;
};

// ---------------------------------------------------------------------------------------
// The state
// ---------------------------------------------------------------------------------------

// One per inspection or decode, on the stack of the operation that uses it:
// construct, initialise (decoder.h), work, release. The destructor releases nothing.
class VelaPNGState {
 public:
  virtual ~VelaPNGState() = default;

  VelaPNGDecodeOptions decoder;
  VelaPNGEncodeOptions encoder;
  VelaPNGPixelFormat output_format;  // wanted before a decode; the file's after one without conversion
  VelaPNGImageInfo image_info;
  uint32_t last_error = 1;
  uint32_t header_checked = 0;  // 1 once inspect_header reached the colour-type check
};

}  // namespace velapng
