#include "export/ZelESettings.h"

#include <charconv>

#include "export/ZelEFormats.h"
#include "export/ZelESpecs.h"

namespace korvane {

namespace settings_detail {

namespace {

[[noreturn]] void Bad(const std::string& key, const std::string& value, const std::string& what) {
  throw EZelESettingError(key + " does not take \"" + value + "\": " + what);
}

bool ParseInt(const std::string& s, long long& out) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, out);
  return ec == std::errc() && p == e && b != e;
}

}  // namespace

std::string FileForm(TZelESettingKind kind, const std::string& value) {
  return kind == TZelESettingKind::HexText ? SpecHexEncode(value) : value;
}

std::string ParseValue(TZelESettingKind kind, const std::string& key, const std::string& value, bool fromUser,
                       long long min, long long max, const std::vector<const char*>& names) {
  switch (kind) {
    case TZelESettingKind::Text:
      return value;
    case TZelESettingKind::HexText: {
      if (fromUser) return value;
      std::string raw = SpecHexDecode(value);
      if (raw.size() * 2 != value.size()) Bad(key, value, "not hexadecimal");
      return raw;
    }
    case TZelESettingKind::Boolean: {
      if (value == "1" || value == "0") return value;
      if (fromUser) {
        if (SameTextAscii(value, "true") || SameTextAscii(value, "yes") || SameTextAscii(value, "on")) return "1";
        if (SameTextAscii(value, "false") || SameTextAscii(value, "no") || SameTextAscii(value, "off")) return "0";
      }
      Bad(key, value, "a boolean is 1 or 0");
    }
    case TZelESettingKind::Integer: {
      long long n = 0;
      if (!ParseInt(value, n)) Bad(key, value, "not a whole number");
      if (n < min || n > max) Bad(key, value, "out of range " + std::to_string(min) + ".." + std::to_string(max));
      return std::to_string(n);
    }
    case TZelESettingKind::Ordinal: {
      long long n = 0;
      if (ParseInt(value, n)) {
        if (n < min || n > max) Bad(key, value, "out of range " + std::to_string(min) + ".." + std::to_string(max));
        return std::to_string(n);
      }
      if (fromUser) {
        for (size_t i = 0; i < names.size(); ++i)
          if (SameTextAscii(value, names[i])) return std::to_string(i);
      }
      Bad(key, value, "takes " + DescribeKind(kind, min, max, names));
    }
  }
  return value;
}

std::string DescribeKind(TZelESettingKind kind, long long min, long long max, const std::vector<const char*>& names) {
  switch (kind) {
    case TZelESettingKind::Text:
      return "text";
    case TZelESettingKind::HexText:
      return "text (stored in hexadecimal)";
    case TZelESettingKind::Boolean:
      return "1 or 0";
    case TZelESettingKind::Integer:
      return std::to_string(min) + ".." + std::to_string(max);
    case TZelESettingKind::Ordinal: {
      std::string s;
      for (const char* n : names) s += (s.empty() ? "" : "|") + std::string(n);
      return s;
    }
  }
  return {};
}

}  // namespace settings_detail

TZelEFormatSettingsSet& TZelEFormatSettingsSet::operator=(const TZelEFormatSettingsSet& o) {
  if (this == &o) return *this;
  items_.clear();
  for (const auto& [t, s] : o.items_) items_[t] = s->Clone();
  return *this;
}

TZelEFormatSettings* TZelEFormatSettingsSet::Of(TTableTypeExport t) {
  auto it = items_.find(t);
  if (it != items_.end()) return it->second.get();
  const TZelEFormat& f = ExportFormat(t);
  if (!f.NewSettings) return nullptr;
  auto& slot = items_[t];
  slot = f.NewSettings();
  return slot.get();
}

const TZelEFormatSettings* TZelEFormatSettingsSet::Find(TTableTypeExport t) const {
  auto it = items_.find(t);
  return it == items_.end() ? nullptr : it->second.get();
}

void TZelEFormatSettingsSet::AddAll() {
  for (const TZelEFormat& f : ExportFormats()) Of(f.Type);
}

void TZelEFormatSettingsSet::Merge(const TZelEFormatSettingsSet& source) {
  if (this == &source) return;
  for (const auto& [t, s] : source.items_) items_[t] = s->Clone();
}

bool TZelEFormatSettingsSet::operator==(const TZelEFormatSettingsSet& o) const {
  if (items_.size() != o.items_.size()) return false;
  for (const auto& [t, s] : items_) {
    const TZelEFormatSettings* other = o.Find(t);
    if (!other || !s->Equals(*other)) return false;
  }
  return true;
}

}  // namespace korvane
