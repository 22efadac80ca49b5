#include "export/ZelETypes.h"

#include "export/ZelEPlatform.h"

namespace korvane {

namespace {

const char* const kTableTypeNames[kTableTypeCount] = {
    "Paradox", "DBase", "Text",   "HTML",   "XLS",       "Excel", "Word", "SYLK", "DIF",  "WKS",        "Quattro",
    "SQL",     "XML",   "Access", "Clipboard", "RTF", "SPSS",  "PDF",  "LDIF", "ADO", "OpenOffice"};

const char* const kTableTypeExtensions[kTableTypeCount] = {
    ".DB",  ".DBF", ".TXT", ".HTM", ".XLS", ".XLS", ".DOC", ".SLK", ".DIF", ".WK1", ".WQ1",
    ".SQL", ".XML", ".MDB", "",     ".RTF", ".SAV", ".PDF", ".LDIF", "",    ".ODT"};

const char* const kStyleNames[kZelEStyleCount] = {"Normal", "PriceList", "MSMoney", "Brick", "Desert", "Eggplant",
                                                  "Lilac",  "Maple",     "Marine",  "Rose",  "Spruce", "Wheat"};

const char* const kDateOrderNames[6] = {"MDY", "DMY", "YMD", "YDM", "DYM", "MYD"};

}  // namespace

const char* TableTypeName(TTableTypeExport t) {
  return (t >= 0 && t < kTableTypeCount) ? kTableTypeNames[t] : "";
}

bool TableTypeFromName(const std::string& name, TTableTypeExport& out) {
  for (int i = 0; i < kTableTypeCount; ++i) {
    if (SameTextAscii(name, kTableTypeNames[i])) {
      out = static_cast<TTableTypeExport>(i);
      return true;
    }
  }
  return false;
}

const char* TableTypeExtension(TTableTypeExport t) {
  return (t >= 0 && t < kTableTypeCount) ? kTableTypeExtensions[t] : "";
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

}  // namespace korvane
