#pragma once
// LDAP data interchange file (LDIF version 1): one directory entry per record,
// one attribute line per non-empty value. Header and footer lines are comments.
//
// Attribute descriptors are made from the field names: ASCII letters, digits
// and "-", a letter first (accents folded, any other character "-"), unique
// without regard to case. An entry's name is the first exported column's
// descriptor and value (the record number when the value is empty), followed by
// the base DN of the settings. Values that cannot stand as they are (non-ASCII,
// control characters, a leading space, colon or "<", a trailing space) are
// written in Base64; binary data goes as its bytes, so nothing is lost.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

struct TZelELDIFSettings {
  // Appended to every entry's name after a comma ("ou=parts,dc=example,dc=com");
  // empty: the entry's name is its own relative name alone.
  std::string LDIFBaseDN;
  bool operator==(const TZelELDIFSettings&) const = default;

  static constexpr const char* kSection = "LDIF";
  static constexpr bool kBlankLineBefore = false;
  static const std::vector<TZelESettingKey<TZelELDIFSettings>>& Keys() {
    using S = TZelELDIFSettings;
    static const std::vector<TZelESettingKey<S>> keys = {
        TextKey("LDIFBaseDN", &S::LDIFBaseDN),
    };
    return keys;
  }
};

// An attribute descriptor for a field name: letters with accents folded to their
// base letter, other characters "-" (runs of them once, none at the end), leading
// characters that are no letter dropped; "field<column>" when nothing is left.
std::string LdifDescriptor(std::string_view fieldName, int column);
// Whether a value can follow "name: " as it is (else it goes in Base64).
bool LdifSafeValue(std::string_view value);
// An attribute value as it stands in a distinguished name: the special
// characters, a leading space or "#", a trailing space escaped with "\", control
// characters and bytes that are no UTF-8 as "\XX".
void AppendRdnValue(std::string& out, std::string_view value);

class TZelExportToLDIF : public TZelExportToCellFile {
 public:
  TZelExportToLDIF();

  // The structural object class of every entry (besides "top").
  std::string ObjectClass = "organization";

  TZelELDIFSettings& Settings() { return FormatSettings.Get<TZelELDIFSettings>(teLDIF); }
  const TZelELDIFSettings& Settings() const;

  void GetDefaultExt(std::string& ext) const override { ext = ".LDIF"; }
  bool CanWriteTitle() const override { return false; }
  void BeginExecute() override;
  void EndExecute() override;
  void WriteFileBegin() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;

  // The descriptors of the exported columns in this run, in column order.
  const std::vector<std::string>& Descriptors() const { return names_; }

 protected:
  bool StreamsBlobs() const override { return true; }

 private:
  // A long BLOB's value in an entry: read again where entry_ has it.
  struct TStreamedValue {
    size_t At;  // in entry_
    const TField* Field;
    bool Base64;
  };
  void MakeDescriptors();
  // A long BLOB's value in pieces: its bytes for binary data, else its text.
  void ReadValue(const TField& field, const std::function<void(std::string_view)>& sink) const;
  // The same escaped as it stands in the entry's name.
  void ReadRdnValue(const TField& field, const std::function<void(std::string_view)>& sink) const;
  // The bytes of a data cell: raw data for binary fields, else the text.
  const std::string& CellBytes(const TField* field, const std::string& text);
  void WriteComment(std::string_view text);

  TZelELDIFSettings run_;
  TZelELayout savedLayout_ = elColumnar;
  bool layoutForced_ = false;
  std::vector<std::string> names_;
  bool inEntry_ = false;
  bool versionWritten_ = false;
  bool haveRdn_ = false;
  std::string rdnValue_;
  const TField* rdnField_ = nullptr;  // a long first value, read when the entry is written
  bool rdnEmpty_ = true;
  std::vector<TStreamedValue> streamedValues_;
  std::string entry_;  // attribute lines of the entry being built
  std::string line_;
  std::string raw_;
};

}  // namespace korvane
