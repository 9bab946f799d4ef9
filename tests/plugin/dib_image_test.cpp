#include "plugin/dib_image.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;
using velapng::DibImage;

const std::string kFailure = "IMAGE calloc failed ";

// The size rules of a DIB, written out from the format: rows padded to 32-bit words, a
// colour table of 2^depth entries for depths up to 8. The same size and depth again keeps
// the image; any other replaces it.
TEST(DibImage, CreateFillsHeaderStrideAndMemory) {
  DibImage image;
  // The fourth column: the image is kept.
  const int32_t sizes[][4] = {{5, 3, 32, 0}, {5, 3, 32, 1}, {3, 5, 32, 0}, {3, 5, 8, 0},
                              {5, 3, 24, 0}, {7, 2, 1, 0},  {3, 3, 4, 0},  {1, 1, 16, 0}};
  for (const auto& [cx, cy, depth, keeps] : sizes) {
    SCOPED_TRACE(testing::Message() << cx << "x" << cy << "x" << depth);
    const uint8_t* const bits = image.pBits;
    LogWatch log;
    ASSERT_EQ(image.Create(cx, cy, depth), 1);
    EXPECT_EQ(log.lines(), keeps ? Lines{} : Lines{kImageMade});
    EXPECT_TRUE(!keeps || image.pBits == bits);
    const int32_t stride = (cx * depth + 31) / 32 * 4;
    EXPECT_EQ(image.nStride, stride);
    // Every field not named here is zero, and so is the colour table; reading it all would
    // trip the address sanitizer if the block were short.
    BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = cx;
    header.biHeight = cy;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(depth);
    header.biSizeImage = static_cast<DWORD>(stride * cy);
    Bytes expected(40 + (depth <= 8 ? 4u << depth : 0u), 0);
    std::memcpy(expected.data(), &header, sizeof header);
    const auto* block = reinterpret_cast<const uint8_t*>(image.pInfoHeader);
    EXPECT_EQ(Bytes(block, block + expected.size()), expected);
    image.pBits[size_t(stride * cy) + 3] = 0x5A;  // the image size plus 4 bytes, all writable
    EXPECT_EQ(image.nBitsSource, 0);
  }
  image.Release();
  image.Release();  // harmless twice
  EXPECT_EQ(image.nStride, 0);
  EXPECT_EQ(image.pBits, nullptr);
  EXPECT_EQ(image.pInfoHeader, nullptr);
}

TEST(DibImage, NonPositiveOrWrappingSizesAreLoggedAndCarriedOn) {
  const struct {
    int32_t cx, cy, depth, result;
    Lines log;
  } cases[] = {
      // Zero everywhere matches the empty object's "header", so nothing is allocated.
      {0, 0, 0, 1, {"IMAGE cx = 0 ,cy =0 ,nbitcount =0 "}},
      // A negative width makes a negative image size, which can't be allocated.
      {-1, 3, 32, 0, {"IMAGE cx = -1 ,cy =3 ,nbitcount =32 ", kFailure}},
      // A zero height makes an empty image: the header and 4 bytes of pixels.
      {4, 0, 32, 1, {"IMAGE cx = 4 ,cy =0 ,nbitcount =32 ", kImageMade}},
      {2, 2, -8, 1, {"IMAGE cx = 2 ,cy =2 ,nbitcount =-8 ", kImageMade}},
      // 30000 * 4 * 30000 = 3.6e9 bytes wraps to a negative 32-bit size.
      {30000, 30000, 32, 0, {kFailure}},
  };
  for (const auto& c : cases) {
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
  Bytes memory(5 * 3 * 4 + 4, 0x77);
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

}  // namespace
