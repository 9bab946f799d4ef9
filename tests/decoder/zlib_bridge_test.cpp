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
  Bytes out;
};

// Inflates into a heap block of exactly `capacity` bytes, so an overrun is a sanitizer report.
Inflated inflate(const Bytes& stream, uint64_t capacity, const VelaPNGInflateOptions* options) {
  Inflated r{0, {}};
  auto* block = static_cast<uint8_t*>(capacity ? std::malloc(capacity) : nullptr);
  uint64_t produced = 0xDEAD;
  r.result = options->zlib_hook(&block, &produced, stream.data(), stream.size(), options, capacity);
  if (r.result == 0) r.out.assign(block, block + produced);
  std::free(block);
  return r;
}

class ZlibBridge : public ::testing::Test {
 protected:
  void SetUp() override { state_init(&state_); }
  void TearDown() override { state_release(&state_); }
  VelaPNGState state_;
};

TEST_F(ZlibBridge, InflateOutcomes) {
  const Bytes payload = sample_payload(1000);
  const Bytes stream = testpng::zlib_compress(payload);
  Bytes bad_adler = stream;
  bad_adler.back() ^= 0x01;
  Bytes bad_header = stream;
  bad_header[0] = 0x79;  // compression method 9
  const struct {
    const char* what;
    Bytes stream;
    uint64_t capacity;
    uint32_t code;
  } cases[] = {
      {"exact capacity", stream, 1000, 0},
      {"room to spare", stream, 5000, 0},
      {"one byte short", stream, 999, 52},
      {"no room", stream, 0, 52},
      {"empty stream into no room", testpng::zlib_compress({}), 0, 0},
      {"wrong Adler-32", bad_adler, 2000, 20},
      {"bad zlib header", bad_header, 2000, 20},
      {"truncated", Bytes(stream.begin(), stream.end() - 10), 2000, 20},
  };
  for (const auto& c : cases) {
    const Inflated r = inflate(c.stream, c.capacity, &state_.decoder.inflate);
    EXPECT_EQ(r.result, c.code) << c.what;
    if (c.code == 0) {
      EXPECT_EQ(r.out, c.capacity ? payload : Bytes()) << c.what;
    }
  }
  // Without a decompressor (its allocation failed) the hook must not reach libdeflate.
  libdeflate_free_decompressor(state_.decoder.inflate.decompressor);
  state_.decoder.inflate.decompressor = nullptr;
  EXPECT_EQ(inflate(stream, 1000, &state_.decoder.inflate).result, 83u);
}

TEST_F(ZlibBridge, DeflateHookRoundTripsAndReportsNoRoom) {
  const Bytes payload = sample_payload(4000);
  Bytes compressed(8000);
  uint8_t* out = compressed.data();
  uint64_t size = 0;
  const VelaPNGDeflateOptions* options = &state_.encoder.deflate;
  ASSERT_EQ(options->zlib_hook(&out, &size, payload.data(), payload.size(), options, compressed.size()), 0u);
  compressed.resize(size);
  EXPECT_EQ(inflate(compressed, payload.size(), &state_.decoder.inflate).out, payload);
  EXPECT_EQ(options->zlib_hook(&out, &size, payload.data(), payload.size(), options, 4), 52u);
}

}  // namespace
