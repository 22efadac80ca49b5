#pragma once
// SQL script: the settings of the format. The wizard's SQL step edits them and
// export settings files keep them in their [SQL] section.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/ZelE2Cell.h"
#include "export/ZelESettings.h"

namespace korvane {

enum TZelEFieldCharCase : int { ecNormal = 0, ecUpperCase, ecLowerCase, ecProper };

// The database a script is written for: the column types of CREATE TABLE and
// the forms of the literals. Generic scripts use the classic type names and the
// literal forms of SQLite (X'..' binary, 1/0 booleans).
enum TZelESQLDialect : int { sdGeneric = 0, sdSQLite, sdPostgreSQL };

// Column types of CREATE TABLE by field type; "%d" stands for the field's size.
struct TZelESQLTypes {
  std::string String, Smallint, Integer, Word, Boolean, Float, Currency, BCD, Date, Time, DateTime, Bytes,
      AutoInc, Blob, Memo, Graphic;
  bool CheckRequired = true;   // append NOT NULL / NULL
  bool AddPrimaryKey = false;  // append a primary key of the required fields
  bool operator==(const TZelESQLTypes&) const = default;

  static TZelESQLTypes Of(TZelESQLDialect dialect);
  // The type name of a field type (memo kinds take Memo, other BLOB kinds Blob).
  const std::string& TypeOf(TFieldType t) const;
};

struct TZelESQLOptions {
  bool AddCreateTable = false;
  std::string CommitTerm = "COMMIT;";
  int BatchRecCount = 2147483647;
  TZelEFieldCharCase FieldNameCharCase = ecNormal;
  bool MultiRowInsert = false;
  char SQLQuote = '"';  // 0: none
  std::string SQLTerm = ";";
  std::string SQLNULL = "NULL";
  TZelESQLDialect Dialect = sdGeneric;
  // The column types of the dialect.
  TZelESQLTypes SQLTypes() const { return TZelESQLTypes::Of(Dialect); }
  bool operator==(const TZelESQLOptions&) const = default;

  static constexpr const char* kSection = "SQL";
  static constexpr bool kBlankLineBefore = false;
  static const std::vector<TZelESettingKey<TZelESQLOptions>>& Keys() {
    using S = TZelESQLOptions;
    static const std::vector<TZelESettingKey<S>> keys = {
        TextKey("SQLTerm", &S::SQLTerm),
        CharKey("SQLQuote", &S::SQLQuote),
        TextKey("SQLNULL", &S::SQLNULL),
        TextKey("CommitTerm", &S::CommitTerm),
        IntKey("BatchRecCount", &S::BatchRecCount, 0, 2147483647),
        BoolKey("AddCreateTable", &S::AddCreateTable),
        BoolKey("MultiRowInsert", &S::MultiRowInsert),
        OrdinalKey("FieldNameCharCase", &S::FieldNameCharCase, {"normal", "upper", "lower", "proper"}),
        OrdinalKey("Dialect", &S::Dialect, {"generic", "sqlite", "postgresql"}),
    };
    return keys;
  }
};

// The SQL script: an optional CREATE TABLE, then the records as INSERT
// statements (one per record or up to 1000 rows each), in transactions of
// BatchRecCount records when a CommitTerm is set. Values are written as the
// dialect's literals of the stored values; identifiers are always quoted.
class TZelExportToSQL : public TZelExportToCellFile {
 public:
  TZelExportToSQL();

  TZelESQLOptions& SQLOptions() { return FormatSettings.Get<TZelESQLOptions>(teSQL); }
  const TZelESQLOptions& SQLOptions() const;

  // May change the column definitions of CREATE TABLE and put text before and after it.
  std::function<void(TZelExportToSQL& sender, std::string& sql, std::string& prefix, std::string& suffix)>
      OnGetCreateTable;

  // Rows of one multi-row INSERT at most.
  static constexpr int kMaxRowsPerInsert = 1000;

  void GetDefaultExt(std::string& ext) const override { ext = ".SQL"; }
  bool CanAppend() const override { return true; }
  bool CanWriteTitle() const override { return false; }
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void EndTable() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void BeginExecute() override;
  void EndExecute() override;

  // Values of the last run that lost NUL bytes, and values the dialect cannot
  // hold (written as SQLNULL or with characters replaced).
  int NulValues() const { return nulValues_; }
  int ChangedValues() const { return changedValues_; }

  // Literal and name forms, for the writer and its tests.
  // A string literal ('..', '' inside; SQLite forms a text holding a CR from its bytes).
  static void AppendStringLiteral(std::string& out, std::string_view text, TZelESQLDialect dialect);
  // A binary literal of lower-case hex digits (X'..', '\x..'::bytea).
  static void AppendBinaryLiteral(std::string& out, std::string_view hex, TZelESQLDialect dialect);
  // A quoted identifier ("..", or `..` with quote '`'; the quote doubled inside).
  static void AppendIdentifier(std::string& out, std::string_view name, char quote);
  // A header or footer text as comments, one per line, none of which its text can end.
  static void AppendComment(std::string& out, std::string_view text);
  // Date (day number), time (ms) and time stamp literals; false when PostgreSQL
  // cannot hold the value.
  static bool AppendDateLiteral(std::string& out, int64_t day, TZelESQLDialect dialect);
  static bool AppendTimeLiteral(std::string& out, int64_t ms, TZelESQLDialect dialect);
  static bool AppendTimestampLiteral(std::string& out, int64_t value, TZelESQLDialect dialect);

 protected:
  bool StreamsBlobs() const override { return true; }

 private:
  void CloseStatement();
  void EndBatch();
  void Changed();
  void AppendValue(std::string& out, const TField* field, TCellType cellType, const std::string& text);
  // Writes the value of a long BLOB (StreamedBlob) piece by piece.
  void StreamValue(const TField& field);

  TZelESQLOptions run_;
  char idQuote_ = '"';
  std::string names_;        // the quoted column names, comma-separated
  std::string table_;        // the quoted table name
  std::string line_;         // the text being built
  int columnCount_ = 0;
  int cellsInRow_ = 0;
  int batchCount_ = 0;       // records in the current batch
  int rowsInStatement_ = 0;  // rows of the open multi-row INSERT
  bool statementOpen_ = false;
  bool batchOpen_ = false;   // BEGIN TRANSACTION written, no commit yet
  int nulValues_ = 0;
  int changedValues_ = 0;
};

}  // namespace korvane
