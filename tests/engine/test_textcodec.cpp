#include <gtest/gtest.h>

#include <string>

#include "engine/dataset.h"
#include "platform/textcodec.h"

namespace korvane {
namespace {

TEST(TextCodec, SourceCodePageRules) {
  EXPECT_EQ(SourceCodePageFor(4, 0, 0), 437);    // 3.5 tables carry no code page
  EXPECT_EQ(SourceCodePageFor(4, 866, 0), 437);  // whatever is at that place
  EXPECT_EQ(SourceCodePageFor(9, 866, 0), 866);
  EXPECT_EQ(SourceCodePageFor(5, 1252, 0), 1252);
  EXPECT_EQ(SourceCodePageFor(9, 0, 0), 437);          // ROMAN8.db: code page 0
  EXPECT_EQ(SourceCodePageFor(12, 1252, 1251), 1251);  // the user's choice wins
  EXPECT_EQ(SourceCodePageFor(3, 0, 866), 866);
}

TEST(TextCodec, ParseCodePageNames) {
  EXPECT_EQ(ParseCodePage("1251"), 1251);
  EXPECT_EQ(ParseCodePage("cp1251"), 1251);
  EXPECT_EQ(ParseCodePage("CP1251"), 1251);
  EXPECT_EQ(ParseCodePage("windows-1251"), 1251);
  EXPECT_EQ(ParseCodePage("Windows-1252"), 1252);
  EXPECT_EQ(ParseCodePage("ibm866"), 866);
  EXPECT_EQ(ParseCodePage("IBM-437"), 437);
  EXPECT_EQ(ParseCodePage(" cp850 "), 850);
  EXPECT_EQ(ParseCodePage("utf-8"), kCodePageUtf8);
  EXPECT_EQ(ParseCodePage("UTF8"), kCodePageUtf8);
  EXPECT_EQ(ParseCodePage("65001"), kCodePageUtf8);
  EXPECT_EQ(ParseCodePage("koi8-r"), 20866);
  EXPECT_EQ(ParseCodePage("ISO-8859-5"), 28595);
  EXPECT_EQ(ParseCodePage("roman8"), 8);
  EXPECT_EQ(ParseCodePage("shift_jis"), 932);
  for (const char* bad : {"", "cyrillic", "cp", "windows-", "12x", "-1", "0", "cp1251x", "iso-8859-99"}) {
    try {
      ParseCodePage(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find("code page"), std::string::npos) << e.what();
    }
  }
  // A number iconv does not know.
  EXPECT_THROW(ParseCodePage("cp99999"), Exception);
  EXPECT_THROW(TTextDecoder::For(4242), Exception);
}

TEST(TextCodec, SingleBytePages) {
  EXPECT_EQ(DecodeToUtf8(866, "\x8F\xE0\xA8\xA2\xA5\xE2 A"), "Привет A");
  EXPECT_EQ(DecodeToUtf8(866, "\xC4\xF0\xFF"), "─Ё\u00A0");
  EXPECT_EQ(DecodeToUtf8(1251, "\xCF\xF0\xE8\xE2\xE5\xF2\xB9\x88"), "Привет№€");
  EXPECT_EQ(DecodeToUtf8(1252, "\xE9\x80\x9F"), "é€Ÿ");
  EXPECT_EQ(DecodeToUtf8(437, "\x81\x9B\xB0\xE1"), "ü¢░ß");
  EXPECT_EQ(DecodeToUtf8(850, "\x99"), "Ö");
  EXPECT_EQ(DecodeToUtf8(1250, "\x8A\xE8"), "Šč");
  EXPECT_EQ(DecodeToUtf8(8, "A"), "A");
  EXPECT_EQ(DecodeToUtf8(437, std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_TRUE(TTextDecoder::For(1251)->SingleByte());
  EXPECT_EQ(DecodeToUtf8(1251, ""), "");
}

TEST(TextCodec, UndecodableBytes) {
  // 0x98 has no character in code page 1251, 0x81 none in 1252.
  EXPECT_EQ(DecodeToUtf8(1251, "a\x98z"), "a\uFFFDz");
  const std::string escaped = DecodeToUtf8(1251, "a\x98z\xC0", DecodeMode::Escape);
  EXPECT_EQ(escaped, "a\xED\xB2\x98z\xD0\x90");
  EXPECT_TRUE(HasEscapedBytes(escaped));
  EXPECT_FALSE(HasEscapedBytes(DecodeToUtf8(1251, "a\xC0")));
  EXPECT_EQ(EscapedBytesToHex(escaped), "a\\x98zА");
  EXPECT_EQ(EscapedBytesToHex(DecodeToUtf8(1252, "\x81\x8D", DecodeMode::Escape)), "\\x81\\x8D");

  // Every byte value escapes and comes back.
  for (int b = 0; b < 256; ++b) {
    std::string s;
    AppendEscapedByte(s, static_cast<uint8_t>(b));
    std::string_view rest = s;
    TDecodedPiece piece;
    ASSERT_TRUE(NextDecodedPiece(rest, piece));
    EXPECT_EQ(piece.Byte, b);
    EXPECT_TRUE(rest.empty());
  }
}

TEST(TextCodec, PiecesOfDecodedText) {
  std::string s = "ab";
  AppendEscapedByte(s, 0xFF);
  AppendEscapedByte(s, 0x00);
  s += "\xED\x9F\xBF"
       "c";  // U+D7FF is text, not an escape
  std::string_view rest = s;
  TDecodedPiece p;
  ASSERT_TRUE(NextDecodedPiece(rest, p));
  EXPECT_EQ(p.Byte, -1);
  EXPECT_EQ(p.Text, "ab");
  ASSERT_TRUE(NextDecodedPiece(rest, p));
  EXPECT_EQ(p.Byte, 0xFF);
  ASSERT_TRUE(NextDecodedPiece(rest, p));
  EXPECT_EQ(p.Byte, 0x00);
  ASSERT_TRUE(NextDecodedPiece(rest, p));
  EXPECT_EQ(p.Byte, -1);
  EXPECT_EQ(p.Text,
            "\xED\x9F\xBF"
            "c");
  EXPECT_FALSE(NextDecodedPiece(rest, p));
  // A cut escape at the end is text.
  EXPECT_EQ(EscapedBytesToHex("x\xED\xB2"), "x\xED\xB2");
}

TEST(TextCodec, Utf8Passthrough) {
  EXPECT_EQ(DecodeToUtf8(kCodePageUtf8, "Привет €"), "Привет €");
  EXPECT_EQ(DecodeToUtf8(kCodePageUtf8, "a\xC3"), "a\uFFFD");
  // Overlong forms, encoded surrogates and stray continuation bytes are not UTF-8.
  EXPECT_EQ(EscapedBytesToHex(
                DecodeToUtf8(kCodePageUtf8, "\xC0\x80\xED\xB2\x98\x80\xF4\x90\x80\x80", DecodeMode::Escape)),
            "\\xC0\\x80\\xED\\xB2\\x98\\x80\\xF4\\x90\\x80\\x80");
  EXPECT_EQ(DecodeToUtf8(kCodePageUtf8, "\xF0\x9F\x98\x80"), "\U0001F600");
}

TEST(TextCodec, MultiBytePages) {
  EXPECT_FALSE(TTextDecoder::For(932)->SingleByte());
  EXPECT_EQ(DecodeToUtf8(932, "\x93\xFA\x96\x7B abc \xB1"), "日本 abc ｱ");
  EXPECT_EQ(DecodeToUtf8(936, "\xD6\xD0\xCE\xC4"), "中文");
  EXPECT_EQ(DecodeToUtf8(950, "\xA4\xA4"), "中");
  EXPECT_EQ(DecodeToUtf8(949, "\xC7\xD1"), "한");
  // A lead byte at the end, and a lead byte before a byte that cannot follow it.
  EXPECT_EQ(DecodeToUtf8(932, "ab\x93"), "ab\uFFFD");
  EXPECT_EQ(EscapedBytesToHex(DecodeToUtf8(936, "\xD6 A\xD6\xD0", DecodeMode::Escape)), "\\xD6 A中");
  // Long text crosses the internal buffer.
  std::string big, expected;
  for (int i = 0; i < 5000; ++i) {
    big += "\xD6\xD0";
    expected += "中";
  }
  EXPECT_EQ(DecodeToUtf8(936, big), expected);
}

TEST(TextCodec, EncoderAndMenu) {
  TEncodeEvent enc = MakeUtf8Encoder(866, DecodeMode::Escape);
  ASSERT_TRUE(static_cast<bool>(enc));
  EXPECT_THROW(MakeUtf8Encoder(4242, DecodeMode::Replace), Exception);

  const auto pages = CommonCodePages();
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(pages.front().first, 437);
  EXPECT_EQ(pages.front().second, "DOS US (437)");
  bool has866 = false, has1251 = false;
  for (const auto& [cp, label] : pages) {
    has866 |= cp == 866;
    has1251 |= cp == 1251;
    EXPECT_EQ(CodePageLabel(cp), label);
    EXPECT_NE(label.find("(" + std::to_string(cp) + ")"), std::string::npos);
  }
  EXPECT_TRUE(has866 && has1251);
  EXPECT_EQ(CodePageLabel(1234), "Code page 1234");
}

}  // namespace
}  // namespace korvane
