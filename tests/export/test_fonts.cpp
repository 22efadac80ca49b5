// The font layer of embedded-font documents: faces chosen for Windows font
// names, stand-in faces for characters a face lacks, faces that forbid
// embedding passed over, right-to-left runs in display order, Arabic joined,
// and subsets that keep their glyph numbers.

#include <gtest/gtest.h>

#include "platform/fonts.h"
#include "support/paths.h"

namespace korvane::test {
namespace {

TEST(Fonts, WindowsNamesMapToInstalledFaces) {
  auto arial = TFontSet::Match("Arial", false, false);
  ASSERT_TRUE(arial);
  EXPECT_EQ(arial->Face(0).FamilyName(), "Liberation Sans");
  auto tahoma = TFontSet::Match("Tahoma", false, false);
  ASSERT_TRUE(tahoma);
  EXPECT_EQ(tahoma->Face(0).FamilyName(), "DejaVu Sans");
  auto bi = TFontSet::Match("Arial", true, true);
  ASSERT_TRUE(bi);
  EXPECT_TRUE(bi->Face(0).Bold());
  EXPECT_TRUE(bi->Face(0).Italic());
  EXPECT_LT(bi->Face(0).ItalicAngle(), 0);
  // Metrics in thousandths of the em.
  const TFontFace& f = arial->Face(0);
  EXPECT_GT(f.Ascent(), 600);
  EXPECT_LT(f.Descent(), 0);
  EXPECT_GT(f.CapHeight(), 500);
  int adv = 0;
  EXPECT_NE(f.GlyphAndAdvance(U'M', adv), 0u);
  EXPECT_GT(adv, 500);
  EXPECT_LT(adv, 1000);
}

TEST(Fonts, CharactersAFaceLacksComeFromItsFallbacks) {
  auto set = TFontSet::Match("Liberation Serif", false, false);
  ASSERT_TRUE(set);
  for (char32_t c : {U'A', U'\u05E9', U'\u0633', U'\u2603'}) {
    const int face = set->FaceFor(c);
    ASSERT_GE(face, 0) << static_cast<uint32_t>(c);
    EXPECT_NE(set->Face(face).Glyph(c), 0u);
  }
  EXPECT_EQ(set->FaceFor(U'A'), 0);
  // No face has a private-use character: the missing-glyph box of the font.
  EXPECT_EQ(set->FaceFor(U'\U0010FFFD'), -1);
  EXPECT_EQ(set->CharAdvance(U'\U0010FFFD'), set->Face(0).Advance(0));
}

TEST(Fonts, RightToLeftRunsInDisplayOrderAndArabicJoined) {
  auto set = TFontSet::Match("DejaVu Sans", false, false);
  ASSERT_TRUE(set);
  std::vector<TPlacedGlyph> glyphs;
  // "abc " then Hebrew shin-lamed-vav: the Hebrew glyphs come right to left.
  const std::u32string mixed = U"abc \u05E9\u05DC\u05D5";
  set->ShapeLine(mixed, glyphs);
  ASSERT_EQ(glyphs.size(), 7u);
  std::vector<uint32_t> order;
  for (const TPlacedGlyph& g : glyphs) order.push_back(g.TextStart);
  EXPECT_EQ(order, (std::vector<uint32_t>{0, 1, 2, 3, 6, 5, 4}));
  // Seen-lam-alef-meem: joined forms, not the isolated glyphs.
  const std::u32string salam = U"\u0633\u0644\u0627\u0645";
  set->ShapeLine(salam, glyphs);
  ASSERT_FALSE(glyphs.empty());
  const TPlacedGlyph& last = glyphs.back();  // display order: the first letter is at the right
  EXPECT_EQ(last.TextStart, 0u);
  EXPECT_NE(last.Glyph, set->Face(last.Face).Glyph(U'\u0633'));
  // Every character is covered once by the glyphs' texts.
  uint32_t covered = 0;
  for (const TPlacedGlyph& g : glyphs) covered += g.TextLength;
  EXPECT_EQ(covered, salam.size());
}

TEST(Fonts, SubsetsKeepGlyphNumbers) {
  auto set = TFontSet::Match("DejaVu Sans", false, false);
  ASSERT_TRUE(set);
  const TFontFace& face = set->Face(0);
  const uint32_t g = face.Glyph(U'Q');
  const std::string sub = face.Subset({g});
  ASSERT_FALSE(sub.empty());
  EXPECT_LT(sub.size(), ReadFile(face.Path()).size() / 4);
  const std::string path = TempDir() + "/sub.ttf";
  WriteFile(path, sub);
  auto loaded = TFontFace::Load(path, 0);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->Advance(g), face.Advance(g));
  EXPECT_GT(loaded->GlyphCount(), static_cast<int>(g));
}

TEST(Fonts, FacesThatForbidEmbeddingArePassedOver) {
  auto set = TFontSet::Match("DejaVu Sans", false, false);
  ASSERT_TRUE(set);
  std::string font = ReadFile(set->Face(0).Path());
  // Set the OS/2 table's fsType to "restricted licence embedding".
  const int tables = (static_cast<uint8_t>(font[4]) << 8) | static_cast<uint8_t>(font[5]);
  bool patched = false;
  for (int i = 0; i < tables; ++i) {
    const size_t rec = 12 + static_cast<size_t>(i) * 16;
    if (font.compare(rec, 4, "OS/2") != 0) continue;
    const size_t at = (static_cast<size_t>(static_cast<uint8_t>(font[rec + 8])) << 24) |
                      (static_cast<size_t>(static_cast<uint8_t>(font[rec + 9])) << 16) |
                      (static_cast<size_t>(static_cast<uint8_t>(font[rec + 10])) << 8) |
                      static_cast<uint8_t>(font[rec + 11]);
    font[at + 8] = 0;
    font[at + 9] = 2;
    patched = true;
  }
  ASSERT_TRUE(patched);
  const std::string path = TempDir() + "/restricted.ttf";
  WriteFile(path, font);
  std::string reason;
  EXPECT_FALSE(TFontFace::Load(path, 0, &reason));
  EXPECT_NE(reason.find("embedding"), std::string::npos);
  EXPECT_TRUE(TFontFace::Load(set->Face(0).Path(), 0));
}

TEST(Fonts, Utf8DecodingReplacesInvalidBytes) {
  std::u32string out;
  DecodeUtf8("a\xC3\xBC\xFF\xE2\x82\xAC\xED\xA0\x80\xF0\x9F\x98\x80\xC3", out);
  EXPECT_EQ(out, (std::u32string{U'a', U'\u00FC', U'\uFFFD', U'\u20AC', U'\uFFFD', U'\uFFFD', U'\uFFFD',
                                 U'\U0001F600', U'\uFFFD'}));
  EXPECT_FALSE(IsComplexChar(U'\u0416'));
  EXPECT_TRUE(IsComplexChar(U'\u05D0'));
  EXPECT_TRUE(IsComplexChar(U'\u0301'));
}

}  // namespace
}  // namespace korvane::test
