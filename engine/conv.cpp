// Character set conversion through UCS-4.

#include "engine/conv.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace korvane {

namespace {

// Table value of a byte that has no character.
constexpr uint16_t kNone = 0;

// KOI8-R: characters of the bytes 0x80 to 0xFF.
constexpr uint16_t kKoi8rHigh[128] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,  // 80
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,  // 88
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,  // 90
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,  // 98
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,  // A0
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,  // A8
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,  // B0
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,  // B8
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,  // C0
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,  // C8
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,  // D0
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,  // D8
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,  // E0
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,  // E8
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,  // F0
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,  // F8
};

// ISO 8859-5: characters of the bytes 0x80 to 0xFF.
constexpr uint16_t kIso8859_5High[128] = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087,  // 80
    0x0088, 0x0089, 0x008A, 0x008B, 0x008C, 0x008D, 0x008E, 0x008F,  // 88
    0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,  // 90
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F,  // 98
    0x00A0, 0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407,  // A0
    0x0408, 0x0409, 0x040A, 0x040B, 0x040C, 0x00AD, 0x040E, 0x040F,  // A8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // B0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // B8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // C0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // C8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // D0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // E8
    0x2116, 0x0451, 0x0452, 0x0453, 0x0454, 0x0455, 0x0456, 0x0457,  // F0
    0x0458, 0x0459, 0x045A, 0x045B, 0x045C, 0x00A7, 0x045E, 0x045F,  // F8
};

// Code page 1251 (0x98 has no character): characters of the bytes 0x80 to 0xFF.
constexpr uint16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    kNone,  0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

// Code page 866: characters of the bytes 0x80 to 0xFF.
constexpr uint16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};

// One 8-bit encoding: ASCII below 0x80, the table above.
struct TByteTable {
  TTextEncoding Encoding;
  const uint16_t* High;  // 128 characters of the bytes 0x80..0xFF
};

constexpr TByteTable kKoi8r{encKoi8r, kKoi8rHigh};
constexpr TByteTable kIso8859_5{encIso8859_5, kIso8859_5High};
constexpr TByteTable kCp1251{encCp1251, kCp1251High};
constexpr TByteTable kCp866{encCp866, kCp866High};

// Reverse lookup of the upper half: characters sorted, with their bytes.
struct TReverseEntry {
  uint16_t Code;
  uint8_t Byte;
};
using TReverseTable = std::array<TReverseEntry, 128>;

TReverseTable BuildReverse(const TByteTable& t) {
  TReverseTable r{};
  for (int i = 0; i < 128; ++i) r[i] = {t.High[i], static_cast<uint8_t>(0x80 + i)};
  std::sort(r.begin(), r.end(),
            [](const TReverseEntry& a, const TReverseEntry& b) { return a.Code < b.Code; });
  return r;
}

const TReverseTable& ReverseOf(TTextEncoding enc) {
  static const TReverseTable koi8r = BuildReverse(kKoi8r);
  static const TReverseTable iso = BuildReverse(kIso8859_5);
  static const TReverseTable cp1251 = BuildReverse(kCp1251);
  static const TReverseTable cp866 = BuildReverse(kCp866);
  switch (enc) {
    case encKoi8r:
      return koi8r;
    case encIso8859_5:
      return iso;
    case encCp1251:
      return cp1251;
    default:
      return cp866;
  }
}

std::string HexSymbol(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%0*X", digits, static_cast<unsigned>(value));
  return buf;
}

void AppendUcs4(std::string& out, uint32_t c) {
  out.push_back(static_cast<char>((c >> 24) & 0xFF));
  out.push_back(static_cast<char>((c >> 16) & 0xFF));
  out.push_back(static_cast<char>((c >> 8) & 0xFF));
  out.push_back(static_cast<char>(c & 0xFF));
}

uint32_t ReadUcs4(const std::string& text, size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// A UCS-4 text must be whole characters; a shorter or ragged text is malformed.
void CheckUcs4Length(const std::string& text, TTextEncoding target) {
  if (text.size() < 4 || text.size() % 4 != 0)
    throw NewConvError(TextEncodingName(encUcs4), TextEncodingName(target), "");
}

std::string ByteToUcs4(const TByteTable& t, const std::string& text) {
  std::string out;
  out.reserve(text.size() * 4);
  for (unsigned char b : text) {
    uint32_t c = b;
    if (b >= 0x80) {
      c = t.High[b - 0x80];
      if (c == kNone)
        throw NewConvError(TextEncodingName(t.Encoding), TextEncodingName(encUcs4), HexSymbol(b, 2));
    }
    AppendUcs4(out, c);
  }
  return out;
}

std::string Ucs4ToByte(const TByteTable& t, const std::string& text) {
  if (text.empty()) return {};
  CheckUcs4Length(text, t.Encoding);
  const TReverseTable& rev = ReverseOf(t.Encoding);
  std::string out;
  out.reserve(text.size() / 4);
  for (size_t i = 0; i < text.size(); i += 4) {
    const uint32_t c = ReadUcs4(text, i);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c <= 0xFFFF) {
      auto it = std::lower_bound(rev.begin(), rev.end(), c,
                                 [](const TReverseEntry& e, uint32_t v) { return e.Code < v; });
      if (it != rev.end() && it->Code == c) {
        out.push_back(static_cast<char>(it->Byte));
        continue;
      }
    }
    throw NewConvError(TextEncodingName(encUcs4), TextEncodingName(t.Encoding), HexSymbol(c, 8));
  }
  return out;
}

std::string ToUcs4(TTextEncoding source, const std::string& text) {
  switch (source) {
    case encUtf8:
      return Utf8ToUcs4(text);
    case encKoi8r:
      return Koi8rToUcs4(text);
    case encIso8859_5:
      return Iso8859_5ToUcs4(text);
    case encCp1251:
      return Cp1251ToUcs4(text);
    case encCp866:
      return Cp866ToUcs4(text);
    case encUcs4:
      break;
  }
  return text;
}

std::string FromUcs4(TTextEncoding target, const std::string& text) {
  switch (target) {
    case encUtf8:
      return Ucs4ToUtf8(text);
    case encKoi8r:
      return Ucs4ToKoi8r(text);
    case encIso8859_5:
      return Ucs4ToIso8859_5(text);
    case encCp1251:
      return Ucs4ToCp1251(text);
    case encCp866:
      return Ucs4ToCp866(text);
    case encUcs4:
      break;
  }
  return text;
}

}  // namespace

const char* TextEncodingName(TTextEncoding enc) {
  switch (enc) {
    case encUcs4:
      return "UCS4";
    case encUtf8:
      return "Utf8";
    case encKoi8r:
      return "Koi8r";
    case encIso8859_5:
      return "ISO 8859-5";
    case encCp1251:
      return "Cp1251";
    case encCp866:
      return "Cp866";
  }
  return "";
}

eConvException::eConvException(std::string fromName, std::string toName, std::string symbol)
    : Exception("Can't convert from " + fromName + " to " + toName + " symbol " + symbol),
      FromName(std::move(fromName)),
      ToName(std::move(toName)),
      Symbol(std::move(symbol)) {}

eConvException NewConvError(const std::string& fromName, const std::string& toName,
                            const std::string& symbol) {
  return eConvException(fromName, toName, symbol);
}

std::string ConvertText(TTextEncoding source, TTextEncoding target, const std::string& text) {
  const auto valid = [](TTextEncoding e) { return e >= encUcs4 && e <= encCp866; };
  if (!valid(source) || !valid(target))
    throw Exception("Unknown text encoding " +
                    std::to_string(static_cast<int>(valid(source) ? target : source)));
  if (source == target) return text;
  if (source == encUcs4) return FromUcs4(target, text);
  if (target == encUcs4) return ToUcs4(source, text);
  return FromUcs4(target, ToUcs4(source, text));
}

std::string Utf8ToUcs4(const std::string& text) {
  std::string out;
  out.reserve(text.size() * 4);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t len = text.size();
  size_t pos = 0;
  while (pos < len) {
    const unsigned char b = p[pos];
    int n = 0;  // leading 1 bits of the byte
    while (n < 8 && (b & (0x80u >> n)) != 0) ++n;
    uint32_t c;
    if (n == 0) {
      c = b;
      pos += 1;
    } else if (n == 1) {
      // A continuation byte where a lead byte belongs: taken as its low 7 bits shifted left.
      c = static_cast<uint32_t>(b & 0x7F) << 1;
      pos += 1;
    } else {
      c = n >= 7 ? 0 : static_cast<uint32_t>(b & (0xFFu >> (n + 1)));
      if (len - pos - 1 < static_cast<size_t>(n - 1))
        throw NewConvError(TextEncodingName(encUtf8), TextEncodingName(encUcs4), "");
      for (int k = 1; k < n; ++k) {
        const unsigned char cb = p[pos + k];
        if ((cb & 0xC0) != 0x80) throw NewConvError(TextEncodingName(encUtf8), TextEncodingName(encUcs4), "");
        c = (c << 6) | (cb & 0x3F);  // 32-bit arithmetic: higher bits fall off
      }
      pos += static_cast<size_t>(n);
    }
    AppendUcs4(out, c);
  }
  return out;
}

std::string Ucs4ToUtf8(const std::string& text) {
  if (text.empty()) return {};
  CheckUcs4Length(text, encUtf8);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i += 4) {
    const uint32_t u = ReadUcs4(text, i);
    const auto c = static_cast<int32_t>(u);
    int k;
    if (c < 0x80)
      k = 1;  // negative values included
    else if (c < 0x800)
      k = 2;
    else if (c < 0x10000)
      k = 3;
    else if (c < 0x200000)
      k = 4;
    else if (c < 0x4000000)
      k = 5;
    else
      k = 6;
    if (k == 1) {
      out.push_back(static_cast<char>(u & 0xFF));
      continue;
    }
    static constexpr unsigned char kLead[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    char buf[6];
    uint32_t rest = u;
    for (int j = k - 1; j >= 1; --j) {
      buf[j] = static_cast<char>(0x80 | (rest & 0x3F));
      rest >>= 6;
    }
    buf[0] = static_cast<char>(kLead[k] | rest);
    out.append(buf, static_cast<size_t>(k));
  }
  return out;
}

std::string Cp1251ToUcs4(const std::string& text) { return ByteToUcs4(kCp1251, text); }
std::string Ucs4ToCp1251(const std::string& text) { return Ucs4ToByte(kCp1251, text); }
std::string Cp866ToUcs4(const std::string& text) { return ByteToUcs4(kCp866, text); }
std::string Ucs4ToCp866(const std::string& text) { return Ucs4ToByte(kCp866, text); }
std::string Koi8rToUcs4(const std::string& text) { return ByteToUcs4(kKoi8r, text); }
std::string Ucs4ToKoi8r(const std::string& text) { return Ucs4ToByte(kKoi8r, text); }
std::string Iso8859_5ToUcs4(const std::string& text) { return ByteToUcs4(kIso8859_5, text); }
std::string Ucs4ToIso8859_5(const std::string& text) { return Ucs4ToByte(kIso8859_5, text); }

std::string DefaultCodepage() { return {}; }

}  // namespace korvane
