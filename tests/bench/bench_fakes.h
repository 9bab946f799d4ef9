// Backends that do what a test tells them, for measuring and reporting without real decoders.
#pragma once

#include <cstring>
#include <string>

#include "bench/backend.h"

namespace benchtest {

using velabench::BenchImage;
using velabench::PixelOrder;
using velabench::Role;

// RGBA pixel i of the test image: distinct in every byte for the first 63 pixels.
inline void expected_pixel(uint64_t i, uint8_t* rgba) {
  for (int k = 0; k < 4; ++k) rgba[k] = static_cast<uint8_t>(4 * i + k + 1);
}

class FakeBackend : public velabench::Backend {
 public:
  FakeBackend(std::string name, Role role, PixelOrder order = PixelOrder::rgba) : name_(std::move(name)), role_(role), order_(order) {}

  const char* name() const override { return name_.c_str(); }
  Role role() const override { return role_; }
  PixelOrder order() const override { return order_; }
  bool prepare(const BenchImage&) override { return !fail_prepare; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    ++calls;
    if (fail_from_call != 0 && calls >= fail_from_call) return false;
    if (order_ == PixelOrder::none) return true;
    for (uint64_t i = 0; i < image.pixels(); ++i) {
      uint8_t p[4];
      expected_pixel(i, p);
      if (i == wrong_pixel) p[wrong_channel] ^= 0x40;
      if (order_ == PixelOrder::bgra && !forget_swap) std::swap(p[0], p[2]);
      std::memcpy(out + 4 * i, p, 4);
    }
    return true;
  }

  bool fail_prepare = false;
  uint32_t fail_from_call = 0;  // 1: every call fails; 2: the first succeeds
  uint64_t wrong_pixel = UINT64_MAX;
  int wrong_channel = 0;
  bool forget_swap = false;
  uint32_t calls = 0;

 private:
  std::string name_;
  Role role_;
  PixelOrder order_;
};

inline BenchImage test_image(uint32_t width, uint32_t height, const char* set = "photo", const char* name = "a.png") {
  BenchImage image;
  image.set = set;
  image.name = name;
  image.layout.width = width;
  image.layout.height = height;
  image.layout.colour_type = 6;
  image.layout.bit_depth = 8;
  return image;
}

}  // namespace benchtest
