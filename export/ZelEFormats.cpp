#include "export/ZelEFormats.h"

#include "export/ExportDS.h"
#include "export/ZelESettings.h"
#include "export/formats/ZelE2BDE.h"
#include "export/formats/ZelE2ADO.h"
#include "export/formats/ZelE2CLP.h"
#include "export/formats/ZelE2DBF.h"
#include "export/formats/ZelE2DIF.h"
#include "export/formats/ZelE2HTML.h"
#include "export/formats/ZelE2LDIF.h"
#include "export/formats/ZelE2RTF.h"
#include "export/formats/ZelE2PDF.h"
#include "export/formats/ZelE2SPSS.h"
#include "export/formats/ZelE2SQL.h"
#include "export/formats/ZelE2SYLK.h"
#include "export/formats/ZelE2TXT.h"
#include "export/formats/ZelE2WKS.h"
#include "export/formats/ZelE2WQ.h"
#include "export/formats/ZelE2XML.h"
#include "export/formats/ZelE2XLS.h"
// Office suite formats
#include "export/formats/ZelE2Excel.h"
#include "export/formats/ZelE2OOo.h"
#include "export/formats/ZelE2Word.h"
#include "platform/office/office.h"

namespace korvane {

namespace {

template <class W>
TZelEWriterFactory Writer() {
  return [] { return std::unique_ptr<TZelExportBaseComponent>(new W()); };
}

template <class S>
TZelESettingsFactory Settings() {
  return [] { return std::unique_ptr<TZelEFormatSettings>(new TZelESettingsOf<S>()); };
}

// What most file formats share.
constexpr uint32_t kSheet = faTitles | faOriginalTypes | faHeaderFooter | faLayouts | faTitleAlignment |
                            faFontsColors | faColumnWidth | faColorStyle | faReversed;

std::vector<TZelEFormat> MakeTable() {
  return {
      {teParadox, "Paradox", "TZelExportToBDE", ".DB", fcDatabase, faOriginalTypes | faColumnWidth | faReversed | faMerge,
       Writer<TZelExportToBDE>(), Settings<TZelEBDESettings>()},
      {teDBase, "DBase", "TZelExportToDBF", ".DBF", fcDatabase, faOriginalTypes | faColumnWidth | faCharacterSet,
       Writer<TZelExportToDBF>(), nullptr},
      {teText, "Text", "TZelExportToText", ".TXT", fcDocument,
       faTitles | faTextOptions | faHeaderFooter | faLayouts | faTitleAlignment | faMerge | faBlankRowPerRecord |
           faCharacterSet,
       Writer<TZelExportToText>(), Settings<TZelETextSettings>()},
      {teHTML, "HTML", "TZelExportToHTML", ".HTM", fcWeb,
       faTitles | faHeaderFooter | faLayouts | faTitleAlignment | faFontsColors | faColumnWidth | faColorStyle,
       Writer<TZelExportToHTML>(), Settings<TZelEHTMLSettings>()},
      {teXLS, "XLS", "TZelExportToXLS", ".XLS", fcSpreadsheet, kSheet | faCharacterSet, Writer<TZelExportToXLS>(),
       nullptr},
      {teExcel, "Excel", "TZelExportToExcel", ".XLS", fcSpreadsheet,
       kSheet | faPageSetup | faAutoFit | faSheetName | faMerge, Writer<TZelExportToExcel>(),
       nullptr, [] { return office::OfficeUnavailable(office::TApp::Calc); }},
      {teWord, "Word", "TZelExportToWord", ".DOC", fcDocument,
       (kSheet & ~faOriginalTypes) | faPageSetup | faAutoFit | faMerge, Writer<TZelExportToWord>(), nullptr,
       [] { return office::OfficeUnavailable(office::TApp::Writer); }},
      {teSYLK, "SYLK", "TZelExportToSYLK", ".SLK", fcOther,
       faTitles | faOriginalTypes | faHeaderFooter | faColumnWidth | faReversed | faSheetName | faCharacterSet,
       Writer<TZelExportToSYLK>(), nullptr},
      {teDIF, "DIF", "TZelExportToDIF", ".DIF", fcOther,
       faTitles | faOriginalTypes | faHeaderFooter | faColumnWidth | faReversed | faSheetName | faCharacterSet,
       Writer<TZelExportToDIF>(), nullptr},
      {teWKS, "WKS", "TZelExportToWKS", ".WK1", fcSpreadsheet, kSheet | faCharacterSet, Writer<TZelExportToWKS>(),
       nullptr},
      {teQuattro, "Quattro", "TZelExportToQuattro", ".WQ1", fcSpreadsheet, kSheet | faCharacterSet,
       Writer<TZelExportToQuattro>(), nullptr},
      {teSQL, "SQL", "TZelExportToSQL", ".SQL", fcDatabase,
       faTitles | faOriginalTypes | faSQLOptions | faHeaderFooter | faTableName, Writer<TZelExportToSQL>(),
       Settings<TZelESQLOptions>()},
      {teXML, "XML", "TZelExportToXML", ".XML", fcWeb,
       faTitles | faOriginalTypes | faHeaderFooter | faColumnWidth | faReversed | faMerge,
       Writer<TZelExportToXML>(), Settings<TZelEXMLSettings>()},
      {teAccess, "Access", "TZelExportToAccess", ".MDB", fcDatabase,
       faTitles | faOriginalTypes | faColumnWidth | faReversed | faTableName | faMerge | faAccessVersion, nullptr,
       nullptr},
      {teClipboard, "Clipboard", "TZelExportToClipboard", "", fcDocument,
       faTitles | faTextOptions | faHeaderFooter | faLayouts | faTitleAlignment | faMerge | faNoFile |
           faBlankRowPerRecord,
       Writer<TZelExportToClipboard>(), nullptr},
      {teRTF, "RTF", "TZelExportToRTF", ".RTF", fcDocument, kSheet & ~faOriginalTypes, Writer<TZelExportToRTF>(),
       Settings<TZelERTFOptions>()},
      {teSPSS, "SPSS", "TZelExportToSPSS", ".SAV", fcSpreadsheet, faOriginalTypes | faColumnWidth | faCharacterSet,
       Writer<TZelExportToSPSS>(), nullptr},
      {tePDF, "PDF", "TZelExportToPDF", ".PDF", fcDocument,
       (kSheet & ~faOriginalTypes) | faPageSetup | faSheetName, Writer<TZelExportToPDF>(),
       Settings<TZelEPDFSettings>()},
      {teLDIF, "LDIF", "TZelExportToLDIF", ".LDIF", fcOther,
       faTitles | faOriginalTypes | faHeaderFooter | faTitleAlignment | faFontsColors | faColumnWidth | faColorStyle |
           faReversed,
       Writer<TZelExportToLDIF>(), Settings<TZelELDIFSettings>()},
      {teADO, "ADO", "TZelExportToADO", "", fcDatabase,
       faTitles | faOriginalTypes | faColumnWidth | faReversed | faTableName | faConnection,
       Writer<TZelExportToADO>(), nullptr, [] { return ZelEADOUnavailableReason(); }},
      {teOpenOffice, "OpenOffice", "TZelExportToOpenOffice", ".ODT", fcDocument, kSheet | faFilterName | faMerge,
       Writer<TZelExportToOpenOffice>(), nullptr, [] { return office::OfficeUnavailable(office::TApp::Writer); }},
  };
}

std::vector<TZelEFormat>& Table() {
  static std::vector<TZelEFormat> table = MakeTable();
  return table;
}

}  // namespace

std::string TZelEFormat::Unavailable() const {
  if (!Create) return "not available in this build";
  return Missing ? Missing() : std::string();
}

std::string TZelEFormat::Caption() const { return ZelELanguageText(CaptionId()); }

std::string TZelEFormat::Filter() const { return Caption() + "|*" + Extension + "|" + ZelELanguageText(txAllFilesFilter); }

const std::vector<TZelEFormat>& ExportFormats() { return Table(); }

const TZelEFormat& ExportFormat(TTableTypeExport t) {
  if (t < 0 || t >= kTableTypeCount) t = teText;
  return Table()[static_cast<size_t>(t)];
}

TExportFormatTypes FormatsOfCategory(TZelEFormatCategory c) {
  TExportFormatTypes set = TExportFormatTypes::None();
  for (const TZelEFormat& f : Table())
    if (f.Category == c) set.Include(f.Type);
  return set;
}

std::unique_ptr<TZelExportBaseComponent> CreateWriter(TTableTypeExport t) {
  const TZelEFormat& f = ExportFormat(t);
  return f.Built() ? f.Create() : nullptr;
}

const char kZelEAccessUnavailable[] =
    "Writing Access databases needs the Access database engine, which does not exist for Linux. Export to a "
    "dBase table, an Excel workbook or a database through ODBC; Access imports all three.";

std::string FormatUnavailableReason(TTableTypeExport t) {
  const TZelEFormat& f = ExportFormat(t);
  if (t == teAccess && !f.Create) return kZelEAccessUnavailable;
  if (!f.Create) return "Not available in this build";
  // What the writer needs outside the program: an ODBC driver, the office suite.
  return f.Missing ? f.Missing() : std::string();
}

TZelEFormat ReplaceExportFormat(const TZelEFormat& row) {
  TZelEFormat& slot = Table()[static_cast<size_t>(row.Type)];
  TZelEFormat old = slot;
  slot = row;
  return old;
}

}  // namespace korvane
