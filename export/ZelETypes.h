#pragma once
// Enumerations and small value types shared by the export components, the data
// engines, the writers and the export settings files. Ordinals are significant:
// export settings files store them.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/dataset.h"

namespace korvane {

// Target formats, in the order every list of formats uses.
enum TTableTypeExport : int {
  teParadox = 0,
  teDBase,
  teText,
  teHTML,
  teXLS,
  teExcel,
  teWord,
  teSYLK,
  teDIF,
  teWKS,
  teQuattro,
  teSQL,
  teXML,
  teAccess,
  teClipboard,
  teRTF,
  teSPSS,
  tePDF,
  teLDIF,
  teADO,
  teOpenOffice,
};
constexpr int kTableTypeCount = 21;

// "Paradox", "DBase", "Text", ... (the name without its "te" prefix).
const char* TableTypeName(TTableTypeExport t);
// Case-insensitive inverse of TableTypeName; false when no format has that name.
bool TableTypeFromName(const std::string& name, TTableTypeExport& out);
// ".DB", ".DBF", ".TXT", ...; empty for the clipboard and ADO targets.
const char* TableTypeExtension(TTableTypeExport t);

// A set of formats.
struct TExportFormatTypes {
  uint32_t Bits = (1u << kTableTypeCount) - 1;  // all formats
  static TExportFormatTypes None() { return TExportFormatTypes{0}; }
  static TExportFormatTypes All() { return TExportFormatTypes{}; }
  bool Has(TTableTypeExport t) const { return (Bits >> t) & 1u; }
  void Include(TTableTypeExport t) { Bits |= 1u << t; }
  void Exclude(TTableTypeExport t) { Bits &= ~(1u << t); }
  bool operator==(const TExportFormatTypes&) const = default;
};

enum TActionAfterExport : int { aeNone = 0, aeOpenView, aeEMail };
enum TCharacterSet : int { csANSI_WINDOWS = 0, csASCII_MSDOS, csEBCDIC };
enum TColumnSource : int { csDBGrid = 0, csDataSet, csDataEngine };
enum TZelELayout : int { elColumnar = 0, elReversedColumnar, elTabularForm };
enum TZelEResult : int { erInProgress = 0, erCompleted, erCanceled, erFailed };

// Cell types handed to the writers with every cell.
enum TCellType : int {
  ctBlank = 0,
  ctInteger,
  ctDouble,
  ctString,
  ctDateTime,
  ctDate,
  ctCurrency,
  ctTime,
  ctMEMO,
  ctGraphic,
  ctBoolean,
};

// The native value of a data cell, handed to the writers beside its text so that
// typed formats never read a value back from its display text.
struct TZelECellValue {
  enum Kind : int {
    cvNull = 0,  // no value (a null field, an empty column)
    cvInteger,   // Integer
    cvDouble,    // Double
    cvCurrency,  // Double
    cvBCD,       // Text: the decimal with every stored digit ("-12.50")
    cvDate,      // Integer: day number, day 1 = 1 January of year 1
    cvTime,      // Integer: milliseconds since midnight
    cvDateTime,  // Integer: day number * 86400000 + milliseconds
    cvBoolean,   // Boolean
    cvText,      // the cell's text is the value
    cvBlob,      // BLOB data: read through the field's BLOB stream
  };
  Kind kind = cvNull;
  int64_t Integer = 0;
  double Double = 0;
  bool Boolean = false;
  std::string Text;
  bool IsNull() const { return kind == cvNull; }
};

enum TZelOption : int {
  soFieldMask = 0,
  soShowMessage,
  soBlankRowAfterCaptions,
  soMergeData,
  soWaitCursor,
  soDisableControls,
  soUseFieldNameAsCaption,
  soColLines,
  soRowLines,
  soColorsFonts,
  soExportBlankValues,
  soExportBands,
  soExportInvisibleFields,
};
constexpr int kZelOptionCount = 13;

// The option set, stored as a 16-bit mask (bit n = element n).
struct TZelOptions {
  uint16_t Mask = 0;
  TZelOptions() = default;
  TZelOptions(std::initializer_list<TZelOption> opts) {
    for (TZelOption o : opts) Include(o);
  }
  static TZelOptions FromMask(uint16_t m) {
    TZelOptions r;
    r.Mask = m & ((1u << kZelOptionCount) - 1);
    return r;
  }
  bool Has(TZelOption o) const { return (Mask >> o) & 1u; }
  void Include(TZelOption o) { Mask = static_cast<uint16_t>(Mask | (1u << o)); }
  void Exclude(TZelOption o) { Mask = static_cast<uint16_t>(Mask & ~(1u << o)); }
  void Set(TZelOption o, bool on) { on ? Include(o) : Exclude(o); }
  bool operator==(const TZelOptions&) const = default;
};

// Colour styles of the rows.
enum TZelEStyle : int {
  esNormal = 0,
  esPriceList,
  esMSMoney,
  esBrick,
  esDesert,
  esEggplant,
  esLilac,
  esMaple,
  esMarine,
  esRose,
  esSpruce,
  esWheat,
};
constexpr int kZelEStyleCount = 12;
const char* StyleName(TZelEStyle s);  // "Normal", "PriceList", ...

enum TZelEMeasure : int { emPoint = 0, emInch, emCentimeters, emPicas };
enum TZelEOrientation : int { emDefault = 0, emPortrait, emLandscape };
enum TZelEDateOrder : int { doMDY = 0, doDMY, doYMD, doYDM, doDYM, doMYD };
const char* DateOrderName(TZelEDateOrder d);  // "MDY", "DMY", ...

// Failures of an export run (bad settings, files that cannot be created).
class EZelExportError : public Exception {
 public:
  using Exception::Exception;
};

// Substitutes the arguments for the "%s" and "%d" markers of a text, in order.
std::string ZelEFormat(const std::string& pattern, std::initializer_list<std::string> args);

// The double of a decimal text (a BCD value's digits) when that double gives the
// same decimal back, so a cell may hold it as a number without changing the value;
// false when it would change a digit.
bool ExactDoubleOfDecimal(std::string_view text, double& out);

}  // namespace korvane
