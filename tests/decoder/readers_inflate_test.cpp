// Compressed payloads: the ICC profile reader, and the output room offered to the zlib hook
// for zTXt, compressed iTXt and iCCP (grow and retry, up to a cap).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
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

Bytes iccp_chunk(std::string_view name, const Bytes& profile) {
  return concat({text_bytes(name), {0, 0}, testpng::zlib_compress(profile)});
}

// Every capacity the readers offer passes through here on its way to the real hook, which
// writes into the block: under the sanitizers an offer larger than the block is an overrun.
std::vector<uint64_t> offers;

uint32_t recording_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                        const VelaPNGInflateOptions* options, uint64_t capacity) {
  offers.push_back(capacity);
  return inflate_hook(out, out_size, in, in_size, options, capacity);
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

  uint32_t iccp(const Bytes& data) { return read_iccp(&info(), &inflate(), data.data(), data.size()); }

  // A chunk of `kind` ("zTXt", "iTXt" or "iCCP") holding `stream`, read.
  uint32_t read(std::string_view kind, const Bytes& stream) {
    const Bytes data = concat({text_bytes("k"), kind == "iTXt" ? Bytes{0, 1, 0, 'e', 'n', 0, 0} : Bytes{0, 0}, stream});
    const auto reader = kind == "zTXt" ? read_ztxt : kind == "iTXt" ? read_itxt : read_iccp;
    return reader(&info(), &inflate(), data.data(), data.size());
  }
  // What the last payload of `kind` left in the record; empty when nothing was stored.
  Bytes stored(std::string_view kind) {
    if (kind == "iCCP") return profile();
    const bool ztxt_kind = kind == "zTXt";
    const uint64_t count = ztxt_kind ? info().text_count : info().itext_count;
    return count == 0 ? Bytes{} : text_bytes((ztxt_kind ? info().text_values : info().itext_values)[count - 1]);
  }
  Bytes profile() const {
    return Bytes(state_.image_info.icc_profile, state_.image_info.icc_profile + state_.image_info.icc_profile_size);
  }
};

constexpr std::string_view kKinds[] = {"zTXt", "iTXt", "iCCP"};

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

// Each case reads on the state the one before left, so every row also checks that a later
// iCCP replaces the earlier one, also when it then fails: the old profile is gone before the
// new chunk is looked at. The flag is set before anything is tested.
TEST_F(CompressedPayloads, IccpCodesTheirOrderAndReplacement) {
  const Bytes stream = testpng::zlib_compress(random_bytes(100, 3));
  Bytes damaged = stream;
  damaged.back() ^= 0x80;
  const Bytes k80 = repeated(80, 'k');
  const Bytes larger = concat({random_bytes(200, 8), Bytes(20000, 0x11)});  // than the first block
  const struct {
    const char* what;
    Bytes data;
    bool null_hook;
    uint32_t code;
    const char* name;  // stored name afterwards, null for none
    Bytes profile;
  } cases[] = {
      {"incompressible 3 KB", iccp_chunk("ICC Profile", random_bytes(3000, 7)), false, 0, "ICC Profile",
       random_bytes(3000, 7)},
      {"one byte", iccp_chunk("one", {0x42}), false, 0, "one", {0x42}},
      {"larger than the first block", iccp_chunk("second", larger), false, 0, "second", larger},
      {"name, zero byte and method only", concat({text_bytes("P"), {0, 0}}), false, 75, nullptr, {}},
      {"empty profile", iccp_chunk("empty", {}), false, 0, "empty", {}},
      {"no zero byte", text_bytes("Profile"), false, 75, nullptr, {}},
      {"empty", {}, false, 75, nullptr, {}},
      {"75 before 89", concat({k80, {0, 0}}), false, 75, nullptr, {}},
      {"long name", concat({k80, {0, 0}, stream}), false, 89, nullptr, {}},
      {"empty name", concat({{0, 0}, stream}), false, 89, nullptr, {}},
      {"method 1 keeps the name", concat({text_bytes("P1"), {0, 1}, stream}), false, 72, "P1", {}},
      {"72 before 87", concat({text_bytes("P1"), {0, 1}, stream}), true, 72, "P1", {}},
      {"no hook", concat({text_bytes("P2"), {0, 0}, stream}), true, 87, "P2", {}},
      {"damaged stream", concat({text_bytes("P3"), {0, 0}, damaged}), false, 20, "P3", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    inflate().zlib_hook = c.null_hook ? nullptr : recording_hook;
    EXPECT_EQ(iccp(c.data), c.code);
    EXPECT_EQ(info().icc_defined, 1u);
    if (c.name == nullptr) {
      EXPECT_EQ(info().icc_profile_name, nullptr);
    } else {
      EXPECT_STREQ(info().icc_profile_name, c.name);
    }
    EXPECT_EQ(info().icc_profile_size, c.profile.size());
    EXPECT_EQ(profile(), c.profile);
    EXPECT_TRUE(c.code == 0 || info().icc_profile == nullptr);
  }
}

// 1 MiB of one byte compresses about a thousandfold, so the first block is far too small and
// the readers must grow it several times to get the payload back whole, with no offer
// beyond the one that fits. A few KB that inflate to 64 MiB stop at the cap with the hook's
// 52 after one try at the cap, and nothing is stored.
TEST_F(CompressedPayloads, RetriesGrowGeometricallyUpToTheCap) {
  const Bytes payload(size_t{1} << 20, 'A');
  const Bytes stream = testpng::zlib_compress(payload);
  const Bytes bomb = testpng::zlib_compress(Bytes(size_t{64} << 20, 0));
  ASSERT_LT(stream.size() * 100, payload.size());
  ASSERT_LT(bomb.size(), size_t{100} << 10);
  for (std::string_view kind : kKinds) {
    SCOPED_TRACE(kind);
    fresh();
    offers.clear();
    ASSERT_EQ(read(kind, stream), 0u);
    EXPECT_EQ(stored(kind), payload);
    EXPECT_GT(offers.size(), 2u);
    expect_geometric_offers(stream.size());
    for (size_t i = 0; i + 1 < offers.size(); ++i) EXPECT_LT(offers[i], payload.size()) << "offer " << i;

    fresh();
    offers.clear();
    EXPECT_EQ(read(kind, bomb), 52u);
    expect_geometric_offers(bomb.size());
    EXPECT_EQ(offers.back(), kInflateCap);
    EXPECT_EQ(std::count(offers.begin(), offers.end(), kInflateCap), 1);
    EXPECT_EQ(stored(kind), Bytes{});
  }
}

// The cap is inclusive: a profile of exactly the cap fits, one byte more does not; a text
// of one byte under the cap fits with its terminating zero in the same block. Compressed
// data of more than a quarter of the cap starts at the cap itself, never above it. A text
// that fills its block exactly grows it for the zero byte, without a second inflate.
TEST_F(CompressedPayloads, PayloadsAtTheBoundariesOfTheBlocks) {
  const struct {
    const char* what;
    std::string_view kind;
    Bytes payload;
    int level;
    uint32_t code;
    uint64_t last_offer;
    bool only_offer;
  } cases[] = {
      {"profile at the cap", "iCCP", Bytes(kInflateCap, 0x7E), 6, 0, kInflateCap, false},
      {"profile over the cap", "iCCP", Bytes(kInflateCap + 1, 0x7E), 6, 52, kInflateCap, false},
      {"text under the cap", "zTXt", repeated(kInflateCap - 1, 'z'), 6, 0, kInflateCap, false},
      {"large stream", "iCCP", random_bytes(kInflateCap / 2, 11), 1, 0, kInflateCap, true},
      {"text filling the first block", "zTXt", repeated(kInflateFirstBlockMin, 'e'), 6, 0, kInflateFirstBlockMin, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    offers.clear();
    const Bytes stream = testpng::zlib_compress(c.payload, c.level);
    EXPECT_EQ(read(c.kind, stream), c.code);
    EXPECT_EQ(stored(c.kind), c.code == 0 ? c.payload : Bytes{});
    expect_geometric_offers(stream.size());
    EXPECT_EQ(offers.back(), c.last_offer);
    EXPECT_TRUE(!c.only_offer || offers.size() == 1) << offers.size() << " offers";
  }
}

// All compressed chunks of one decode share one total: every payload adds what it inflated
// to, whatever its kind; a block never exceeds what is left; a payload that does not fit in
// what is left is refused with 52, and once nothing is left the hook is not even asked.
// Uncompressed text costs nothing of it.
TEST_F(CompressedPayloads, OneTotalIsSharedByAllCompressedChunks) {
  for (size_t i = 0; i < 3; ++i) ASSERT_EQ(read(kKinds[i], testpng::zlib_compress(repeated(10 + 1000 * i, 'p'))), 0u);
  EXPECT_EQ(info().inflated_ancillary_bytes, 10u + 1010u + 2010u);

  const uint64_t left = 900;
  info().inflated_ancillary_bytes = kInflateTotalCap - left;
  offers.clear();
  ASSERT_EQ(read("zTXt", testpng::zlib_compress(repeated(left, 'f'))), 0u);
  EXPECT_EQ(info().inflated_ancillary_bytes, kInflateTotalCap);
  EXPECT_LE(*std::max_element(offers.begin(), offers.end()), left);

  info().inflated_ancillary_bytes = kInflateTotalCap - left;
  offers.clear();
  EXPECT_EQ(read("iCCP", testpng::zlib_compress(repeated(left + 1, 'o'))), 52u);
  EXPECT_EQ(offers.back(), left);
  EXPECT_EQ(info().inflated_ancillary_bytes, kInflateTotalCap - left);
  EXPECT_EQ(info().icc_profile, nullptr);

  info().inflated_ancillary_bytes = kInflateTotalCap;
  offers.clear();
  EXPECT_EQ(read("zTXt", testpng::zlib_compress(text_bytes("x"))), 52u);
  EXPECT_EQ(read("iTXt", testpng::zlib_compress(text_bytes("x"))), 52u);
  EXPECT_TRUE(offers.empty());
  EXPECT_EQ(info().text_count, 2u);
  EXPECT_EQ(info().itext_count, 1u);
  const Bytes plain = concat({text_bytes("plain"), {0, 0, 0, 0, 0}, text_bytes("x")});
  EXPECT_EQ(read_itxt(&info(), &inflate(), plain.data(), plain.size()), 0u);
}

// The hook's own codes pass through.
TEST_F(CompressedPayloads, HookCodesPassThrough) {
  const Bytes stream = testpng::zlib_compress(text_bytes("t"));
  inflate().zlib_hook = odd_code;
  for (std::string_view kind : kKinds) {
    EXPECT_EQ(read(kind, stream), 1234u) << kind;
    EXPECT_EQ(stored(kind), Bytes{}) << kind;
  }
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
