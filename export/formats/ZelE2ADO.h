#pragma once
// The database target: rows into a table of any database an ODBC driver reaches.
// FileName is the connection string (a plain file name opens an SQLite database
// of that name); TableName names the table, or is a query beginning with SELECT
// whose columns name the table columns to fill.

#include <memory>
#include <string>
#include <vector>

#include "export/formats/ZelE2DB.h"
#include "platform/odbc/odbc.h"

namespace korvane {


// Column type of CREATE TABLE for a field type on a database (SQL_DBMS_NAME).
// width and precision are the column's.
std::string ZelEADOColumnType(int dbmsKind, TFieldType type, int width, int precision);

// Why the target cannot be used on this system ("" when an ODBC driver is installed).
std::string ZelEADOUnavailableReason();

// The table names of a database (TABLE and VIEW; system tables only with
// includeSystemTables). An empty connection string throws; any other error ends
// the list without a message.
void ListADOTables(std::vector<std::string>& names, const std::string& connectionString, bool includeSystemTables);

// The parts of a connection string, as the connection dialog edits them.
struct TZelEConnectionParts {
  std::string Driver;      // an installed driver ("SQLite3", "PostgreSQL Unicode")
  std::string DataSource;  // or a data source name (DSN); the driver is then unused
  std::string File;        // database file (SQLite)
  std::string Server;      // host name or socket folder
  std::string Port;
  std::string Database;
  std::string User, Password;
  std::string More;        // further attributes, as "KEY=VALUE;..."
};
// The connection string of the parts: DRIVER={..} or DSN=..., then the attributes
// given, each value in braces with "}" doubled where it needs them.
std::string ZelEConnectionString(const TZelEConnectionParts& p);
// The parts read back from a connection string (attributes it does not know go to More).
TZelEConnectionParts ZelEConnectionPartsOf(const std::string& connection);

class TZelExportToADO : public TZelExportToADODOA {
 public:
  TZelExportToADO();
  ~TZelExportToADO() override;

  void GetDefaultExt(std::string& ext) const override { ext.clear(); }

  // The statement CreateTable sends (set by the run; for tests and messages).
  const std::string& CreateStatement() const { return createSql_; }
  // Rows per committed transaction and per INSERT statement.
  int CommitEvery = 10000;
  int RowsPerStatement = 500;

 protected:
  void Connect() override;
  void Disconnect(bool ok) override;
  void OpenDatabase(const std::string& name) override;
  bool TableExists(const std::string& tableName) override;
  void CreateTable() override;
  void OpenTable() override;
  void AddRecord() override;
  void SetFieldValue(int colIndex, const TField* field, const std::string& text) override;
  void PostRecord() override;

 private:
  bool IsQuery() const;
  // Finds the table unqualified names resolve to; false when there is none.
  bool FindTable(const std::string& name, std::string& quoted);
  odbc::TValue ValueOf(const TField* field, const std::string& text) const;
  std::string RefusedText(const odbc::TBulkInserter::TRowError& e);

  std::unique_ptr<odbc::TConnection> conn_;
  std::unique_ptr<odbc::TBulkInserter> inserter_;
  std::string target_;     // the table as the INSERT names it
  std::string createSql_;
  bool created_ = false;
  int nulValues_ = 0;  // text values whose NUL bytes the database cannot hold
  std::vector<int> insertColumns_;  // exported columns that go into the INSERT, in order
  std::vector<std::string> autoIncColumns_;  // created auto-increment columns (quoted)
  std::vector<odbc::TValue>* row_ = nullptr;
  std::vector<odbc::TValue> rowValues_;
  std::vector<int> slotOf_;  // exported column -> position in the row, -1 when left out
};

}  // namespace korvane
