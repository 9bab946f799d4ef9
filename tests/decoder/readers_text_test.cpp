#include <gtest/gtest.h>

#include <functional>
#include <string>

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

Bytes ztxt_chunk(const Bytes& keyword, const Bytes& text, uint8_t method = 0) {
  return concat({keyword, {0, method}, testpng::zlib_compress(text)});
}

// `body` is the text as it stands in the chunk: compressed by the caller when the flag says so.
Bytes itxt_chunk(const Bytes& keyword, uint8_t flag, uint8_t method, std::string_view language,
                 const Bytes& translated_key, const Bytes& body) {
  return concat({keyword, {0, flag, method}, text_bytes(language), {0}, translated_key, {0}, body});
}

class TextReaders : public ReaderTest {
 public:  // reached from the tables' lambdas
  uint32_t text(const Bytes& data) { return read_text(&info(), data.data(), data.size()); }
  uint32_t ztxt(const Bytes& data) { return read_ztxt(&info(), &inflate(), data.data(), data.size()); }
  uint32_t itxt(const Bytes& data) { return read_itxt(&info(), &inflate(), data.data(), data.size()); }
  uint32_t iccp(const Bytes& data) { return read_iccp(&info(), &inflate(), data.data(), data.size()); }

 protected:
  void fresh() {
    TearDown();
    SetUp();
  }
};

// The keyword rule is shared by all four keyword-led chunks; each stores the keyword
// somewhere of its own.
TEST_F(TextReaders, KeywordLengthBoundariesForEveryKeywordChunk) {
  struct Kind {
    const char* name;
    std::function<Bytes(const Bytes&)> build;
    std::function<uint32_t(TextReaders*, const Bytes&)> read;
    std::function<const char*(const VelaPNGImageInfo&)> stored;
  };
  const Bytes profile = text_bytes("profile bytes");
  const Kind kinds[] = {
      {"tEXt", [](const Bytes& k) { return text_chunk(k, text_bytes("value")); },
       [](TextReaders* t, const Bytes& d) { return t->text(d); },
       [](const VelaPNGImageInfo& i) { return i.text_count ? i.text_keys[0] : nullptr; }},
      {"zTXt", [](const Bytes& k) { return ztxt_chunk(k, text_bytes("value")); },
       [](TextReaders* t, const Bytes& d) { return t->ztxt(d); },
       [](const VelaPNGImageInfo& i) { return i.text_count ? i.text_keys[0] : nullptr; }},
      {"iTXt", [](const Bytes& k) { return itxt_chunk(k, 0, 0, "en", text_bytes("Key"), text_bytes("value")); },
       [](TextReaders* t, const Bytes& d) { return t->itxt(d); },
       [](const VelaPNGImageInfo& i) { return i.itext_count ? i.itext_keys[0] : nullptr; }},
      {"iCCP", [&](const Bytes& k) { return ztxt_chunk(k, profile); },
       [](TextReaders* t, const Bytes& d) { return t->iccp(d); },
       [](const VelaPNGImageInfo& i) { return static_cast<const char*>(i.icc_profile_name); }},
  };
  const struct {
    size_t length;
    uint32_t code;
  } lengths[] = {{1, 0}, {79, 0}, {80, 89}, {0, 89}};
  for (const Kind& kind : kinds) {
    for (const auto& l : lengths) {
      SCOPED_TRACE(std::string(kind.name) + ", keyword of " + std::to_string(l.length));
      fresh();
      const Bytes keyword = repeated(l.length, 'k');
      EXPECT_EQ(kind.read(this, kind.build(keyword)), l.code);
      const char* stored = kind.stored(info());
      if (l.code == 0) {
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(std::string(stored), as_string(keyword));
      } else {
        EXPECT_EQ(stored, nullptr);
      }
    }
  }
}

TEST_F(TextReaders, TextLayouts) {
  const struct {
    const char* what;
    Bytes data;
    uint32_t code;
    std::string key, value;
  } cases[] = {
      {"Latin-1 bytes copied as they are", text_chunk(text_bytes("Author"), {0x4A, 0xE9, 0x72, 0xF4, 0x6D, 0x65}), 0,
       "Author", "J\xE9r\xF4me"},
      {"keyword characters are not checked", text_chunk(text_bytes(" a\x01\xA0"), text_bytes("v")), 0, " a\x01\xA0",
       "v"},
      {"empty text", text_chunk(text_bytes("Comment"), {}), 0, "Comment", ""},
      {"one byte, no zero byte", text_bytes("T"), 0, "T", ""},
      {"79 bytes, no zero byte", repeated(79, 'x'), 0, std::string(79, 'x'), ""},
      {"80 bytes, no zero byte", repeated(80, 'x'), 89, "", ""},
      {"text holding a zero byte ends there", text_chunk(text_bytes("Note"), {'a', 'b', 0, 'c', 'd'}), 0, "Note",
       "ab"},
      {"empty payload", {}, 89, "", ""},
      {"zero byte first", text_chunk({}, text_bytes("orphan")), 89, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    EXPECT_EQ(text(c.data), c.code);
    ASSERT_EQ(info().text_count, c.code == 0 ? 1u : 0u);
    if (c.code != 0) continue;
    EXPECT_EQ(std::string(info().text_keys[0]), c.key);
    EXPECT_EQ(std::string(info().text_values[0]), c.value);
  }
}

// tEXt and zTXt share one list, in the order the chunks are read.
TEST_F(TextReaders, EntriesAccumulateInChunkOrder) {
  ASSERT_EQ(text(text_chunk(text_bytes("Title"), text_bytes("first"))), 0u);
  ASSERT_EQ(text(text_chunk(text_bytes("Title"), text_bytes("second"))), 0u);
  ASSERT_EQ(text(text_chunk(text_bytes("Author"), text_bytes("third"))), 0u);
  ASSERT_EQ(info().text_count, 3u);
  ASSERT_EQ(ztxt(ztxt_chunk(text_bytes("Comment"), text_bytes("fourth"))), 0u);
  const char* keys[] = {"Title", "Title", "Author", "Comment"};
  const char* values[] = {"first", "second", "third", "fourth"};
  ASSERT_EQ(info().text_count, 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(info().text_keys[i], keys[i]) << i;
    EXPECT_STREQ(info().text_values[i], values[i]) << i;
  }
}

TEST_F(TextReaders, ZtxtRoundTrips) {
  const struct {
    const char* what;
    Bytes text;
    std::string stored;
  } cases[] = {
      {"Latin-1", {'c', 0xE7, 'a', ' ', 0xFC, 0xDF}, "c\xE7" "a \xFC\xDF"},
      {"empty text", {}, ""},
      {"zero byte inside", {'x', 'y', 0, 'z'}, "xy"},
      {"long, needs more room than the first block",
       repeated(5000, 'q'), std::string(5000, 'q')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    EXPECT_EQ(ztxt(ztxt_chunk(text_bytes("Description"), c.text)), 0u);
    ASSERT_EQ(info().text_count, 1u);
    EXPECT_STREQ(info().text_keys[0], "Description");
    EXPECT_EQ(std::string(info().text_values[0]), c.stored);
  }
}

TEST_F(TextReaders, ZtxtCodesAndTheirOrder) {
  const Bytes stream = testpng::zlib_compress(text_bytes("some text"));
  Bytes damaged = stream;
  damaged[damaged.size() - 2] ^= 0x40;  // inside the Adler-32 trailer
  const Bytes k80 = repeated(80, 'k');
  const struct {
    const char* what;
    Bytes data;
    bool null_hook;
    uint32_t code;
  } cases[] = {
      {"keyword, zero byte and method only", concat({text_bytes("key"), {0, 0}}), false, 75},
      {"keyword and zero byte", concat({text_bytes("key"), {0}}), false, 75},
      {"keyword without zero byte", text_bytes("keyword"), false, 75},
      {"empty payload", {}, false, 75},
      {"75 before 89: empty keyword", {0, 0}, false, 75},
      {"75 before 89: long keyword", concat({k80, {0, 0}}), false, 75},
      {"89 before 72", concat({k80, {0, 1}, stream}), false, 89},
      {"empty keyword", concat({{0, 0}, stream}), false, 89},
      {"method 1", concat({text_bytes("key"), {0, 1}, stream}), false, 72},
      {"72 before 87", concat({text_bytes("key"), {0, 1}, stream}), true, 72},
      {"no hook", concat({text_bytes("key"), {0, 0}, stream}), true, 87},
      {"damaged stream", concat({text_bytes("key"), {0, 0}, damaged}), false, 20},
      {"one byte that is no stream", concat({text_bytes("key"), {0, 0, 'x'}}), false, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    if (c.null_hook) inflate().zlib_hook = nullptr;
    EXPECT_EQ(ztxt(c.data), c.code);
    EXPECT_EQ(info().text_count, 0u);
  }
}

struct Itxt {
  std::string key, language, translated_key, value;
};

TEST_F(TextReaders, ItxtLayouts) {
  const Bytes plain = text_bytes("Gr\xC3\xBC\xC3\x9F" "e");
  const Bytes packed = testpng::zlib_compress(plain);
  const Bytes translated = text_bytes("Schl\xC3\xBCssel");
  const struct {
    const char* what;
    Bytes data;
    Itxt expected;
  } cases[] = {
      {"uncompressed", itxt_chunk(text_bytes("Title"), 0, 0, "de-DE", translated, plain),
       {"Title", "de-DE", as_string(translated), as_string(plain)}},
      {"compressed, flag 1", itxt_chunk(text_bytes("Title"), 1, 0, "de", translated, packed),
       {"Title", "de", as_string(translated), as_string(plain)}},
      {"flag 2 means compressed", itxt_chunk(text_bytes("Title"), 2, 0, "de", translated, packed),
       {"Title", "de", as_string(translated), as_string(plain)}},
      {"flag 255 means compressed", itxt_chunk(text_bytes("Title"), 255, 0, "", {}, packed),
       {"Title", "", "", as_string(plain)}},
      {"language tag runs to the end", concat({text_bytes("Key"), {0, 0, 0}, text_bytes("en")}),
       {"Key", "en", "", ""}},
      {"translated key runs to the end", concat({text_bytes("Key"), {0, 0, 0}, text_bytes("en"), {0}, text_bytes("Tr")}),
       {"Key", "en", "Tr", ""}},
      {"everything empty, shortest chunk", {'K', 0, 0, 0, 0}, {"K", "", "", ""}},
      {"uncompressed text holding a zero byte", itxt_chunk(text_bytes("K"), 0, 0, "x", {}, {'a', 'b', 0, 'c'}),
       {"K", "x", "", "ab"}},
      {"compressed text holding a zero byte",
       itxt_chunk(text_bytes("K"), 1, 0, "x", {}, testpng::zlib_compress({'a', 0, 'c'})), {"K", "x", "", "a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    EXPECT_EQ(itxt(c.data), 0u);
    ASSERT_EQ(info().itext_count, 1u);
    EXPECT_EQ(std::string(info().itext_keys[0]), c.expected.key);
    EXPECT_EQ(std::string(info().itext_languages[0]), c.expected.language);
    EXPECT_EQ(std::string(info().itext_translated_keys[0]), c.expected.translated_key);
    EXPECT_EQ(std::string(info().itext_values[0]), c.expected.value);
    EXPECT_EQ(info().text_count, 0u);
  }
}

TEST_F(TextReaders, ItxtCodesAndTheirOrder) {
  const Bytes packed = testpng::zlib_compress(text_bytes("text"));
  Bytes damaged = packed;
  damaged.back() ^= 0x01;  // Adler-32 trailer
  const Bytes k80 = repeated(80, 'k');
  const struct {
    const char* what;
    Bytes data;
    bool null_hook;
    uint32_t code;
  } cases[] = {
      {"length 4, before 75", {'a', 0, 0, 0}, false, 30},
      {"empty", {}, false, 30},
      {"length 5 without room after the keyword", {'a', 'b', 0, 0, 0}, false, 75},
      {"keyword without zero byte", text_bytes("keyword"), false, 75},
      {"75 before 89", concat({k80, {0, 0, 0}}), false, 75},
      {"long keyword", concat({k80, {0, 0, 0, 0, 0}}), false, 89},
      {"empty keyword", {0, 0, 0, 0, 0}, false, 89},
      {"89 before 72", concat({k80, {0, 0, 1, 0, 0}}), false, 89},
      {"method 1, uncompressed", itxt_chunk(text_bytes("K"), 0, 1, "en", {}, text_bytes("t")), false, 72},
      {"72 before 87", itxt_chunk(text_bytes("K"), 1, 1, "en", {}, packed), true, 72},
      {"no hook, compressed", itxt_chunk(text_bytes("K"), 1, 0, "en", {}, packed), true, 87},
      {"damaged stream", itxt_chunk(text_bytes("K"), 1, 0, "en", {}, damaged), false, 20},
      {"compressed but no text bytes", concat({text_bytes("K"), {0, 1, 0}, text_bytes("en"), {0}}), false, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    if (c.null_hook) inflate().zlib_hook = nullptr;
    EXPECT_EQ(itxt(c.data), c.code);
    EXPECT_EQ(info().itext_count, 0u);
  }
}

TEST_F(TextReaders, UncompressedItxtNeedsNoHook) {
  inflate().zlib_hook = nullptr;
  ASSERT_EQ(itxt(itxt_chunk(text_bytes("K"), 0, 0, "fr", text_bytes("C"), text_bytes("texte"))), 0u);
  ASSERT_EQ(info().itext_count, 1u);
  EXPECT_STREQ(info().itext_values[0], "texte");
}

TEST_F(TextReaders, ItxtEntriesAccumulateApartFromLatin1Ones) {
  for (const char* value : {"one", "two", "three"}) {
    ASSERT_EQ(itxt(itxt_chunk(text_bytes("K"), 0, 0, value, {}, text_bytes(value))), 0u);
  }
  ASSERT_EQ(info().itext_count, 3u);
  EXPECT_STREQ(info().itext_values[0], "one");
  EXPECT_STREQ(info().itext_languages[1], "two");
  EXPECT_STREQ(info().itext_values[2], "three");
  EXPECT_EQ(info().text_count, 0u);
}

}  // namespace
