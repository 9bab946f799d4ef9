// The one-pass decode of an owned input, which moves image data split over several IDAT
// chunks together inside the file instead of copying it: the same code and pixels as the
// reference decode and as a borrowed input for every layout of the chunks, and nothing the
// walk has still to read moved over. (The benchmark's load probe measures the memory saved.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
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

// The chunks the walk meets after the header, up to IEND or a cut: type, data offset, length.
struct Met {
  std::string type;
  size_t at, length;
};
std::vector<Met> chunks_of(const Bytes& file) {
  std::vector<Met> found;
  for (size_t at = 33; at + 12 <= file.size();) {
    const size_t length = be32(file, at);
    if (at + 12 + length > file.size()) break;
    found.push_back({std::string(file.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                                 file.begin() + static_cast<std::ptrdiff_t>(at) + 8),
                     at + 8, length});
    if (found.back().type == "IEND") break;
    at += length + 12;
  }
  return found;
}

Bytes slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

Parts take_apart(const Bytes& file) {
  Parts parts{slice(file, 0, 33), {}, {}};
  for (const Met& c : chunks_of(file)) {
    if (c.type == "IDAT") parts.image_data = concat({parts.image_data, slice(file, c.at, c.at + c.length)});
    else if (c.type != "IEND" && parts.image_data.empty())
      parts.before = concat({parts.before, slice(file, c.at - 8, c.at + c.length + 4)});
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
        std::vector<Met> met = chunks_of(file);
        std::erase_if(met, [](const Met& c) { return c.type != "IDAT"; });
        ASSERT_FALSE(met.empty());
        const size_t first = met.front().at, after_last = met.back().at + met.back().length;
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(first), block.begin()));
        EXPECT_TRUE(std::equal(file.begin() + static_cast<std::ptrdiff_t>(after_last), file.end(),
                               block.begin() + static_cast<std::ptrdiff_t>(after_last)));
        if (expected.code != 0) continue;
        ++decoded;
        Bytes image_data;
        for (const Met& c : met) image_data = concat({image_data, slice(file, c.at, c.at + c.length)});
        EXPECT_TRUE(
            std::equal(image_data.begin(), image_data.end(), block.begin() + static_cast<std::ptrdiff_t>(first)));
      }
    }
  }
  EXPECT_GE(decoded, 5 * 3 * 4);
}

}  // namespace
