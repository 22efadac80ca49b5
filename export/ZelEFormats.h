#pragma once
// The table of export formats: the one place that says, for every format, its
// caption, writer class, extension, file filter, category, what it can do, how
// its writer is made and which settings of its own it has. The export monitor,
// the wizard's pages, the export settings files and `korvane-cli export` read it.
// A format joins with its writer file and one row here.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/ZelELang.h"
#include "export/ZelETypes.h"

namespace korvane {

class TZelExportBaseComponent;
class TZelEFormatSettings;

enum TZelEFormatCategory : int { fcDocument = 0, fcDatabase, fcSpreadsheet, fcWeb, fcOther };

// What a format can do; the wizard offers a setting only where the format has it.
enum TZelEFormatAbility : uint32_t {
  faTitles = 1u << 0,          // a row of column titles
  faOriginalTypes = 1u << 1,   // typed cells ("export the original value types")
  faTextOptions = 1u << 2,     // delimited or fixed width, separator, qualifier, record separator
  faSQLOptions = 1u << 3,      // the SQL step
  faHeaderFooter = 1u << 4,    // header and footer lines
  faPageSetup = 1u << 5,       // page orientation and margins
  faAutoFit = 1u << 6,         // columns fitted to their contents
  faLayouts = 1u << 7,         // the layout and colour style step
  faTitleAlignment = 1u << 8,  // alignment of the titles
  faFontsColors = 1u << 9,     // fonts and colours of titles and data
  faColumnWidth = 1u << 10,    // a width per column
  faColorStyle = 1u << 11,     // colour styles of the rows
  faReversed = 1u << 12,       // one record per column
  faTableName = 1u << 13,      // a table name inside the target
  faSheetName = 1u << 14,      // a sheet or document name inside the target
  faMerge = 1u << 15,          // appends to what the target holds
  faNoFile = 1u << 16,         // writes no file of its own (clipboard, a connection)
  faFilterName = 1u << 17,     // an office filter name
  faAccessVersion = 1u << 18,  // a database version
  faBlankRowPerRecord = 1u << 19,  // a blank line after each record in the tabular layout
  faConnection = 1u << 20,     // the target is named by a connection string, not a file name
  faCharacterSet = 1u << 21,   // text in the chosen file origin or its code page (the others write UTF-8)
};

using TZelEWriterFactory = std::function<std::unique_ptr<TZelExportBaseComponent>()>;
using TZelESettingsFactory = std::function<std::unique_ptr<TZelEFormatSettings>()>;

struct TZelEFormat {
  TTableTypeExport Type;
  const char* Name;        // "Text": the format name of the command line and of settings files
  const char* ClassName;   // "TZelExportToText"
  const char* Extension;   // ".TXT"; empty for targets without a file
  TZelEFormatCategory Category;
  uint32_t Abilities;
  TZelEWriterFactory Create;          // empty while the format has no writer
  TZelESettingsFactory NewSettings;   // empty for a format without settings of its own
  // What the format needs and this machine lacks ("" when nothing; empty for
  // formats that need nothing outside the program). Such a format is listed,
  // greyed, with this reason.
  std::function<std::string()> Missing;

  bool Built() const { return static_cast<bool>(Create) && Unavailable().empty(); }
  // Why the format cannot be used here ("" when it can).
  std::string Unavailable() const;
  bool Can(TZelEFormatAbility a) const { return (Abilities & a) != 0; }
  // Language text of the caption ("Text file (*.txt)").
  int CaptionId() const { return txFirstFormatCaption + static_cast<int>(Type); }
  std::string Caption() const;
  // "Text file (*.txt)|*.TXT|All files (*.*)|*.*"
  std::string Filter() const;
};

// Every format, in TTableTypeExport order.
const std::vector<TZelEFormat>& ExportFormats();
const TZelEFormat& ExportFormat(TTableTypeExport t);
// The formats of a category.
TExportFormatTypes FormatsOfCategory(TZelEFormatCategory c);
// A new writer of the format; nullptr when the format has no writer.
std::unique_ptr<TZelExportBaseComponent> CreateWriter(TTableTypeExport t);

// Why a format cannot be chosen on this system ("" when it can): a format
// without a writer, or one whose writer needs what is not installed.
std::string FormatUnavailableReason(TTableTypeExport t);
// The text of the Access entry, which nothing on Linux can write.
extern const char kZelEAccessUnavailable[];

// Puts another row in the place of a format (tests register formats of their own).
// Answers the row it replaced.
TZelEFormat ReplaceExportFormat(const TZelEFormat& row);

}  // namespace korvane
