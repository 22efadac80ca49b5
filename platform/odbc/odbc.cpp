#include "platform/odbc/odbc.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace korvane::odbc {

namespace {

// ---------------------------------------------------------------------------
// UTF-8 and the driver manager's UTF-16 (SQLWCHAR)

using WString = std::basic_string<SQLWCHAR>;

WString Wide(const std::string& s) {
  WString out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
      cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
      len = 4;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<SQLWCHAR>(0xD800 + (cp >> 10));
      out += static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<SQLWCHAR>(cp);
    }
  }
  return out;
}

std::string Narrow(const SQLWCHAR* w, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = w[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// ODBC's reserved words.
const std::set<std::string>& OdbcKeywords() {
  static const std::set<std::string> words = [] {
    static const char* const list[] = {
        "ABSOLUTE", "ACTION", "ADA", "ADD", "ALL", "ALLOCATE", "ALTER", "AND", "ANY", "ARE", "AS", "ASC",
        "ASSERTION", "AT", "AUTHORIZATION", "AVG", "BEGIN", "BETWEEN", "BIT", "BIT_LENGTH", "BOTH", "BY",
        "CASCADE", "CASCADED", "CASE", "CAST", "CATALOG", "CHAR", "CHAR_LENGTH", "CHARACTER", "CHARACTER_LENGTH",
        "CHECK", "CLOSE", "COALESCE", "COLLATE", "COLLATION", "COLUMN", "COMMIT", "CONNECT", "CONNECTION",
        "CONSTRAINT", "CONSTRAINTS", "CONTINUE", "CONVERT", "CORRESPONDING", "COUNT", "CREATE", "CROSS", "CURRENT",
        "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATE", "DAY",
        "DEALLOCATE", "DEC", "DECIMAL", "DECLARE", "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC",
        "DESCRIBE", "DESCRIPTOR", "DIAGNOSTICS", "DISCONNECT", "DISTINCT", "DOMAIN", "DOUBLE", "DROP", "ELSE",
        "END", "END-EXEC", "ESCAPE", "EXCEPT", "EXCEPTION", "EXEC", "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT",
        "FALSE", "FETCH", "FIRST", "FLOAT", "FOR", "FOREIGN", "FORTRAN", "FOUND", "FROM", "FULL", "GET", "GLOBAL",
        "GO", "GOTO", "GRANT", "GROUP", "HAVING", "HOUR", "IDENTITY", "IMMEDIATE", "IN", "INCLUDE", "INDEX",
        "INDICATOR", "INITIALLY", "INNER", "INPUT", "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTERSECT",
        "INTERVAL", "INTO", "IS", "ISOLATION", "JOIN", "KEY", "LANGUAGE", "LAST", "LEADING", "LEFT", "LEVEL",
        "LIKE", "LOCAL", "LOWER", "MATCH", "MAX", "MIN", "MINUTE", "MODULE", "MONTH", "NAMES", "NATIONAL",
        "NATURAL", "NCHAR", "NEXT", "NO", "NONE", "NOT", "NULL", "NULLIF", "NUMERIC", "OCTET_LENGTH", "OF", "ON",
        "ONLY", "OPEN", "OPTION", "OR", "ORDER", "OUTER", "OUTPUT", "OVERLAPS", "PAD", "PARTIAL", "PASCAL",
        "POSITION", "PRECISION", "PREPARE", "PRESERVE", "PRIMARY", "PRIOR", "PRIVILEGES", "PROCEDURE", "PUBLIC",
        "READ", "REAL", "REFERENCES", "RELATIVE", "RESTRICT", "REVOKE", "RIGHT", "ROLLBACK", "ROWS", "SCHEMA",
        "SCROLL", "SECOND", "SECTION", "SELECT", "SESSION", "SESSION_USER", "SET", "SIZE", "SMALLINT", "SOME",
        "SPACE", "SQL", "SQLCA", "SQLCODE", "SQLERROR", "SQLSTATE", "SQLWARNING", "SUBSTRING", "SUM",
        "SYSTEM_USER", "TABLE", "TEMPORARY", "THEN", "TIME", "TIMESTAMP", "TIMEZONE_HOUR", "TIMEZONE_MINUTE",
        "TO", "TRAILING", "TRANSACTION", "TRANSLATE", "TRANSLATION", "TRIM", "TRUE", "UNION", "UNIQUE",
        "UNKNOWN", "UPDATE", "UPPER", "USAGE", "USER", "USING", "VALUE", "VALUES", "VARCHAR", "VARYING", "VIEW",
        "WHEN", "WHENEVER", "WHERE", "WITH", "WORK", "WRITE", "YEAR", "ZONE",
        // Reserved by the databases this target is used with most.
        "ANALYSE", "ANALYZE", "ARRAY", "LIMIT", "OFFSET", "RETURNING", "WINDOW", "LATERAL", "PLACING",
        "SYMMETRIC", "VARIADIC", "ROW", "ROWID", "OID", "REPLACE", "AUTOINCREMENT", "GLOB", "REGEXP", "ISNULL",
        "NOTNULL", "VACUUM", "PRAGMA", "ATTACH", "DETACH"};
    std::set<std::string> s;
    for (const char* w : list) s.insert(w);
    return s;
  }();
  return words;
}

class TStmt {
 public:
  TStmt(SQLHDBC dbc, bool ansi) : ansi(ansi) {
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h)))
      throw EOdbcError("cannot allocate a statement: " + Diagnostics(SQL_HANDLE_DBC, dbc));
  }
  ~TStmt() {
    if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  TStmt(const TStmt&) = delete;
  TStmt& operator=(const TStmt&) = delete;
  void Check(SQLRETURN rc, const std::string& what) const {
    if (!Ok(rc) && rc != SQL_NO_DATA) throw EOdbcError(what + ": " + Diagnostics(SQL_HANDLE_STMT, h));
  }
  std::string Col(SQLUSMALLINT i) const {
    if (ansi) {
      SQLCHAR abuf[4096];
      SQLLEN aind = 0;
      if (!Ok(SQLGetData(h, i, SQL_C_CHAR, abuf, sizeof abuf, &aind)) || aind == SQL_NULL_DATA) return {};
      return std::string(reinterpret_cast<char*>(abuf), aind < 0 ? 0 : std::min<size_t>(static_cast<size_t>(aind), 4095));
    }
    SQLWCHAR buf[1024];
    SQLLEN ind = 0;
    if (!Ok(SQLGetData(h, i, SQL_C_WCHAR, buf, sizeof buf, &ind)) || ind == SQL_NULL_DATA) return {};
    size_t n = ind < 0 ? 0 : std::min<size_t>(static_cast<size_t>(ind) / sizeof(SQLWCHAR), 1023);
    return Narrow(buf, n);
  }
  // Statement text in the character set of the driver's interface.
  SQLRETURN ExecDirect(const std::string& sql) const {
    if (ansi) return SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    WString w = Wide(sql);
    return SQLExecDirectW(h, const_cast<SQLWCHAR*>(w.c_str()), SQL_NTS);
  }
  SQLRETURN Prepare(const std::string& sql) const {
    if (ansi) return SQLPrepare(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    WString w = Wide(sql);
    return SQLPrepareW(h, const_cast<SQLWCHAR*>(w.c_str()), SQL_NTS);
  }
  bool ansi;
  SQLHSTMT h = nullptr;
};

// Whether the driver has only the 8-bit interface: the driver manager would then
// convert UTF-16 calls through the locale's character set, which mangles UTF-8
// text under the C locale; such drivers (SQLite's) take UTF-8 as it is.
bool DriverIsAnsiOnly(SQLHDBC dbc) {
  SQLWCHAR name[512];
  SQLSMALLINT len = 0;
  if (!Ok(SQLGetInfoW(dbc, SQL_DRIVER_NAME, name, sizeof name - 2, &len))) return false;
  const std::string file = Narrow(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)) / 2, 511));
  // The driver manager loaded it by its full path: find that among the loaded objects.
  struct TFind {
    std::string base, path;
  } find{file.substr(file.find_last_of('/') == std::string::npos ? 0 : file.find_last_of('/') + 1), {}};
  dl_iterate_phdr(
      [](struct dl_phdr_info* info, size_t, void* data) {
        auto* f = static_cast<TFind*>(data);
        const std::string p = info->dlpi_name ? info->dlpi_name : "";
        const size_t slash = p.find_last_of('/');
        // The driver names its file without the "lib" in front at times.
        const std::string b = p.substr(slash == std::string::npos ? 0 : slash + 1);
        if (!p.empty() && b.size() >= f->base.size() && b.compare(b.size() - f->base.size(), f->base.size(), f->base) == 0) {
          f->path = p;
          return 1;
        }
        return 0;
      },
      &find);
  if (find.path.empty()) return false;
  void* lib = dlopen(find.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!lib) return false;
  const bool ansi = dlsym(lib, "SQLExecDirectW") == nullptr && dlsym(lib, "SQLExecDirect") != nullptr;
  dlclose(lib);
  return ansi;
}

std::string InfoText(SQLHDBC dbc, SQLUSMALLINT what, bool ansi) {
  if (ansi) {
    std::vector<char> abuf(32000);
    SQLSMALLINT alen = 0;
    if (!Ok(SQLGetInfo(dbc, what, abuf.data(), static_cast<SQLSMALLINT>(abuf.size() - 1), &alen))) return {};
    return std::string(abuf.data(), std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(alen, 0)), abuf.size() - 1));
  }
  std::vector<SQLWCHAR> buf(16000);
  SQLSMALLINT len = 0;
  if (!Ok(SQLGetInfoW(dbc, what, buf.data(), static_cast<SQLSMALLINT>(buf.size() * sizeof(SQLWCHAR) - 2), &len)))
    return {};
  return Narrow(buf.data(), std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)) / sizeof(SQLWCHAR),
                                             buf.size() - 1));
}

// A table or schema name as a search pattern: "_" and "%" escaped.
std::string PatternOf(const std::string& name, const std::string& escape) {
  if (escape.empty()) return name;
  std::string out;
  for (char c : name) {
    if (c == '_' || c == '%' || escape.find(c) == 0) out += escape;
    out += c;
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string Diagnostics(short handleType, void* handle) {
  std::string out;
  for (SQLSMALLINT i = 1; i <= 5; ++i) {
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLWCHAR msg[2048];
    SQLSMALLINT len = 0;
    if (!Ok(SQLGetDiagRecW(handleType, handle, i, state, &native, msg, 2048, &len))) break;
    if (!out.empty()) out += "; ";
    out += Narrow(msg, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), 2047));
    out += " (" + Narrow(state, 5) + ")";
  }
  return out.empty() ? std::string("no message from the driver") : out;
}

namespace {

SQLHENV SharedEnv() {
  static SQLHENV env = [] {
    SQLHENV e = nullptr;
    if (Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e)))
      SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return e;
  }();
  return env;
}

}  // namespace

std::vector<std::string> InstalledDrivers() {
  std::vector<std::string> out;
  SQLHENV env = SharedEnv();
  if (!env) return out;
  SQLWCHAR desc[512], attrs[2048];
  SQLSMALLINT dl = 0, al = 0;
  SQLUSMALLINT dir = SQL_FETCH_FIRST;
  while (Ok(SQLDriversW(env, dir, desc, 512, &dl, attrs, 2048, &al))) {
    out.push_back(Narrow(desc, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(dl, 0)), 511)));
    dir = SQL_FETCH_NEXT;
  }
  return out;
}

std::vector<std::string> DataSources() {
  std::vector<std::string> out;
  SQLHENV env = SharedEnv();
  if (!env) return out;
  SQLWCHAR name[512], desc[1024];
  SQLSMALLINT nl = 0, dl = 0;
  SQLUSMALLINT dir = SQL_FETCH_FIRST;
  while (Ok(SQLDataSourcesW(env, dir, name, 512, &nl, desc, 1024, &dl))) {
    out.push_back(Narrow(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nl, 0)), 511)));
    dir = SQL_FETCH_NEXT;
  }
  return out;
}

std::string BraceValue(const std::string& v) {
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

std::string ConnectionAttribute(const std::string& connection, const std::string& key) {
  size_t i = 0;
  while (i < connection.size()) {
    while (i < connection.size() && (connection[i] == ';' || connection[i] == ' ')) ++i;
    const size_t eq = connection.find('=', i);
    if (eq == std::string::npos) break;
    std::string k = connection.substr(i, eq - i);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    std::string value;
    size_t j = eq + 1;
    while (j < connection.size() && connection[j] == ' ') ++j;
    if (j < connection.size() && connection[j] == '{') {
      ++j;
      while (j < connection.size()) {
        if (connection[j] == '}') {
          if (j + 1 < connection.size() && connection[j + 1] == '}') {
            value += '}';
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        value += connection[j++];
      }
      while (j < connection.size() && connection[j] != ';') ++j;
    } else {
      const size_t semi = connection.find(';', j);
      value = connection.substr(j, semi == std::string::npos ? std::string::npos : semi - j);
      while (!value.empty() && value.back() == ' ') value.pop_back();
      j = semi == std::string::npos ? connection.size() : semi;
    }
    if (Upper(k) == Upper(key)) return value;
    i = j + 1;
  }
  return {};
}

std::string ConnectionStringFor(const std::string& target, const std::string& user, const std::string& password) {
  std::string s = target;
  if (s.find('=') == std::string::npos) {
    // The SQLite driver takes the file name as it stands up to the next ";" (it
    // reads no braces), so a name holding one cannot be passed.
    if (target.find(';') != std::string::npos)
      throw EOdbcError("the SQLite driver cannot open a file whose name holds \";\": " + target);
    s = "DRIVER={SQLite3};Database=" + target;
  }
  if (!user.empty() && ConnectionAttribute(s, "UID").empty()) s += ";UID=" + BraceValue(user);
  if (!password.empty() && ConnectionAttribute(s, "PWD").empty()) s += ";PWD=" + BraceValue(password);
  return s;
}

TDbmsKind DbmsKindOf(const std::string& dbmsName) {
  const std::string u = Upper(dbmsName);
  if (u.find("SQLITE") != std::string::npos) return dkSQLite;
  if (u.find("POSTGRES") != std::string::npos) return dkPostgreSQL;
  if (u.find("MARIADB") != std::string::npos || u.find("MYSQL") != std::string::npos) return dkMariaDB;
  return dkOther;
}

int ParameterLimit(TDbmsKind k) {
  switch (k) {
    case dkSQLite: return 32766;
    // The server takes 65 535, but the client library refuses the description of
    // more than about 7 500 parameters ("lost synchronization with server": its
    // messages other than rows are limited to 30 000 bytes, 4 bytes a parameter).
    case dkPostgreSQL: return 7000;
    case dkMariaDB: return 65535;
    default: return 2000;
  }
}

bool IsPlainIdentifier(const std::string& name, const std::set<std::string>& extraKeywords, bool foldsToLower) {
  if (name.empty()) return false;
  if (foldsToLower)
    for (char c : name)
      if (c >= 'A' && c <= 'Z') return false;
  const char c0 = name[0];
  if (!((c0 >= 'A' && c0 <= 'Z') || (c0 >= 'a' && c0 <= 'z') || c0 == '_')) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  const std::string u = Upper(name);
  return !OdbcKeywords().count(u) && !extraKeywords.count(u);
}

std::string QuoteIdentifier(const std::string& name, char quote, const std::set<std::string>& extraKeywords,
                            bool foldsToLower) {
  if (IsPlainIdentifier(name, extraKeywords, foldsToLower)) return name;
  if (quote == 0 || quote == ' ') quote = '"';
  std::string out(1, quote);
  for (char c : name) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}

// ---------------------------------------------------------------------------
// TConnection

TConnection::TConnection() = default;
TConnection::~TConnection() { Close(); }

void TConnection::Open(const std::string& connectionString) {
  Close();
  env_ = SharedEnv();
  if (!env_) throw EOdbcError("the ODBC driver manager cannot be started");
  SQLHDBC dbc = nullptr;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc)))
    throw EOdbcError("cannot allocate a connection: " + Diagnostics(SQL_HANDLE_ENV, env_));
  WString w = Wide(connectionString);
  SQLWCHAR out[4096];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(w.c_str()), SQL_NTS, out, 4096, &outLen,
                                   SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) {
    std::string msg = Diagnostics(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    throw EOdbcError("cannot connect: " + msg);
  }
  dbc_ = dbc;
  autoCommit_ = true;
  ansi_ = DriverIsAnsiOnly(dbc);
  dbmsName_ = InfoText(dbc, SQL_DBMS_NAME, ansi_);
  kind_ = DbmsKindOf(dbmsName_);
  const std::string q = InfoText(dbc, SQL_IDENTIFIER_QUOTE_CHAR, ansi_);
  quote_ = q.empty() || q[0] == ' ' ? '"' : q[0];
  keywords_.clear();
  for (const std::string& k : [&] {
         std::vector<std::string> v;
         std::string all = InfoText(dbc, SQL_KEYWORDS, ansi_), cur;
         for (char c : all) {
           if (c == ',') {
             v.push_back(cur);
             cur.clear();
           } else if (c != ' ') {
             cur += c;
           }
         }
         if (!cur.empty()) v.push_back(cur);
         return v;
       }())
    keywords_.insert(Upper(k));
  SQLUSMALLINT maxName = 0;
  if (Ok(SQLGetInfoW(dbc, SQL_MAX_COLUMN_NAME_LEN, &maxName, sizeof maxName, nullptr))) maxColumnName_ = maxName;
}

void TConnection::Close() {
  if (dbc_) {
    if (!autoCommit_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = nullptr;
  }
}

void TConnection::Execute(const std::string& sql) {
  TStmt st(dbc_, ansi_);
  SQLRETURN rc = st.ExecDirect(sql);
  if (!Ok(rc) && rc != SQL_NO_DATA) throw EOdbcError(Diagnostics(SQL_HANDLE_STMT, st.h));
}

std::vector<std::string> TConnection::QueryColumn(const std::string& sql) {
  TStmt st(dbc_, ansi_);
  st.Check(st.ExecDirect(sql), "query");
  std::vector<std::string> out;
  while (Ok(SQLFetch(st.h))) out.push_back(st.Col(1));
  return out;
}

void TConnection::SetAutoCommit(bool on) {
  if (on == autoCommit_) return;
  SQLRETURN rc = SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(on ? SQL_AUTOCOMMIT_ON
                                                                                          : SQL_AUTOCOMMIT_OFF)),
                                   0);
  if (!Ok(rc)) throw EOdbcError("cannot switch transactions: " + Diagnostics(SQL_HANDLE_DBC, dbc_));
  autoCommit_ = on;
}

void TConnection::Commit() {
  if (!autoCommit_ && !Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT)))
    throw EOdbcError("commit failed: " + Diagnostics(SQL_HANDLE_DBC, dbc_));
}

void TConnection::Rollback() {
  if (!autoCommit_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
}

std::vector<TTableEntry> TConnection::Tables(const std::string& types) {
  TStmt st(dbc_, ansi_);
  WString t = Wide(types);
  st.Check(ansi_ ? SQLTables(st.h, nullptr, 0, nullptr, 0, nullptr, 0,
                             reinterpret_cast<SQLCHAR*>(const_cast<char*>(types.c_str())), SQL_NTS)
                 : SQLTablesW(st.h, nullptr, 0, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(t.c_str()), SQL_NTS),
           "cannot list the tables");
  std::vector<TTableEntry> out;
  while (Ok(SQLFetch(st.h))) out.push_back({st.Col(1), st.Col(2), st.Col(3), st.Col(4)});
  return out;
}

std::vector<TColumnEntry> TConnection::Columns(const TTableEntry& table) {
  TStmt st(dbc_, ansi_);
  const std::string escape = InfoText(dbc_, SQL_SEARCH_PATTERN_ESCAPE, ansi_);
  WString cat = Wide(table.Catalog), sch = Wide(PatternOf(table.Schema, escape)),
          name = Wide(PatternOf(table.Name, escape));
  std::string acat = table.Catalog, asch = PatternOf(table.Schema, escape), aname = PatternOf(table.Name, escape);
  auto A = [](std::string& x) { return reinterpret_cast<SQLCHAR*>(x.data()); };
  st.Check(ansi_ ? SQLColumns(st.h, table.Catalog.empty() ? nullptr : A(acat), table.Catalog.empty() ? 0 : SQL_NTS,
                              table.Schema.empty() ? nullptr : A(asch), table.Schema.empty() ? 0 : SQL_NTS, A(aname),
                              SQL_NTS, nullptr, 0)
                 : SQLColumnsW(st.h, table.Catalog.empty() ? nullptr : const_cast<SQLWCHAR*>(cat.c_str()),
                       table.Catalog.empty() ? 0 : SQL_NTS,
                       table.Schema.empty() ? nullptr : const_cast<SQLWCHAR*>(sch.c_str()),
                       table.Schema.empty() ? 0 : SQL_NTS, const_cast<SQLWCHAR*>(name.c_str()), SQL_NTS, nullptr, 0),
           "cannot list the columns of " + table.Name);
  SQLSMALLINT ncols = 0;
  SQLNumResultCols(st.h, &ncols);
  std::vector<std::pair<int, TColumnEntry>> rows;
  while (Ok(SQLFetch(st.h))) {
    if (st.Col(3) != table.Name) continue;  // a pattern may match more
    if (!table.Schema.empty() && st.Col(2) != table.Schema) continue;
    TColumnEntry c;
    c.Name = st.Col(4);
    c.SqlType = std::atoi(st.Col(5).c_str());
    const int pos = ncols >= 17 ? std::atoi(st.Col(17).c_str()) : static_cast<int>(rows.size()) + 1;
    if (ncols >= 23) c.AutoIncrement = Upper(st.Col(23)) == "YES";
    rows.push_back({pos, c});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TColumnEntry> out;
  for (auto& r : rows) out.push_back(r.second);
  return out;
}

std::vector<std::string> TConnection::SearchSchemas() {
  try {
    if (kind_ == dkPostgreSQL) return QueryColumn("SELECT unnest(current_schemas(false))");
    if (kind_ == dkMariaDB) return QueryColumn("SELECT DATABASE()");
  } catch (const EOdbcError&) {
  }
  return {};
}

TConnection::TQueryBase TConnection::BaseOfQuery(const std::string& sql) {
  TStmt st(dbc_, ansi_);
  st.Check(st.Prepare(sql), "the query is refused");
  SQLSMALLINT n = 0;
  st.Check(SQLNumResultCols(st.h, &n), "the query is refused");
  if (n <= 0) throw EOdbcError("the query gives no columns");
  auto attr = [&](SQLUSMALLINT col, SQLUSMALLINT field) {
    if (ansi_) {
      char abuf[2048];
      SQLSMALLINT alen = 0;
      if (!Ok(SQLColAttribute(st.h, col, field, abuf, sizeof abuf - 1, &alen, nullptr))) return std::string();
      return std::string(abuf, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(alen, 0)), 2047));
    }
    SQLWCHAR buf[1024];
    SQLSMALLINT len = 0;
    if (!Ok(SQLColAttributeW(st.h, col, field, buf, sizeof buf, &len, nullptr))) return std::string();
    return Narrow(buf, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)) / sizeof(SQLWCHAR), 1023));
  };
  TQueryBase base;
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(n); ++i) {
    TTableEntry t{attr(i, SQL_DESC_CATALOG_NAME), attr(i, SQL_DESC_SCHEMA_NAME), attr(i, SQL_DESC_BASE_TABLE_NAME),
                  "TABLE"};
    std::string col = attr(i, SQL_DESC_BASE_COLUMN_NAME);
    if (t.Name.empty() || col.empty())
      throw EOdbcError("the driver cannot tell which table column " + std::to_string(i) + " of the query comes from");
    if (i == 1) {
      base.Table = t;
    } else if (t.Name != base.Table.Name || t.Schema != base.Table.Schema || t.Catalog != base.Table.Catalog) {
      throw EOdbcError("the query reads from more than one table (" + base.Table.Name + ", " + t.Name + ")");
    }
    base.Columns.push_back(col);
  }
  return base;
}

// ---------------------------------------------------------------------------
// TBulkInserter

namespace {

// Storage of one bound parameter; lives until the statement has run.
struct TBound {
  SQLLEN Ind = 0;
  int64_t Int = 0;
  std::string Bytes;
  WString Wide;
};

SQLRETURN BindValue(SQLHSTMT h, SQLUSMALLINT n, const TValue& v, TBound& b, bool ansi) {
  switch (v.kind) {
    case TValue::vNull:
      b.Ind = SQL_NULL_DATA;
      return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0, &b.Ind);
    case TValue::vInteger:
    case TValue::vBoolean:
      b.Int = v.Integer;
      b.Ind = 0;
      return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_SBIGINT,
                              v.kind == TValue::vBoolean ? SQL_INTEGER : SQL_BIGINT, 0, 0, &b.Int, 0, &b.Ind);
    case TValue::vText: {
      if (ansi) {
        b.Bytes = v.Text;
        b.Ind = static_cast<SQLLEN>(b.Bytes.size());
        return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                                std::max<SQLULEN>(1, b.Bytes.size()), 0, b.Bytes.data(), b.Ind, &b.Ind);
      }
      b.Wide = Wide(v.Text);
      b.Ind = static_cast<SQLLEN>(b.Wide.size() * sizeof(SQLWCHAR));
      return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR,
                              std::max<SQLULEN>(1, b.Wide.size()), 0, const_cast<SQLWCHAR*>(b.Wide.data()), b.Ind,
                              &b.Ind);
    }
    case TValue::vBinary:
      b.Bytes = v.Text;
      b.Ind = static_cast<SQLLEN>(b.Bytes.size());
      return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                              std::max<SQLULEN>(1, b.Bytes.size()), 0, b.Bytes.data(), b.Ind, &b.Ind);
    default: {
      b.Bytes = v.Text;
      b.Ind = static_cast<SQLLEN>(b.Bytes.size());
      SQLSMALLINT type = SQL_VARCHAR, digits = 0;
      SQLULEN size = std::max<SQLULEN>(1, b.Bytes.size());
      switch (v.kind) {
        case TValue::vDouble: type = SQL_DOUBLE; size = 15; break;
        case TValue::vDecimal: {
          type = SQL_DECIMAL;
          const size_t dot = v.Text.find('.');
          digits = dot == std::string::npos ? 0 : static_cast<SQLSMALLINT>(v.Text.size() - dot - 1);
          size = std::max<SQLULEN>(1, v.Text.size());
          break;
        }
        case TValue::vDate: type = SQL_TYPE_DATE; size = 10; break;
        case TValue::vTime: type = SQL_TYPE_TIME; size = 12; digits = 3; break;
        case TValue::vTimestamp: type = SQL_TYPE_TIMESTAMP; size = 23; digits = 3; break;
        default: break;
      }
      return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_CHAR, type, size, digits, b.Bytes.data(), b.Ind,
                              &b.Ind);
    }
  }
}

// Runs a prepared statement over rows [from, from + count) of rows; answers the
// driver's message on failure ("" on success). nullColumns: columns from that
// index on go as NULL (the search for the bad column).
template <class Rows>
std::string RunRows(SQLHSTMT h, bool ansi, const Rows& rows, size_t from, size_t count, size_t nullFrom = SIZE_MAX) {
  std::vector<TBound> bound;
  size_t ncols = rows[from].Values.size();
  bound.resize(count * ncols);
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  SQLUSMALLINT n = 1;
  for (size_t r = 0; r < count; ++r) {
    const auto& row = rows[from + r].Values;
    for (size_t c = 0; c < ncols; ++c, ++n) {
      const TValue& v = c >= nullFrom ? TValue() : row[c];
      if (!Ok(BindValue(h, n, v, bound[r * ncols + c], ansi))) return Diagnostics(SQL_HANDLE_STMT, h);
    }
  }
  SQLRETURN rc = SQLExecute(h);
  std::string msg;
  if (!Ok(rc) && rc != SQL_NO_DATA) msg = Diagnostics(SQL_HANDLE_STMT, h);
  SQLFreeStmt(h, SQL_CLOSE);
  return msg;
}

}  // namespace

TBulkInserter::TBulkInserter(TConnection& c, std::string quotedTable, std::vector<std::string> quotedColumns)
    : c_(c), table_(std::move(quotedTable)), columns_(std::move(quotedColumns)) {
  c_.SetAutoCommit(false);
}

TBulkInserter::~TBulkInserter() {
  if (fullStmt_) SQLFreeHandle(SQL_HANDLE_STMT, fullStmt_);
}

std::string TBulkInserter::sqlOf(size_t rows) const {
  std::string sql = "INSERT INTO " + table_ + " (";
  for (size_t i = 0; i < columns_.size(); ++i) sql += (i ? ", " : "") + columns_[i];
  sql += ") VALUES ";
  std::string one = "(";
  for (size_t i = 0; i < columns_.size(); ++i) one += i ? ", ?" : "?";
  one += ")";
  for (size_t r = 0; r < rows; ++r) sql += (r ? ", " : "") + one;
  return sql;
}

void* TBulkInserter::Prepared(size_t rows) {
  SQLHSTMT h = nullptr;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, c_.Handle(), &h)))
    throw EOdbcError("cannot allocate a statement: " + Diagnostics(SQL_HANDLE_DBC, c_.Handle()));
  const std::string sql = sqlOf(rows);
  WString w = Wide(sql);
  const SQLRETURN rc = c_.Ansi() ? SQLPrepare(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)
                                 : SQLPrepareW(h, const_cast<SQLWCHAR*>(w.c_str()), SQL_NTS);
  if (!Ok(rc)) {
    std::string msg = Diagnostics(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    throw EOdbcError("the INSERT statement is refused: " + msg);
  }
  return h;
}

void TBulkInserter::Add(std::vector<TValue> row, int64_t rowNumber) {
  if (row.size() != columns_.size()) throw EOdbcError("a row does not match the columns");
  if (open_.empty() && sent_ == 0) {
    const int limit = ParameterLimit(c_.Kind());
    const size_t byLimit = std::max<size_t>(1, static_cast<size_t>(limit) / std::max<size_t>(1, columns_.size()));
    rowsPerStatement_ = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(1, RowsPerStatement)), byLimit));
  }
  for (const TValue& v : row) heldBytes_ += v.Text.size() + sizeof(TValue);
  open_.push_back({std::move(row), rowNumber});
  if (open_.size() - sent_ >= rowsPerStatement_) {
    SendStatement(sent_, rowsPerStatement_);
    sent_ += rowsPerStatement_;
    // The rows of a transaction are held for a replay: large values end it early.
    if (sent_ >= static_cast<size_t>(std::max(1, CommitEvery)) || heldBytes_ > kMaxHeldBytes) Flush();
  }
}

void TBulkInserter::SendStatement(size_t from, size_t count) {
  std::string msg;
  if (count == rowsPerStatement_) {
    if (!fullStmt_) fullStmt_ = Prepared(count);
    msg = RunRows(fullStmt_, c_.Ansi(), open_, from, count);
  } else {
    SQLHSTMT h = Prepared(count);
    msg = RunRows(h, c_.Ansi(), open_, from, count);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  if (!msg.empty()) Replay(msg);
}

void TBulkInserter::Flush() {
  while (sent_ < open_.size()) {
    const size_t n = std::min(rowsPerStatement_, open_.size() - sent_);
    SendStatement(sent_, n);
    sent_ += n;
  }
  c_.Commit();
  committed_ += static_cast<int64_t>(open_.size());
  open_.clear();
  sent_ = 0;
  heldBytes_ = 0;
}

void TBulkInserter::Replay(const std::string& firstError) {
  c_.Rollback();
  // Every row of the transaction, one statement each, until one is refused.
  SQLHSTMT one = Prepared(1);
  size_t bad = SIZE_MAX;
  std::string msg;
  for (size_t i = 0; i < open_.size(); ++i) {
    msg = RunRows(one, c_.Ansi(), open_, i, 1);
    if (!msg.empty()) {
      bad = i;
      break;
    }
  }
  if (bad == SIZE_MAX) {
    // Each row goes in on its own: keep them, go on one row a statement.
    SQLFreeHandle(SQL_HANDLE_STMT, one);
    c_.Commit();
    committed_ += static_cast<int64_t>(open_.size());
    open_.clear();
    sent_ = 0;
    heldBytes_ = 0;
    rowsPerStatement_ = 1;
    if (fullStmt_) SQLFreeHandle(SQL_HANDLE_STMT, fullStmt_);
    fullStmt_ = nullptr;
    (void)firstError;
    return;
  }
  c_.Rollback();
  // The rows before the bad one stay.
  for (size_t i = 0; i < bad; ++i) {
    std::string again = RunRows(one, c_.Ansi(), open_, i, 1);
    if (!again.empty()) {
      SQLFreeHandle(SQL_HANDLE_STMT, one);
      c_.Rollback();
      throw EOdbcError(again);
    }
  }
  c_.Commit();
  committed_ += static_cast<int64_t>(bad);
  const TRow row = open_[bad];
  open_.clear();
  sent_ = 0;
  heldBytes_ = 0;
  int column = -1;
  // The first column whose value, with the ones before it, is refused (NOT NULL
  // refusals, 23502, of the columns left empty do not count).
  for (size_t j = 0; j < columns_.size() && column < 0; ++j) {
    std::vector<TRow> probe{row};
    std::string m = RunRows(one, c_.Ansi(), probe, 0, 1, j + 1);
    c_.Rollback();
    if (!m.empty() && m.find("(23502)") == std::string::npos) column = static_cast<int>(j);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, one);
  throw TRowError(msg, row.Number, column);
}

}  // namespace korvane::odbc
