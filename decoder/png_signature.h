// The eight bytes every PNG file starts with.
#pragma once

#include <cstdint>

namespace velapng {

inline constexpr uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

}  // namespace velapng
