#include "export/ZelEEscape.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace korvane {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr const char* kReplacement = "\xEF\xBF\xBD";

bool IsNameStartChar(uint32_t c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(uint32_t c) {
  return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

}  // namespace

size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  unsigned char c = b(0);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t n;
  uint32_t min;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    cp = c & 0x1Fu;
    min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    cp = c & 0x0Fu;
    min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    cp = c & 0x07u;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

TZelEOneLineChanges AppendOneLine(std::string& out, std::string_view text, char doubled) {
  TZelEOneLineChanges changes;
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (doubled != 0 && c == doubled) {
      out.append(text.data() + run, i + 1 - run);
      out += doubled;
      run = i + 1;
    } else if (c == '\r' || c == '\n' || c == '\0') {
      out.append(text.data() + run, i - run);
      out += ' ';
      if (c == '\0') {
        changes.Nul = true;
      } else {
        changes.LineBreaks = true;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF: one blank
      }
      run = i + 1;
    }
  }
  out.append(text.data() + run, text.size() - run);
  return changes;
}

void AppendBase64(std::string& out, std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  const auto at = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest == 1) {
    uint32_t v = at(i) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    uint32_t v = (at(i) << 16) | (at(i + 1) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
}

void TZelEBase64Stream::Append(std::string& out, std::string_view bytes) {
  if (carried_ > 0) {
    char group[3];
    size_t n = carried_;
    std::copy(carry_, carry_ + n, group);
    while (n < 3 && !bytes.empty()) {
      group[n++] = bytes.front();
      bytes.remove_prefix(1);
    }
    if (n < 3) {
      std::copy(group, group + n, carry_);
      carried_ = n;
      return;
    }
    AppendBase64(out, std::string_view(group, 3));
    carried_ = 0;
  }
  const size_t whole = bytes.size() / 3 * 3;
  AppendBase64(out, bytes.substr(0, whole));
  carried_ = bytes.size() - whole;
  std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end(), carry_);
}

void TZelEBase64Stream::Finish(std::string& out) {
  AppendBase64(out, std::string_view(carry_, carried_));
  carried_ = 0;
}

std::string Base64(std::string_view bytes) {
  std::string out;
  AppendBase64(out, bytes);
  return out;
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\r':
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += "<br>";
        break;
      case '\n': out += "<br>"; break;
      default: out += c;
    }
  }
}

// Copies the character of UTF-8 text at i (a byte of 80h or above) and steps
// past it; a byte that starts no valid sequence, or a character XML does not
// allow, is written as U+FFFD. Answers 1 when it replaced, else 0.
static size_t AppendXmlCharAt(std::string& out, std::string_view text, size_t& i) {
  uint32_t cp = 0;
  const size_t n = DecodeUtf8(text, i, cp);
  if (n == 0 || cp == 0xFFFE || cp == 0xFFFF) {
    out += kReplacement;
    i += n == 0 ? 1 : n;
    return 1;
  }
  out.append(text.substr(i, n));
  i += n;
  return 0;
}

size_t AppendXmlEscaped(std::string& out, std::string_view text) {
  size_t changed = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      changed += AppendXmlCharAt(out, text, i);
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\r': out += "&#13;"; break;
      case '\n': out += "&#10;"; break;
      case '\t': out += "&#9;"; break;
      case 0: ++changed; break;
      default:
        if (c < 0x20) {
          out += kReplacement;
          ++changed;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return changed;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    size_t n = DecodeUtf8(text, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool IsXmlSafe(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    size_t n = DecodeUtf8(text, i, cp);
    if (n == 0 || (cp < 0x20 && cp != '\t' && cp != '\r' && cp != '\n') || cp == 0xFFFE || cp == 0xFFFF)
      return false;
    i += n;
  }
  return true;
}

std::string XmlName(std::string_view name) {
  std::string out;
  bool first = true;
  for (size_t i = 0; i < name.size();) {
    uint32_t cp = 0;
    size_t n = DecodeUtf8(name, i, cp);
    if (n == 0) {
      cp = '_';
      n = 1;
    }
    if (!IsNameChar(cp)) cp = '_';
    if (first && !IsNameStartChar(cp)) out += '_';
    AppendUtf8(out, cp);
    first = false;
    i += n;
  }
  if (out.empty()) out = "_";
  return out;
}

TZelENameSet::TZelENameSet(TSanitizer sanitize, bool caseInsensitive, std::string separator)
    : sanitize_(std::move(sanitize)), caseInsensitive_(caseInsensitive), separator_(std::move(separator)) {}

std::string TZelENameSet::Key(std::string_view name) const {
  std::string key(name);
  if (caseInsensitive_)
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

bool TZelENameSet::Contains(std::string_view name) const { return used_.count(Key(name)) != 0; }

std::string TZelENameSet::Add(std::string_view name) {
  std::string base = sanitize_ ? sanitize_(name) : std::string(name);
  std::string candidate = base;
  for (int n = 2; Contains(candidate); ++n) candidate = base + separator_ + std::to_string(n);
  used_.insert(Key(candidate));
  return candidate;
}

}  // namespace korvane

namespace korvane {

size_t AppendXmlComment(std::string& out, std::string_view text) {
  size_t changed = 0;
  const size_t start = out.size();
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      changed += AppendXmlCharAt(out, text, i);
      continue;
    }
    ++i;
    if (c == 0) {
      ++changed;
    } else if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
      out += kReplacement;
      ++changed;
    } else {
      if (c == '-' && out.size() > start && out.back() == '-') {
        out += ' ';
        ++changed;
      }
      out += static_cast<char>(c);
    }
  }
  if (out.size() > start && out.back() == '-') out += ' ';
  return changed;
}

}  // namespace korvane
