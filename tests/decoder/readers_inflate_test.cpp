// Compressed payloads: the ICC profile reader, and the output room offered to the zlib hook
// for zTXt, compressed iTXt and iCCP (grow and retry, up to a cap).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/reader_support.h"
#include "tests/decoder/reader_fixture.h"

namespace {

using namespace velapng;
using readertest::ReaderTest;
using readertest::repeated;
using testpng::Bytes;
using testpng::concat;
using testpng::text_bytes;

Bytes random_bytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(random());
  return out;
}

Bytes iccp_chunk(std::string_view name, const Bytes& profile, uint8_t method = 0) {
  return concat({text_bytes(name), {0, method}, testpng::zlib_compress(profile)});
}

// Every capacity the readers offer passes through here on its way to the real hook, which
// writes into the block: under the sanitizers an offer larger than the block is an overrun.
std::vector<uint64_t> offers;

uint32_t recording_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                        const VelaPNGInflateOptions* options, uint64_t capacity) {
  offers.push_back(capacity);
  return inflate_hook(out, out_size, in, in_size, options, capacity);
}

uint32_t always_no_room(uint8_t**, uint64_t*, const uint8_t*, uint64_t, const VelaPNGInflateOptions*,
                        uint64_t capacity) {
  offers.push_back(capacity);
  return 52;
}

uint32_t odd_code(uint8_t**, uint64_t*, const uint8_t*, uint64_t, const VelaPNGInflateOptions*, uint64_t) {
  return 1234;
}

class CompressedPayloads : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    inflate().zlib_hook = recording_hook;
    offers.clear();
  }
  void fresh() {
    TearDown();
    SetUp();
  }

 public:  // taken by address in the tables below
  uint32_t ztxt(const Bytes& data) { return read_ztxt(&info(), &inflate(), data.data(), data.size()); }
  uint32_t itxt(const Bytes& data) { return read_itxt(&info(), &inflate(), data.data(), data.size()); }
  uint32_t iccp(const Bytes& data) { return read_iccp(&info(), &inflate(), data.data(), data.size()); }

 protected:
  Bytes profile() const {
    return Bytes(state_.image_info.icc_profile, state_.image_info.icc_profile + state_.image_info.icc_profile_size);
  }
};

// The offers for one payload: starting from the documented first block, each one the growth
// factor times the one before (the last one clamped to the cap), none above the cap.
void expect_geometric_offers(uint64_t compressed_size) {
  ASSERT_FALSE(offers.empty());
  const uint64_t first = std::clamp(compressed_size * kInflateFirstBlockFactor, kInflateFirstBlockMin, kInflateCap);
  EXPECT_EQ(offers.front(), first);
  for (size_t i = 1; i < offers.size(); ++i) {
    EXPECT_EQ(offers[i], std::min(offers[i - 1] * kInflateGrowth, kInflateCap)) << "offer " << i;
  }
  EXPECT_LE(*std::max_element(offers.begin(), offers.end()), kInflateCap);
}

// The offers that a payload of `inflated` bytes needs: each one too small but the last.
void expect_no_wasted_offer(uint64_t inflated) {
  ASSERT_FALSE(offers.empty());
  EXPECT_GE(offers.back(), inflated);
  for (size_t i = 0; i + 1 < offers.size(); ++i) EXPECT_LT(offers[i], inflated) << "offer " << i;
}

// A stream that inflates to 64 MiB of zeros from a few tens of KB; built once.
const Bytes& zero_bomb() {
  static const Bytes stream = testpng::zlib_compress(Bytes(size_t{64} << 20, 0));
  return stream;
}

TEST_F(CompressedPayloads, IccpRoundTrips) {
  const struct {
    const char* what;
    Bytes profile;
  } cases[] = {
      {"incompressible 3 KB", random_bytes(3000, 7)},
      {"one byte", {0x42}},
      {"larger than the first block", concat({random_bytes(200, 8), Bytes(20000, 0x11)})},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    ASSERT_EQ(iccp(iccp_chunk("ICC Profile", c.profile)), 0u);
    EXPECT_EQ(info().icc_defined, 1u);
    EXPECT_STREQ(info().icc_profile_name, "ICC Profile");
    EXPECT_EQ(info().icc_profile_size, c.profile.size());
    EXPECT_EQ(profile(), c.profile);
  }
}

TEST_F(CompressedPayloads, IccpCodesAndTheirOrder) {
  const Bytes stream = testpng::zlib_compress(random_bytes(100, 3));
  Bytes damaged = stream;
  damaged.back() ^= 0x80;
  const Bytes k80 = repeated(80, 'k');
  const struct {
    const char* what;
    Bytes data;
    bool null_hook;
    uint32_t code;
    const char* name;  // stored name afterwards, null for none
  } cases[] = {
      {"name, zero byte and method only", concat({text_bytes("P"), {0, 0}}), false, 75, nullptr},
      {"no zero byte", text_bytes("Profile"), false, 75, nullptr},
      {"empty", {}, false, 75, nullptr},
      {"75 before 89", concat({k80, {0, 0}}), false, 75, nullptr},
      {"long name", concat({k80, {0, 0}, stream}), false, 89, nullptr},
      {"empty name", concat({{0, 0}, stream}), false, 89, nullptr},
      {"method 1 keeps the name", concat({text_bytes("P1"), {0, 1}, stream}), false, 72, "P1"},
      {"72 before 87", concat({text_bytes("P1"), {0, 1}, stream}), true, 72, "P1"},
      {"no hook", concat({text_bytes("P2"), {0, 0}, stream}), true, 87, "P2"},
      {"damaged stream", concat({text_bytes("P3"), {0, 0}, damaged}), false, 20, "P3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    if (c.null_hook) inflate().zlib_hook = nullptr;
    EXPECT_EQ(iccp(c.data), c.code);
    EXPECT_EQ(info().icc_defined, 1u);  // set before anything is tested
    if (c.name == nullptr) {
      EXPECT_EQ(info().icc_profile_name, nullptr);
    } else {
      EXPECT_STREQ(info().icc_profile_name, c.name);
    }
    EXPECT_EQ(info().icc_profile, nullptr);
    EXPECT_EQ(info().icc_profile_size, 0u);
  }
}

// A later iCCP replaces the earlier one, also when it then fails: the old profile is gone
// before the new chunk is looked at.
TEST_F(CompressedPayloads, ALaterIccpReplacesTheEarlierOne) {
  const Bytes first = random_bytes(500, 1);
  const Bytes second = random_bytes(900, 2);
  ASSERT_EQ(iccp(iccp_chunk("first", first)), 0u);
  ASSERT_EQ(iccp(iccp_chunk("second", second)), 0u);
  EXPECT_STREQ(info().icc_profile_name, "second");
  EXPECT_EQ(profile(), second);
  const Bytes short_chunk = {'x', 0, 0};
  EXPECT_EQ(iccp(short_chunk), 75u);
  EXPECT_EQ(info().icc_defined, 1u);
  EXPECT_EQ(info().icc_profile_name, nullptr);
  EXPECT_EQ(info().icc_profile, nullptr);
  EXPECT_EQ(info().icc_profile_size, 0u);
}

// 1 MiB of one byte compresses about a thousandfold, so the first block is far too small and
// the readers must grow it several times to get the payload back whole.
TEST_F(CompressedPayloads, AHighlyCompressedPayloadIsReadWholeThroughRetries) {
  const size_t size = size_t{1} << 20;
  const Bytes payload(size, 'A');
  const Bytes stream = testpng::zlib_compress(payload);
  ASSERT_LT(stream.size() * 100, size);

  ASSERT_EQ(ztxt(concat({text_bytes("Big"), {0, 0}, stream})), 0u);
  ASSERT_EQ(info().text_count, 1u);
  EXPECT_EQ(std::strlen(info().text_values[0]), size);
  EXPECT_EQ(std::count(info().text_values[0], info().text_values[0] + size, 'A'), static_cast<ptrdiff_t>(size));
  EXPECT_GT(offers.size(), 2u);
  expect_geometric_offers(stream.size());
  expect_no_wasted_offer(size);

  offers.clear();
  ASSERT_EQ(itxt(concat({text_bytes("Big"), {0, 1, 0}, {0}, {0}, stream})), 0u);
  ASSERT_EQ(info().itext_count, 1u);
  EXPECT_EQ(std::string(info().itext_values[0]), std::string(payload.begin(), payload.end()));
  expect_geometric_offers(stream.size());

  offers.clear();
  ASSERT_EQ(iccp(concat({text_bytes("Big"), {0, 0}, stream})), 0u);
  EXPECT_EQ(profile(), payload);
  expect_geometric_offers(stream.size());
  expect_no_wasted_offer(size);
}

// A few KB that inflate to 64 MiB stop at the cap with the hook's 52. No block beyond the cap
// is ever offered (the recording hook sees every offer), and nothing is stored.
TEST_F(CompressedPayloads, AZlibBombStopsAtTheCap) {
  const Bytes& bomb = zero_bomb();
  ASSERT_LT(bomb.size(), size_t{100} << 10);
  const struct {
    const char* what;
    Bytes data;
    uint32_t (CompressedPayloads::*read)(const Bytes&);
  } cases[] = {
      {"zTXt", concat({text_bytes("bomb"), {0, 0}, bomb}), &CompressedPayloads::ztxt},
      {"iTXt", concat({text_bytes("bomb"), {0, 1, 0, 0, 0}, bomb}), &CompressedPayloads::itxt},
      {"iCCP", concat({text_bytes("bomb"), {0, 0}, bomb}), &CompressedPayloads::iccp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    EXPECT_EQ((this->*c.read)(c.data), 52u);
    expect_geometric_offers(bomb.size());
    EXPECT_EQ(offers.back(), kInflateCap);
    EXPECT_EQ(std::count(offers.begin(), offers.end(), kInflateCap), 1);  // one try at the cap
    EXPECT_EQ(info().text_count, 0u);
    EXPECT_EQ(info().itext_count, 0u);
    EXPECT_EQ(info().icc_profile, nullptr);
  }
}

// The cap is inclusive: a profile of exactly the cap fits, one byte more does not. A text of
// one byte under the cap fits with its terminating zero in the same block.
TEST_F(CompressedPayloads, PayloadsAtTheCap) {
  const Bytes at_cap(kInflateCap, 0x7E);
  ASSERT_EQ(iccp(iccp_chunk("at cap", at_cap)), 0u);
  EXPECT_EQ(info().icc_profile_size, kInflateCap);
  EXPECT_EQ(profile(), at_cap);

  fresh();
  EXPECT_EQ(iccp(iccp_chunk("over", Bytes(kInflateCap + 1, 0x7E))), 52u);
  EXPECT_EQ(info().icc_profile, nullptr);

  fresh();
  ASSERT_EQ(ztxt(concat({text_bytes("under"), {0, 0}, testpng::zlib_compress(repeated(kInflateCap - 1, 'z'))})), 0u);
  ASSERT_EQ(info().text_count, 1u);
  EXPECT_EQ(std::strlen(info().text_values[0]), kInflateCap - 1);
  EXPECT_EQ(offers.back(), kInflateCap);
}

// Compressed data of more than a quarter of the cap starts at the cap itself: one offer,
// never one above it.
TEST_F(CompressedPayloads, TheFirstBlockNeverExceedsTheCap) {
  const Bytes profile_bytes = random_bytes(kInflateCap / 2, 11);
  const Bytes stream = testpng::zlib_compress(profile_bytes, 1);
  ASSERT_GT(stream.size() * kInflateFirstBlockFactor, kInflateCap);
  ASSERT_EQ(iccp(concat({text_bytes("big"), {0, 0}, stream})), 0u);
  EXPECT_EQ(offers, std::vector<uint64_t>{kInflateCap});
  EXPECT_EQ(profile(), profile_bytes);
}

// A text that fills its block exactly leaves no room for the zero byte: the buffer grows to
// take it and the text is still stored whole, with no second inflate.
TEST_F(CompressedPayloads, ATextFillingItsBlockExactlyIsStillTerminated) {
  const Bytes text = repeated(kInflateFirstBlockMin, 'e');
  const Bytes stream = testpng::zlib_compress(text);
  ASSERT_LE(stream.size() * kInflateFirstBlockFactor, kInflateFirstBlockMin);
  ASSERT_EQ(ztxt(concat({text_bytes("exact"), {0, 0}, stream})), 0u);
  EXPECT_EQ(offers, std::vector<uint64_t>{kInflateFirstBlockMin});
  ASSERT_EQ(info().text_count, 1u);
  EXPECT_EQ(std::string(info().text_values[0]), std::string(text.begin(), text.end()));
}

// All compressed chunks of one decode share one total: every payload adds what it inflated
// to, whatever its kind; a block never exceeds what is left; a payload that does not fit in
// what is left is refused with 52, and once nothing is left the hook is not even asked.
TEST_F(CompressedPayloads, OneTotalIsSharedByAllCompressedChunks) {
  ASSERT_EQ(ztxt(concat({text_bytes("a"), {0, 0}, testpng::zlib_compress(repeated(1000, 't'))})), 0u);
  ASSERT_EQ(itxt(concat({text_bytes("b"), {0, 1, 0, 0, 0}, testpng::zlib_compress(repeated(300, 'i'))})), 0u);
  ASSERT_EQ(iccp(iccp_chunk("c", repeated(70, 'p'))), 0u);
  EXPECT_EQ(info().inflated_ancillary_bytes, 1000u + 300u + 70u);

  const uint64_t left = 900;
  info().inflated_ancillary_bytes = kInflateTotalCap - left;
  offers.clear();
  ASSERT_EQ(ztxt(concat({text_bytes("fits"), {0, 0}, testpng::zlib_compress(repeated(left, 'f'))})), 0u);
  EXPECT_EQ(info().inflated_ancillary_bytes, kInflateTotalCap);
  EXPECT_LE(*std::max_element(offers.begin(), offers.end()), left);
  EXPECT_EQ(info().text_count, 2u);

  info().inflated_ancillary_bytes = kInflateTotalCap - left;
  offers.clear();
  EXPECT_EQ(iccp(iccp_chunk("over", repeated(left + 1, 'o'))), 52u);
  EXPECT_EQ(offers.back(), left);
  EXPECT_EQ(info().inflated_ancillary_bytes, kInflateTotalCap - left);
  EXPECT_EQ(info().icc_profile, nullptr);

  info().inflated_ancillary_bytes = kInflateTotalCap;
  offers.clear();
  EXPECT_EQ(ztxt(concat({text_bytes("spent"), {0, 0}, testpng::zlib_compress(text_bytes("x"))})), 52u);
  EXPECT_EQ(itxt(concat({text_bytes("spent"), {0, 1, 0, 0, 0}, testpng::zlib_compress(text_bytes("x"))})), 52u);
  EXPECT_TRUE(offers.empty());
  EXPECT_EQ(info().text_count, 2u);
  EXPECT_EQ(info().itext_count, 1u);
  // Uncompressed text costs nothing of it.
  EXPECT_EQ(itxt(concat({text_bytes("plain"), {0, 0, 0, 0, 0}, text_bytes("x")})), 0u);
}

// The hook's own codes pass through; a hook that never finds room is given up on at the cap.
TEST_F(CompressedPayloads, HookCodesPassThrough) {
  const Bytes data = concat({text_bytes("k"), {0, 0}, testpng::zlib_compress(text_bytes("t"))});
  inflate().zlib_hook = always_no_room;
  EXPECT_EQ(ztxt(data), 52u);
  expect_geometric_offers(data.size() - 3);
  EXPECT_EQ(offers.back(), kInflateCap);
  inflate().zlib_hook = odd_code;
  EXPECT_EQ(ztxt(data), 1234u);
  EXPECT_EQ(iccp(data), 1234u);
  EXPECT_EQ(itxt(concat({text_bytes("k"), {0, 1, 0, 0, 0}, testpng::zlib_compress(text_bytes("t"))})), 1234u);
  EXPECT_EQ(info().text_count, 0u);
  EXPECT_EQ(info().itext_count, 0u);
}

TEST(TerminateText, UsesSpareRoomWithoutReallocating) {
  ByteBuffer text;
  text.data = static_cast<uint8_t*>(std::malloc(8));
  text.capacity = 8;
  text.size = 3;
  std::memcpy(text.data, "abc", 3);
  uint8_t* const block = text.data;
  ASSERT_EQ(terminate_text(&text), 0u);
  EXPECT_EQ(text.data, block);
  EXPECT_EQ(text.capacity, 8u);
  EXPECT_STREQ(reinterpret_cast<const char*>(text.data), "abc");
  byte_buffer_release(&text);
}

// When the buffer cannot grow the result is 83 and nothing changes, so the caller stores
// nothing rather than an unterminated entry. A size whose growth cannot be represented makes
// the growth fail without writing anything.
TEST(TerminateText, FailsWith83AndLeavesTheBufferAlone) {
  uint8_t byte = 'x';
  ByteBuffer text;
  text.data = &byte;
  text.size = text.capacity = UINT64_MAX / 8;
  EXPECT_EQ(terminate_text(&text), 83u);
  EXPECT_EQ(text.data, &byte);
  EXPECT_EQ(text.size, UINT64_MAX / 8);
  EXPECT_EQ(text.capacity, UINT64_MAX / 8);
  EXPECT_EQ(byte, 'x');
}

}  // namespace
