// The decoders the benchmark compares, behind one interface. Every backend decodes a whole
// PNG held in memory into 8-bit RGBA (the plug-in: BGRA) with 16-bit samples reduced to the
// high byte, low depths scaled up, palettes expanded and transparency turned into alpha,
// so every output can be compared byte for byte with ours.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/png_layout.h"

namespace velabench {

struct BenchImage {
  std::string set;   // corpus sub-directory: photo, colour, adam7, icons
  std::string name;  // file name
  std::string path;
  std::vector<uint8_t> bytes;
  PngLayout layout;

  uint64_t pixels() const { return uint64_t{layout.width} * layout.height; }
  uint64_t rgba_bytes() const { return pixels() * 4; }
};

// ours: the figure every ratio is taken against; plugin: ours through the exported load;
// peer: another decoder; floor: libdeflate inflating the image data and nothing else.
enum class Role { ours, plugin, peer, floor };

enum class PixelOrder { rgba, bgra, none };

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* name() const = 0;
  virtual Role role() const = 0;
  virtual PixelOrder order() const { return PixelOrder::rgba; }
  // Empty when the backend can run, else why not (it is then left out of every table).
  virtual std::string unavailable() const { return {}; }
  // Once per image before its first decode, untimed.
  virtual bool prepare(const BenchImage&) { return true; }
  // Decodes into `out` (width * height * 4 bytes). With `keep` false a backend that decodes
  // into memory of its own (stb_image) need not copy its result out.
  virtual bool decode(const BenchImage& image, uint8_t* out, bool keep) = 0;
};

std::unique_ptr<Backend> make_ours();
std::unique_ptr<Backend> make_plugin(const std::string& library_path);
std::unique_ptr<Backend> make_libpng();
std::unique_ptr<Backend> make_libspng();
std::unique_ptr<Backend> make_stb_image();
std::unique_ptr<Backend> make_wuffs();
std::unique_ptr<Backend> make_floor();

}  // namespace velabench
