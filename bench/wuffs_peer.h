// The wuffs peer's C entry, so that wuffs's own translation unit (wuffs_peer.c) is the only
// one that sees its declarations.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Decodes the PNG in `data` into `out` (width * height * 4 bytes, RGBA non-premultiplied);
// 1 on success, 0 when the file fails or its size is not width x height.
int wuffs_peer_decode_rgba(const uint8_t* data, size_t size, uint8_t* out, uint32_t width, uint32_t height);

#ifdef __cplusplus
}
#endif
