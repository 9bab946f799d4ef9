// The PNG container decoder: records, chunk primitives, header inspection, zlib bridge,
// chunk stream and readers, and the top-level decode into a caller-supplied buffer.
//
// Contract shared by everything declared here:
// - Every operation that can fail returns an unsigned 32-bit result code, 0 for success
//   (the named values are in result_codes.h). Decoding steps also leave their code in
//   the state's last_error; the first non-zero code ends the work.
// - Memory owned by these records comes from malloc/calloc/realloc and goes back with
//   free. A null pointer owns nothing. Records release what they own through their
//   release operations; nothing here throws.
// - A VelaPNGState belongs to one thread for its whole life; two states share nothing.
// - Multi-byte integers of the file are big-endian and unsigned; readers store values
//   as read, without range checks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/result_codes.h"

struct libdeflate_decompressor;
struct libdeflate_compressor;

namespace velapng {

// ---------------------------------------------------------------------------------------
// Shared helpers (pixel_geometry.cpp)
// ---------------------------------------------------------------------------------------

// Channels of a PNG colour type: 1, 3, 1, 2, 4 for 0, 2, 3, 4, 6; 0 for anything else.
uint32_t channels_of(uint32_t colour_type);
// Channels times bit depth; 0 for an unknown colour type.
uint32_t bits_per_pixel(uint32_t colour_type, uint32_t bit_depth);
// Byte order of 8-bit four-channel pixels: the decoder's RGBA, or the BGRA of Windows
// bitmaps that the plug-in's host wants.
enum class ChannelOrder : uint8_t { rgba, bgra };

// Bytes of `pixels` pixels packed at `bpp` bits: (n div 8) * bpp + ((n mod 8) * bpp + 7) div 8.
// The caller guarantees the result fits (raw_size_overflows).
uint64_t packed_size(uint64_t pixels, uint32_t bpp);

// ---------------------------------------------------------------------------------------
// Records (state.cpp, image_info.cpp)
// ---------------------------------------------------------------------------------------

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
  uint32_t spare_flag = 0;  // read by nothing
  VelaPNGDecompressHook zlib_hook = nullptr;
  void* spare_slots[2] = {nullptr, nullptr};
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

struct VelaPNGDeflateOptions {
  uint32_t tuning_words[6] = {2, 1, 2048, 3, 128, 1};  // read by nothing
  VelaPNGCompressHook zlib_hook = nullptr;
  void* spare_slots[2] = {nullptr, nullptr};
  libdeflate_compressor* compressor = nullptr;  // owned, level 6; used by nothing
};

struct VelaPNGEncodeOptions {
  VelaPNGDeflateOptions deflate;
  // Encoder settings that no operation reads, kept so the record is complete.
  uint32_t encoder_setting_0 = 1;
  uint32_t encoder_setting_1 = 1;
  uint32_t encoder_setting_2 = 1;
  uint32_t encoder_setting_3 = 0;
  void* encoder_setting_4 = nullptr;
  uint32_t encoder_setting_5 = 0;
  uint32_t encoder_setting_6 = 1;
};

// One per inspection or decode, on the stack of the operation that uses it:
// construct, state_init, work, state_release. The destructor releases nothing.
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

void pixel_format_init(VelaPNGPixelFormat* format);
void pixel_format_release(VelaPNGPixelFormat* format);
// Deep copy; the target gets a palette block of its own with room for 256 entries. 0 or 83.
uint32_t pixel_format_copy(VelaPNGPixelFormat* target, const VelaPNGPixelFormat* source);
bool pixel_format_equal(const VelaPNGPixelFormat* a, const VelaPNGPixelFormat* b);

// image_info_init frees nothing: call it only on a record that owns nothing.
void image_info_init(VelaPNGImageInfo* info);
// Frees everything the record owns; it must be initialised again before reuse.
void image_info_release(VelaPNGImageInfo* info);
// Append copies of the strings as a new last entry. 0, or 83 with the count unchanged.
uint32_t image_info_add_text(VelaPNGImageInfo* info, const char* key, const char* value);
uint32_t image_info_add_itext(VelaPNGImageInfo* info, const char* key, const char* language, const char* translated_key,
                              const char* value);

void inflate_options_init(VelaPNGInflateOptions* options);
void encode_options_init(VelaPNGEncodeOptions* options);
void state_init(VelaPNGState* state);
// The defaults of state_init without the libdeflate handles, for work that needs neither or
// only the decompressor (inflate_options_init): allocating the compressor alone builds
// tables that cost more than decoding a 16x16 icon.
void state_init_without_codecs(VelaPNGState* state);
void state_release(VelaPNGState* state);

// ---------------------------------------------------------------------------------------
// Chunk primitives (chunk.cpp, byte_buffer.cpp)
// Every chunk operation takes the address of the chunk's length field and trusts the
// caller to have checked that the whole chunk lies inside the input.
// ---------------------------------------------------------------------------------------

uint32_t read_u32_be(const uint8_t* bytes);
uint32_t read_u16_be(const uint8_t* bytes);

uint32_t chunk_length(const uint8_t* chunk);
// True when `name` is exactly four characters and equals the chunk's type, byte for byte.
bool chunk_type_is(const uint8_t* chunk, const char* name);
const uint8_t* chunk_data(const uint8_t* chunk);
bool chunk_crc_mismatch(const uint8_t* chunk);
// Skips the PNG signature when it stands at `chunk`, otherwise the whole chunk.
const uint8_t* chunk_next(const uint8_t* chunk);
// Appends the whole chunk (length + 12 bytes) to a realloc'ed block. 0, 77 or 83.
uint32_t append_unknown_chunk(uint8_t** buffer, uint64_t* buffer_size, const uint8_t* chunk);

struct ByteBuffer {
  uint8_t* data = nullptr;  // owned; free with std::free
  uint64_t size = 0;
  uint64_t capacity = 0;
};

// Grows the capacity to ten times the growth target when `new_size` exceeds it; never
// shrinks. False (buffer unchanged) when realloc fails; callers turn that into 83.
bool byte_buffer_resize(ByteBuffer* buffer, uint64_t new_size);
void byte_buffer_release(ByteBuffer* buffer);

// malloc'ed copy of a NUL-terminated string, or null.
char* copy_string(const char* text);

// True when the sizes the decode computes for this image do not fit in 64 bits.
bool raw_size_overflows(uint32_t width, uint32_t height, const VelaPNGPixelFormat* file_format,
                        const VelaPNGPixelFormat* output_format);

// ---------------------------------------------------------------------------------------
// Header inspection (header.cpp)
// ---------------------------------------------------------------------------------------

// Checks the signature and header chunk (the first 33 bytes) and reads width, height,
// depth, colour type and method bytes into the state. Out-parameters may be null.
// Codes in the order tested: 48, 27, 28, 94, 29, 93, 57, 32, 33, 34, 31, 37.
uint32_t inspect_header(uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in, uint64_t in_size);
// 0, 37 (depth not allowed for the colour type) or 31 (unknown colour type).
uint32_t check_colour_depth(uint32_t colour_type, uint32_t bit_depth);

// ---------------------------------------------------------------------------------------
// Zlib bridge (zlib_bridge.cpp)
// ---------------------------------------------------------------------------------------

// libdeflate's one-shot zlib inflate: 0, 20 (bad data) or 52 (does not fit / short);
// 83 when the state's decompressor could not be allocated.
uint32_t inflate_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                      const VelaPNGInflateOptions* options, uint64_t capacity);
// libdeflate's zlib compress; nothing in the decoder calls it.
uint32_t deflate_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                      const VelaPNGDeflateOptions* options, uint64_t capacity);

// ---------------------------------------------------------------------------------------
// Chunk readers (read_palette.cpp, read_text.cpp, read_fixed.cpp, read_iccp.cpp; the keyword
// and capped-inflate helpers they share are in reader_support.h)
// `data` is the chunk's data, `length` its length field (at most 2^31 - 1).
// ---------------------------------------------------------------------------------------

uint32_t read_plte(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length);
uint32_t read_trns(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length);
uint32_t read_bkgd(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_text(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_ztxt(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length);
uint32_t read_itxt(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length);
uint32_t read_time(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_phys(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_gama(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_chrm(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_srgb(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_iccp(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length);

// ---------------------------------------------------------------------------------------
// Chunk stream (chunk_stream.cpp)
// ---------------------------------------------------------------------------------------

// Walks the chunks after the header, inflates the image data and reconstructs the pixels
// in the file's own format into *out (allocated zero-filled when *out is null; the block
// then belongs to the caller). The result is left in state->last_error only.
void decode_chunk_stream(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                         uint64_t in_size);

// ---------------------------------------------------------------------------------------
// Top-level decode (decode.cpp)
// ---------------------------------------------------------------------------------------

// Decodes a whole PNG in memory as 8-bit RGBA into *out, which must hold width * height * 4
// bytes. The buffer is never allocated, resized or freed. Width and height are written as
// soon as the header has been read.
uint32_t decode_rgba(uint8_t** out, uint32_t* width, uint32_t* height, const uint8_t* in, uint64_t in_size);
// The pixels and result code decode_rgba gives for every input, in `order`, reconstructed
// and converted a band of rows at a time straight into `out` (width * height * 4 bytes)
// without an image in the file's own format in between. `out` is written only once the
// decode can no longer fail: a refused file leaves it untouched. This is the plug-in's
// decode (decode_direct.cpp).
uint32_t decode_direct(uint8_t* out, uint32_t* width, uint32_t* height, const uint8_t* in, uint64_t in_size,
                       ChannelOrder order);
// The same with a caller-prepared state: converts to state->output_format, or with
// convert_colour 0 delivers the file's format and copies it into output_format.
uint32_t decode_with_state(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                           uint64_t in_size);

}  // namespace velapng
