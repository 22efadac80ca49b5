// The BMP decoder of graphic fields: every bit depth, palettes, bit-field masks,
// run-length compression, both row orders, the core header, and headers that
// promise more than their bytes hold (refused before any allocation).

#include <gtest/gtest.h>

#include <vector>

#include "engine/pdxgenerate.h"
#include "export/ZelEBitmap.h"

namespace korvane::test {
namespace {

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

struct TBmpSpec {
  int32_t Width = 2, Height = 2;
  int BitCount = 24;
  uint32_t Compression = 0;
  std::vector<uint32_t> Palette;  // 00RRGGBB
  std::vector<uint32_t> Masks;    // after the header (BI_BITFIELDS)
  std::string Bits;
  bool Leader = true;
};

std::string MakeBmp(const TBmpSpec& s) {
  std::string info;
  Put32(info, 40);
  Put32(info, static_cast<uint32_t>(s.Width));
  Put32(info, static_cast<uint32_t>(s.Height));
  Put16(info, 1);
  Put16(info, static_cast<uint32_t>(s.BitCount));
  Put32(info, s.Compression);
  Put32(info, static_cast<uint32_t>(s.Bits.size()));
  Put32(info, 2835);
  Put32(info, 2835);
  Put32(info, static_cast<uint32_t>(s.Palette.size()));
  Put32(info, 0);
  for (uint32_t m : s.Masks) Put32(info, m);
  for (uint32_t c : s.Palette) Put32(info, c);
  std::string file = "BM";
  Put32(file, static_cast<uint32_t>(14 + info.size() + s.Bits.size()));
  Put32(file, 0);
  Put32(file, static_cast<uint32_t>(14 + info.size()));
  file += info + s.Bits;
  return s.Leader ? std::string("\x02\0\0\0\0\0\0\0", 8) + file : file;
}

// Every pixel as 00RRGGBB, top row first.
std::vector<uint32_t> Pixels(const TZelEBitmap& b) {
  std::vector<uint32_t> out;
  int expect = 0;
  b.DecodeRows([&](int y, const uint8_t* rgb) {
    EXPECT_EQ(y, expect++);
    for (int x = 0; x < b.Width(); ++x)
      out.push_back(static_cast<uint32_t>(rgb[3 * x] << 16 | rgb[3 * x + 1] << 8 | rgb[3 * x + 2]));
  });
  EXPECT_EQ(expect, b.Height());
  return out;
}

std::vector<uint32_t> Decode(const TBmpSpec& s) {
  TZelEBitmap b;
  std::string error;
  const std::string data = MakeBmp(s);
  EXPECT_TRUE(b.Parse(data, error)) << error;
  return Pixels(b);
}

TEST(Bitmap, TrueColourRowsBottomUpAndTopDown) {
  TBmpSpec s;
  // Stored bottom row first: blue, green | red, white; rows padded to 8 bytes.
  s.Bits = std::string("\xFF\0\0\0\xFF\0\0\0", 8) + std::string("\0\0\xFF\xFF\xFF\xFF\0\0", 8);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0xFF0000, 0xFFFFFF, 0x0000FF, 0x00FF00}));
  s.Height = -2;
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}));
  // Without the leader too; the DIB is the file without its 14-byte header.
  s.Leader = false;
  TZelEBitmap b;
  std::string error;
  const std::string file = MakeBmp(s);
  ASSERT_TRUE(b.Parse(file, error)) << error;
  EXPECT_EQ(b.Dib(), std::string_view(file).substr(14));
  EXPECT_TRUE(b.TopDown());
}

TEST(Bitmap, PalettesOfOneFourAndEightBits) {
  TBmpSpec s;
  s.Width = 9;
  s.Height = 1;
  s.BitCount = 1;
  s.Palette = {0x000000, 0xFF8000};
  s.Bits = std::string("\xA5\x80\0\0", 4);  // 1010 0101 1
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0xFF8000, 0, 0xFF8000, 0, 0, 0xFF8000, 0, 0xFF8000, 0xFF8000}));
  s.Width = 3;
  s.BitCount = 4;
  s.Palette = {0x111111, 0x222222, 0x333333};
  s.Bits = std::string("\x21\x00\0\0", 4);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0x333333, 0x222222, 0x111111}));
  s.BitCount = 8;
  s.Palette.assign(256, 0);
  s.Palette[200] = 0xABCDEF;
  // An index past a short palette is black.
  s.Bits = std::string("\xC8\x00\x05\0", 4);
  s.Palette.resize(201);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0xABCDEF, 0, 0}));
}

TEST(Bitmap, SixteenAndThirtyTwoBitsWithAndWithoutMasks) {
  TBmpSpec s;
  s.Width = 2;
  s.Height = 1;
  s.BitCount = 16;
  // 5-5-5: pure red, pure blue.
  s.Bits = std::string("\x00\x7C\x1F\x00", 4);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0xFF0000, 0x0000FF}));
  s.Compression = 3;
  s.Masks = {0xF800, 0x07E0, 0x001F};
  s.Bits = std::string("\xE0\x07\x00\xF8", 4);  // 5-6-5: green, red
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0x00FF00, 0xFF0000}));
  s.BitCount = 32;
  s.Compression = 0;
  s.Masks.clear();
  s.Bits = std::string("\x01\x02\x03\x00\xFF\xFF\xFF\xFF", 8);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0x030201, 0xFFFFFF}));
}

TEST(Bitmap, RunLengthEightAndFourBits) {
  TBmpSpec s;
  s.Width = 4;
  s.Height = 3;
  s.BitCount = 8;
  s.Compression = 1;
  s.Palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  // Bottom row: run of 3 x 1, end of line; middle: literal 2,3,1 (padded), end
  // of line; top: skip 2 right, run of 2 x 3, end of bitmap.
  s.Bits = std::string("\x03\x01\x00\x00" "\x00\x03\x02\x03\x01\x00" "\x00\x00" "\x00\x02\x02\x00\x02\x03\x00\x01", 20);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0, 0, 0xFF0000, 0xFF0000,       // top
                                              0x00FF00, 0xFF0000, 0x0000FF, 0,  // middle
                                              0x0000FF, 0x0000FF, 0x0000FF, 0}));
  s.BitCount = 4;
  s.Compression = 2;
  s.Height = 1;
  // Run of 3 alternating 1,2; run of 1 pixel 3; end of bitmap.
  s.Bits = std::string("\x03\x12\x01\x30\x00\x01", 6);
  EXPECT_EQ(Decode(s), (std::vector<uint32_t>{0x0000FF, 0x00FF00, 0x0000FF, 0xFF0000}));
}

TEST(Bitmap, GeneratedPicturesDecode) {
  TZelEBitmap b;
  std::string error;
  const std::string data = PdxGraphicBmp(37, 11, 5);
  ASSERT_TRUE(b.Parse(data, error)) << error;
  EXPECT_EQ(b.Width(), 37);
  EXPECT_EQ(b.Height(), 11);
  EXPECT_EQ(Pixels(b).size(), 37u * 11u);
}

TEST(Bitmap, HostileHeadersAreRefusedBeforeAnyAllocation) {
  std::string error;
  TZelEBitmap b;
  TBmpSpec s;
  s.Bits = std::string(16, '\0');
  // 60000 x 60000 pixels promised by 16 bytes of pixel data.
  s.Width = s.Height = 60000;
  EXPECT_FALSE(b.Parse(MakeBmp(s), error));
  EXPECT_NE(error.find("60000 x 60000"), std::string::npos) << error;
  // One row short.
  s.Width = 2;
  s.Height = 3;
  EXPECT_FALSE(b.Parse(MakeBmp(s), error));
  // A compressed picture may not claim more pixels than it is read with.
  s.BitCount = 8;
  s.Compression = 1;
  s.Width = s.Height = 1 << 14;
  EXPECT_FALSE(b.Parse(MakeBmp(s), error));
  // Depths and compressions that do not go together, no pixels, no data.
  s = TBmpSpec();
  s.Bits = std::string(16, '\0');
  s.BitCount = 24;
  s.Compression = 1;
  EXPECT_FALSE(b.Parse(MakeBmp(s), error));
  s.Compression = 0;
  s.BitCount = 7;
  EXPECT_FALSE(b.Parse(MakeBmp(s), error));
  s.BitCount = 24;
  s.Width = 0;
  EXPECT_FALSE(b.Parse(MakeBmp(s), error));
  EXPECT_FALSE(b.Parse("", error));
  EXPECT_FALSE(b.Parse(std::string("\x02\0\0\0\0\0\0\0\xFF\xD8\xFF\xE0", 12), error));
  const std::string whole = MakeBmp(TBmpSpec{.Bits = std::string(16, '\0')});
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    // The bitmap reads the bytes it was given, so they outlive it.
    const std::string prefix = whole.substr(0, cut);
    TZelEBitmap part;
    if (part.Parse(prefix, error)) Pixels(part);  // a parsed prefix decodes in bounds
  }
}

TEST(Bitmap, RunLengthDataThatRunsPastThePictureStaysInside) {
  TBmpSpec s;
  s.Width = 2;
  s.Height = 2;
  s.BitCount = 8;
  s.Compression = 1;
  s.Palette = {0, 0xFFFFFF};
  // Runs longer than a row, skips past the edge, a literal cut short.
  s.Bits = std::string("\xFF\x01\x00\x02\xFF\xFF\x00\x09\x01", 9);
  TZelEBitmap b;
  std::string error;
  const std::string data = MakeBmp(s);
  ASSERT_TRUE(b.Parse(data, error)) << error;
  EXPECT_EQ(Pixels(b).size(), 4u);
}

}  // namespace
}  // namespace korvane::test
