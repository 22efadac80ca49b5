#pragma once
// TPdxWriter: writes a Paradox table (.db, with its .mb memo file when the table has
// BLOB fields) in the layouts that real Paradox files use, record by record, so that
// a table of any size is written without holding it in memory. The file is written
// under a temporary name beside the target and renamed into place by Finish; a run
// that fails or is abandoned leaves the target as it was.

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dataset.h"

namespace korvane {

// A table the writer cannot produce: bad field definitions, a value that does not fit
// its field, a table too large for its block size, or a failed file operation.
class EPdxWriterError : public Exception {
 public:
  using Exception::Exception;
};

// Paradox field type codes as stored in the field descriptors.
namespace pdxtype {
constexpr uint8_t kAlpha = 1;
constexpr uint8_t kDate = 2;
constexpr uint8_t kShort = 3;
constexpr uint8_t kLong = 4;
constexpr uint8_t kCurrency = 5;
constexpr uint8_t kNumber = 6;
constexpr uint8_t kLogical = 9;
constexpr uint8_t kMemo = 12;
constexpr uint8_t kBlob = 13;
constexpr uint8_t kFmtMemo = 14;
constexpr uint8_t kOle = 15;
constexpr uint8_t kGraphic = 16;
constexpr uint8_t kTime = 20;
constexpr uint8_t kTimestamp = 21;
constexpr uint8_t kAutoInc = 22;
constexpr uint8_t kBcd = 23;
constexpr uint8_t kBytes = 24;
inline bool IsBlob(uint8_t t) { return t >= kMemo && t <= kGraphic; }
}  // namespace pdxtype

// One field of a table to write.
struct TPdxWriterField {
  std::string Name;
  uint8_t Type = 0;  // Paradox type code (pdxtype)
  // The descriptor size: alpha 1..255 characters; BLOB kinds 10..250, the record slot
  // including its 10-byte leader (0 means 10); BCD the number of decimals 0..32;
  // bytes 1..255. Types of fixed size take 0 (their size is filled in).
  int Size = 0;
};

// A value to write into one field. Which kinds a field accepts:
//   alpha, memo, BLOB kinds, bytes   Bytes (8-bit text in the table's code page, or raw bytes)
//   short, long, auto-increment      Integer
//   date                             Integer: day number, day 1 = 1 January of year 1
//   time                             Integer: milliseconds since midnight
//   number, currency                 Float or Integer
//   timestamp                        Float or Integer: day number * 86400000 + milliseconds
//   logical                          Boolean
//   BCD                              Bcd, or Bytes holding decimal text ("-12.50"), or Integer
class TWriterValue {
 public:
  enum TKind : uint8_t { kInteger, kFloat, kBoolean, kBytes, kBcd };

  template <std::integral T>
  requires(!std::same_as<T, bool>) TWriterValue(T v)
      : kind_(kInteger), i_(static_cast<int64_t>(v)) {}             // NOLINT: implicit on purpose
  TWriterValue(double v) : kind_(kFloat), f_(v) {}                  // NOLINT
  TWriterValue(bool v) : kind_(kBoolean), i_(v ? 1 : 0) {}          // NOLINT
  TWriterValue(std::string v) : kind_(kBytes), s_(std::move(v)) {}  // NOLINT
  TWriterValue(const char* v) : kind_(kBytes), s_(v) {}             // NOLINT
  TWriterValue(const TBcdValue& v) : kind_(kBcd), bcd_(v) {}        // NOLINT

  TKind Kind() const { return kind_; }
  int64_t Integer() const { return i_; }
  double Float() const { return f_; }
  bool Boolean() const { return i_ != 0; }
  const std::string& Bytes() const { return s_; }
  const TBcdValue& Bcd() const { return bcd_; }

 private:
  TKind kind_;
  int64_t i_ = 0;
  double f_ = 0;
  std::string s_;
  TBcdValue bcd_;
};

// One record: a value per field in field order; an empty optional is null.
using TWriterRow = std::vector<std::optional<TWriterValue>>;

// Language driver of a table: the sort order byte of the header, the DOS code page
// (stored by file version 5 and later) and the sort-order name after the field names.
struct TPdxLanguageDriver {
  uint8_t SortOrder = 0x00;
  uint16_t CodePage = 437;
  std::string SortOrderName = "ascii";

  static TPdxLanguageDriver Ascii();          // "ascii", 437
  static TPdxLanguageDriver AnsiIntl();       // "ANSIINTL", 1252 (Windows Latin-1)
  static TPdxLanguageDriver WinUs();          // "DBWINUS0", 1252
  static TPdxLanguageDriver WinWestEurope();  // "DBWINWE0", 1252
  static TPdxLanguageDriver Intl850();        // "intl850", 850
  static TPdxLanguageDriver Cyrillic866();    // "cyrr", 866
  // One of the above by its sort-order name (case-insensitive).
  static std::optional<TPdxLanguageDriver> ByName(const std::string& name);
};

// Order of the data block chain relative to the file.
enum class TPdxChainOrder {
  FileOrder,     // 1 -> 2 -> 3 ...
  SwappedPairs,  // 2 -> 1 -> 4 -> 3 ... (a last unpaired block stays in place)
  Explicit,      // the blocks of TPdxWriterOptions::ChainBlocks, in that order
};

struct TPdxWriterOptions {
  // Header byte 57: 3 (Paradox 3.0), 4 (3.5), 9 (4.x), 10 or 11 (5.x), 12 (7.x).
  int FileVersion = 12;
  // Data block size: 1, 2, 4, 8, 16 or 32 KB.
  int BlockSizeKB = 2;
  TPdxLanguageDriver Language;
  // Table name stored in the header; empty: the target's file name.
  std::string HeaderTableName;
  // Last update time in the header (seconds since 1970, version 5 and later);
  // 0: the time of writing.
  uint32_t UpdateTime = 0;
  // The header's auto-increment value; unset: the largest auto-increment value written.
  std::optional<uint32_t> AutoIncValue;
  // Records per data block; 0: as many as fit.
  int RecordsPerBlock = 0;
  TPdxChainOrder ChainOrder = TPdxChainOrder::FileOrder;
  // For TPdxChainOrder::Explicit: the file block (1-based) of every chain position.
  // The records fill the positions in order; positions left over stay in the chain
  // as blocks without records. File blocks not listed are written as free blocks.
  std::vector<uint16_t> ChainBlocks;
  // Blocks without records at the end of the chain (file order and swapped pairs).
  int EmptyChainBlocks = 0;
  // Free blocks (not in the chain) after the data blocks.
  int FreeBlocks = 0;
  // Refuse field types the file version does not have (long, time and the other
  // types of version 5 in a 4.x table, BLOB kinds before 4.x) and values Paradox
  // cannot hold (times outside a day).
  bool StrictTypes = true;
  // BLOB data up to this many bytes (and beyond the record slot) goes into shared
  // memo blocks; longer data gets memo blocks of its own.
  size_t SharedBlobLimit = 2048;
};

class TPdxWriter {
 public:
  // Checks the definitions and creates the temporary files beside path.
  TPdxWriter(const std::string& path, std::vector<TPdxWriterField> fields, TPdxWriterOptions options = {});
  // Without Finish, removes the temporary files: the target stays as it was.
  ~TPdxWriter();
  TPdxWriter(const TPdxWriter&) = delete;
  TPdxWriter& operator=(const TPdxWriter&) = delete;

  // Appends one record (one value or null per field, in field order).
  void Append(const TWriterRow& row);
  // Writes the header, completes the memo file and renames both into place.
  void Finish();
  // Drops everything written so far; the target stays as it was.
  void Abandon();
  // Replaces the header's auto-increment value (TPdxWriterOptions::AutoIncValue).
  void SetAutoIncValue(uint32_t value);

  uint32_t RecordCount() const;
  int RecordLength() const;
  int HeaderLength() const;
  // Path of the memo file written beside the table; empty when the table has no BLOB field.
  const std::string& MemoPath() const;

  // Writes a whole table in one call.
  static void Write(const std::string& path, const std::vector<TPdxWriterField>& fields,
                    const std::vector<TWriterRow>& rows, const TPdxWriterOptions& options = {});

  class TImpl;

 private:
  std::unique_ptr<TImpl> impl_;
};

// Day number (day 1 = 1 January of year 1) of a date of the proleptic Gregorian calendar.
int32_t PdxDayNumber(int year, int month, int day);
// Milliseconds since midnight.
int32_t PdxTimeOfDay(int hour, int minute, int second, int msec = 0);
// Timestamp value: day number * 86400000 + milliseconds.
double PdxTimestamp(int year, int month, int day, int hour, int minute, int second, int msec = 0);

// A BCD value from decimal text ("-12.50", "7", "0.125"); throws EPdxWriterError on bad text.
TBcdValue PdxBcdFromString(const std::string& text);

}  // namespace korvane
