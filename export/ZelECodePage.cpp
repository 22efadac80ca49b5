#include "export/ZelECodePage.h"

#include <iconv.h>

#include "engine/language.h"
#include "engine/pdx.h"
#include "platform/textcodec.h"

namespace korvane {

namespace {

bool IsWindowsCodePage(int cp) {
  return cp == 874 || cp == 932 || cp == 936 || cp == 949 || cp == 950 || (cp >= 1250 && cp <= 1258);
}

// The length of the UTF-8 sequence at the front of s and its code point; 0 when
// the front is not a whole, valid sequence.
size_t NextChar(std::string_view s, uint32_t& cp) {
  const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t c = b(0);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || s.size() < n) return 0;
  cp = c & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  // Overlong forms and values beyond Unicode are not characters.
  static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF) return 0;
  return n;
}

}  // namespace

int WindowsCodePageOf(int cp) {
  if (IsWindowsCodePage(cp)) return cp;
  switch (cp) {
    case 852: return 1250;
    case 855:
    case 866: return 1251;
    case 737:
    case 869: return 1253;
    case 857: return 1254;
    case 862: return 1255;
    case 720:
    case 864: return 1256;
    case 775: return 1257;
    default: return 1252;  // 437, 850, 860-865 and anything else
  }
}

int DosCodePageOf(int windowsCodePage) {
  switch (windowsCodePage) {
    case 1252: return 850;
    case 1250: return 852;
    case 1251: return 866;
    case 1253: return 737;
    case 1254: return 857;
    case 1255: return 862;
    case 1256: return 720;
    case 1257: return 775;
    default: return windowsCodePage;
  }
}

int TableCodePage(const TDataSet* dataset) {
  auto* table = dynamic_cast<const TPdx*>(dataset);
  if (!table) return 0;
  const int index = table->LanguageIndex();
  if (index > 0 && index <= kLanguageDriverCount && LanguageDrivers[index].CodePageNumber != 0)
    return LanguageDrivers[index].CodePageNumber;
  return table->Active() ? SourceCodePage(*table, 0) : kCodePageDefault;
}

int OutputCodePage(int codePage, int tableCodePage, TCharacterSet origin) {
  if (codePage != 0) return codePage;
  const int windows = WindowsCodePageOf(tableCodePage == 0 ? 1252 : tableCodePage);
  return origin == csASCII_MSDOS ? DosCodePageOf(windows) : windows;
}

TZelECodePageText::TZelECodePageText(int codePage) : codePage_(codePage) {
  std::shared_ptr<const TTextDecoder> decoder;
  try {
    decoder = TTextDecoder::For(codePage);
  } catch (const std::exception&) {
    throw EZelExportError("Text cannot be written in code page " + std::to_string(codePage) +
                          " on this system; choose another code page.");
  }
  singleByte_ = decoder->SingleByte();
  if (singleByte_) {
    for (int b = 0; b < 256; ++b) {
      const std::string s = decoder->Decode(std::string(1, static_cast<char>(b)), DecodeMode::Replace);
      uint32_t cp = 0;
      if (s.empty() || s == "\xEF\xBF\xBD" || NextChar(s, cp) != s.size()) continue;
      bytes_.emplace(cp, static_cast<char>(b));  // the first byte of a character wins
    }
    return;
  }
  iconv_t cd = iconv_open(IconvNameOf(codePage).c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw EZelExportError("Text cannot be written in code page " + std::to_string(codePage) +
                          " on this system; choose another code page.");
  cd_ = cd;
}

TZelECodePageText::~TZelECodePageText() {
  if (cd_) iconv_close(static_cast<iconv_t>(cd_));
}

bool TZelECodePageText::Char(std::string_view ch, std::string& bytes) const {
  bytes.clear();
  if (singleByte_) {
    uint32_t cp = 0;
    NextChar(ch, cp);
    auto it = bytes_.find(cp);
    if (it == bytes_.end()) return false;
    bytes = it->second;
    return true;
  }
  iconv_t cd = static_cast<iconv_t>(cd_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buf[16];
  char* in = const_cast<char*>(ch.data());
  size_t inLeft = ch.size();
  char* dst = buf;
  size_t outLeft = sizeof buf;
  if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
  // Shift sequences back to the initial state (stateful encodings).
  if (iconv(cd, nullptr, nullptr, &dst, &outLeft) == static_cast<size_t>(-1)) return false;
  bytes.assign(buf, static_cast<size_t>(dst - buf));
  return !bytes.empty();
}

TZelECodePageText::TResult TZelECodePageText::Append(std::string& out, std::string_view utf8,
                                                    size_t maxBytes) const {
  TResult r;
  size_t written = 0;
  std::string bytes;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t cp = 0;
    size_t n = NextChar(utf8.substr(i), cp);
    bool ok = false;
    if (n == 0) {
      n = 1;  // a byte that starts no character
    } else if (cp < 0x80 && !singleByte_) {
      bytes.assign(1, static_cast<char>(cp));
      ok = true;
    } else {
      ok = Char(utf8.substr(i, n), bytes);
    }
    if (!ok) bytes = "?";
    if (written + bytes.size() > maxBytes) {
      r.Cut = true;
      break;
    }
    if (!ok) ++r.Replaced;
    out += bytes;
    written += bytes.size();
    i += n;
  }
  return r;
}

}  // namespace korvane
