// Test doubles of the two run-time companions. Each records the calls it gets and returns
// a result the test chose; the tests reach the records through the functions below, looked
// up in the same loaded library the plug-in uses.
#pragma once

#include <cstdint>

#include "plugin/companions.h"

namespace fakes {

struct RotateCall {
  const uint8_t* src;
  ImgSize src_size;
  int32_t src_step;
  ImgRect src_roi;
  uint8_t* dst;
  int32_t dst_step;
  ImgRect dst_roi;
  double angle;
  double x_centre;
  double y_centre;
  int32_t interpolation;
  uint8_t src_head[16];  // the first source bytes, to see what the plug-in handed over
};

enum MetaFunction : int32_t { kQuery = 1, kQueryFromMemory = 2, kRelease = 3 };

struct MetaCall {
  int32_t function;
  WCHAR file_name[64];  // the first units of pFileName, NUL-terminated ({} when null)
  const WCHAR* file_name_pointer;
  char key[32];  // "" when null
  const char* key_pointer;
  const uint8_t* data;
  int32_t size;
  void* value_data;
  void* value;
  int32_t kind;
  void* release_pointer;
};

inline constexpr int kMaxCalls = 64;

using ResetFn = void (*)(int32_t result);
using CountFn = int32_t (*)();
using RotateCallFn = bool (*)(int32_t index, RotateCall* call);
using MetaCallFn = bool (*)(int32_t index, MetaCall* call);

}  // namespace fakes

// fake_rotate_reset / fake_rotate_count / fake_rotate_call and the same for fake_meta_*:
// forget the calls and set the result; number of calls; copy of call `index`.
