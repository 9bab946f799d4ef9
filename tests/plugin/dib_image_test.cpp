#include "plugin/dib_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/plugin/harness.h"

namespace {

using plugintest::Lines;
using plugintest::LogWatch;
using velapng::DibImage;

const std::string kSuccess = "IMAGE calloc success ";
const std::string kFailure = "IMAGE calloc failed ";

struct CreateCase {
  int32_t cx, cy, depth;
};

// The size rules of a DIB, written out from the format: rows padded to 32-bit words, a
// colour table of 2^depth entries for depths up to 8.
TEST(DibImage, CreateFillsHeaderStrideAndMemory) {
  for (const CreateCase& c : {CreateCase{5, 3, 32}, {5, 3, 8}, {5, 3, 24}, {7, 2, 1}, {3, 3, 4}, {1, 1, 16}}) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy << "x" << c.depth);
    LogWatch log;
    DibImage image;
    ASSERT_EQ(image.Create(c.cx, c.cy, c.depth), 1);
    const int32_t stride = (c.cx * c.depth + 31) / 32 * 4;
    const size_t header_bytes = 40 + (c.depth <= 8 ? 4u << c.depth : 0u);
    EXPECT_EQ(image.nStride, stride);
    // Every field not named here is zero, and so is the colour table; reading it all would
    // trip the address sanitizer if the block were short.
    BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = c.cx;
    header.biHeight = c.cy;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(c.depth);
    header.biSizeImage = static_cast<DWORD>(stride * c.cy);
    std::vector<uint8_t> expected(header_bytes, 0);
    std::memcpy(expected.data(), &header, sizeof header);
    ASSERT_NE(image.pInfoHeader, nullptr);
    const auto* block = reinterpret_cast<const uint8_t*>(image.pInfoHeader);
    EXPECT_EQ(std::vector<uint8_t>(block, block + header_bytes), expected);
    // Pixel memory is the image size plus 4 bytes; the last of them must be writable.
    ASSERT_NE(image.pBits, nullptr);
    image.pBits[size_t(stride * c.cy) + 3] = 0x5A;
    EXPECT_EQ(image.nBitsSource, 0);
    EXPECT_EQ(log.lines(), Lines{kSuccess});
  }
}

TEST(DibImage, SameSizeKeepsTheImageOtherSizeReplacesIt) {
  DibImage image;
  ASSERT_EQ(image.Create(5, 3, 32), 1);
  uint8_t* const bits = image.pBits;
  const BITMAPINFOHEADER* const header = image.pInfoHeader;
  LogWatch log;
  EXPECT_EQ(image.Create(5, 3, 32), 1);
  EXPECT_EQ(image.pBits, bits);
  EXPECT_EQ(image.pInfoHeader, header);
  EXPECT_TRUE(log.lines().empty());
  ASSERT_EQ(image.Create(3, 5, 32), 1);
  EXPECT_EQ(image.pInfoHeader->biWidth, 3);
  EXPECT_EQ(image.pInfoHeader->biHeight, 5);
  EXPECT_EQ(image.nStride, 12);
  ASSERT_EQ(image.Create(3, 5, 8), 1);  // another depth is another image too
  EXPECT_EQ(image.pInfoHeader->biBitCount, 8);
  EXPECT_EQ(image.nStride, 4);
  EXPECT_EQ(log.lines(), (Lines{kSuccess, kSuccess}));
  image.Release();
  image.Release();  // harmless twice
  EXPECT_EQ(image.nStride, 0);
  EXPECT_EQ(image.pBits, nullptr);
  EXPECT_EQ(image.pInfoHeader, nullptr);
}

struct BadSizeCase {
  int32_t cx, cy, depth;
  int32_t result;
  Lines log;
};

TEST(DibImage, NonPositiveOrWrappingSizesAreLoggedAndCarriedOn) {
  const BadSizeCase cases[] = {
      // Zero everywhere matches the empty object's "header", so nothing is allocated.
      {0, 0, 0, 1, {"IMAGE cx = 0 ,cy =0 ,nbitcount =0 "}},
      // A negative width makes a negative image size, which can't be allocated.
      {-1, 3, 32, 0, {"IMAGE cx = -1 ,cy =3 ,nbitcount =32 ", kFailure}},
      // A zero height makes an empty image: the header and 4 bytes of pixels.
      {4, 0, 32, 1, {"IMAGE cx = 4 ,cy =0 ,nbitcount =32 ", kSuccess}},
      {2, 2, -8, 1, {"IMAGE cx = 2 ,cy =2 ,nbitcount =-8 ", kSuccess}},
      // 30000 * 4 * 30000 = 3.6e9 bytes wraps to a negative 32-bit size.
      {30000, 30000, 32, 0, {kFailure}},
  };
  for (const BadSizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy << "x" << c.depth);
    LogWatch log;
    DibImage image;
    EXPECT_EQ(image.Create(c.cx, c.cy, c.depth), c.result);
    EXPECT_EQ(log.lines(), c.log);
    EXPECT_EQ(image.pBits != nullptr, c.result == 1 && c.cx != 0);
    EXPECT_EQ(image.pInfoHeader != nullptr, c.result == 1 && c.cx != 0);
  }
}

TEST(DibImage, CreateWithBitsAdoptsCallerMemoryAndReleaseLeavesIt) {
  std::vector<uint8_t> memory(5 * 3 * 4 + 4, 0x77);
  LogWatch log;
  {
    DibImage image;
    ASSERT_EQ(image.CreateWithBits(5, 3, memory.data(), 32), 1);
    EXPECT_EQ(image.pBits, memory.data());
    EXPECT_EQ(image.nBitsSource, 16);
    image.Release();
    EXPECT_EQ(image.pBits, nullptr);
    EXPECT_EQ(image.nBitsSource, 16);  // kept across Release
    // Same size again after Release: the header is gone, so this is a fresh create.
    ASSERT_EQ(image.CreateWithBits(5, 3, memory.data(), 32), 1);
  }  // the destructor releases; freeing caller memory here would be a sanitizer error
  EXPECT_EQ(memory[0], 0x77);
  // Given no memory, it allocates its own (freed by the destructor: the leak checker sees).
  DibImage image;
  ASSERT_EQ(image.CreateWithBits(4, 4, nullptr, 32), 1);
  EXPECT_EQ(image.nBitsSource, 0);
  image.pBits[4 * 4 * 4 + 3] = 1;
  EXPECT_TRUE(log.lines().empty());
}

// A pointer to a virtual member holds 1 + its byte offset in the vtable (Itanium C++ ABI,
// which GCC uses on both targets).
template <typename Member>
ptrdiff_t vtable_slot(Member member) {
  ptrdiff_t word;
  static_assert(sizeof member >= sizeof word);
  std::memcpy(&word, &member, sizeof word);
  return (word - 1) / static_cast<ptrdiff_t>(sizeof(void*));
}

TEST(DibImage, VirtualSlotsInOrder) {
  EXPECT_EQ(vtable_slot(&DibImage::CreateWithBits), 0);
  EXPECT_EQ(vtable_slot(&DibImage::Create), 1);
}

}  // namespace
