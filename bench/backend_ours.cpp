// Ours twice: the decoder's own entry, and the plug-in's memory load reached the way the host
// reaches it (the shared library loaded at run time through the plug-in loader, the PNG
// entry of its table, angle 0), which adds the plug-in's own state and the red/blue exchange.
// The plug-in is never unloaded: the host never unloads one either, and a companion library
// it loaded may still refer to it.
#include <climits>

#include "bench/backend.h"
#include "decoder/decoder.h"
#include "loader/plugin_loader.h"

namespace velabench {

namespace {

class Ours final : public Backend {
 public:
  const char* name() const override { return "velapng"; }
  Role role() const override { return Role::ours; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    uint32_t width = 0, height = 0;
    return velapng::decode_rgba(&out, &width, &height, image.bytes.data(), image.bytes.size()) == 0;
  }
};

class Plugin final : public Backend {
 public:
  explicit Plugin(const std::string& path) {
    std::string error;
    png_ = loader::find_decoder(loader::to_wide(path).c_str(), "PNG ", &error);
    if (png_ == nullptr) why_ = path + ": " + error;
  }

  const char* name() const override { return "plugin"; }
  Role role() const override { return Role::plugin; }
  PixelOrder order() const override { return PixelOrder::bgra; }
  std::string unavailable() const override { return why_; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    if (image.bytes.size() > INT32_MAX) return false;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    HostImage record{};
    record.pBits = out;
    record.pInfoHeader = &header;
    return png_->pfnImage32LoadFromMemData(&record, image.bytes.data(), static_cast<int32_t>(image.bytes.size()), 0) ==
           1;
  }

 private:
  const DecoderPluginEntry* png_ = nullptr;
  std::string why_;
};

}  // namespace

std::unique_ptr<Backend> make_ours() { return std::make_unique<Ours>(); }
std::unique_ptr<Backend> make_plugin(const std::string& library_path) { return std::make_unique<Plugin>(library_path); }

}  // namespace velabench
