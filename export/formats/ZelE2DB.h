#pragma once
// Database-table targets: each exported record becomes one new row of a table
// in a database. The base walks the records and calls ten operations that each
// target implements; there are no titles, header, footer, layouts or split files.

#include <string>
#include <vector>

#include "export/ExportDS.h"

namespace korvane {

class TZelExportToADODOA : public TZelExportBaseComponent {
 public:
  bool UseCurrentInstance = false;
  std::string UserName;
  std::string Password;

  void ExportData() override;

 protected:
  // The ten operations of a target, in the order a run calls them.
  virtual void Connect() {}
  // Runs on every exit of a run that got past Connect; ok is false when the run
  // is failing (rows posted before the failure stay where the target can keep them).
  virtual void Disconnect(bool ok) { (void)ok; }
  virtual void OpenDatabase(const std::string& name) { (void)name; }
  // True when the rows are appended to an existing table.
  virtual bool TableExists(const std::string& tableName) { (void)tableName; return false; }
  virtual void DropTable(const std::string& tableName) { (void)tableName; }
  virtual void CreateTable() {}
  virtual void OpenTable() {}
  virtual void AddRecord() {}
  // colIndex counts exported columns from 0; field is the source field or nullptr.
  virtual void SetFieldValue(int colIndex, const TField* field, const std::string& text) {
    (void)colIndex; (void)field; (void)text;
  }
  virtual void PostRecord() {}

  // The exported columns of the run, in order, with their source fields.
  struct TDBColumn {
    const TZelEColumn* Column;
    TField* Field;      // nullptr for constant and system-variable columns
    std::string Name;   // the field name with soUseFieldNameAsCaption, else the title caption
    TFieldType Type;    // ftString with soFieldMask; the source field's; else by the cell type
    bool Required;
  };
  const std::vector<TDBColumn>& DBColumns() const { return dbColumns_; }

  // The native value of the cell SetFieldValue is given; cvText when the text is
  // the value (constant and system-variable columns, display texts, a text an
  // OnGetCellParams handler changed).
  const TZelECellValue& CellNativeValue() const { return cellValue_; }

  int RecordsWritten() const override { return rowsWritten_; }
  int rowsWritten_ = 0;

 private:
  void ResolveColumns();
  std::vector<TDBColumn> dbColumns_;
  TZelECellValue cellValue_;
};

}  // namespace korvane
