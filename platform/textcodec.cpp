// Decoding table text into UTF-8 with iconv.

#include "platform/textcodec.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "engine/dataset.h"

namespace korvane {

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1));
constexpr size_t kIconvError = static_cast<size_t>(-1);

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

void AppendUndecodable(std::string& out, uint8_t byte, DecodeMode mode) {
  if (mode == DecodeMode::Escape)
    AppendEscapedByte(out, byte);
  else
    out.append(kReplacement, 3);
}

// Length of the well-formed UTF-8 sequence at p (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when the byte at p does not start one.
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char b = p[0];
  if (b < 0x80) return 1;
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (left < n) return 0;
  if (p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return n;
}

void DecodeUtf8(std::string_view bytes, DecodeMode mode, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t len = bytes.size();
  size_t pos = 0;
  while (pos < len) {
    size_t run = pos;
    size_t n;
    while (run < len && (n = Utf8SequenceLength(p + run, len - run)) != 0) run += n;
    out.append(bytes.data() + pos, run - pos);
    if (run < len) {
      AppendUndecodable(out, p[run], mode);
      ++run;
    }
    pos = run;
  }
}

bool AllDigits(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

struct TNamedCodePage {
  const char* Name;
  int CodePage;
};

// Names of code pages that are not written as a prefix and a number.
constexpr TNamedCodePage kCodePageNames[] = {
    {"utf-8", 65001},        {"utf8", 65001},     {"hp-roman8", 8},
    {"roman8", 8},           {"hproman8", 8},     {"koi8-r", 20866},
    {"koi8r", 20866},        {"koi8-u", 21866},   {"koi8u", 21866},
    {"ascii", 20127},        {"us-ascii", 20127}, {"latin1", 28591},
    {"latin-1", 28591},      {"latin2", 28592},   {"latin-2", 28592},
    {"shift_jis", 932},      {"shift-jis", 932},  {"sjis", 932},
    {"windows-31j", 932},    {"gbk", 936},        {"gb2312", 936},
    {"big5", 950},           {"uhc", 949},        {"ks_c_5601-1987", 949},
    {"macintosh", 10000},    {"mac", 10000},      {"x-mac-cyrillic", 10007},
    {"mac-cyrillic", 10007},
};

// Prefixes written in front of a code page number ("cp1251", "windows-1251").
constexpr const char* kCodePagePrefixes[] = {"cp-",  "cp_", "cp",   "windows-", "windows", "win-", "win",
                                             "ibm-", "ibm", "dos-", "dos",      "ms",      "x-cp"};

struct TCodePageLabel {
  int CodePage;
  const char* Label;
};

constexpr TCodePageLabel kCommonCodePages[] = {
    {437, "DOS US (437)"},
    {737, "DOS Greek (737)"},
    {850, "DOS Western European (850)"},
    {852, "DOS Central European (852)"},
    {857, "DOS Turkish (857)"},
    {860, "DOS Portuguese (860)"},
    {861, "DOS Icelandic (861)"},
    {862, "DOS Hebrew (862)"},
    {863, "DOS French Canadian (863)"},
    {865, "DOS Nordic (865)"},
    {866, "DOS Cyrillic (866)"},
    {869, "DOS Greek 2 (869)"},
    {1250, "Windows Central European (1250)"},
    {1251, "Windows Cyrillic (1251)"},
    {1252, "Windows Western European (1252)"},
    {1253, "Windows Greek (1253)"},
    {1254, "Windows Turkish (1254)"},
    {1255, "Windows Hebrew (1255)"},
    {1256, "Windows Arabic (1256)"},
    {1257, "Windows Baltic (1257)"},
    {1258, "Windows Vietnamese (1258)"},
    {874, "Thai (874)"},
    {932, "Japanese Shift-JIS (932)"},
    {936, "Chinese Simplified GBK (936)"},
    {949, "Korean (949)"},
    {950, "Chinese Traditional Big5 (950)"},
    {20866, "Cyrillic KOI8-R (20866)"},
    {28591, "ISO 8859-1 Latin-1 (28591)"},
    {28592, "ISO 8859-2 Latin-2 (28592)"},
    {28595, "ISO 8859-5 Cyrillic (28595)"},
    {8, "HP Roman-8 (8)"},
    {65001, "UTF-8 (65001)"},
};

}  // namespace

int SourceCodePageFor(int fileVersion, int dosCodePage, int userOverride) {
  if (userOverride != 0) return userOverride;
  if (fileVersion >= 5 && dosCodePage != 0) return dosCodePage;
  return kCodePageDefault;
}

std::string IconvNameOf(int codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 8:
      return "HP-ROMAN8";
    case 592:
      return "ISO-8859-2";  // the ISO Latin-2 drivers of Paradox name it so
    case 10000:
      return "MACINTOSH";
    case 20127:
      return "ANSI_X3.4-1968";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 28603:
      return "ISO-8859-13";
    case 28605:
      return "ISO-8859-15";
    default:
      break;
  }
  if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

bool CodePageSupported(int codePage) {
  try {
    TTextDecoder::For(codePage);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

int ParseCodePage(const std::string& name) {
  std::string s = name;
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t start = s.find_first_not_of(" \t");
  s = start == std::string::npos ? std::string() : s.substr(start);

  int codePage = 0;
  for (const auto& n : kCodePageNames)
    if (s == n.Name) codePage = n.CodePage;
  if (codePage == 0 && s.rfind("iso-8859-", 0) == 0 && AllDigits(s.substr(9))) {
    const int part = std::stoi(s.substr(9));
    if (part >= 1 && part <= 9) codePage = 28590 + part;
    if (part == 13 || part == 15) codePage = 28590 + part;
  }
  if (codePage == 0) {
    std::string_view digits = s;
    for (const char* prefix : kCodePagePrefixes) {
      const size_t len = std::strlen(prefix);
      if (s.size() > len && s.compare(0, len, prefix) == 0 && AllDigits(std::string_view(s).substr(len))) {
        digits = std::string_view(s).substr(len);
        break;
      }
    }
    if (AllDigits(digits)) codePage = std::stoi(std::string(digits));
  }
  if (codePage <= 0)
    throw Exception("Unknown code page \"" + name +
                    "\" (give a number such as 1251, or a name such as cp866, windows-1252, utf-8)");
  if (!CodePageSupported(codePage))
    throw Exception("Code page " + std::to_string(codePage) + " (\"" + name +
                    "\") cannot be decoded on this system");
  return codePage;
}

// ---- TTextDecoder ----

TTextDecoder::TTextDecoder(int codePage) : codePage_(codePage) {
  if (codePage == kCodePageUtf8) {
    utf8_ = true;
    return;
  }
  const std::string name = IconvNameOf(codePage);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == kNoIconv)
    throw Exception("Code page " + std::to_string(codePage) + " is not known to iconv (" + name + ")");

  // Probe every byte on its own. The page is single-byte when no byte starts a
  // longer sequence (EINVAL) and every decodable byte gives one short character.
  singleByte_ = true;
  for (int b = 0; b < 256 && singleByte_; ++b) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    char* inp = &in;
    size_t inLeft = 1;
    char buf[32];
    char* outp = buf;
    size_t outLeft = sizeof buf;
    size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    if (r == kIconvError) {
      if (errno == EILSEQ) continue;  // no character: Length stays 0
      singleByte_ = false;
      break;
    }
    // Flush what a composing converter may hold back.
    if (iconv(cd, nullptr, nullptr, &outp, &outLeft) == kIconvError) {
      singleByte_ = false;
      break;
    }
    const size_t produced = static_cast<size_t>(outp - buf);
    if (produced == 0 || produced > sizeof table_[b].Utf8) {
      singleByte_ = false;
      break;
    }
    table_[b].Length = static_cast<uint8_t>(produced);
    std::memcpy(table_[b].Utf8, buf, produced);
  }
  if (singleByte_) {
    iconv_close(cd);
    asciiSame_ = true;
    for (int b = 0; b < 0x80 && asciiSame_; ++b)
      asciiSame_ = table_[b].Length == 1 && static_cast<uint8_t>(table_[b].Utf8[0]) == b;
  } else {
    for (auto& e : table_) e = TByteEntry{};
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    cd_ = cd;
  }
}

TTextDecoder::~TTextDecoder() {
  if (cd_ != nullptr) iconv_close(static_cast<iconv_t>(cd_));
}

std::shared_ptr<const TTextDecoder> TTextDecoder::For(int codePage) {
  static std::mutex cacheMutex;
  static std::map<int, std::shared_ptr<const TTextDecoder>> cache;
  std::lock_guard<std::mutex> lock(cacheMutex);
  auto it = cache.find(codePage);
  if (it != cache.end()) return it->second;
  std::shared_ptr<const TTextDecoder> d(new TTextDecoder(codePage));
  cache.emplace(codePage, d);
  return d;
}

std::string TTextDecoder::Decode(std::string_view bytes, DecodeMode mode) const {
  std::string out;
  DecodeAppend(bytes, mode, out);
  return out;
}

void TTextDecoder::DecodeAppend(std::string_view bytes, DecodeMode mode, std::string& out) const {
  if (utf8_) {
    out.reserve(out.size() + bytes.size());
    DecodeUtf8(bytes, mode, out);
    return;
  }
  if (!singleByte_) {
    DecodeIconv(bytes, mode, out);
    return;
  }
  out.reserve(out.size() + bytes.size() * 2);
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p != end) {
    if (asciiSame_) {
      // Plain ASCII runs are copied as they stand.
      const char* q = p;
      while (q != end && static_cast<uint8_t>(*q) < 0x80) ++q;
      out.append(p, static_cast<size_t>(q - p));
      if (q == end) break;
      p = q;
    }
    const auto b = static_cast<uint8_t>(*p++);
    const TByteEntry& e = table_[b];
    if (e.Length == 1)
      out.push_back(e.Utf8[0]);
    else if (e.Length != 0)
      out.append(e.Utf8, e.Length);
    else
      AppendUndecodable(out, b, mode);
  }
}

void TTextDecoder::DecodeIconv(std::string_view bytes, DecodeMode mode, std::string& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto cd = static_cast<iconv_t>(cd_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inp = const_cast<char*>(bytes.data());  // iconv takes char** but does not write the input
  size_t inLeft = bytes.size();
  char buf[4096];
  while (inLeft > 0) {
    char* outp = buf;
    size_t outLeft = sizeof buf;
    const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    const int err = errno;
    out.append(buf, static_cast<size_t>(outp - buf));
    if (r != kIconvError) break;
    if (err == E2BIG) continue;
    // EILSEQ (invalid sequence) or EINVAL (incomplete sequence at the end): the
    // first byte is undecodable; go on with the next one from a fresh state.
    AppendUndecodable(out, static_cast<uint8_t>(*inp), mode);
    ++inp;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* outp = buf;
  size_t outLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &outp, &outLeft);
  out.append(buf, static_cast<size_t>(outp - buf));
}

std::string DecodeToUtf8(int codePage, std::string_view bytes, DecodeMode mode) {
  return TTextDecoder::For(codePage)->Decode(bytes, mode);
}

TEncodeEvent MakeUtf8Encoder(int codePage, DecodeMode mode) {
  std::shared_ptr<const TTextDecoder> decoder = TTextDecoder::For(codePage);
  return [decoder, mode](TDataSet&, const TField&, const std::string& text) {
    return decoder->Decode(text, mode);
  };
}

// ---- escaped bytes ----

void AppendEscapedByte(std::string& out, uint8_t byte) {
  // U+DC00 + byte in UTF-8.
  out.push_back(static_cast<char>(0xED));
  out.push_back(static_cast<char>(0xB0 | (byte >> 6)));
  out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

namespace {

bool IsEscapeAt(std::string_view s, size_t i) {
  return i + 2 < s.size() && static_cast<uint8_t>(s[i]) == 0xED &&
         (static_cast<uint8_t>(s[i + 1]) & 0xFC) == 0xB0 && (static_cast<uint8_t>(s[i + 2]) & 0xC0) == 0x80;
}

}  // namespace

bool NextDecodedPiece(std::string_view& rest, TDecodedPiece& piece) {
  if (rest.empty()) return false;
  if (IsEscapeAt(rest, 0)) {
    piece.Text = {};
    piece.Byte = ((static_cast<uint8_t>(rest[1]) & 0x03) << 6) | (static_cast<uint8_t>(rest[2]) & 0x3F);
    rest.remove_prefix(3);
    return true;
  }
  size_t i = 1;
  while (i < rest.size()) {
    i = rest.find('\xED', i);
    if (i == std::string_view::npos) {
      i = rest.size();
      break;
    }
    if (IsEscapeAt(rest, i)) break;
    ++i;
  }
  piece.Text = rest.substr(0, i);
  piece.Byte = -1;
  rest.remove_prefix(i);
  return true;
}

bool HasEscapedBytes(std::string_view decoded) {
  for (size_t i = decoded.find('\xED'); i != std::string_view::npos; i = decoded.find('\xED', i + 1))
    if (IsEscapeAt(decoded, i)) return true;
  return false;
}

std::string EscapedBytesToHex(std::string_view decoded) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(decoded.size());
  TDecodedPiece piece;
  while (NextDecodedPiece(decoded, piece)) {
    if (piece.Byte < 0) {
      out.append(piece.Text);
    } else {
      out += "\\x";
      out.push_back(kHex[piece.Byte >> 4]);
      out.push_back(kHex[piece.Byte & 15]);
    }
  }
  return out;
}

// ---- menu ----

std::vector<std::pair<int, std::string>> CommonCodePages() {
  std::vector<std::pair<int, std::string>> list;
  for (const auto& c : kCommonCodePages)
    if (CodePageSupported(c.CodePage)) list.emplace_back(c.CodePage, c.Label);
  return list;
}

std::string CodePageLabel(int codePage) {
  for (const auto& c : kCommonCodePages)
    if (c.CodePage == codePage) return c.Label;
  return "Code page " + std::to_string(codePage);
}

}  // namespace korvane
