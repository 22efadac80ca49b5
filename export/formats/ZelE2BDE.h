#pragma once
// Paradox and dBase tables as export targets: one table row per exported record,
// the values copied as they are read (never their display text).
//
// A Paradox table is written by the project's own table writer (engine/pdxwriter)
// with the fields of the source: their types and sizes, the source table's file
// version, block size and language driver, alpha and memo text in the source's
// bytes (or, with a code page of the user's, converted into it), auto-increment
// values kept. Appending (soMergeData) rewrites the table: its records are read
// back and written again, the new ones after them, and the new files replace the
// old ones only when the run completes. A failed or cancelled run leaves the table
// as it was.
//
// The dBase table type writes through the dBase writer (ZelE2DBF); FoxPro and
// ASCII tables are refused.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/pdxwriter.h"
#include "export/ExportDS.h"
#include "export/ZelESettings.h"

namespace korvane {

class TPdx;
class TZelECodePageText;
class TZelExportToDBF;

// Kind of table the target writes; ttDefault chooses by the file's extension
// (".dbf" a dBase table, ".txt" an ASCII table, anything else Paradox).
enum TBDETableType : int { ttDefault = 0, ttParadox, ttDBase, ttFoxPro, ttASCII };

struct TZelEBDESettings {
  TBDETableType TableType = ttDefault;
  bool operator==(const TZelEBDESettings&) const = default;

  static constexpr const char* kSection = "BDE";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TZelEBDESettings>>& Keys() {
    using S = TZelEBDESettings;
    static const std::vector<TZelESettingKey<S>> keys = {
        OrdinalKey("BDETableType", &S::TableType, {"default", "paradox", "dbase", "foxpro", "ascii"}),
    };
    return keys;
  }
};

class TZelExportToBDE : public TZelExportBaseComponent {
 public:
  TZelExportToBDE();
  ~TZelExportToBDE() override;

  // The table type (carried in FormatSettings, so that the monitor and settings
  // files keep it).
  TBDETableType BDETableType() const;
  void SetBDETableType(TBDETableType t);
  // The type a run writes into a file of that name (ttDefault resolved).
  static TBDETableType ResolveTableType(TBDETableType t, const std::string& fileName);

  void GetDefaultExt(std::string& ext) const override;
  void BeginExecute() override;
  void ExportData() override;
  void EndExecute() override;

  // One field of the table a run writes into, and which column fills it.
  struct TTargetField {
    TPdxWriterField Def;
    int Column = -1;  // index in Columns; -1: no column fills it
  };
  // The fields of the last run's table (those of the existing table when appending).
  const std::vector<TTargetField>& TargetFields() const { return fields_; }

  // Files beside a Paradox table that belong to the table it replaces: its primary
  // index (.PX), secondary indexes (.Xnn, .Ynn) and validity checks (.VAL), in any
  // case of the name. Answers the paths found.
  static std::vector<std::string> TableSideFiles(const std::string& dbPath);

 protected:
  void FinishOutput(bool keep) override;
  bool OutputWritten() const override { return written_ || writer_ != nullptr; }
  int RecordsWritten() const override { return rows_; }

 private:
  struct TColumnPlan;
  void ExportParadox(const std::string& path);
  void PlanNewTable(const std::string& path, TPdxWriterOptions& options);
  void OpenExistingTable(const std::string& path, TPdxWriterOptions& options);
  void MapColumns();
  void CopyExistingRecords();
  void WriteRecords();
  std::optional<TWriterValue> ColumnValue(const TColumnPlan& plan, const TTargetField& target);
  std::string TextInTable(const std::string& utf8, const char* what);
  void Changed(int& counter);

  // The dBase writer of a run of that type.
  std::unique_ptr<TZelExportToDBF> dbf_;
  bool viaDBF_ = false;

  std::unique_ptr<TPdxWriter> writer_;
  std::unique_ptr<TPdx> existing_;
  std::vector<TTargetField> fields_;
  std::vector<TColumnPlan> plans_;
  std::string path_;
  bool merging_ = false;
  bool rawText_ = false;  // alpha and memo bytes are copied as the source stores them
  int codePage_ = 0;      // code page of the table's text
  std::unique_ptr<TZelECodePageText> codePageText_;
  int64_t nextAutoInc_ = 0;  // appending: the last number the table gave out
  int64_t maxAutoInc_ = 0;
  bool written_ = false;
  int rows_ = 0;
  // Values changed, by reason.
  int replacedTexts_ = 0, formattedMemos_ = 0, unreadBlobs_ = 0;
};

}  // namespace korvane
