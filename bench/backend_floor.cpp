// The floor: libdeflate inflating the image's joined IDAT data into a buffer that is
// already allocated and resident, with a decompressor made once. A decoder that inflates
// with libdeflate does all of this and more, so none can be faster.
#include <libdeflate.h>

#include "bench/backend.h"

namespace velabench {

namespace {

class Floor final : public Backend {
 public:
  Floor() : decompressor_(libdeflate_alloc_decompressor()) {}
  ~Floor() override {
    if (decompressor_ != nullptr) libdeflate_free_decompressor(decompressor_);
  }
  Floor(const Floor&) = delete;
  Floor& operator=(const Floor&) = delete;

  const char* name() const override { return "floor"; }
  Role role() const override { return Role::floor; }
  PixelOrder order() const override { return PixelOrder::none; }
  std::string unavailable() const override { return decompressor_ == nullptr ? "no libdeflate decompressor" : ""; }

  // Written once here so the timed inflates find every page already mapped.
  bool prepare(const BenchImage& image) override {
    inflated_.assign(image.layout.inflated_size, 0);
    return true;
  }
  bool decode(const BenchImage& image, uint8_t*, bool) override {
    size_t produced = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress(decompressor_, image.layout.image_data.data(), image.layout.image_data.size(),
                                   inflated_.data(), inflated_.size(), &produced);
    return result == LIBDEFLATE_SUCCESS && produced == inflated_.size();
  }

 private:
  libdeflate_decompressor* decompressor_;
  std::vector<uint8_t> inflated_;
};

}  // namespace

std::unique_ptr<Backend> make_floor() { return std::make_unique<Floor>(); }

}  // namespace velabench
