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

// A zlib stream of 64 MiB of zeros: some 64 KiB, and more than any bound here allows.
const Bytes& zero_bomb() {
  static const Bytes stream = testpng::zlib_compress(Bytes(64 * kMiB, 0), 9);
  return stream;
}

uint32_t decode_file(const Bytes& file) {
  Bytes pixel(4);
  uint8_t* out = pixel.data();  // every bomb here is 1 x 1 or fails before anything is written
  uint32_t width = 0, height = 0;
  return decode_rgba(&out, &width, &height, file.data(), file.size());
}

struct Bomb {
  const char* what;
  Bytes file;
  uint32_t code;
  uint64_t bound;     // growth of the peak resident set allowed, slack included
  bool small_blocks;  // every block the decode allocates is small: run the code check anywhere
};

Bytes ztxt_of(uint64_t text_size) {
  return chunk("zTXt", concat({testpng::text_bytes(std::string("Note\0\0", 6)),
                               testpng::zlib_compress(Bytes(text_size, 'a'), 9)}));
}

Bytes rgba_file(uint32_t width, uint32_t height, const Bytes& stream, const std::vector<Bytes>& extra = {}) {
  Bytes file = testpng::header(width, height, 8, 6);
  for (const Bytes& c : extra) file.insert(file.end(), c.begin(), c.end());
  return concat({file, chunk("IDAT", stream), chunk("IEND", {})});
}

// Many compressed chunks just below the cap for one may inflate to 32 MiB together, then
// the decode stops with 52: before that total existed, a hundred of them (a file of 800 KB)
// kept 800 MiB of text. Four of them fit in the total.
TEST(ResourceBombs, EachIsRefusedWithinItsBound) {
  const Bytes pixel = testpng::zlib_compress({0, 1, 2, 3, 4});
  const uint64_t bomb_size = zero_bomb().size();
  const auto texts = [&pixel](size_t count) {
    return rgba_file(1, 1, pixel, std::vector<Bytes>(count, ztxt_of(kPayloadCap - 1)));
  };
  const Bytes hundred_texts = texts(100);
  ASSERT_LT(hundred_texts.size(), kMiB);
  std::vector<Bomb> bombs = {
      // 10 E is 400 GB: more than the budget, so the reservation fails.
      {"100000 x 100000 RGBA, one byte of data", rgba_file(100000, 100000, testpng::zlib_compress({0})), 83, kSlack,
       false},
      // 10 E is 410 MB, within the budget: reserved, never touched, and the data is short.
      {"3200 x 3200 RGBA, one row of data", rgba_file(3200, 3200, testpng::zlib_compress(Bytes(1 + 3200 * 4, 0))), 91,
       kSlack, false},
      {"1 x 1 RGBA, image data of 64 MiB", rgba_file(1, 1, zero_bomb()), 52, 10 * bomb_size + kSlack, true},
      {"1000 x 1000 RGBA, image data of 64 MiB", rgba_file(1000, 1000, zero_bomb()), 52,
       10 * 1000 * (1 + 1000 * 4) + 10 * bomb_size + kSlack, true},
      {"a hundred zTXt of 8 MiB - 1", hundred_texts, 52, 4 * kPayloadCap + 2 * kPayloadCap + kSlack, true},
      {"four zTXt of 8 MiB - 1", texts(4), 0, 4 * kPayloadCap + 2 * kPayloadCap + kSlack, true},
  };
  for (const char* kind : {"zTXt", "iTXt", "iCCP"}) {
    const std::string prefix =
        std::string(kind) == "iTXt" ? std::string("Comment\0\1\0en\0\0", 14) : std::string("Comment\0\0", 9);
    bombs.push_back({kind, rgba_file(1, 1, pixel, {chunk(kind, concat({testpng::text_bytes(prefix), zero_bomb()}))}),
                     52, 2 * kPayloadCap + kSlack, true});
  }
  for (const Bomb& bomb : bombs) {
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
