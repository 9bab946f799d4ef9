// The verdicts: how a file compares, the documented choices, each with the facts of the file
// that must hold for it to explain a disagreement, and where in the file a refusal arose.
// The choices are the README's "What it refuses, and why", and nothing else: a new kind of
// disagreement fails the run until it is fixed or documented there and here.
#include <algorithm>

#include "decoder/chunk.h"
#include "decoder/decoder.h"
#include "decoder/readers.h"
#include "tests/real_world/checker.h"

namespace realworld {

namespace {

// The first chunk of `type`, or null.
const uint8_t* find_chunk(const std::vector<uint8_t>& file, const char* type) {
  for (uint64_t offset = 8; offset + 12 <= file.size();) {
    const uint8_t* chunk = file.data() + offset;
    if (velapng::chunk_type_is(chunk, type)) return chunk;
    offset += uint64_t{velapng::chunk_length(chunk)} + 12;
  }
  return nullptr;
}

bool libpng_said(const testpng::OracleImage& libpng, const std::string& text) {
  return std::any_of(libpng.warnings.begin(), libpng.warnings.end(),
                     [&](const std::string& warning) { return warning.find(text) != std::string::npos; });
}

bool all_opaque_black(const std::vector<uint8_t>& rgba) {
  for (size_t i = 0; i < rgba.size(); i += 4)
    if (rgba[i] != 0 || rgba[i + 1] != 0 || rgba[i + 2] != 0 || rgba[i + 3] != 255) return false;
  return true;
}

// A palette image without a palette: every index lies past the (empty) palette and is
// opaque black; libpng refuses the file.
bool palette_missing(const Evidence& e) {
  const std::vector<uint8_t>& file = *e.file;
  return file.size() > 25 && file[25] == 3 && find_chunk(file, "PLTE") == nullptr && all_opaque_black(e.ours->rgba);
}

// A grey or RGB image whose transparent colour is stored with bits beyond its depth (255 in
// a 1-bit image): no sample can equal it, so every pixel stays opaque, where libpng matches
// its low bits. Ours must be libpng's image with every alpha 255.
bool key_beyond_depth(const Evidence& e) {
  const std::vector<uint8_t>& file = *e.file;
  if (file.size() < 33 || (file[25] != 0 && file[25] != 2)) return false;
  const uint8_t* trns = find_chunk(file, "tRNS");
  if (trns == nullptr || trns + 12 + velapng::chunk_length(trns) > file.data() + file.size()) return false;
  const uint32_t depth = file[24];
  bool beyond = false;
  for (uint32_t i = 0; i + 1 < velapng::chunk_length(trns); i += 2) {
    const uint32_t key = uint32_t{trns[8 + i]} << 8 | trns[9 + i];
    beyond = beyond || (depth < 16 && key >> depth != 0);
  }
  std::vector<uint8_t> opaque = e.libpng->rgba;
  for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  return beyond && e.ours->rgba == opaque;
}

// A text, profile or other ancillary chunk the decoder reads that breaks its own layout,
// refused where libpng warns about that chunk and drops it.
bool malformed_ancillary_chunk(const Evidence& e) {
  for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "tRNS", "bKGD", "tIME", "pHYs", "gAMA", "cHRM", "sRGB"})
    if (e.site == type) return libpng_said(*e.libpng, type);
  return false;
}

// A chunk whose CRC does not match, refused where libpng warns about an ancillary chunk's
// CRC and drops the chunk.
bool crc_mismatch(const Evidence& e) {
  return e.site.size() > 4 && e.site.ends_with(" CRC") && libpng_said(*e.libpng, "CRC");
}

// Locating a refusal: the chunk walk again, a chunk at a time, each known chunk through the
// reader the decode gives it and then its CRC, in the decode's order, so the first chunk
// that fails with the decode's own code is the one that ended the decode.
using velapng::VelaPNGState;

// The readers by chunk type, each on the state a decode would have reached.
uint32_t read_known(VelaPNGState* s, const std::string& type, const uint8_t* d, uint64_t n, bool* known) {
  velapng::VelaPNGImageInfo* info = &s->image_info;
  const velapng::VelaPNGInflateOptions* inflate = &s->decoder.inflate;
  *known = true;
  if (type == "PLTE") return velapng::read_plte(&info->pixel_format, d, n);
  if (type == "tRNS") return velapng::read_trns(&info->pixel_format, d, n);
  if (type == "bKGD") return velapng::read_bkgd(info, d, n);
  if (type == "tEXt") return velapng::read_text(info, d, n);
  if (type == "zTXt") return velapng::read_ztxt(info, inflate, d, n);
  if (type == "iTXt") return velapng::read_itxt(info, inflate, d, n);
  if (type == "tIME") return velapng::read_time(info, d, n);
  if (type == "pHYs") return velapng::read_phys(info, d, n);
  if (type == "gAMA") return velapng::read_gama(info, d, n);
  if (type == "cHRM") return velapng::read_chrm(info, d, n);
  if (type == "sRGB") return velapng::read_srgb(info, d, n);
  if (type == "iCCP") return velapng::read_iccp(info, inflate, d, n);
  *known = type == "IDAT" || type == "IEND";
  return velapng::code::ok;
}

std::string walk_to_failure(VelaPNGState* state, const std::vector<uint8_t>& file, uint32_t code) {
  for (uint64_t offset = 33;;) {
    if (offset > file.size() || file.size() - offset < 12) return "layout";
    const uint8_t* chunk = file.data() + offset;
    const uint32_t length = velapng::chunk_length(chunk);
    if (length > 0x7FFFFFFF || file.size() - offset - 12 < length) return "layout";
    const std::string type(reinterpret_cast<const char*>(chunk + 4), 4);
    bool known = false;
    if (read_known(state, type, velapng::chunk_data(chunk), length, &known) == code) return type;
    if (!known && (chunk[4] & 32) == 0 && code == velapng::code::unknown_critical_chunk) return type;
    if (known && code == velapng::code::crc_mismatch && velapng::chunk_crc_mismatch(chunk)) return type + " CRC";
    if (type == "IEND") return "image data";
    offset += uint64_t{length} + 12;
  }
}

struct Choice {
  Outcome outcome;
  const char* name;  // as the README words it
  bool (*holds)(const Evidence&);
};

constexpr Choice kChoices[] = {
    {Outcome::decoded_by_us_only, "a palette index past the end of the palette gives an opaque black pixel",
     palette_missing},
    {Outcome::refused_by_us_only, "a malformed text, profile or other ancillary chunk is refused",
     malformed_ancillary_chunk},
    {Outcome::refused_by_us_only, "a chunk whose CRC does not match is refused", crc_mismatch},
    {Outcome::pixels_differ, "a transparent colour stored with bits beyond the image's depth matches no pixel",
     key_beyond_depth},
};

}  // namespace

Outcome compare(const PluginRun& ours, const testpng::OracleImage& libpng) {
  if (ours.view == HostView::too_large) return Outcome::too_large;
  if (ours.view == HostView::skipped) return Outcome::skipped;
  const bool we_decode = ours.view == HostView::loaded;
  if (!we_decode) return libpng.ok ? Outcome::refused_by_us_only : Outcome::refused_by_both;
  if (!libpng.ok) return Outcome::decoded_by_us_only;
  const bool same = ours.width == libpng.width && ours.height == libpng.height && ours.rgba == libpng.rgba;
  return same ? Outcome::equal : Outcome::pixels_differ;
}

bool is_disagreement(Outcome outcome) {
  return outcome == Outcome::refused_by_us_only || outcome == Outcome::decoded_by_us_only ||
         outcome == Outcome::pixels_differ;
}

const char* explain(Outcome outcome, const Evidence& evidence) {
  for (const Choice& choice : kChoices)
    if (choice.outcome == outcome && choice.holds(evidence)) return choice.name;
  return nullptr;
}

std::string failure_site(const std::vector<uint8_t>& file, uint32_t code) {
  VelaPNGState state;
  velapng::state_init(&state);
  uint32_t width = 0, height = 0;
  const bool header_fails = velapng::inspect_header(&width, &height, &state, file.data(), file.size()) != 0;
  std::string site = header_fails ? "header" : walk_to_failure(&state, file, code);
  velapng::state_release(&state);
  return site;
}

}  // namespace realworld
