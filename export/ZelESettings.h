#pragma once
// Settings of one format: a plain struct that lives beside its writer, described
// by a list of keys so that the export components carry it, Assign copies it, an
// export settings file stores it in a section of its own and the command line
// sets any key by name ("--set Text.TextQualifying=all").
//
// A settings struct T provides
//   static constexpr const char* kSection;        // section of the settings file
//   static constexpr bool kBlankLineBefore;       // an empty line before the section
//   static const std::vector<TZelESettingKey<T>>& Keys();

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "engine/sysutils.h"
#include "export/ZelETypes.h"

namespace korvane {

// How a key is written in a settings file and read from text.
enum class TZelESettingKind {
  Text,     // as it stands
  HexText,  // each byte as two hexadecimal digits (separators, quotes)
  Boolean,  // "1" / "0"; the command line also takes true/false, yes/no
  Integer,  // decimal, within [Min, Max]
  Ordinal,  // an enumeration: its ordinal in the file, its name or ordinal on the command line
};

template <class T>
struct TZelESettingKey {
  const char* Name;
  TZelESettingKind Kind;
  std::function<std::string(const T&)> Get;      // the file form
  std::function<void(T&, const std::string&)> Set;  // from the file form
  long long Min = 0, Max = 0;                      // Integer
  std::vector<const char*> Names;                  // Ordinal: the name of each ordinal
};

// A value that a key does not take.
struct EZelESettingError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Type-erased settings of one format.
class TZelEFormatSettings {
 public:
  virtual ~TZelEFormatSettings() = default;
  virtual std::unique_ptr<TZelEFormatSettings> Clone() const = 0;
  virtual const char* Section() const = 0;
  virtual bool BlankLineBefore() const = 0;
  virtual std::vector<std::string> KeyNames() const = 0;
  // The key's value in its file form (hexadecimal for HexText keys); throws
  // EZelESettingError for an unknown key.
  virtual std::string Get(const std::string& key) const = 0;
  // Sets a key from its file form (fromUser: also names of ordinals and words for
  // booleans, as the command line takes them); throws EZelESettingError for an
  // unknown key or a value the key does not take, and then changes nothing.
  virtual void Set(const std::string& key, const std::string& value, bool fromUser) = 0;
  // What a key takes, for help texts.
  virtual std::string Describe(const std::string& key) const = 0;
  virtual bool Equals(const TZelEFormatSettings& other) const = 0;
};

namespace settings_detail {
// The value as a settings file holds it (hexadecimal for HexText).
std::string FileForm(TZelESettingKind kind, const std::string& value);
// The value a key's setter takes, from the file form or from what a user typed.
std::string ParseValue(TZelESettingKind kind, const std::string& key, const std::string& value, bool fromUser,
                       long long min, long long max, const std::vector<const char*>& names);
std::string DescribeKind(TZelESettingKind kind, long long min, long long max, const std::vector<const char*>& names);
}  // namespace settings_detail

template <class T>
class TZelESettingsOf final : public TZelEFormatSettings {
 public:
  T Value;

  std::unique_ptr<TZelEFormatSettings> Clone() const override { return std::make_unique<TZelESettingsOf>(*this); }
  const char* Section() const override { return T::kSection; }
  bool BlankLineBefore() const override { return T::kBlankLineBefore; }
  std::vector<std::string> KeyNames() const override {
    std::vector<std::string> out;
    for (const auto& k : T::Keys()) out.emplace_back(k.Name);
    return out;
  }
  std::string Get(const std::string& key) const override {
    const auto& k = Find(key);
    return settings_detail::FileForm(k.Kind, k.Get(Value));
  }
  void Set(const std::string& key, const std::string& value, bool fromUser) override {
    const auto& k = Find(key);
    k.Set(Value, settings_detail::ParseValue(k.Kind, k.Name, value, fromUser, k.Min, k.Max, k.Names));
  }
  std::string Describe(const std::string& key) const override {
    const auto& k = Find(key);
    return settings_detail::DescribeKind(k.Kind, k.Min, k.Max, k.Names);
  }
  bool Equals(const TZelEFormatSettings& other) const override {
    auto* o = dynamic_cast<const TZelESettingsOf*>(&other);
    return o && o->Value == Value;
  }

 private:
  static const TZelESettingKey<T>& Find(const std::string& key) {
    for (const auto& k : T::Keys())
      if (SameTextAscii(key, k.Name)) return k;
    throw EZelESettingError(std::string("the ") + T::kSection + " settings have no key \"" + key + "\"");
  }
};

// Key helpers for the common member kinds.
template <class T>
TZelESettingKey<T> TextKey(const char* name, std::string T::*m) {
  return {name, TZelESettingKind::Text, [m](const T& s) { return s.*m; },
          [m](T& s, const std::string& v) { s.*m = v; }};
}
template <class T>
TZelESettingKey<T> HexTextKey(const char* name, std::string T::*m) {
  return {name, TZelESettingKind::HexText, [m](const T& s) { return s.*m; },
          [m](T& s, const std::string& v) { s.*m = v; }};
}
template <class T>
TZelESettingKey<T> BoolKey(const char* name, bool T::*m) {
  return {name, TZelESettingKind::Boolean, [m](const T& s) { return std::string(s.*m ? "1" : "0"); },
          [m](T& s, const std::string& v) { s.*m = v == "1"; }};
}
template <class T>
TZelESettingKey<T> IntKey(const char* name, int T::*m, long long min, long long max) {
  return {name, TZelESettingKind::Integer, [m](const T& s) { return std::to_string(s.*m); },
          [m](T& s, const std::string& v) { s.*m = std::stoi(v); }, min, max};
}
// A single character, stored in hexadecimal ("00" for none).
template <class T>
TZelESettingKey<T> CharKey(const char* name, char T::*m) {
  return {name, TZelESettingKind::HexText, [m](const T& s) { return std::string(1, s.*m); },
          [m](T& s, const std::string& v) {
            if (!v.empty()) s.*m = v[0];
          }};
}
template <class T, class E>
TZelESettingKey<T> OrdinalKey(const char* name, E T::*m, std::vector<const char*> names) {
  return {name,
          TZelESettingKind::Ordinal,
          [m](const T& s) { return std::to_string(static_cast<int>(s.*m)); },
          [m](T& s, const std::string& v) { s.*m = static_cast<E>(std::stoi(v)); },
          0,
          static_cast<long long>(names.size()) - 1,
          std::move(names)};
}

// The settings of every format a component carries, by format. Copying copies
// the settings (never shares them).
class TZelEFormatSettingsSet {
 public:
  TZelEFormatSettingsSet() = default;
  TZelEFormatSettingsSet(const TZelEFormatSettingsSet& o) { *this = o; }
  TZelEFormatSettingsSet& operator=(const TZelEFormatSettingsSet& o);
  TZelEFormatSettingsSet(TZelEFormatSettingsSet&&) = default;
  TZelEFormatSettingsSet& operator=(TZelEFormatSettingsSet&&) = default;

  // The settings of format t, made with their defaults when the set has none yet;
  // nullptr for a format without settings of its own.
  TZelEFormatSettings* Of(TTableTypeExport t);
  const TZelEFormatSettings* Find(TTableTypeExport t) const;
  // The typed settings of format t (created with defaults when missing).
  template <class T>
  T& Get(TTableTypeExport t) {
    auto* s = dynamic_cast<TZelESettingsOf<T>*>(Of(t));
    if (!s) throw std::logic_error(std::string("format has no settings of type ") + typeid(T).name());
    return s->Value;
  }
  // Settings of every format that has them.
  void AddAll();
  // Takes over the settings of the formats source carries (others stay).
  void Merge(const TZelEFormatSettingsSet& source);
  bool Empty() const { return items_.empty(); }
  const std::map<TTableTypeExport, std::unique_ptr<TZelEFormatSettings>>& Items() const { return items_; }
  bool operator==(const TZelEFormatSettingsSet& o) const;

 private:
  std::map<TTableTypeExport, std::unique_ptr<TZelEFormatSettings>> items_;
};

}  // namespace korvane
