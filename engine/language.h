#pragma once
// Language drivers of Paradox tables: the known drivers, the detection of a
// table's driver from its header, and the recoding of text by the driver's
// code page into UTF-8, KOI8-R or code page 1251.

#include <cstdint>
#include <string>

namespace korvane {

struct TLanguageDriver {
  const char* Name;         // at most 20 characters
  uint8_t SortOrder;        // the header's sort-order byte
  uint16_t CodePageNumber;  // code page of the driver's text
  const char* DriverName;   // short name stored after the field names, at most 8 characters
};

constexpr int kLanguageDriverCount = 118;

// The known drivers, numbered from 1; entry 0 stands for "no driver" (empty names,
// code page 0) so that a language index can be used directly.
extern const TLanguageDriver LanguageDrivers[kLanguageDriverCount + 1];

// The driver of a table, 1..118, or 0 when none matches. Tables before file
// version 5 match on the sort-order byte alone; later ones also on the header's
// code page and the sort-order name (compared exactly, case-sensitively). The
// first matching entry in table order wins.
int FindLanguage(int fileVersion, uint8_t sortOrder, uint16_t dosCodePage, const std::string& sortOrderName);

// Name of driver `index` (1..118), else the empty text.
std::string LanguageName(int index);

// Index of the first driver whose name equals `name` exactly, else 0.
int LanguageIndexByName(const std::string& name);

// Recodes text of a table with driver `languageIndex` into the encoding named by
// `codepage`: "UTF-8", "KOI8R" or "CP1251" (compared exactly). Only drivers with
// code page 866 (to all three) or 1251 (to UTF-8 and KOI8-R) recode; every other
// combination returns the text unchanged. A character without a counterpart in
// the target raises eConvException (engine/conv.h).
std::string RecodeText(int languageIndex, const std::string& codepage, const std::string& text);

}  // namespace korvane
