#pragma once
// Export settings files (".zele"): name=value lines in sections, 8-bit
// text with CR LF line ends. Readers take each key's first value in the file.

#include <map>
#include <string>
#include <vector>

namespace korvane {

// Each byte as two upper-case hexadecimal digits ("\r\n" -> "0D0A").
std::string SpecHexEncode(const std::string& bytes);
// Pairs of hexadecimal digits back to bytes; an odd last digit and pairs that
// are not hexadecimal are ignored.
std::string SpecHexDecode(const std::string& hex);
// Splits file text into lines (CR LF, LF or CR ends).
std::vector<std::string> SpecSplitLines(const std::string& text);

// The key lookup of a settings file: the value of the first line with the key.
class TZelESpecReader {
 public:
  explicit TZelESpecReader(const std::vector<std::string>& lines);
  bool Has(const std::string& key) const;
  // The value, or empty when missing.
  std::string Get(const std::string& key) const;
  bool GetBool(const std::string& key) const { return Get(key) == "1"; }
  // Integer value; false (and out untouched) when missing or not a number.
  bool GetInt(const std::string& key, long long& out) const;
  // An ordinal in 0..count-1; false when missing, not a number or out of range.
  bool GetOrdinal(const std::string& key, int count, int& out) const;
  bool GetFloat(const std::string& key, float& out) const;

 private:
  std::map<std::string, std::string> values_;
};

// One entry of a list of specifications.
struct TZelESpecificationFile {
  std::string FileName;
  std::string SpecName;
};
// Every "*.zele" file of a folder (case-insensitive extension), listed under its
// The name under [Common] (the file name when it has none), sorted by name.
std::vector<TZelESpecificationFile> ListSpecifications(const std::string& folder);

}  // namespace korvane
