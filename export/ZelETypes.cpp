#include "export/ZelETypes.h"

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

}  // namespace korvane
