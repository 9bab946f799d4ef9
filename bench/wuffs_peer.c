/* wuffs as a benchmark peer: its single-file release, compiled in place from the directory
   the build names (VELAPNG_WUFFS_DIR) with just the PNG decoder and what it needs. This is
   the only translation unit that includes it, built without our warning set; nothing of it
   reaches the plug-in. */
#define WUFFS_IMPLEMENTATION
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__ADLER32
#define WUFFS_CONFIG__MODULE__CRC32
#define WUFFS_CONFIG__MODULE__DEFLATE
#define WUFFS_CONFIG__MODULE__PNG
#define WUFFS_CONFIG__MODULE__ZLIB
#include "bench/wuffs_peer.h"

#include <stdlib.h>

#include "wuffs-v0.4.c"

/* The way its documentation decodes a still image: a decoder and a work buffer per call,
   the frame drawn straight into the caller's pixels with SRC blending. */
int wuffs_peer_decode_rgba(const uint8_t* data, size_t size, uint8_t* out, uint32_t width, uint32_t height) {
  wuffs_png__decoder* decoder = wuffs_png__decoder__alloc();
  if (decoder == NULL) return 0;
  /* A reader never writes to its buffer. */
  wuffs_base__io_buffer source = wuffs_base__ptr_u8__reader((uint8_t*)data, size, true);
  wuffs_base__image_config config = wuffs_base__null_image_config();
  wuffs_base__status status = wuffs_png__decoder__decode_image_config(decoder, &config, &source);
  int ok = wuffs_base__status__is_ok(&status) && wuffs_base__pixel_config__width(&config.pixcfg) == width &&
           wuffs_base__pixel_config__height(&config.pixcfg) == height;
  uint8_t* work = NULL;
  if (ok) {
    wuffs_base__pixel_config__set(&config.pixcfg, WUFFS_BASE__PIXEL_FORMAT__RGBA_NONPREMUL,
                                  WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, width, height);
    wuffs_base__pixel_buffer pixels;
    status = wuffs_base__pixel_buffer__set_from_slice(&pixels, &config.pixcfg,
                                                      wuffs_base__make_slice_u8(out, (size_t)width * height * 4));
    const uint64_t work_size = wuffs_png__decoder__workbuf_len(decoder).max_incl;
    work = work_size <= SIZE_MAX ? (uint8_t*)malloc(work_size ? (size_t)work_size : 1) : NULL;
    ok = wuffs_base__status__is_ok(&status) && work != NULL;
    if (ok) {
      status = wuffs_png__decoder__decode_frame(decoder, &pixels, &source, WUFFS_BASE__PIXEL_BLEND__SRC,
                                                wuffs_base__make_slice_u8(work, (size_t)work_size), NULL);
      ok = wuffs_base__status__is_ok(&status);
    }
  }
  free(work);
  free(decoder);
  return ok;
}
