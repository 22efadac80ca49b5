#pragma once
// A thin layer over the ODBC driver manager (unixODBC): connections, statements,
// the driver's diagnostics as exception texts, identifier quoting, the column
// types of a database, and a bulk inserter that binds typed values as
// parameters of prepared multi-row INSERT statements.
//
// Values are never spliced into SQL text; identifiers are quoted with the
// driver's quote character unless they are plain ASCII names that are no keyword.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::odbc {

class EOdbcError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Installed drivers (names as odbcinst.ini has them) and data sources.
std::vector<std::string> InstalledDrivers();
std::vector<std::string> DataSources();

// The connection string for a target name: a string that holds "=" is taken as
// it stands; any other text names a database file, which SQLite opens
// (DRIVER={SQLite3};Database=NAME; the driver reads no braces, so a name holding
// ";" is refused). User and password are added
// as UID={..};PWD={..} when given and the string has none of its own.
std::string ConnectionStringFor(const std::string& target, const std::string& user = {},
                                const std::string& password = {});
// A value in braces with "}" doubled, as connection strings take any text.
std::string BraceValue(const std::string& v);
// The value of an attribute of a connection string (DATABASE, DSN, ...), without
// regard to case; braces removed. Empty when absent.
std::string ConnectionAttribute(const std::string& connection, const std::string& key);

// The databases whose type names and limits differ.
enum TDbmsKind : int { dkOther = 0, dkSQLite, dkPostgreSQL, dkMariaDB };
TDbmsKind DbmsKindOf(const std::string& dbmsName);
// Parameters a statement may hold.
int ParameterLimit(TDbmsKind k);

// Whether a name may go unquoted: [A-Za-z_][A-Za-z0-9_]* and no keyword (ODBC's
// reserved words and the given ones, without regard to case).
// foldsToLower: the database folds unquoted names to lower case (PostgreSQL), so
// a name with capitals is quoted to keep its spelling.
bool IsPlainIdentifier(const std::string& name, const std::set<std::string>& extraKeywords = {},
                       bool foldsToLower = false);
// The name as the database takes it: plain names stay, others go in quote
// characters with embedded ones doubled. quote 0 or " " (the driver quotes not):
// the double quote of standard SQL.
std::string QuoteIdentifier(const std::string& name, char quote, const std::set<std::string>& extraKeywords = {},
                            bool foldsToLower = false);

// A typed parameter value.
struct TValue {
  enum Kind : int {
    vNull = 0,
    vInteger,    // Integer
    vBoolean,    // Integer 1/0
    vDouble,     // Text: shortest digits that read back as the same double
    vDecimal,    // Text: exact decimal digits
    vDate,       // Text: YYYY-MM-DD
    vTime,       // Text: HH:MM:SS[.mmm]
    vTimestamp,  // Text: YYYY-MM-DD HH:MM:SS[.mmm]
    vText,       // Text: UTF-8
    vBinary,     // Text: the bytes
  };
  Kind kind = vNull;
  int64_t Integer = 0;
  std::string Text;

  static TValue Null() { return {}; }
  static TValue Int(int64_t v) { return {vInteger, v, {}}; }
  static TValue Bool(bool v) { return {vBoolean, v ? 1 : 0, {}}; }
  static TValue Of(Kind k, std::string text) { return {k, 0, std::move(text)}; }
};

struct TTableEntry {
  std::string Catalog, Schema, Name, Type;
};

struct TColumnEntry {
  std::string Name;
  int SqlType = 0;
  bool AutoIncrement = false;  // the table numbers it
};

class TConnection {
 public:
  TConnection();
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // SQLDriverConnect without a prompt. Throws EOdbcError with the driver's text.
  void Open(const std::string& connectionString);
  void Close();
  bool IsOpen() const { return dbc_ != nullptr; }

  std::string DbmsName() const { return dbmsName_; }
  TDbmsKind Kind() const { return kind_; }
  char IdentifierQuote() const { return quote_; }
  const std::set<std::string>& Keywords() const { return keywords_; }
  int MaxColumnNameLength() const { return maxColumnName_; }  // 0: no limit known
  std::string Quote(const std::string& name) const {
    return QuoteIdentifier(name, quote_, keywords_, kind_ == dkPostgreSQL);
  }

  // One statement; throws with the driver's text.
  void Execute(const std::string& sql);
  // The first column of every row of a query, as text.
  std::vector<std::string> QueryColumn(const std::string& sql);
  void SetAutoCommit(bool on);
  void Commit();
  void Rollback();

  // SQLTables over all catalogs and schemas; types "TABLE,VIEW" unless given.
  std::vector<TTableEntry> Tables(const std::string& types = "TABLE,VIEW");
  // SQLColumns of one table, in column order.
  std::vector<TColumnEntry> Columns(const TTableEntry& table);
  // The schemas unqualified names resolve to, in search order (empty: the database
  // has one name space).
  std::vector<std::string> SearchSchemas();
  // The table a query reads its result columns from: the base table and base
  // column of every result column. Throws when the driver cannot say or the
  // columns come from several tables.
  struct TQueryBase {
    TTableEntry Table;
    std::vector<std::string> Columns;
  };
  TQueryBase BaseOfQuery(const std::string& sql);

  void* Handle() const { return dbc_; }
  // The driver has only the 8-bit interface (text goes to it as UTF-8 bytes).
  bool Ansi() const { return ansi_; }

 private:
  void* env_ = nullptr;
  void* dbc_ = nullptr;
  bool autoCommit_ = true;
  bool ansi_ = false;
  std::string dbmsName_;
  TDbmsKind kind_ = dkOther;
  char quote_ = '"';
  std::set<std::string> keywords_;
  int maxColumnName_ = 0;
};

// The driver's diagnostic records of a handle, joined ("[SQLite]... (1)").
std::string Diagnostics(short handleType, void* handle);

// Rows into a table through prepared multi-row INSERT statements with bound
// parameters, committed every CommitEvery rows (sooner when the rows held pass
// 32 MiB). A statement the database refuses is rolled back and the rows of the
// open transaction are replayed one by one:
// the rows before the bad one are committed, then Add or Flush throws a
// TRowError naming the row's number and, where it can be told, its column.
class TBulkInserter {
 public:
  struct TRowError : EOdbcError {
    TRowError(const std::string& what, int64_t row, int column)
        : EOdbcError(what), Row(row), Column(column) {}
    int64_t Row;  // the number passed to Add
    int Column;   // index of the column, -1 when unknown
  };

  // quotedTable and quotedColumns as the database takes them.
  TBulkInserter(TConnection& c, std::string quotedTable, std::vector<std::string> quotedColumns);
  ~TBulkInserter();

  int CommitEvery = 10000;
  // Rows per statement (capped by the database's parameter limit).
  int RowsPerStatement = 500;

  // A row of values, one per column; rowNumber names it in errors.
  void Add(std::vector<TValue> row, int64_t rowNumber);
  // Sends the rows held and commits.
  void Flush();
  int64_t Committed() const { return committed_; }

 private:
  struct TRow {
    std::vector<TValue> Values;
    int64_t Number;
  };
  void SendStatement(size_t from, size_t count);
  void Replay(const std::string& firstError);
  int FindBadColumn(const TRow& row);
  void* Prepared(size_t rows);

  TConnection& c_;
  std::string table_;
  std::vector<std::string> columns_;
  size_t rowsPerStatement_ = 1;
  static constexpr size_t kMaxHeldBytes = 32u << 20;
  std::vector<TRow> open_;  // rows of the open transaction
  size_t heldBytes_ = 0;    // their size
  size_t sent_ = 0;         // rows of open_ already sent
  int64_t committed_ = 0;
  void* fullStmt_ = nullptr;  // prepared for rowsPerStatement_ rows
  std::string sqlOf(size_t rows) const;
};

}  // namespace korvane::odbc
