// wuffs, the fastest PNG decoder people use, as a peer. It is compiled into the benchmark
// only where its release lies beside the repository (VELAPNG_WUFFS_DIR); elsewhere the
// backend says why it is missing and is left out like any unavailable one.
#include "bench/backend.h"
#ifdef VELAPNG_BENCH_WUFFS
#include "bench/wuffs_peer.h"
#endif

namespace velabench {

namespace {

class Wuffs final : public Backend {
 public:
  const char* name() const override { return "wuffs"; }
  Role role() const override { return Role::peer; }
  std::string unavailable() const override {
#ifdef VELAPNG_BENCH_WUFFS
    return {};
#else
    return "not built: no wuffs release in " VELAPNG_BENCH_WUFFS_DIR;
#endif
  }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
#ifdef VELAPNG_BENCH_WUFFS
    return wuffs_peer_decode_rgba(image.bytes.data(), image.bytes.size(), out, image.layout.width,
                                  image.layout.height) == 1;
#else
    (void)image;
    (void)out;
    return false;
#endif
  }
};

}  // namespace

std::unique_ptr<Backend> make_wuffs() { return std::make_unique<Wuffs>(); }

}  // namespace velabench
