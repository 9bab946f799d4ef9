// The allocation-failure sweep. For one export call at a time, through the shipped plug-in
// loaded as the host loads it, the first allocation is made to fail, then the second, and
// so on until the call makes fewer allocations than the one chosen. Every allocation of the
// plug-in, the companions, libdeflate and the C runtime on the call's behalf (its FILE,
// dlopen's own) passes through the failing allocator of this executable.
//
// Each armed call must fail with its ordinary result and leave the host's memory as it was,
// or succeed as the unarmed call does, byte for byte (a failed allocation in a log line
// changes nothing the host sees); and it must leave no block live that it allocated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tests/plugin/harness.h"
#include "tests/support/corpus.h"
#include "tests/support/failing_allocator.h"

namespace {

using namespace plugintest;

// No call here makes nearly this many; a sweep that gets there is a call that never ends.
constexpr uint64_t kMostFailurePoints = 20000;

// One file of the matrix, in memory and on disk.
struct Subject {
  std::string name;
  Bytes png;
  WString path;

  int32_t size() const { return static_cast<int32_t>(png.size()); }
  // The host's pixel memory for it, from the header's width and height.
  size_t pixel_bytes() const {
    const auto be32 = [&](size_t at) {
      return uint32_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    };
    return size_t{be32(16)} * be32(20) * 4;
  }
};

using failalloc::armed;

// What a call left in the host's hands: its result and every byte of host memory it may
// write, before and after the call.
struct Outcome {
  int32_t result = 0;
  Bytes before;
  Bytes after;
  failalloc::Tally tally;
};

template <typename T>
void append_bytes(Bytes* out, const T& value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  out->insert(out->end(), bytes, bytes + sizeof value);
}

Bytes canvas_bytes(const HostCanvas& host) {
  Bytes out = host.memory;  // pixels and the guard bytes after them
  append_bytes(&out, host.header);
  append_bytes(&out, host.image.nStride);
  return out;
}

Outcome load(const Subject& subject, Source source, int32_t angle, uint64_t fail_at) {
  HostCanvas host(subject.pixel_bytes());
  Outcome out;
  out.before = canvas_bytes(host);
  const DecoderPluginEntry& entry = png_entry();
  out.tally = armed(fail_at, [&] {
    out.result = source == Source::memory
                     ? entry.pfnImage32LoadFromMemData(&host.image, subject.png.data(), subject.size(), angle)
                     : entry.pfnImage32LoadFile(&host.image, subject.path.c_str(), angle);
  });
  out.after = canvas_bytes(host);
  return out;
}

// Host-side outputs of the information and metadata calls, each a 32-bit field.
struct Fields {
  uint32_t width;
  uint32_t height;
  int32_t value;  // orientation, or the Exif block's length
  int32_t released;
};

// Runs call(fields) armed, the fields' bytes taken before and after.
template <typename Call>
Outcome with_fields(uint64_t fail_at, Call call) {
  Fields fields;
  std::memset(&fields, kCanary, sizeof fields);
  Outcome out;
  append_bytes(&out.before, fields);
  out.tally = armed(fail_at, [&] { out.result = call(fields); });
  append_bytes(&out.after, fields);
  return out;
}

Outcome information(const Subject& subject, Source source, uint64_t fail_at) {
  const DecoderPluginEntry& entry = png_entry();
  return with_fields(fail_at, [&](Fields& fields) {
    return source == Source::memory
               ? entry.pfnImageGetInfoFromMemData(subject.png.data(), subject.size(), &fields.width, &fields.height,
                                                  &fields.value)
               : entry.pfnImageGetInfo(subject.path.c_str(), &fields.width, &fields.height, &fields.value);
  });
}

Outcome orientation_query(const Subject& subject, uint64_t fail_at) {
  void* value_data = nullptr;
  return with_fields(fail_at, [&](Fields& fields) {
    return png_entry().pfnGetImageMetaValue(subject.path.c_str(), "Orientation", &value_data, &fields.value);
  });
}

// The Exif block as a host takes it: asked for, copied, handed back.
Outcome exif_query(const Subject& subject, uint64_t fail_at) {
  Bytes copy;
  copy.reserve(subject.png.size());  // no block is longer than the file: copying it allocates nothing
  const DecoderPluginEntry& entry = png_entry();
  Outcome out = with_fields(fail_at, [&](Fields& fields) {
    void* block = nullptr;
    const int32_t result =
        entry.pfnGetImageMetaValueFromMemData(subject.png.data(), subject.size(), "Exif", &block, &fields.value);
    if (block != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(block);
      copy.assign(bytes, bytes + (fields.value > 0 ? fields.value : 0));
      fields.released = entry.pfnReleaseImageMetaValue(1, block);
    }
    return result;
  });
  out.after.insert(out.after.end(), copy.begin(), copy.end());
  return out;
}

// What a failed call may leave in the host's hands.
enum class OnFailure {
  untouched,  // nothing: the loads, and the Exif block
  // each field untouched, as the unarmed call wrote it, or 0: the information calls have
  // written the size before they ask for the orientation, and the metadata library answers
  // 0 for an image it could not read
  fields,
};

struct CallKind {
  const char* name;
  Outcome (*run)(const Subject&, uint64_t fail_at);
  OnFailure on_failure;
};

const CallKind kCallKinds[] = {
    {"memory load at 0", [](const Subject& s, uint64_t k) { return load(s, Source::memory, 0, k); },
     OnFailure::untouched},
    {"memory load at 90", [](const Subject& s, uint64_t k) { return load(s, Source::memory, 90, k); },
     OnFailure::untouched},
    {"file load at 0", [](const Subject& s, uint64_t k) { return load(s, Source::file, 0, k); }, OnFailure::untouched},
    {"file load at 270", [](const Subject& s, uint64_t k) { return load(s, Source::file, 270, k); },
     OnFailure::untouched},
    {"ImageGetInfo", [](const Subject& s, uint64_t k) { return information(s, Source::file, k); }, OnFailure::fields},
    {"ImageGetInfoFromMemData", [](const Subject& s, uint64_t k) { return information(s, Source::memory, k); },
     OnFailure::fields},
    {"GetImageMetaValue Orientation", orientation_query, OnFailure::fields},
    {"Exif query and release", exif_query, OnFailure::untouched},
};

uint32_t field(const Bytes& bytes, size_t index) {
  uint32_t value = 0;
  std::memcpy(&value, &bytes[index * 4], 4);
  return value;
}

testing::AssertionResult holds(const CallKind& kind, const Outcome& armed, const Outcome& reference) {
  if (armed.tally.live_blocks != 0 || armed.tally.overflowed) {
    return testing::AssertionFailure() << armed.tally.live_blocks << " blocks (" << armed.tally.live_bytes
                                       << " bytes) left live" << (armed.tally.overflowed ? ", table overflowed" : "");
  }
  if (armed.result == reference.result && armed.after == reference.after) return testing::AssertionSuccess();
  if (armed.result != 0) {
    return testing::AssertionFailure() << "result " << armed.result << " (unarmed " << reference.result
                                       << "), or the same result with other outputs";
  }
  if (kind.on_failure == OnFailure::untouched) {
    if (armed.after == armed.before) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "a failed call wrote into the host's memory";
  }
  for (size_t i = 0; i < armed.after.size() / 4; ++i) {
    const uint32_t value = field(armed.after, i);
    if (value != field(armed.before, i) && value != field(reference.after, i) && value != 0)
      return testing::AssertionFailure() << "a failed call wrote " << value << " into output field " << i;
  }
  return testing::AssertionSuccess();
}

// The last file of the matrix, built here.
const char* const kEverything = "iCCP-iTXt-eXIf";

Bytes with_chunks_for_the_sweep() {
  // A colour profile and a compressed international text, which PngSuite lacks, and an
  // orientation for the metadata calls to report.
  const Bytes profile(300, 0x5A);
  const Bytes iccp = testpng::chunk(
      "iCCP", testpng::concat({testpng::text_bytes("sweep profile"), {0, 0}, testpng::zlib_compress(profile)}));
  const Bytes itxt = testpng::chunk(
      "iTXt", testpng::concat({testpng::text_bytes("Comment"),
                               {0, 1, 0},
                               testpng::text_bytes("en"),
                               {0},
                               testpng::text_bytes("Note"),
                               {0},
                               testpng::zlib_compress(testpng::text_bytes("compressed text, many words long"))}));
  return distinct_rgba_image(7, 5, {iccp, itxt, exif_chunk(6, false)}).png;
}

const std::vector<Subject>& subjects() {
  static const std::vector<Subject> all = [] {
    std::vector<std::pair<std::string, Bytes>> files;
    // Every colour type at every depth, plain and Adam7; many IDAT chunks; zTXt and tEXt;
    // iTXt; eXIf; a palette with transparency.
    const char* const names[] = {"basn0g01", "basn0g02", "basn0g04", "basn0g08", "basn0g16", "basn2c08", "basn2c16",
                                 "basn3p01", "basn3p02", "basn3p04", "basn3p08", "basn4a08", "basn4a16", "basn6a08",
                                 "basn6a16", "basi0g01", "basi0g02", "basi0g04", "basi0g08", "basi0g16", "basi2c08",
                                 "basi2c16", "basi3p01", "basi3p02", "basi3p04", "basi3p08", "basi4a08", "basi4a16",
                                 "basi6a08", "basi6a16", "oi9n2c16", "ctzn0g04", "ctjn0g04", "exif2c08", "tbbn3p08"};
    for (const char* name : names)
      files.emplace_back(name, testpng::read_file(testpng::pngsuite_dir() + "/" + name + ".png"));
    files.emplace_back(kEverything, with_chunks_for_the_sweep());
    std::vector<Subject> out;
    for (auto& [name, png] : files) {
      const std::string path = temp_path(name + ".png");
      write_file(path, png);
      out.push_back({name, std::move(png), wide(path)});
    }
    return out;
  }();
  return all;
}

// One call of every kind on a file with everything, unarmed: the first calls load the
// companion libraries, which stay loaded by design, and the C runtime sets up what it keeps
// for good (the log file's first opening among it).
void warm_up() {
  static const bool done = [] {
    for (const CallKind& kind : kCallKinds) kind.run(subjects().back(), 0);
    return true;
  }();
  (void)done;
}

class AllocationSweep : public testing::TestWithParam<CallKind> {};

TEST_P(AllocationSweep, EveryFailureFailsCleanlyOrChangesNothing) {
  ASSERT_TRUE(failalloc::interposed());
  warm_up();
  const CallKind& kind = GetParam();
  uint64_t points = 0, unchanged = 0, most = 0;  // unchanged: gave the host what the unarmed call gives
  for (const Subject& subject : subjects()) {
    SCOPED_TRACE(subject.name);
    const Outcome reference = kind.run(subject, 0);
    ASSERT_FALSE(reference.tally.failed);
    EXPECT_EQ(reference.tally.live_blocks, 0u) << "the unarmed call leaves blocks live";
    // Every file here decodes, so every load succeeds unarmed; on the file with everything
    // every call succeeds, so no kind is swept through its failures alone.
    if (std::string(kind.name).find("load") != std::string::npos) {
      EXPECT_EQ(reference.result, 1);
    }
    if (subject.name == kEverything) {
      EXPECT_NE(reference.result, 0);
    }
    uint64_t k = 1;
    for (; k <= kMostFailurePoints; ++k) {
      const Outcome outcome = kind.run(subject, k);
      if (!outcome.tally.failed) break;
      ++points;
      if (outcome.result == reference.result && outcome.after == reference.after) ++unchanged;
      const testing::AssertionResult verdict = holds(kind, outcome, reference);
      if (!verdict) {
        ADD_FAILURE() << "allocation " << k << " of " << reference.tally.allocations
                      << " failed: " << verdict.message();
        break;
      }
    }
    EXPECT_LE(k, kMostFailurePoints);
    most = std::max(most, k - 1);
  }
  std::printf("%-32s %6llu failure points over %zu files (%llu as unarmed), at most %llu in one\n", kind.name,
              static_cast<unsigned long long>(points), subjects().size(), static_cast<unsigned long long>(unchanged),
              static_cast<unsigned long long>(most));
}

INSTANTIATE_TEST_SUITE_P(Calls, AllocationSweep, testing::ValuesIn(kCallKinds),
                         [](const testing::TestParamInfo<CallKind>& call) {
                           std::string name;
                           for (const char* c = call.param.name; *c != 0; ++c)
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           return name;
                         });

// The allocator itself: each C and C++ form is counted and can be failed, and a block the
// call keeps is reported. Through volatile pointers, so the compiler cannot drop a pair.
void* (*volatile c_malloc)(size_t) = std::malloc;
void* (*volatile c_calloc)(size_t, size_t) = std::calloc;
void* (*volatile c_realloc)(void*, size_t) = std::realloc;
void (*volatile c_free)(void*) = std::free;
void* (*volatile cxx_new)(size_t) = static_cast<void* (*)(size_t)>(&::operator new);
void* (*volatile cxx_new_array)(size_t) = static_cast<void* (*)(size_t)>(&::operator new[]);
void* (*volatile cxx_new_nothrow)(size_t, const std::nothrow_t&) noexcept =
    static_cast<void* (*)(size_t, const std::nothrow_t&) noexcept>(&::operator new);
void (*volatile cxx_delete)(void*) noexcept = static_cast<void (*)(void*) noexcept>(&::operator delete);
void (*volatile cxx_delete_array)(void*) noexcept = static_cast<void (*)(void*) noexcept>(&::operator delete[]);
void* realloc_base = nullptr;

template <typename Call>
bool throws_bad_alloc(Call call) {
  try {
    call();
    return false;
  } catch (const std::bad_alloc&) {
    return true;
  }
}

// Frees a block the form under test gave; true when it gave none.
bool refused(void* block) {
  c_free(block);
  return block == nullptr;
}

struct Form {
  const char* name;
  bool (*refused)();  // allocates once; true when it got nothing
};

const Form kForms[] = {
    {"malloc", [] { return refused(c_malloc(16)); }},
    {"calloc", [] { return refused(c_calloc(4, 4)); }},
    // A block from before arming: its growth counts, and the grown block stays out of the
    // table, as the block it replaces was.
    {"realloc",
     [] {
       void* grown = c_realloc(realloc_base, 64);
       if (grown != nullptr) realloc_base = grown;
       return grown == nullptr;
     }},
    {"new", [] { return throws_bad_alloc([] { cxx_delete(cxx_new(16)); }); }},
    {"new[]", [] { return throws_bad_alloc([] { cxx_delete_array(cxx_new_array(16)); }); }},
    {"nothrow new",
     [] {
       void* block = cxx_new_nothrow(16, std::nothrow);
       cxx_delete(block);
       return block == nullptr;
     }},
};

TEST(FailingAllocator, CountsFailsAndRemembersEveryForm) {
  ASSERT_TRUE(failalloc::interposed());
  realloc_base = c_malloc(8);
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    bool refused = true;
    const failalloc::Tally unarmed = armed(0, [&] { refused = form.refused(); });
    EXPECT_FALSE(refused);
    EXPECT_EQ(unarmed.allocations, 1u);
    const failalloc::Tally failing = armed(1, [&] { refused = form.refused(); });
    EXPECT_TRUE(refused);
    EXPECT_TRUE(failing.failed);
    EXPECT_EQ(failing.live_blocks, 0u);
  }
  void* kept = nullptr;
  const failalloc::Tally leaking = armed(0, [&] { kept = c_malloc(24); });
  EXPECT_EQ(leaking.live_blocks, 1u);
  EXPECT_EQ(leaking.live_bytes, 24u);
  c_free(kept);
  EXPECT_EQ(failalloc::tally().live_blocks, 0u);
  c_free(realloc_base);
}

// The plug-in is a library loaded at run time: its allocations reach the interposer only
// when the executable exports it. A rotated file load makes at least eight: the C runtime's
// FILE for sizing the file and for reading it, the file's bytes, the decompressor, the
// inflated image data, the temporary image object, its header and its pixels.
TEST(FailingAllocator, SeesThePluginsAllocations) {
  warm_up();
  const Outcome outcome = load(subjects().front(), Source::file, 270, 0);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_GE(outcome.tally.allocations, 8u);
}

}  // namespace
