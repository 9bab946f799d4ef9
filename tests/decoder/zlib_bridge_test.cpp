#include <gtest/gtest.h>

#include <libdeflate.h>

#include <random>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

Bytes sample_payload(size_t size) {
  std::mt19937 random(1234);
  Bytes payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(i % 7 == 0 ? random() : i / 3);
  return payload;
}

struct Inflated {
  uint32_t result;
  uint64_t produced;
  Bytes out;
};

// Inflates into a heap block of exactly `capacity` bytes, so an overrun is a sanitizer report.
Inflated inflate(const Bytes& stream, uint64_t capacity, VelaPNGState* state) {
  Inflated r{0, 0xDEAD, {}};
  auto* block = static_cast<uint8_t*>(capacity ? std::malloc(capacity) : nullptr);
  r.result = state->decoder.inflate.zlib_hook(&block, &r.produced, stream.data(), stream.size(),
                                              &state->decoder.inflate, capacity);
  if (r.result == 0) r.out.assign(block, block + r.produced);
  std::free(block);
  return r;
}

class ZlibBridge : public ::testing::Test {
 protected:
  void SetUp() override { state_init(&state_); }
  void TearDown() override { state_release(&state_); }
  VelaPNGState state_;
};

TEST_F(ZlibBridge, CapacityCases) {
  const Bytes payload = sample_payload(1000);
  const Bytes stream = testpng::zlib_compress(payload);
  const struct {
    const char* what;
    uint64_t capacity;
    uint32_t code;
  } cases[] = {
      {"exact capacity", 1000, 0},
      {"room to spare", 5000, 0},
      {"one byte short", 999, 52},
      {"no room", 0, 52},
  };
  for (const auto& c : cases) {
    const Inflated r = inflate(stream, c.capacity, &state_);
    EXPECT_EQ(r.result, c.code) << c.what;
    if (c.code == 0) {
      EXPECT_EQ(r.produced, payload.size()) << c.what;
      EXPECT_EQ(r.out, payload) << c.what;
    }
  }
}

TEST_F(ZlibBridge, DamagedStreamsAreBadData) {
  const Bytes stream = testpng::zlib_compress(sample_payload(1000));
  Bytes bad_adler = stream;
  bad_adler.back() ^= 0x01;
  Bytes bad_header = stream;
  bad_header[0] = 0x79;  // compression method 9
  // FDICT set, with the check bits recomputed so that only the dictionary flag is wrong.
  Bytes preset_dictionary = stream;
  const unsigned flags = (stream[1] | 0x20u) & 0xE0u;
  preset_dictionary[1] = static_cast<uint8_t>(flags + (31 - (stream[0] * 256u + flags) % 31) % 31);
  const struct {
    const char* what;
    Bytes stream;
  } cases[] = {
      {"wrong Adler-32", bad_adler},
      {"bad zlib header", bad_header},
      {"preset dictionary", preset_dictionary},
      {"five bytes", Bytes(stream.begin(), stream.begin() + 5)},
      {"truncated", Bytes(stream.begin(), stream.end() - 10)},
      {"empty", Bytes()},
  };
  for (const auto& c : cases) EXPECT_EQ(inflate(c.stream, 2000, &state_).result, 20u) << c.what;
}

// A single flipped bit of the deflate data either breaks the stream (20), changes what it
// produces so that the Adler-32 trailer no longer matches (20), or makes it produce more
// than the room offered (52). Only a flip in the final byte's padding bits may pass, and
// then the output is still the original.
TEST_F(ZlibBridge, AFlippedBitNeverYieldsDifferentBytes) {
  const Bytes payload = sample_payload(300);
  const Bytes stream = testpng::zlib_compress(payload);
  for (size_t byte = 2; byte + 4 < stream.size(); ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes flipped = stream;
      flipped[byte] ^= static_cast<uint8_t>(1u << bit);
      const Inflated r = inflate(flipped, 300, &state_);
      if (r.result == 0) {
        EXPECT_EQ(byte, stream.size() - 5) << "bit " << bit;
        EXPECT_EQ(r.out, payload) << "byte " << byte << " bit " << bit;
      } else {
        EXPECT_TRUE(r.result == 20u || r.result == 52u) << "byte " << byte << " bit " << bit << " gave " << r.result;
      }
    }
  }
}

TEST_F(ZlibBridge, EmptyStreamIntoNoBuffer) {
  const Bytes stream = testpng::zlib_compress({});
  const Inflated r = inflate(stream, 0, &state_);
  EXPECT_EQ(r.result, 0u);
  EXPECT_EQ(r.produced, 0u);
}

TEST_F(ZlibBridge, WithoutADecompressorTheHookFailsWithoutCallingLibdeflate) {
  libdeflate_free_decompressor(state_.decoder.inflate.decompressor);
  state_.decoder.inflate.decompressor = nullptr;
  EXPECT_EQ(inflate(testpng::zlib_compress(sample_payload(10)), 10, &state_).result, 83u);
}

TEST_F(ZlibBridge, DeflateHookRoundTripsAndReportsNoRoom) {
  const Bytes payload = sample_payload(4000);
  Bytes compressed(8000);
  uint8_t* out = compressed.data();
  uint64_t size = 0;
  const VelaPNGDeflateOptions* options = &state_.encoder.deflate;
  ASSERT_EQ(options->zlib_hook(&out, &size, payload.data(), payload.size(), options, compressed.size()), 0u);
  ASSERT_GT(size, 0u);
  compressed.resize(size);
  const Inflated back = inflate(compressed, payload.size(), &state_);
  EXPECT_EQ(back.result, 0u);
  EXPECT_EQ(back.out, payload);
  EXPECT_EQ(options->zlib_hook(&out, &size, payload.data(), payload.size(), options, 4), 52u);
}

}  // namespace
