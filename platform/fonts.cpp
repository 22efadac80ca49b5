#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include <hb-subset.h>
#include <hb.h>
#include <unicode/ubidi.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace korvane {

namespace {

FT_Library FreeType() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) l = nullptr;
    return l;
  }();
  return lib;
}

bool FontconfigReady() {
  static bool ok = FcInit() == FcTrue;
  return ok;
}

int Thousandths(long v, int upem) {
  return static_cast<int>(std::lround(static_cast<double>(v) * 1000.0 / (upem > 0 ? upem : 1000)));
}

// Letters, digits and "-" only: what a PDF name and a subset tag may carry.
std::string NameChars(std::string_view s) {
  std::string out;
  for (char c : s)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') out += c;
  return out;
}

}  // namespace

void DecodeUtf8(std::string_view s, std::u32string& out) {
  // At most one character per byte: written in place, then cut to length.
  out.resize(s.size());
  char32_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      *o++ = c;
      ++i;
      continue;
    }
    int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (c > 0xF4) len = 0;
    char32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
    for (int k = 1; ok && k < len; ++k) {
      const unsigned char cc = p[i + static_cast<size_t>(k)];
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      *o++ = U'\uFFFD';
      ++i;
      continue;
    }
    *o++ = cp;
    i += static_cast<size_t>(len);
  }
  out.resize(static_cast<size_t>(o - out.data()));
}

bool IsComplexChar(char32_t c) {
  if (c < 0x0300) return false;
  if (c >= 0x0370 && c < 0x0483) return false;   // Greek, Cyrillic
  if (c >= 0x048A && c < 0x0590) return false;   // Cyrillic, Armenian
  if (c >= 0x1E00 && c < 0x2000) return false;   // Latin and Greek extended
  if (c >= 0x2000 && c < 0x2E00 && !(c >= 0x200B && c <= 0x200F) && !(c >= 0x202A && c <= 0x202E) &&
      !(c >= 0x2066 && c <= 0x2069) && !(c >= 0x20D0 && c <= 0x20FF))
    return false;  // punctuation, symbols (not the direction marks)
  return true;
}

// ---------------------------------------------------------------------------

TFontFace::~TFontFace() {
  if (font_) hb_font_destroy(font_);
  if (face_) hb_face_destroy(face_);
}

std::unique_ptr<TFontFace> TFontFace::Load(const std::string& path, int index, std::string* reason) {
  auto fail = [&](const char* why) -> std::unique_ptr<TFontFace> {
    if (reason) *reason = why;
    return nullptr;
  };
  FT_Library lib = FreeType();
  if (!lib) return fail("FreeType cannot start");
  FT_Face ft = nullptr;
  if (FT_New_Face(lib, path.c_str(), index, &ft) != 0) return fail("not a font file");
  std::unique_ptr<TFontFace> f(new TFontFace());
  f->path_ = path;
  f->index_ = index;
  FT_ULong glyfLength = 0;
  const bool trueType = FT_IS_SFNT(ft) && FT_Load_Sfnt_Table(ft, TTAG_glyf, 0, nullptr, &glyfLength) == 0 &&
                        glyfLength > 0;
  const FT_UShort fsType = FT_Get_FSType_Flags(ft);
  // Restricted-licence and bitmap-only embedding forbid embedding the outlines.
  const bool embeddable = (fsType & (FT_FSTYPE_RESTRICTED_LICENSE_EMBEDDING | FT_FSTYPE_BITMAP_EMBEDDING_ONLY)) == 0;
  if (!trueType || !embeddable) {
    FT_Done_Face(ft);
    return fail(!trueType ? "no TrueType outlines" : "the face forbids embedding");
  }
  const int upem = ft->units_per_EM > 0 ? ft->units_per_EM : 1000;
  f->upem_ = upem;
  f->ascent_ = Thousandths(ft->ascender, upem);
  f->descent_ = Thousandths(ft->descender, upem);
  f->bbox_[0] = Thousandths(ft->bbox.xMin, upem);
  f->bbox_[1] = Thousandths(ft->bbox.yMin, upem);
  f->bbox_[2] = Thousandths(ft->bbox.xMax, upem);
  f->bbox_[3] = Thousandths(ft->bbox.yMax, upem);
  f->capHeight_ = f->ascent_;
  f->fixedPitch_ = FT_IS_FIXED_WIDTH(ft);
  f->italic_ = (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  f->bold_ = (ft->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  f->glyphCount_ = static_cast<int>(ft->num_glyphs);
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2))) {
    if (os2->version >= 2 && os2->sCapHeight > 0) f->capHeight_ = Thousandths(os2->sCapHeight, upem);
    const int cls = os2->sFamilyClass >> 8;
    f->serif_ = (cls >= 1 && cls <= 5) || cls == 7;
  }
  if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST)))
    f->italicAngle_ = static_cast<int>(std::lround(post->italicAngle / 65536.0));
  const char* ps = FT_Get_Postscript_Name(ft);
  f->family_ = ft->family_name ? ft->family_name : "";
  f->psName_ = NameChars(ps ? ps : f->family_);
  if (f->psName_.empty()) f->psName_ = "Font";
  FT_Done_Face(ft);

  hb_blob_t* blob = hb_blob_create_from_file_or_fail(path.c_str());
  if (!blob) return fail("cannot read the font file");
  f->face_ = hb_face_create(blob, static_cast<unsigned>(index));
  hb_blob_destroy(blob);
  f->font_ = hb_font_create(f->face_);
  hb_font_set_scale(f->font_, upem, upem);
  return f;
}

uint32_t TFontFace::Glyph(char32_t c) const {
  hb_codepoint_t g = 0;
  if (!hb_font_get_nominal_glyph(font_, c, &g)) return 0;
  return g;
}

int TFontFace::Advance(uint32_t gid) const { return Thousandths(hb_font_get_glyph_h_advance(font_, gid), upem_); }

uint32_t TFontFace::GlyphAndAdvance(char32_t c, int& advance) const {
  if (c < 0x10000) {
    if (glyphCache_.empty()) {
      glyphCache_.assign(0x10000, 0);
      advanceCache_.assign(0x10000, 0);
    }
    uint32_t& slot = glyphCache_[c];
    if (slot == 0) {
      const uint32_t g = Glyph(c);
      slot = g + 1;
      advanceCache_[c] = Advance(g);
    }
    advance = advanceCache_[c];
    return slot - 1;
  }
  const uint32_t g = Glyph(c);
  advance = Advance(g);
  return g;
}

std::string TFontFace::Subset(const std::vector<uint32_t>& glyphs) const {
  hb_subset_input_t* in = hb_subset_input_create_or_fail();
  if (!in) return {};
  hb_set_t* set = hb_subset_input_glyph_set(in);
  hb_set_add(set, 0);
  for (uint32_t g : glyphs) hb_set_add(set, g);
  // Glyph numbers stay, so a code's glyph is the same in the subset.
  hb_subset_input_set_flags(in, HB_SUBSET_FLAGS_RETAIN_GIDS);
  hb_face_t* sub = hb_subset_or_fail(face_, in);
  hb_subset_input_destroy(in);
  if (!sub) return {};
  hb_blob_t* blob = hb_face_reference_blob(sub);
  unsigned len = 0;
  const char* data = hb_blob_get_data(blob, &len);
  std::string out(data ? data : "", data ? len : 0);
  hb_blob_destroy(blob);
  hb_face_destroy(sub);
  return out;
}

// ---------------------------------------------------------------------------

TFontSet::~TFontSet() {
  for (TCandidate& c : candidates_)
    if (c.charset) FcCharSetDestroy(static_cast<FcCharSet*>(c.charset));
  if (buffer_) hb_buffer_destroy(buffer_);
}

std::unique_ptr<TFontSet> TFontSet::Match(const std::string& family, bool bold, bool italic) {
  if (!FontconfigReady()) return nullptr;
  std::unique_ptr<TFontSet> set(new TFontSet());
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(p, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result = FcResultNoMatch;
  FcFontSet* fs = FcFontSort(nullptr, p, FcTrue, nullptr, &result);
  FcPatternDestroy(p);
  if (!fs) return nullptr;
  for (int i = 0; i < fs->nfont; ++i) {
    FcPattern* f = fs->fonts[i];
    FcChar8* file = nullptr;
    FcChar8* format = nullptr;
    int index = 0;
    FcCharSet* cs = nullptr;
    if (FcPatternGetString(f, FC_FILE, 0, &file) != FcResultMatch) continue;
    // Only TrueType outlines go into a PDF as FontFile2.
    if (FcPatternGetString(f, FC_FONTFORMAT, 0, &format) == FcResultMatch &&
        std::string(reinterpret_cast<const char*>(format)) != "TrueType")
      continue;
    FcPatternGetInteger(f, FC_INDEX, 0, &index);
    if (FcPatternGetCharSet(f, FC_CHARSET, 0, &cs) != FcResultMatch) cs = nullptr;
    set->candidates_.push_back({reinterpret_cast<const char*>(file), index, cs ? FcCharSetCopy(cs) : nullptr, -1});
  }
  FcFontSetDestroy(fs);
  // The font's own face: the first candidate that can be embedded.
  for (TCandidate& c : set->candidates_) {
    if (auto face = TFontFace::Load(c.path, c.index)) {
      c.loaded = 0;
      set->faces_.push_back(std::move(face));
      break;
    }
    c.loaded = -2;
  }
  if (set->faces_.empty()) return nullptr;
  set->faceCache_.assign(0x10000, 0);
  set->buffer_ = hb_buffer_create();
  return set;
}

int TFontSet::FaceFor(char32_t c) {
  if (c < 0x10000 && faceCache_[c] != 0) return faceCache_[c] - 2;
  int found = -1;
  for (int i = 0; i < FaceCount() && found < 0; ++i)
    if (faces_[static_cast<size_t>(i)]->Glyph(c) != 0) found = i;
  for (size_t k = 0; found < 0 && k < candidates_.size(); ++k) {
    TCandidate& cand = candidates_[k];
    if (cand.loaded == -2 || (cand.loaded >= 0)) continue;
    if (cand.charset && !FcCharSetHasChar(static_cast<FcCharSet*>(cand.charset), c)) continue;
    // A set holds at most 250 faces (the cache keeps face numbers in a byte).
    if (faces_.size() >= 250) break;
    auto face = TFontFace::Load(cand.path, cand.index);
    if (!face) {
      cand.loaded = -2;
      continue;
    }
    cand.loaded = static_cast<int>(faces_.size());
    faces_.push_back(std::move(face));
    if (faces_.back()->Glyph(c) != 0) found = cand.loaded;
  }
  if (c < 0x10000) faceCache_[c] = static_cast<uint8_t>(found + 2);
  return found;
}

int TFontSet::CharAdvance(char32_t c) {
  const int f = FaceFor(c);
  int adv = 0;
  if (f < 0) return faces_[0]->Advance(0);
  faces_[static_cast<size_t>(f)]->GlyphAndAdvance(c, adv);
  return adv;
}

void TFontSet::ShapeLine(std::u32string_view line, std::vector<TPlacedGlyph>& out) {
  out.clear();
  bool complex = false;
  for (char32_t c : line)
    if (IsComplexChar(c)) {
      complex = true;
      break;
    }
  if (!complex) {
    // One glyph per character, left to right.
    for (size_t i = 0; i < line.size(); ++i) {
      TPlacedGlyph g;
      g.Face = FaceFor(line[i]);
      g.TextStart = static_cast<uint32_t>(i);
      g.TextLength = 1;
      if (g.Face < 0) {
        g.Face = 0;
        g.Glyph = 0;
        g.Advance = faces_[0]->Advance(0);
      } else {
        g.Glyph = faces_[static_cast<size_t>(g.Face)]->GlyphAndAdvance(line[i], g.Advance);
      }
      out.push_back(g);
    }
    return;
  }
  // Runs in display order by the bidirectional algorithm, over UTF-16.
  std::u16string utf16;
  std::vector<uint32_t> index16;  // UTF-16 position -> character position
  for (size_t i = 0; i < line.size(); ++i) {
    char32_t c = line[i];
    if (c >= 0x10000) {
      c -= 0x10000;
      utf16 += static_cast<char16_t>(0xD800 + (c >> 10));
      utf16 += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      index16.push_back(static_cast<uint32_t>(i));
      index16.push_back(static_cast<uint32_t>(i));
    } else {
      utf16 += static_cast<char16_t>(c);
      index16.push_back(static_cast<uint32_t>(i));
    }
  }
  index16.push_back(static_cast<uint32_t>(line.size()));
  UErrorCode err = U_ZERO_ERROR;
  UBiDi* bidi = ubidi_openSized(static_cast<int32_t>(utf16.size()), 0, &err);
  if (U_SUCCESS(err))
    ubidi_setPara(bidi, reinterpret_cast<const UChar*>(utf16.data()), static_cast<int32_t>(utf16.size()),
                  UBIDI_DEFAULT_LTR, nullptr, &err);
  int32_t runs = U_SUCCESS(err) ? ubidi_countRuns(bidi, &err) : 0;
  if (U_FAILURE(err) || runs <= 0) {
    if (bidi) ubidi_close(bidi);
    ShapeRun(line, 0, line.size(), false, out);
    return;
  }
  for (int32_t r = 0; r < runs; ++r) {
    int32_t start = 0, length = 0;
    const UBiDiDirection dir = ubidi_getVisualRun(bidi, r, &start, &length);
    const size_t s = index16[static_cast<size_t>(start)];
    const size_t e = index16[static_cast<size_t>(start + length)];
    ShapeRun(line, s, e - s, dir == UBIDI_RTL, out);
  }
  ubidi_close(bidi);
}

void TFontSet::ShapeRun(std::u32string_view line, size_t start, size_t length, bool rtl,
                        std::vector<TPlacedGlyph>& out) {
  if (length == 0) return;
  // Pieces of one face each: a character stays with the face before it when
  // that face has it (marks, spaces), else goes to the first face that has it.
  struct TPiece {
    size_t start, length;
    int face;
  };
  std::vector<TPiece> pieces;
  for (size_t i = start; i < start + length; ++i) {
    int f = -1;
    if (!pieces.empty() && pieces.back().face >= 0 &&
        faces_[static_cast<size_t>(pieces.back().face)]->Glyph(line[i]) != 0)
      f = pieces.back().face;
    else
      f = FaceFor(line[i]);
    if (f < 0) f = pieces.empty() ? 0 : pieces.back().face;
    if (!pieces.empty() && pieces.back().face == f) ++pieces.back().length;
    else pieces.push_back({i, 1, f});
  }
  if (rtl) std::reverse(pieces.begin(), pieces.end());
  for (const TPiece& piece : pieces) {
    TFontFace& face = *faces_[static_cast<size_t>(piece.face)];
    hb_buffer_clear_contents(buffer_);
    hb_buffer_add_utf32(buffer_, reinterpret_cast<const uint32_t*>(line.data()), static_cast<int>(line.size()),
                        static_cast<unsigned>(piece.start), static_cast<int>(piece.length));
    hb_buffer_set_direction(buffer_, rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer_);
    hb_shape(face.HbFont(), buffer_, nullptr, 0);
    unsigned n = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer_, &n);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer_, &n);
    // Cluster starts in text order, to find where each cluster ends.
    std::vector<uint32_t> starts;
    starts.reserve(n);
    for (unsigned k = 0; k < n; ++k) starts.push_back(info[k].cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    const uint32_t pieceEnd = static_cast<uint32_t>(piece.start + piece.length);
    uint32_t lastCluster = UINT32_MAX;
    for (unsigned k = 0; k < n; ++k) {
      TPlacedGlyph g;
      g.Shaped = true;
      g.Face = piece.face;
      g.Glyph = info[k].codepoint;
      g.Advance = static_cast<int>(std::lround(pos[k].x_advance * 1000.0 / hb_face_get_upem(hb_font_get_face(face.HbFont()))));
      if (info[k].cluster != lastCluster) {
        const auto it = std::upper_bound(starts.begin(), starts.end(), info[k].cluster);
        g.TextStart = info[k].cluster;
        g.TextLength = (it == starts.end() ? pieceEnd : *it) - info[k].cluster;
        lastCluster = info[k].cluster;
      }
      out.push_back(g);
    }
  }
}

}  // namespace korvane
