// The one-pass decode of an owned input, which moves image data split over several IDAT
// chunks together inside the file instead of copying it: the same code and pixels as the
// reference decode and as a borrowed input for every layout of the chunks, nothing the walk
// has still to read moved over, and no second copy of the compressed data in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/memory_probe.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

// A suite file taken apart: signature and header, the chunks before its image data, and its
// image data joined (the test's own walk, CRCs unchecked: the suite's files are whole).
struct Parts {
  Bytes head;
  Bytes before;
  Bytes image_data;
};

uint32_t be32(const Bytes& bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

Parts take_apart(const Bytes& file) {
  Parts parts{Bytes(file.begin(), file.begin() + 33), {}, {}};
  for (size_t at = 33; at + 12 <= file.size();) {
    const size_t length = be32(file, at);
    const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                           file.begin() + static_cast<std::ptrdiff_t>(at) + 8);
    const auto data = file.begin() + static_cast<std::ptrdiff_t>(at) + 8;
    if (type == "IDAT")
      parts.image_data.insert(parts.image_data.end(), data, data + static_cast<std::ptrdiff_t>(length));
    else if (type != "IEND" && parts.image_data.empty())
      parts.before = concat({parts.before, Bytes(data - 8, data + static_cast<std::ptrdiff_t>(length) + 4)});
    at += length + 12;
  }
  return parts;
}

// The image data in IDAT chunks of `piece` bytes (the last one shorter).
std::vector<Bytes> idat_chunks(const Bytes& data, size_t piece) {
  std::vector<Bytes> chunks;
  for (size_t at = 0; at < data.size(); at += piece) {
    const auto from = data.begin() + static_cast<std::ptrdiff_t>(at);
    chunks.push_back(chunk("IDAT", Bytes(from, from + static_cast<std::ptrdiff_t>(std::min(piece, data.size() - at)))));
  }
  return chunks;
}

Bytes with_bad_crc(Bytes c) {
  c.back() ^= 0x01;
  return c;
}

Bytes joined(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct Decoded {
  uint32_t code = 0;
  Bytes rgba;
};

Decoded reference(const Bytes& file, size_t pixels) {
  Decoded d{0, Bytes(pixels * 4, 0)};
  uint8_t* out = d.rgba.data();
  uint32_t width = 0, height = 0;
  d.code = decode_rgba(&out, &width, &height, file.data(), file.size());
  return d;
}

// *block is the file as the owned decode left it.
Decoded direct(const Bytes& file, size_t pixels, Bytes* block) {
  Decoded d{0, Bytes(pixels * 4, 0)};
  uint32_t width = 0, height = 0;
  if (block == nullptr) {
    d.code =
        decode_direct(d.rgba.data(), &width, &height, borrowed_input(file.data(), file.size()), ChannelOrder::rgba);
    return d;
  }
  // A block of exactly the file's size, so a move outside it is a sanitizer report.
  auto* owned = static_cast<uint8_t*>(std::malloc(file.size()));
  EXPECT_NE(owned, nullptr);
  if (owned == nullptr) return d;
  std::memcpy(owned, file.data(), file.size());
  d.code = decode_direct(d.rgba.data(), &width, &height, owned_input(owned, file.size()), ChannelOrder::rgba);
  block->assign(owned, owned + file.size());
  std::free(owned);
  return d;
}

// Each file is built from a suite image's parts by one of these; `data` is its image data
// in chunks of a few bytes. The codes follow from the layout alone.
struct Layout {
  const char* what;
  Bytes (*build)(const Parts& parts, const std::vector<Bytes>& data);
  uint32_t code;
};

const Bytes kIend = chunk("IEND", {});

const Layout kLayouts[] = {
    {"back to back",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, joined(d), kIend});
     },
     0},
    {"empty IDATs first, between and last",
     [](const Parts& p, const std::vector<Bytes>& d) {
       std::vector<Bytes> parts{p.head, p.before, chunk("IDAT", {})};
       for (const Bytes& c : d) parts.insert(parts.end(), {c, chunk("IDAT", {})});
       parts.push_back(kIend);
       return joined(parts);
     },
     0},
    {"a text and an unknown chunk between every two",
     [](const Parts& p, const std::vector<Bytes>& d) {
       const Bytes text = chunk("tEXt", {'k', 0, 'v'}), unknown = chunk("prVt", {7});
       std::vector<Bytes> parts{p.head, p.before, d.front()};
       for (size_t i = 1; i < d.size(); ++i) parts.insert(parts.end(), {text, unknown, d[i]});
       parts.push_back(kIend);
       return joined(parts);
     },
     0},
    {"bytes and a broken chunk after IEND",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, joined(d), kIend, with_bad_crc(chunk("IDAT", {1, 2})), {9, 9}});
     },
     0},
    {"bad CRC on the second IDAT",
     [](const Parts& p, const std::vector<Bytes>& d) {
       std::vector<Bytes> broken = d;
       broken[1] = with_bad_crc(broken[1]);
       return concat({p.head, p.before, joined(broken), kIend});
     },
     57},
    {"bad CRC on the last IDAT",
     [](const Parts& p, const std::vector<Bytes>& d) {
       std::vector<Bytes> broken = d;
       broken.back() = with_bad_crc(broken.back());
       return concat({p.head, p.before, joined(broken), kIend});
     },
     57},
    {"an ancillary chunk with a bad CRC after the IDATs",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, joined(d), with_bad_crc(chunk("tIME", {7, 230, 1, 2, 3, 4, 5})), kIend});
     },
     57},
    // Its reader refuses it, and the reader's code wins over its bad CRC.
    {"a gAMA of three bytes with a bad CRC after the IDATs",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, joined(d), with_bad_crc(chunk("gAMA", {1, 2, 3})), kIend});
     },
     96},
    {"a text without a keyword between two IDATs",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, d[0], chunk("tEXt", {0, 'x'}), joined({d.begin() + 1, d.end()}), kIend});
     },
     89},
    {"an unknown critical chunk between two IDATs",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, d[0], chunk("ABCD", {1}), joined({d.begin() + 1, d.end()}), kIend});
     },
     69},
    {"no IEND",
     [](const Parts& p, const std::vector<Bytes>& d) {
       return concat({p.head, p.before, joined(d)});
     },
     30},
    {"the third IDAT without its CRC's last byte",
     [](const Parts& p, const std::vector<Bytes>& d) {
       const Bytes whole = concat({p.head, p.before, joined(d), kIend});
       const size_t cut = p.head.size() + p.before.size() + d[0].size() + d[1].size() + d[2].size() - 1;
       return Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
     },
     64},
};

// Where the walk reads IDAT payloads in `file`, up to IEND: offset and length of each.
std::vector<std::pair<size_t, size_t>> payloads_of(const Bytes& file) {
  std::vector<std::pair<size_t, size_t>> found;
  for (size_t at = 33; at + 12 <= file.size();) {
    const size_t length = be32(file, at);
    if (at + 12 + length > file.size()) break;
    if (std::memcmp(file.data() + at + 4, "IDAT", 4) == 0) found.emplace_back(at + 8, length);
    if (std::memcmp(file.data() + at + 4, "IEND", 4) == 0) break;
    at += length + 12;
  }
  return found;
}

// An RGB, a palette, a grey+alpha and two Adam7 images (one of 1-bit grey), each split into
// IDATs of 1, 7 and 20 bytes, in every layout. The three decodes agree on the code, which
// the layout predicts, and a decoded image on every pixel. The owned file keeps every byte
// before its first IDAT payload and after its last one (what the walk reads after a move
// lies there), and a decoded one holds its image data joined where the first payload began.
TEST(OwnedInput, EveryLayoutDecodesAsTheReferenceWithNothingUnreadMovedOver) {
  int decoded = 0;
  for (const char* name : {"basn2c08.png", "basn3p04.png", "basn4a16.png", "basi6a08.png", "basi0g01.png"}) {
    const Bytes suite_file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    ASSERT_FALSE(suite_file.empty()) << name;
    const Parts parts = take_apart(suite_file);
    const size_t pixels = size_t{be32(parts.head, 16)} * be32(parts.head, 20);
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{20}}) {
      const std::vector<Bytes> data = idat_chunks(parts.image_data, piece);
      ASSERT_GE(data.size(), 3u) << name;
      for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(std::string(name) + ", pieces of " + std::to_string(piece) + ", " + layout.what);
        const Bytes file = layout.build(parts, data);
        const Decoded expected = reference(file, pixels);
        EXPECT_EQ(expected.code, layout.code);
        Bytes block;
        for (Bytes* owned : {static_cast<Bytes*>(nullptr), &block}) {
          const Decoded ours = direct(file, pixels, owned);
          EXPECT_EQ(ours.code, expected.code) << (owned ? "owned" : "borrowed");
          if (expected.code == 0) {
            EXPECT_TRUE(ours.rgba == expected.rgba) << (owned ? "owned" : "borrowed");
          }
        }
        const auto met = payloads_of(file);
        ASSERT_FALSE(met.empty());
        const size_t first = met.front().first, after_last = met.back().first + met.back().second;
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(first), block.begin()));
        EXPECT_TRUE(std::equal(file.begin() + static_cast<std::ptrdiff_t>(after_last), file.end(),
                               block.begin() + static_cast<std::ptrdiff_t>(after_last)));
        if (expected.code != 0) continue;
        ++decoded;
        Bytes image_data;
        for (const auto& [at, length] : met)
          image_data.insert(image_data.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                            file.begin() + static_cast<std::ptrdiff_t>(at + length));
        EXPECT_TRUE(
            std::equal(image_data.begin(), image_data.end(), block.begin() + static_cast<std::ptrdiff_t>(first)));
      }
    }
  }
  EXPECT_GE(decoded, 5 * 3 * 4);
}

// Incompressible image data, so its compressed size is about its inflated size E, in the 8 KiB
// chunks libpng writes: a borrowed decode holds about 2 E beyond the file and the output
// (the inflated data and the copy of the joined payloads), an owned one about E.
TEST(OwnedInput, HoldsNoSecondCopyOfSplitImageData) {
  if (!testpng::memory_probe_available()) GTEST_SKIP() << "no memory probe in this build";
  constexpr uint32_t kSide = 1024;
  Bytes scanlines;
  uint32_t seed = 12345;
  for (uint32_t y = 0; y < kSide; ++y) {
    scanlines.push_back(0);
    for (uint32_t x = 0; x < kSide * 4; ++x) {
      seed = seed * 1103515245 + 12345;
      scanlines.push_back(static_cast<uint8_t>(seed >> 16));
    }
  }
  const Bytes stream = testpng::zlib_compress(scanlines, 1);
  const Bytes file = concat({testpng::header(kSide, kSide, 8, 6), joined(idat_chunks(stream, 8192)), kIend});
  const double inflated = static_cast<double>(scanlines.size());
  ASSERT_GT(static_cast<double>(stream.size()), 0.95 * inflated);

  for (const bool owned : {false, true}) {
    // Touched before the child starts, so only the decode's own blocks make its peak grow.
    Bytes input = file;
    Bytes out(size_t{kSide} * kSide * 4, 1);
    const testpng::ChildOutcome outcome = testpng::run_in_child(uint64_t{1} << 30, [&] {
      uint32_t width = 0, height = 0;
      const VelaPNGInput in =
          owned ? owned_input(input.data(), input.size()) : borrowed_input(input.data(), input.size());
      return decode_direct(out.data(), &width, &height, in, ChannelOrder::bgra);
    });
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.result, 0u);
    const double held = static_cast<double>(outcome.peak_growth) / inflated;
    if (owned) {
      EXPECT_LT(held, 1.25) << "owned";
    } else {
      EXPECT_GT(held, 1.75) << "borrowed";
    }
  }
}

}  // namespace
