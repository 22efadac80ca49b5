#pragma once
// Fonts for documents that embed them (PDF): a face chosen by fontconfig for a
// font's name, weight and slant, the faces that stand in for the characters it
// lacks, metrics from FreeType, shaping by HarfBuzz (Arabic joining, marks),
// right-to-left runs put in display order by ICU, and TrueType subsets.
//
// Only faces with TrueType outlines whose embedding bits allow embedding are
// used. Plain C++: no Qt.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct hb_font_t;
struct hb_face_t;
struct hb_buffer_t;

namespace korvane {

// One face of one font file.
class TFontFace {
 public:
  ~TFontFace();
  TFontFace(const TFontFace&) = delete;
  TFontFace& operator=(const TFontFace&) = delete;

  // Loads a face; nullptr when the file is no TrueType-outline font or forbids
  // embedding (why in *reason).
  static std::unique_ptr<TFontFace> Load(const std::string& path, int index, std::string* reason = nullptr);

  const std::string& Path() const { return path_; }
  int Index() const { return index_; }
  // The PostScript name (letters, digits and "-" only), or the family name made so.
  const std::string& PostScriptName() const { return psName_; }
  const std::string& FamilyName() const { return family_; }

  // Metrics in thousandths of the em.
  int Ascent() const { return ascent_; }
  int Descent() const { return descent_; }  // negative
  int CapHeight() const { return capHeight_; }
  int ItalicAngle() const { return italicAngle_; }
  const int* BBox() const { return bbox_; }  // xMin yMin xMax yMax
  bool FixedPitch() const { return fixedPitch_; }
  bool Serif() const { return serif_; }
  bool Italic() const { return italic_; }
  bool Bold() const { return bold_; }
  int GlyphCount() const { return glyphCount_; }

  // The glyph of a character, 0 when the face has none.
  uint32_t Glyph(char32_t c) const;
  // A glyph's advance in thousandths of the em.
  int Advance(uint32_t gid) const;
  // The character's glyph and advance, from a cache for the first 64 K characters.
  uint32_t GlyphAndAdvance(char32_t c, int& advance) const;

  // A TrueType font file holding only the given glyphs (glyph numbers kept), or
  // an empty text when the face cannot be subset.
  std::string Subset(const std::vector<uint32_t>& glyphs) const;

  hb_font_t* HbFont() const { return font_; }

 private:
  TFontFace() = default;
  std::string path_, psName_, family_;
  int index_ = 0;
  hb_face_t* face_ = nullptr;
  hb_font_t* font_ = nullptr;
  int upem_ = 1000;
  int ascent_ = 800, descent_ = -200, capHeight_ = 700, italicAngle_ = 0;
  int bbox_[4] = {0, -200, 1000, 800};
  bool fixedPitch_ = false, serif_ = false, italic_ = false, bold_ = false;
  int glyphCount_ = 0;
  // Characters below 65536: glyph + 1 (0: not looked up yet) and advance.
  mutable std::vector<uint32_t> glyphCache_;
  mutable std::vector<int32_t> advanceCache_;
};

// A glyph placed on a line, in display order.
struct TPlacedGlyph {
  int Face = 0;        // index into the font set's faces
  uint32_t Glyph = 0;  // 0: the missing-glyph box
  int Advance = 0;     // thousandths of the em
  // The characters the glyph stands for (its cluster; empty for the further
  // glyphs of a cluster): a range of the shaped line.
  uint32_t TextStart = 0, TextLength = 0;
  // Placed by the shaper (its advance may differ from the glyph's own).
  bool Shaped = false;
};

// A font as asked for (name, bold, italic): its own face and the faces that
// stand in for characters it lacks, in fontconfig's order.
class TFontSet {
 public:
  ~TFontSet();
  TFontSet(const TFontSet&) = delete;
  TFontSet& operator=(const TFontSet&) = delete;

  // The set for a font; nullptr when no usable face is installed at all.
  static std::unique_ptr<TFontSet> Match(const std::string& family, bool bold, bool italic);

  // Face 0 is the font's own face.
  TFontFace& Face(int i) const { return *faces_[static_cast<size_t>(i)]; }
  int FaceCount() const { return static_cast<int>(faces_.size()); }
  // The face that has the character (loading a stand-in face when needed), or
  // -1 when none has it.
  int FaceFor(char32_t c);
  // The advance of a character in thousandths of the em (the missing-glyph box
  // of face 0 when no face has it), for line breaking.
  int CharAdvance(char32_t c);

  // A line of text as glyphs in display order: right-to-left runs reordered,
  // complex scripts shaped. The line holds no line breaks.
  void ShapeLine(std::u32string_view line, std::vector<TPlacedGlyph>& out);

 private:
  TFontSet() = default;
  struct TCandidate {
    std::string path;
    int index;
    void* charset;  // FcCharSet*, owned
    int loaded;     // face index once loaded, -1 not yet, -2 unusable
  };
  void ShapeRun(std::u32string_view line, size_t start, size_t length, bool rtl, std::vector<TPlacedGlyph>& out);
  std::vector<std::unique_ptr<TFontFace>> faces_;
  std::vector<TCandidate> candidates_;
  // Characters below 65536: face + 2 (0: not looked up, 1: none).
  std::vector<uint8_t> faceCache_;
  hb_buffer_t* buffer_ = nullptr;
};

// Decodes UTF-8; invalid bytes become U+FFFD.
void DecodeUtf8(std::string_view s, std::u32string& out);
// Whether a character needs shaping or reordering (outside the scripts that map
// one character to one glyph, left to right).
bool IsComplexChar(char32_t c);

}  // namespace korvane
