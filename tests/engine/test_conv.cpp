#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/conv.h"

namespace korvane {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

std::string Ucs4(std::initializer_list<uint32_t> chars) {
  std::string s;
  for (uint32_t c : chars)
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((c >> shift) & 0xFF));
  return s;
}

uint32_t CodeOf(TTextEncoding enc, int byte) {
  const std::string u = ConvertText(enc, encUcs4, std::string(1, static_cast<char>(byte)));
  EXPECT_EQ(u.size(), 4u);
  return (static_cast<uint32_t>(static_cast<uint8_t>(u[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(u[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(u[2])) << 8) | static_cast<uint8_t>(u[3]);
}

// Runs f and answers the conversion error it raised (fails the test when none).
template <typename F>
eConvException ConvError(F f) {
  try {
    f();
  } catch (const eConvException& e) {
    return e;
  }
  ADD_FAILURE() << "no eConvException";
  return eConvException("", "", "");
}

const TTextEncoding kByteEncodings[] = {encKoi8r, encIso8859_5, encCp1251, encCp866};
const TTextEncoding kAllEncodings[] = {encUcs4, encUtf8, encKoi8r, encIso8859_5, encCp1251, encCp866};

TEST(Conv, PublishedTableRows) {
  for (TTextEncoding enc : kByteEncodings)
    for (int b = 0; b < 0x80; ++b)
      ASSERT_EQ(CodeOf(enc, b), static_cast<uint32_t>(b)) << TextEncodingName(enc);

  EXPECT_EQ(CodeOf(encCp1251, 0x88), 0x20ACu);
  EXPECT_EQ(CodeOf(encCp1251, 0xA8), 0x0401u);
  for (int b = 0xC0; b <= 0xFF; ++b) EXPECT_EQ(CodeOf(encCp1251, b), 0x0410u + (b - 0xC0));

  for (int b = 0x80; b <= 0xAF; ++b) EXPECT_EQ(CodeOf(encCp866, b), 0x0410u + (b - 0x80));
  for (int b = 0xE0; b <= 0xEF; ++b) EXPECT_EQ(CodeOf(encCp866, b), 0x0440u + (b - 0xE0));
  EXPECT_EQ(CodeOf(encCp866, 0xF0), 0x0401u);
  EXPECT_EQ(CodeOf(encCp866, 0xFF), 0x00A0u);

  EXPECT_EQ(CodeOf(encKoi8r, 0xC1), 0x0430u);
  EXPECT_EQ(CodeOf(encKoi8r, 0xE1), 0x0410u);
  EXPECT_EQ(CodeOf(encKoi8r, 0xB3), 0x0401u);
  EXPECT_EQ(CodeOf(encKoi8r, 0x9A), 0x00A0u);

  for (int b = 0xA1; b <= 0xAC; ++b) EXPECT_EQ(CodeOf(encIso8859_5, b), 0x0401u + (b - 0xA1));
  EXPECT_EQ(CodeOf(encIso8859_5, 0xAD), 0x00ADu);
  EXPECT_EQ(CodeOf(encIso8859_5, 0xF0), 0x2116u);
  EXPECT_EQ(CodeOf(encIso8859_5, 0xFD), 0x00A7u);
}

// The system's iconv carries the same published tables: every byte must agree.
TEST(Conv, TablesAgreeWithIconv) {
  const std::pair<TTextEncoding, const char*> pages[] = {
      {encKoi8r, "KOI8-R"}, {encIso8859_5, "ISO-8859-5"}, {encCp1251, "CP1251"}, {encCp866, "CP866"}};
  for (const auto& [enc, name] : pages) {
    iconv_t cd = iconv_open("UCS-4BE", name);
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1))) << name;
    for (int b = 0; b < 256; ++b) {
      char in = static_cast<char>(b);
      char out[8];
      char* inp = &in;
      char* outp = out;
      size_t inLeft = 1, outLeft = sizeof out;
      const bool known = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      const std::string bytes(1, in);
      if (!known) {
        EXPECT_THROW(ConvertText(enc, encUcs4, bytes), eConvException) << name << " byte " << b;
        continue;
      }
      const std::string expected(out, static_cast<size_t>(outp - out));
      EXPECT_EQ(ConvertText(enc, encUcs4, bytes), expected) << name << " byte " << b;
      EXPECT_EQ(ConvertText(encUcs4, enc, expected), bytes) << name << " byte " << b;
    }
    iconv_close(cd);
  }
}

TEST(Conv, WorkedValues) {
  EXPECT_EQ(Cp866ToUcs4("A"), Ucs4({0x41}));
  EXPECT_EQ(ConvertText(encCp866, encUtf8, "A"), "A");
  EXPECT_EQ(Cp866ToUcs4("\x80"), Ucs4({0x410}));
  EXPECT_EQ(ConvertText(encCp866, encUtf8, "\x80"), "\xD0\x90");
  EXPECT_EQ(Cp1251ToUcs4("\xB9"), Ucs4({0x2116}));
  EXPECT_EQ(ConvertText(encCp1251, encUtf8, "\xB9"), "\xE2\x84\x96");
  EXPECT_EQ(ConvertText(encKoi8r, encCp1251, "\xE1"), "\xC0");
  // "Привет" through every pair of the 8-bit encodings and UTF-8.
  const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
  for (TTextEncoding a : kByteEncodings) {
    const std::string inA = ConvertText(encUtf8, a, utf8);
    EXPECT_EQ(inA.size(), 6u);
    EXPECT_EQ(ConvertText(a, encUtf8, inA), utf8);
    for (TTextEncoding b : kByteEncodings)
      if (a != b) {
        EXPECT_EQ(ConvertText(b, a, ConvertText(a, b, inA)), inA);
      }
  }
}

TEST(Conv, EmptyTextBetweenAnyTwoEncodings) {
  for (TTextEncoding a : kAllEncodings)
    for (TTextEncoding b : kAllEncodings)
      if (a != b) {
        EXPECT_EQ(ConvertText(a, b, ""), "") << a << "->" << b;
      }
}

TEST(Conv, ErrorTexts) {
  // A box-drawing line of code page 866 has no place in code page 1251.
  eConvException e = ConvError([] { ConvertText(encCp866, encCp1251, "ab\xC4"); });
  EXPECT_STREQ(e.what(), "Can't convert from UCS4 to Cp1251 symbol $00002500");
  EXPECT_EQ(e.FromName, "UCS4");
  EXPECT_EQ(e.ToName, "Cp1251");
  EXPECT_EQ(e.Symbol, "$00002500");

  // Code page 1251 byte 0x98 has no character, whatever the target.
  for (TTextEncoding target : kAllEncodings) {
    if (target == encCp1251) continue;
    e = ConvError([target] { ConvertText(encCp1251, target, "x\x98"); });
    EXPECT_STREQ(e.what(), "Can't convert from Cp1251 to UCS4 symbol $98");
  }

  // Characters above U+FFFF are in no 8-bit table; hex digits are upper case.
  e = ConvError([] { Ucs4ToKoi8r(Ucs4({0x41, 0x1F600})); });
  EXPECT_STREQ(e.what(), "Can't convert from UCS4 to Koi8r symbol $0001F600");
  e = ConvError([] { Ucs4ToIso8859_5(Ucs4({0x20AC})); });
  EXPECT_STREQ(e.what(), "Can't convert from UCS4 to ISO 8859-5 symbol $000020AC");

  // The error is one of the platform's exceptions.
  EXPECT_THROW(Ucs4ToCp866(Ucs4({0x20AC})), Exception);
  e = NewConvError("A", "B", "$1");
  EXPECT_STREQ(e.what(), "Can't convert from A to B symbol $1");
}

TEST(Conv, RaggedUcs4Text) {
  const std::pair<TTextEncoding, const char*> targets[] = {{encUtf8, "Utf8"},
                                                           {encKoi8r, "Koi8r"},
                                                           {encIso8859_5, "ISO 8859-5"},
                                                           {encCp1251, "Cp1251"},
                                                           {encCp866, "Cp866"}};
  for (const auto& [enc, name] : targets) {
    for (size_t len : {1u, 3u, 6u, 9u}) {
      eConvException e = ConvError([enc = enc, len] { ConvertText(encUcs4, enc, std::string(len, 'A')); });
      EXPECT_EQ(e.FromName, "UCS4");
      EXPECT_EQ(e.ToName, name);
      EXPECT_EQ(e.Symbol, "");
      EXPECT_EQ(std::string(e.what()), std::string("Can't convert from UCS4 to ") + name + " symbol ");
    }
  }
}

TEST(Conv, Utf8DecodeMalformed) {
  // A lead byte at the end, and a lead byte followed by a non-continuation byte.
  for (const std::string& bad : {Bytes({0xC3}), Bytes({0xC3, 0x41}), Bytes({0x41, 0xE2, 0x84}),
                                 Bytes({0xF0, 0x9F, 0x98, 0x41}), Bytes({0xFC, 0x80, 0x80})}) {
    eConvException e = ConvError([&bad] { Utf8ToUcs4(bad); });
    EXPECT_STREQ(e.what(), "Can't convert from Utf8 to UCS4 symbol ");
  }
  // A continuation byte where a character should start counts as its low 7 bits doubled.
  EXPECT_EQ(Utf8ToUcs4(Bytes({0x80})), Ucs4({0x00}));
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xBF, 0x41})), Ucs4({0x7E, 0x41}));
}

TEST(Conv, Utf8LongFormsAndWideValues) {
  // Five and six byte forms of the old UTF-8, and overlong forms taken as they are.
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xF8, 0x88, 0x80, 0x80, 0x80})), Ucs4({0x200000}));
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})), Ucs4({0x4000000}));
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})), Ucs4({0x7FFFFFFF}));
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xC0, 0x80})), Ucs4({0x00}));
  // Lead bytes FE and FF: 7 and 8 byte forms whose bits above 32 fall off.
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xFE, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})), Ucs4({0xFFFFFFFF}));
  EXPECT_EQ(Utf8ToUcs4(Bytes({0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x81, 0x82})), Ucs4({0x42}));

  // Encoding: each boundary, and back.
  const std::vector<std::pair<uint32_t, std::string>> forms = {
      {0x7F, Bytes({0x7F})},
      {0x80, Bytes({0xC2, 0x80})},
      {0x7FF, Bytes({0xDF, 0xBF})},
      {0x800, Bytes({0xE0, 0xA0, 0x80})},
      {0xFFFF, Bytes({0xEF, 0xBF, 0xBF})},
      {0x10000, Bytes({0xF0, 0x90, 0x80, 0x80})},
      {0x1FFFFF, Bytes({0xF7, 0xBF, 0xBF, 0xBF})},
      {0x200000, Bytes({0xF8, 0x88, 0x80, 0x80, 0x80})},
      {0x3FFFFFF, Bytes({0xFB, 0xBF, 0xBF, 0xBF, 0xBF})},
      {0x4000000, Bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})},
      {0x7FFFFFFF, Bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})},
  };
  for (const auto& [c, utf8] : forms) {
    EXPECT_EQ(Ucs4ToUtf8(Ucs4({c})), utf8) << std::hex << c;
    EXPECT_EQ(Utf8ToUcs4(utf8), Ucs4({c})) << std::hex << c;
  }
  // Negative values are one byte: the low 8 bits.
  EXPECT_EQ(Ucs4ToUtf8(Ucs4({0xFFFFFFFF, 0x80000041})), Bytes({0xFF, 0x41}));
}

TEST(Conv, Koi8rTo866AndBack) {
  int unchanged = 0, raised = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    try {
      EXPECT_EQ(ConvertText(encCp866, encKoi8r, ConvertText(encKoi8r, encCp866, in)), in) << b;
      ++unchanged;
    } catch (const eConvException& e) {
      EXPECT_EQ(e.FromName, "UCS4");
      EXPECT_EQ(e.ToName, "Cp866");
      ++raised;
    }
  }
  EXPECT_EQ(unchanged + raised, 256);
  EXPECT_GT(raised, 0);
  // U+2320 (KOI8-R 0x93) is one of the characters code page 866 lacks.
  EXPECT_EQ(ConvError([] { ConvertText(encKoi8r, encCp866, "\x93"); }).Symbol, "$00002320");
  // Every Cyrillic letter survives.
  for (int b = 0xC0; b <= 0xFF; ++b) {
    const std::string in(1, static_cast<char>(b));
    EXPECT_EQ(ConvertText(encCp866, encKoi8r, ConvertText(encKoi8r, encCp866, in)), in);
  }
}

TEST(Conv, SameEncodingAndDefaults) {
  EXPECT_EQ(ConvertText(encCp1251, encCp1251, "\x98"), "\x98");
  EXPECT_EQ(ConvertText(encUcs4, encUcs4, "abc"), "abc");
  EXPECT_THROW(ConvertText(static_cast<TTextEncoding>(6), encUtf8, "a"), Exception);
  EXPECT_THROW(ConvertText(encUtf8, static_cast<TTextEncoding>(-1), "a"), Exception);
  EXPECT_EQ(DefaultCodepage(), "");
}

}  // namespace
}  // namespace korvane
