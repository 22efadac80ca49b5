#pragma once
// XML document: a declaration, a records element with an optional field list,
// and one element per record whose values are attributes (or child elements) of
// a row. Five layouts; optionally an XSLT stylesheet beside the document that
// shows it as an HTML table. The document is always UTF-8.

#include <map>
#include <string>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

enum TZelEXMLFormat : int { xmlIE = 0, xmlIECompact, xmlClientDataset, xmlElement, xmlMSSQL };
enum TZelEBLOBEncoding : int { beNone = 0, beEncode64 };

// Settings of the XML format.
struct TZelEXMLSettings {
  TZelEXMLFormat Format = xmlIE;
  bool GenerateXSL = false;
  // Attributes of the parameters element in the field list, written as they stand.
  std::string XMLParams = "DEFAULT_ORDER=\"1\" PRIMARY_KEY=\"1\" LCID=\"1033\"";
  TZelEBLOBEncoding BLOBEncoding = beEncode64;
  // Encloses attribute values: a double or a single quote (anything else counts
  // as a double quote). Values that are element content are never enclosed.
  char QuoteTerm = '"';
  std::string RecordsTag = "RECORDS";
  std::string RecordTag = "RECORD";
  std::string RowTag = "ROW";
  std::string ParamsTag = "PARAMS";
  bool TableNameAsRecordsTag = false;
  bool operator==(const TZelEXMLSettings&) const = default;

  static constexpr const char* kSection = "XML";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TZelEXMLSettings>>& Keys() {
    using S = TZelEXMLSettings;
    static const std::vector<TZelESettingKey<S>> keys = {
        OrdinalKey("XMLFormat", &S::Format, {"ie", "ie-compact", "client-dataset", "element", "mssql"}),
        BoolKey("GenerateXSL", &S::GenerateXSL),
        TextKey("XMLParams", &S::XMLParams),
        OrdinalKey("BLOBEncoding", &S::BLOBEncoding, {"none", "base64"}),
        CharKey("QuoteTerm", &S::QuoteTerm),
        TextKey("RecordsTag", &S::RecordsTag),
        TextKey("RecordTag", &S::RecordTag),
        TextKey("RowTag", &S::RowTag),
        TextKey("ParamsTag", &S::ParamsTag),
        BoolKey("TableNameAsRecordsTag", &S::TableNameAsRecordsTag),
    };
    return keys;
  }
};

class TZelExportToXML : public TZelExportToCellFile {
 public:
  TZelExportToXML();

  TZelEXMLSettings& Settings() { return FormatSettings.Get<TZelEXMLSettings>(teXML); }
  const TZelEXMLSettings& Settings() const;

  void GetDefaultExt(std::string& ext) const override { ext = ".XML"; }
  bool CanAppend() const override { return true; }
  bool CanWriteTitle() const override { return false; }
  void GetFieldStr(const TField* field, std::string& text) override;
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void BeginTable() override;
  void EndTable() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void BeginExecute() override;
  void EndExecute() override;

  // The stylesheet of a layout for the given tags (XSLT 1.0).
  static std::string StylesheetText(TZelEXMLFormat layout, const std::string& recordsTag,
                                    const std::string& recordTag, const std::string& rowTag);
  // The file name of the stylesheet of a document: its extension replaced by ".xsl".
  static std::string StylesheetName(const std::string& fileName);

  // Values of the last run that held characters XML cannot carry.
  int ChangedValues() const { return changedValues_; }
  // Values of the last run the schema layout's types cannot hold, written as dump writes them.
  int OutsideSchemaValues() const { return outsideSchema_; }

 protected:
  bool StreamsBlobs() const override { return true; }

 private:
  bool AttributeLayout() const { return layout_ == xmlIE || layout_ == xmlIECompact || layout_ == xmlClientDataset; }
  const std::vector<std::string>& NamesOf(const TZelEColumns& columns);
  std::string SourceName(const TZelEColumn& c) const;
  void RecordsStart();
  std::string RecordsEnd() const;
  void Metadata(std::string& out);
  void Schema(std::string& out);
  void PrepareAppend();
  void WriteStylesheet();
  std::string Indent() const { return std::string(static_cast<size_t>(2 * Statistic.LevelNumber), ' '); }
  const char* RowElement() const;
  bool CommentRow() const;
  void AppendValue(std::string& out, const TField* field, TCellType cellType, const std::string& text);
  // Writes the value of a long BLOB (StreamedBlob) piece by piece, then after.
  void StreamValue(const TField& field, const std::string& after);
  // The native value of a data cell in the lexical form of its schema type; false
  // when the value is text, a BLOB or null.
  bool SchemaValue(const TField* field, const std::string& text, std::string& out);

  TZelEXMLSettings run_;
  TZelEXMLFormat layout_ = xmlIE;
  char quote_ = '"';
  std::string recordsTag_, recordTag_, rowTag_, paramsTag_;
  bool appending_ = false;
  std::string closing_;  // the end of an appended document, written after the new rows
  std::map<const TZelEColumns*, std::vector<std::string>> names_;
  std::vector<bool> detailInRow_;  // per open row: a detail level was written inside it
  std::string line_;
  std::string datePattern_, timePattern_;
  TZelEDateFormatter date_, time_;
  bool customDates_ = false;
  int changedValues_ = 0;
  int outsideSchema_ = 0;
};

}  // namespace korvane
