#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/decoder/reader_fixture.h"

namespace {

using namespace velapng;
using readertest::as_string;
using readertest::ReaderTest;
using readertest::repeated;
using testpng::Bytes;
using testpng::concat;
using testpng::text_bytes;

Bytes text_chunk(const Bytes& keyword, const Bytes& text) { return concat({keyword, {0}, text}); }

Bytes ztxt_chunk(const Bytes& keyword, const Bytes& text) {
  return concat({keyword, {0, 0}, testpng::zlib_compress(text)});
}

// `body` is the text as it stands in the chunk: compressed by the caller when the flag says so.
Bytes itxt_chunk(const Bytes& keyword, uint8_t flag, uint8_t method, std::string_view language,
                 const Bytes& translated_key, const Bytes& body) {
  return concat({keyword, {0, flag, method}, text_bytes(language), {0}, translated_key, {0}, body});
}

using Read = uint32_t (*)(VelaPNGState*, const Bytes&);
uint32_t text(VelaPNGState* s, const Bytes& d) { return read_text(&s->image_info, d.data(), d.size()); }
uint32_t ztxt(VelaPNGState* s, const Bytes& d) {
  return read_ztxt(&s->image_info, &s->decoder.inflate, d.data(), d.size());
}
uint32_t itxt(VelaPNGState* s, const Bytes& d) {
  return read_itxt(&s->image_info, &s->decoder.inflate, d.data(), d.size());
}

struct TextCase {
  const char* what;
  Read read;
  Bytes data;
  uint32_t code;
  // What is stored: key and value for tEXt and zTXt (one list), key, language, translated
  // key and value for iTXt (a list of its own).
  std::vector<std::string> entry = {};
  bool no_hook = false;
};

using TextReaders = ReaderTest;

TEST_F(TextReaders, LayoutsCodesAndTheirOrder) {
  const Bytes k79 = repeated(79, 'k'), k80 = repeated(80, 'k');
  const std::string s79 = as_string(k79);
  const Bytes stream = testpng::zlib_compress(text_bytes("some text"));
  Bytes damaged = stream;
  damaged.back() ^= 0x01;  // inside the Adler-32 trailer
  const Bytes plain = text_bytes(
      "Gr\xC3\xBC\xC3\x9F"
      "e");
  const std::string utf8 = as_string(plain);
  const Bytes packed = testpng::zlib_compress(plain);
  const Bytes translated = text_bytes("Schl\xC3\xBCssel");
  const std::string tr = as_string(translated);
  const TextCase cases[] = {
      // tEXt: keyword characters are not checked; Latin-1 bytes are copied as they are.
      {"Latin-1", text, text_chunk(text_bytes("Author"), {0x4A, 0xE9, 0x72}), 0, {"Author", "J\xE9r"}},
      {"keyword characters", text, text_chunk(text_bytes(" a\x01\xA0"), text_bytes("v")), 0, {" a\x01\xA0", "v"}},
      {"empty text", text, text_chunk(text_bytes("Comment"), {}), 0, {"Comment", ""}},
      {"one byte, no zero byte", text, text_bytes("T"), 0, {"T", ""}},
      {"79 bytes, no zero byte", text, k79, 0, {s79, ""}},
      {"80 bytes, no zero byte", text, k80, 89},
      {"text ends at a zero byte", text, text_chunk(text_bytes("Note"), {'a', 'b', 0, 'c'}), 0, {"Note", "ab"}},
      {"empty payload", text, {}, 89},
      {"zero byte first", text, text_chunk({}, text_bytes("orphan")), 89},
      // zTXt
      {"zTXt Latin-1",
       ztxt,
       ztxt_chunk(text_bytes("D"), {'c', 0xE7, 'a'}),
       0,
       {"D",
        "c\xE7"
        "a"}},
      {"zTXt empty text", ztxt, ztxt_chunk(k79, {}), 0, {s79, ""}},
      {"zTXt zero byte inside", ztxt, ztxt_chunk(text_bytes("D"), {'x', 'y', 0, 'z'}), 0, {"D", "xy"}},
      {"zTXt without data", ztxt, concat({text_bytes("key"), {0, 0}}), 75},
      {"zTXt without method", ztxt, concat({text_bytes("key"), {0}}), 75},
      {"zTXt without zero byte", ztxt, text_bytes("keyword"), 75},
      {"zTXt empty", ztxt, {}, 75},
      {"zTXt 75 before 89: empty keyword", ztxt, {0, 0}, 75},
      {"zTXt 75 before 89: long keyword", ztxt, concat({k80, {0, 0}}), 75},
      {"zTXt 89 before 72", ztxt, concat({k80, {0, 1}, stream}), 89},
      {"zTXt empty keyword", ztxt, concat({{0, 0}, stream}), 89},
      {"zTXt method 1", ztxt, concat({text_bytes("key"), {0, 1}, stream}), 72},
      {"zTXt 72 before 87", ztxt, concat({text_bytes("key"), {0, 1}, stream}), 72, {}, true},
      {"zTXt no hook", ztxt, concat({text_bytes("key"), {0, 0}, stream}), 87, {}, true},
      {"zTXt damaged stream", ztxt, concat({text_bytes("key"), {0, 0}, damaged}), 20},
      {"zTXt one byte that is no stream", ztxt, concat({text_bytes("key"), {0, 0, 'x'}}), 20},
      // iTXt: any nonzero flag means compressed; fields may run to the end of the chunk.
      {"iTXt uncompressed",
       itxt,
       itxt_chunk(text_bytes("Title"), 0, 0, "de-DE", translated, plain),
       0,
       {"Title", "de-DE", tr, utf8}},
      {"iTXt uncompressed needs no hook", itxt, itxt_chunk(k79, 0, 0, "fr", {}, plain), 0, {s79, "fr", "", utf8}, true},
      {"iTXt flag 1", itxt, itxt_chunk(text_bytes("T"), 1, 0, "de", translated, packed), 0, {"T", "de", tr, utf8}},
      {"iTXt flag 2", itxt, itxt_chunk(text_bytes("T"), 2, 0, "de", translated, packed), 0, {"T", "de", tr, utf8}},
      {"iTXt flag 255", itxt, itxt_chunk(text_bytes("T"), 255, 0, "", {}, packed), 0, {"T", "", "", utf8}},
      {"iTXt language to the end",
       itxt,
       concat({text_bytes("K"), {0, 0, 0}, text_bytes("en")}),
       0,
       {"K", "en", "", ""}},
      {"iTXt translated key to the end",
       itxt,
       concat({text_bytes("K"), {0, 0, 0}, text_bytes("en"), {0}, text_bytes("Tr")}),
       0,
       {"K", "en", "Tr", ""}},
      {"iTXt shortest", itxt, {'K', 0, 0, 0, 0}, 0, {"K", "", "", ""}},
      {"iTXt text ends at a zero byte",
       itxt,
       itxt_chunk(text_bytes("K"), 0, 0, "x", {}, {'a', 'b', 0, 'c'}),
       0,
       {"K", "x", "", "ab"}},
      {"iTXt inflated text ends at a zero byte",
       itxt,
       itxt_chunk(text_bytes("K"), 1, 0, "x", {}, testpng::zlib_compress({'a', 0, 'c'})),
       0,
       {"K", "x", "", "a"}},
      {"iTXt length 4, before 75", itxt, {'a', 0, 0, 0}, 30},
      {"iTXt empty", itxt, {}, 30},
      {"iTXt length 5 without room after the keyword", itxt, {'a', 'b', 0, 0, 0}, 75},
      {"iTXt without zero byte", itxt, text_bytes("keyword"), 75},
      {"iTXt 75 before 89", itxt, concat({k80, {0, 0, 0}}), 75},
      {"iTXt long keyword", itxt, concat({k80, {0, 0, 0, 0, 0}}), 89},
      {"iTXt empty keyword", itxt, {0, 0, 0, 0, 0}, 89},
      {"iTXt 89 before 72", itxt, concat({k80, {0, 0, 1, 0, 0}}), 89},
      {"iTXt method 1", itxt, itxt_chunk(text_bytes("K"), 0, 1, "en", {}, text_bytes("t")), 72},
      {"iTXt 72 before 87", itxt, itxt_chunk(text_bytes("K"), 1, 1, "en", {}, packed), 72, {}, true},
      {"iTXt no hook", itxt, itxt_chunk(text_bytes("K"), 1, 0, "en", {}, packed), 87, {}, true},
      {"iTXt damaged stream", itxt, itxt_chunk(text_bytes("K"), 1, 0, "en", {}, damaged), 20},
      {"iTXt compressed without bytes", itxt, concat({text_bytes("K"), {0, 1, 0}, text_bytes("en"), {0}}), 20},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    if (c.no_hook) inflate().zlib_hook = nullptr;
    EXPECT_EQ(c.read(&state_, c.data), c.code);
    const bool international = c.read == itxt;
    ASSERT_EQ(info().text_count, c.code == 0 && !international ? 1u : 0u);
    ASSERT_EQ(info().itext_count, c.code == 0 && international ? 1u : 0u);
    if (c.code != 0) continue;
    const std::vector<std::string> stored =
        international ? std::vector<std::string>{info().itext_keys[0], info().itext_languages[0],
                                                 info().itext_translated_keys[0], info().itext_values[0]}
                      : std::vector<std::string>{info().text_keys[0], info().text_values[0]};
    EXPECT_EQ(stored, c.entry);
  }
}

// tEXt and zTXt share one list, iTXt has its own; both in the order the chunks are read.
TEST_F(TextReaders, EntriesAccumulateInChunkOrder) {
  ASSERT_EQ(text(&state_, text_chunk(text_bytes("Title"), text_bytes("first"))), 0u);
  ASSERT_EQ(itxt(&state_, itxt_chunk(text_bytes("K"), 0, 0, "one", {}, text_bytes("1"))), 0u);
  ASSERT_EQ(text(&state_, text_chunk(text_bytes("Title"), text_bytes("second"))), 0u);
  ASSERT_EQ(ztxt(&state_, ztxt_chunk(text_bytes("Comment"), text_bytes("third"))), 0u);
  ASSERT_EQ(itxt(&state_, itxt_chunk(text_bytes("K"), 0, 0, "two", {}, text_bytes("2"))), 0u);
  ASSERT_EQ(info().text_count, 3u);
  ASSERT_EQ(info().itext_count, 2u);
  const char* keys[] = {"Title", "Title", "Comment"};
  const char* values[] = {"first", "second", "third"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(info().text_keys[i], keys[i]) << i;
    EXPECT_STREQ(info().text_values[i], values[i]) << i;
  }
  EXPECT_STREQ(info().itext_languages[0], "one");
  EXPECT_STREQ(info().itext_values[1], "2");
}

}  // namespace
