// Resource bombs: files that declare, or inflate to, far more than they hold. Each one is
// refused with a code (but four texts that just fit the decode's total), and what it costs follows from what the file
// holds and from the image it declares, never from what a stream would inflate to. The bounds, with E the inflated size
// the header predicts and C the compressed bytes of the file:
// - the scratch block is 10 E bytes, reserved before inflating and touched only as far as
//   the data inflates: a huge declaration with little data costs the reservation, which
//   fails with 83 when the system cannot give it, and almost no resident memory;
// - image data inflates to at most 10 E bytes, then stops with 52;
// - a compressed text or profile inflates into blocks of at most 8 MiB, then stops with 52;
//   at most two such blocks exist at once; all of them in one decode inflate to at most
//   32 MiB together, then the decode stops with 52;
// - the gathered image data takes at most 10 C bytes.
// The memory bounds are checked in a child process of the native build, by the growth of
// its peak resident set and under an address-space limit (tests/support/memory_probe.h);
// the codes are checked in every build where the bomb's allocations are small.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/decoder.h"
#include "tests/support/memory_probe.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kPayloadCap = 8 * kMiB;  // the readers' limit for one compressed payload
// What the probe may see beyond a bound: allocator bookkeeping, stack, and the pages the
// libdeflate handles of a state touch.
constexpr uint64_t kSlack = 4 * kMiB;
constexpr uint64_t kAddressSpaceBudget = uint64_t{1} << 30;

uint32_t decode_file(const Bytes& file) {
  Bytes pixel(4);
  uint8_t* out = pixel.data();  // every bomb here is 1 x 1 or fails before anything is written
  uint32_t width = 0, height = 0;
  return decode_rgba(&out, &width, &height, file.data(), file.size());
}

// An RGBA file of side x side pixels: `extra` chunks, then one IDAT of `stream`.
Bytes rgba_file(uint32_t side, const Bytes& stream, const std::vector<Bytes>& extra = {}) {
  Bytes file = testpng::header(side, side, 8, 6);
  for (const Bytes& c : extra) file = concat({file, c});
  return concat({file, chunk("IDAT", stream), chunk("IEND", {})});
}

// Many compressed chunks just below the cap for one may inflate to 32 MiB together, then
// the decode stops with 52: before that total existed, a hundred of them (a file of 800 KB)
// kept 800 MiB of text. Four of them fit in the total.
TEST(ResourceBombs, EachIsRefusedWithinItsBound) {
  const Bytes zeros = testpng::zlib_compress(Bytes(64 * kMiB, 0), 9);  // some 64 KiB, beyond every bound here
  const Bytes pixel = testpng::zlib_compress({0, 1, 2, 3, 4});
  const Bytes text = chunk(
      "zTXt", concat({testpng::text_bytes({"Note\0\0", 6}), testpng::zlib_compress(Bytes(kPayloadCap - 1, 'a'), 9)}));
  const auto compressed = [&](const char* kind, std::string_view prefix) {
    return rgba_file(1, pixel, {chunk(kind, concat({testpng::text_bytes(prefix), zeros}))});
  };
  const struct {
    const char* what;
    Bytes file;
    uint32_t code;
    uint64_t bound;     // growth of the peak resident set allowed, slack included
    bool small_blocks;  // every block the decode allocates is small: run the code check anywhere
  } bombs[] = {
      // 10 E is 400 GB: more than the budget, so the reservation fails.
      {"100000 x 100000 RGBA, one byte of data", rgba_file(100000, testpng::zlib_compress({0})), 83, kSlack, false},
      // 10 E is 410 MB, within the budget: reserved, never touched, and the data is short.
      {"3200 x 3200 RGBA, one row of data", rgba_file(3200, testpng::zlib_compress(Bytes(1 + 3200 * 4, 0))), 91, kSlack,
       false},
      {"1 x 1 RGBA, image data of 64 MiB", rgba_file(1, zeros), 52, 10 * zeros.size() + kSlack, true},
      {"1000 x 1000 RGBA, image data of 64 MiB", rgba_file(1000, zeros), 52,
       10 * 1000 * (1 + 1000 * 4) + 10 * zeros.size() + kSlack, true},
      {"a hundred zTXt of 8 MiB - 1", rgba_file(1, pixel, std::vector<Bytes>(100, text)), 52, 6 * kPayloadCap + kSlack,
       true},
      {"four zTXt of 8 MiB - 1", rgba_file(1, pixel, std::vector<Bytes>(4, text)), 0, 6 * kPayloadCap + kSlack, true},
      {"zTXt", compressed("zTXt", {"Comment\0\0", 9}), 52, 2 * kPayloadCap + kSlack, true},
      {"iTXt", compressed("iTXt", {"Comment\0\1\0en\0\0", 14}), 52, 2 * kPayloadCap + kSlack, true},
      {"iCCP", compressed("iCCP", {"Comment\0\0", 9}), 52, 2 * kPayloadCap + kSlack, true},
  };
  ASSERT_LT(bombs[4].file.size(), kMiB);
  for (const auto& bomb : bombs) {
    if (bomb.small_blocks) {
      EXPECT_EQ(decode_file(bomb.file), bomb.code) << bomb.what;
    }
    if (!testpng::memory_probe_available()) continue;
    const testpng::ChildOutcome outcome =
        testpng::run_in_child(kAddressSpaceBudget, [&bomb] { return decode_file(bomb.file); });
    ASSERT_TRUE(outcome.completed) << bomb.what;
    EXPECT_EQ(outcome.result, bomb.code) << bomb.what;
    EXPECT_LE(outcome.peak_growth, bomb.bound) << bomb.what << ": peak grew by " << outcome.peak_growth << " bytes";
  }
}

}  // namespace
