// A state for the chunk-reader tests: initialised per test and released afterwards, so the
// sanitizer build sees every block a reader stored go with the record.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace readertest {

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { velapng::state_init(&state_); }
  void TearDown() override { velapng::state_release(&state_); }
  // A new state for the next case of a table.
  void fresh() {
    TearDown();
    SetUp();
  }

  velapng::VelaPNGImageInfo& info() { return state_.image_info; }
  velapng::VelaPNGPixelFormat& format() { return state_.image_info.pixel_format; }
  velapng::VelaPNGInflateOptions& inflate() { return state_.decoder.inflate; }

  velapng::VelaPNGState state_;
};

// Bytes made of a repeated character, for keywords and texts of a given length.
inline testpng::Bytes repeated(size_t count, char c) { return testpng::Bytes(count, static_cast<uint8_t>(c)); }

inline std::string as_string(const testpng::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace readertest
