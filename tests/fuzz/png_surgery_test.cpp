// A smoke guard of the decode mutator's file surgery: repaired files pass exactly the
// checks the repairs are for, and rewritten files decode to the same pixels.
#include "fuzz/png_surgery.h"

#include <gtest/gtest.h>
#include <libdeflate.h>

#include <string>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng_fuzz;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

// A 4 x 3 RGB 8-bit image with a distinct value in every byte, filter type 0.
Bytes scanlines() {
  Bytes raw;
  for (int row = 0; row < 3; ++row) {
    raw.push_back(0);
    for (int i = 0; i < 12; ++i) raw.push_back(static_cast<uint8_t>(row * 12 + i + 1));
  }
  return raw;
}

// The image with its zlib stream cut into IDAT chunks at the given offsets, a zTXt chunk
// after the first of them, and IEND.
Bytes split_file(const std::vector<size_t>& cuts) {
  const Bytes stream = testpng::zlib_compress(scanlines());
  Bytes file = testpng::header(4, 3, 8, 2);
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t to = i < cuts.size() ? cuts[i] : stream.size();
    file = concat({file, chunk("IDAT", Bytes(stream.begin() + long(from), stream.begin() + long(to)))});
    if (i == 0) {
      file = concat({file, chunk("zTXt", concat({testpng::text_bytes(std::string("Key\0\0", 5)),
                                                 testpng::zlib_compress(testpng::text_bytes("inflated"))}))});
    }
    from = to;
  }
  return concat({file, chunk("IEND", {})});
}

uint32_t decode(const Bytes& file, Bytes* rgba) {
  rgba->assign(4 * 3 * 4, 0);
  uint8_t* out = rgba->data();
  uint32_t width = 0, height = 0;
  return velapng::decode_rgba(&out, &width, &height, file.data(), file.size());
}

// Offset in the file of the n-th byte of the concatenated IDAT data.
size_t image_data_offset(const Bytes& file, size_t n) {
  for (const ChunkSpan& span : list_chunks(file.data(), file.size())) {
    if (!span.is(file.data(), "IDAT")) continue;
    if (n < span.length) return span.data_offset() + n;
    n -= span.length;
  }
  return file.size();
}

// Every CRC, the zlib header check bits of the image data and the Adler-32 trailers of the
// image data (wherever the chunk boundaries fall) and of the text are undone by the repair.
TEST(PngSurgery, RepairUndoesChecksumDamage) {
  const size_t stream_size = testpng::zlib_compress(scanlines()).size();
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  for (const std::vector<size_t>& cuts : {std::vector<size_t>{}, {1, 7}, {stream_size - 2}}) {
    const Bytes valid = split_file(cuts);
    Bytes file = valid;
    const std::vector<ChunkSpan> chunks = list_chunks(file.data(), file.size());
    ASSERT_EQ(chunks.size(), cuts.size() + 4);
    file[image_data_offset(file, 1)] ^= 0x03;                // the zlib header's check bits
    file[image_data_offset(file, stream_size - 1)] ^= 0x80;  // the image data's trailer
    file[chunks[2].end() - 5] ^= 0x01;                       // the text's trailer
    for (const ChunkSpan& span : chunks) file[span.end() - 1] ^= 0x5A;
    repair_file(file.data(), file.size(), 1 << 20, decompressor);
    EXPECT_EQ(file, valid) << cuts.size() << " cuts";
  }
  libdeflate_free_decompressor(decompressor);
}

// Image data rewritten into one IDAT where the first one was, trailing bytes kept; a chunk
// inserted after the header; the image data a header predicts, per Adam7 pass.
TEST(PngSurgery, RewrittenFilesDecodeToTheSamePixels) {
  Bytes expected, rgba;
  ASSERT_EQ(decode(split_file({}), &expected), 0u);
  const Bytes file = concat({split_file({2, 6, 9}), {'t', 'a', 'i', 'l'}});
  const Bytes replaced = replace_image_data(file.data(), file.size(), testpng::zlib_compress(scanlines(), 1));
  EXPECT_EQ(list_chunks(replaced.data(), replaced.size()).size(), 4u);  // IHDR, IDAT, zTXt, IEND
  EXPECT_EQ(decode(replaced, &rgba), 0u);
  EXPECT_EQ(rgba, expected);
  const Bytes inserted = insert_chunk(replaced.data(), replaced.size(), 1, "zzZz", testpng::text_bytes("xyz"));
  EXPECT_EQ(list_chunks(inserted.data(), inserted.size()).size(), 5u);
  EXPECT_EQ(decode(inserted, &rgba), 0u);
  EXPECT_EQ(rgba, expected);
  EXPECT_EQ(predicted_image_data(file.data(), file.size(), 100), scanlines().size());
  // 5 x 3 grey: passes of widths 1, 1, 0, 1, 3, 2, 5 and heights 1, 1, 0, 1, 1, 2, 1.
  const Bytes interlaced = testpng::header(5, 3, 8, 0, 1);
  EXPECT_EQ(predicted_image_data(interlaced.data(), interlaced.size(), 100), 2u + 2 + 2 + 4 + 2 * 3 + 6);
  EXPECT_EQ(predicted_image_data(interlaced.data(), interlaced.size(), 14), 0u);  // more pixels than allowed
}

}  // namespace
