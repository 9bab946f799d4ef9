// The rotated path: decode into a temporary bitmap, already in blue-green-red-alpha order,
// and let the image-operations library turn it into the host's memory under a mutex of
// this call's own (runtime_steps.h); the rotate function copes with concurrent calls.
#include <memory>
#include <new>

#include "plugin/companions.h"
#include "plugin/dib_image.h"
#include "plugin/load.h"
#include "plugin/runtime_steps.h"

namespace velapng {

namespace {

constexpr int32_t kBaseDirectoryUnits = 1024;
constexpr int32_t kInterpolation = 2;

struct Turn {
  double angle;
  ImgRect destination;
  int32_t destination_step;
};

// Quarter turns swap the sides; a half turn keeps them. The caller has checked the angle.
Turn turn_for(int32_t nAngle, int32_t width, int32_t height) {
  if (nAngle == 180) return {180.0, {0, 0, width, height}, width * 4};
  return {static_cast<double>(nAngle), {0, 0, height, width}, height * 4};
}

int32_t rotate_into(uint8_t* destination, const DibImage& source, int32_t width, int32_t height, int32_t nAngle,
                    WCHAR* library_path) {
  if (!append_to_directory(library_path, kBaseDirectoryUnits, kImageOperationsLibrary)) return 0;
  HMODULE library = LoadLibraryW(library_path);
  if (library == nullptr) return 0;
  const auto rotate = find_function<PfnRotateCenter>(library, kRotateFunction);
  if (rotate == nullptr) return 0;

  const Turn turn = turn_for(nAngle, width, height);
  const ImgSize source_size{width, height};
  const ImgRect source_rect{0, 0, width, height};
  // The centre is halved as an integer first, so an odd side rounds down.
  const double centre_x = static_cast<double>(width >> 1);
  const double centre_y = static_cast<double>(height >> 1);
  // A lock that fails counts as a rotate function that failed.
  const int32_t status = call_under_own_mutex(-1, [&] {
    return rotate(source.pBits, source_size, width * 4, source_rect, destination, turn.destination_step,
                  turn.destination, turn.angle, centre_x, centre_y, kInterpolation);
  });
  return status == 0 ? 1 : 0;
}

}  // namespace

int32_t load_rotated(HostImage* pImage, const VelaPNGInput& png, uint32_t width, uint32_t height, int32_t nAngle,
                     VelaPNGState* state) {
  // The caller has bounded width * height * 4 to 0x7FFFFFFF, so every size below fits in 32 bits.
  const auto w = static_cast<int32_t>(width);
  const auto h = static_cast<int32_t>(height);
  WCHAR library_path[kBaseDirectoryUnits] = {};
  GetBaseDirectory(library_path, kBaseDirectoryUnits);
  // No image object fails the load just as no pixel memory for it does.
  const std::unique_ptr<DibImage> image(new (std::nothrow) DibImage);
  if (image == nullptr) return 0;

  int32_t result = 0;
  // Without memory for the temporary image there is nothing to decode into: the load fails.
  if (image->Create(w, h, 32) == 1) {
    if (decode_inspected(image->pBits, width, height, state, png, ChannelOrder::bgra) == code::ok)
      result = rotate_into(pImage->pBits, *image, w, h, nAngle, library_path);
  }
  image->Release();
  return result;
}

}  // namespace velapng
