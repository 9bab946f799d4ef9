// Ours twice: the decoder's own entry, and the plug-in's memory load export reached the way
// the host reaches it (the shared library opened at run time, the export looked up by
// name, angle 0), which adds the plug-in's own state and the red/blue exchange.
#include <dlfcn.h>

#include "bench/backend.h"
#include "decoder/decoder.h"

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

// The host's image record and bitmap header, as the host lays them out; the bench knows
// the plug-in only through its exported ABI, like the host.
struct HostImageRecord {
  uint8_t reserved0[8];
  int32_t nStride;
  uint8_t reserved1[4];
  uint8_t* pBits;
  void* pInfoHeader;
};
static_assert(sizeof(HostImageRecord) == 32);

using LoadFromMemData = int32_t (*)(HostImageRecord* pImage, const uint8_t* pData, int32_t nSize, int32_t nAngle);

class Plugin final : public Backend {
 public:
  explicit Plugin(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* why = dlerror();
      why_ = path + ": " + (why != nullptr ? why : "cannot be opened");
      return;
    }
    load_ = reinterpret_cast<LoadFromMemData>(dlsym(handle_, "Image32LoadFromMemData"));
    if (load_ == nullptr) why_ = path + ": no Image32LoadFromMemData export";
  }
  // Never closed: the host never unloads a plug-in either, and a companion library the
  // plug-in loaded may still refer to it.
  ~Plugin() override = default;

  const char* name() const override { return "plugin"; }
  Role role() const override { return Role::plugin; }
  PixelOrder order() const override { return PixelOrder::bgra; }
  std::string unavailable() const override { return why_; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    if (image.bytes.size() > INT32_MAX) return false;
    HostImageRecord record{};
    alignas(8) uint8_t info_header[40] = {};
    info_header[0] = 40;  // biSize
    record.pBits = out;
    record.pInfoHeader = info_header;
    return load_(&record, image.bytes.data(), static_cast<int32_t>(image.bytes.size()), 0) == 1;
  }

 private:
  void* handle_ = nullptr;
  LoadFromMemData load_ = nullptr;
  std::string why_;
};

}  // namespace

std::unique_ptr<Backend> make_ours() { return std::make_unique<Ours>(); }
std::unique_ptr<Backend> make_plugin(const std::string& library_path) { return std::make_unique<Plugin>(library_path); }

}  // namespace velabench
