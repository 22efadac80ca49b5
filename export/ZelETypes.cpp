#include "export/ZelETypes.h"

#include <charconv>

#include "export/ZelEFormats.h"
#include "export/ZelEPlatform.h"

namespace korvane {

namespace {

const char* const kStyleNames[kZelEStyleCount] = {"Normal", "PriceList", "MSMoney", "Brick", "Desert", "Eggplant",
                                                  "Lilac",  "Maple",     "Marine",  "Rose",  "Spruce", "Wheat"};

const char* const kDateOrderNames[6] = {"MDY", "DMY", "YMD", "YDM", "DYM", "MYD"};

}  // namespace

const char* TableTypeName(TTableTypeExport t) {
  return (t >= 0 && t < kTableTypeCount) ? ExportFormat(t).Name : "";
}

bool TableTypeFromName(const std::string& name, TTableTypeExport& out) {
  for (const TZelEFormat& f : ExportFormats()) {
    if (SameTextAscii(name, f.Name)) {
      out = f.Type;
      return true;
    }
  }
  return false;
}

const char* TableTypeExtension(TTableTypeExport t) {
  return (t >= 0 && t < kTableTypeCount) ? ExportFormat(t).Extension : "";
}

const char* StyleName(TZelEStyle s) { return (s >= 0 && s < kZelEStyleCount) ? kStyleNames[s] : ""; }

const char* DateOrderName(TZelEDateOrder d) { return (d >= 0 && d < 6) ? kDateOrderNames[d] : ""; }

std::string ZelEFormat(const std::string& pattern, std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto it = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
      if (it != args.end()) out += *it++;
      ++i;
    } else if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

TZelEServices& SilentServices() {
  static TZelESilentServices services;
  return services;
}

namespace {

// The sign, the whole digits without leading zeros and the fraction without
// trailing zeros of a decimal text, to compare two texts of one value.
std::string CanonicalDecimal(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const size_t dot = s.find('.');
  std::string whole(s.substr(0, dot)), frac(dot == std::string_view::npos ? "" : s.substr(dot + 1));
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  frac.erase(frac.find_last_not_of('0') + 1);
  if (whole.empty() && frac.empty()) return "0";
  return (negative ? "-" : "") + whole + (frac.empty() ? "" : "." + frac);
}

}  // namespace

bool ExactDoubleOfDecimal(std::string_view text, double& out) {
  double d = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), d);
  if (r.ec != std::errc()) return false;
  char buf[400];
  const auto back = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  if (back.ec != std::errc() ||
      CanonicalDecimal(text) != CanonicalDecimal(std::string_view(buf, static_cast<size_t>(back.ptr - buf))))
    return false;
  out = d;
  return true;
}

}  // namespace korvane
