#pragma once
// The dataset base: a read-only cursor over a table, its field objects and the
// window of record buffers that views read from. Every consumer (viewer, export,
// reports, command line) reads tables only through this interface.
//
// A concrete table (TPdx) supplies the protected primitives; everything public
// is implemented here once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/sysutils.h"

namespace korvane {

// Field kinds. The ordinals are significant: consumers test them in ranges.
enum TFieldType : int {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
};

// "String", "Smallint", ..., "Memo", "Blob", "Graphic", "FmtMemo", "ParadoxOle".
const char* FieldTypeName(TFieldType t);
bool IsBlobType(TFieldType t);      // ftBlob .. ftParadoxOle
bool IsNumericType(TFieldType t);   // integer kinds, float kinds, BCD
bool IsDateTimeType(TFieldType t);  // ftDate, ftTime, ftDateTime

enum TGetMode : int { gmCurrent = 0, gmNext = 1, gmPrior = 2 };
enum TGetResult : int { grOK = 0, grBOF = 1, grEOF = 2, grError = 3 };
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };
enum TBlobStreamMode : int { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };
enum TAlignment : int { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum TDataSetState : int { dsInactive = 0, dsBrowse = 1 };

// Options of Locate.
struct TLocateOptions {
  bool CaseInsensitive = false;
  bool PartialKey = false;
};

// Filter options are stored and reported, never applied (the table has no filter).
struct TFilterOptions {
  bool CaseInsensitive = false;
  bool NoPartialCompare = false;
};

// The platform's base exception: carries only its message text.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Errors of the dataset base ("Pdx1: Field 'X' not found") and "Error in GetRecord()".
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// The table's own failures (header, chain, memo file).
class EParadoxError : public Exception {
 public:
  using Exception::Exception;
};

// A text that does not read as the number asked for ("'abc' is not a valid integer value").
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// "Stream read error" for a short read of a block header or BLOB data.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// An in-memory stream as handed out by CreateBlobStream; owned by the caller.
class TMemoryStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
  const std::string& Data() const { return data_; }
  std::string& Data() { return data_; }
  int64_t Size() const { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const { return pos_; }
  void SetPosition(int64_t p) { pos_ = p < 0 ? 0 : p; }
  // Reads up to n bytes from the position; answers the count read.
  size_t Read(void* dest, size_t n);
  void Write(const void* src, size_t n);
  void Write(const std::string& s) { Write(s.data(), s.size()); }

 private:
  std::string data_;
  int64_t pos_ = 0;
};

class TDataSet;
class TField;

// A value as a variant: null, integer, float, boolean, text or date-time.
struct TVariant {
  enum Kind { vNull, vInteger, vFloat, vBoolean, vString, vDateTime, vCurrency, vBCD };
  Kind kind = vNull;
  int64_t i = 0;
  double f = 0;  // vFloat, vCurrency, vDateTime (TDateTime)
  bool b = false;
  std::string s;  // vString, vBCD (plain decimal text)
  bool IsNull() const { return kind == vNull; }
  static TVariant Null() { return {}; }
  static TVariant Integer(int64_t v) { TVariant r; r.kind = vInteger; r.i = v; return r; }
  static TVariant Float(double v) { TVariant r; r.kind = vFloat; r.f = v; return r; }
  static TVariant Currency(double v) { TVariant r; r.kind = vCurrency; r.f = v; return r; }
  static TVariant Boolean(bool v) { TVariant r; r.kind = vBoolean; r.b = v; return r; }
  static TVariant String(std::string v) { TVariant r; r.kind = vString; r.s = std::move(v); return r; }
  static TVariant DateTime(TDateTime v) { TVariant r; r.kind = vDateTime; r.f = v; return r; }
  static TVariant BCD(std::string decimal) { TVariant r; r.kind = vBCD; r.s = std::move(decimal); return r; }
};

// One field definition, in file order.
struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;        // alpha: characters; BLOB kinds: slot bytes; BCD: decimals; bytes: bytes; else 0
  int Precision = 0;   // BCD: total digits (32 in Paradox files); else 0
  bool Required = false;
  int FieldNo = 0;     // position + 1
};

// Native values as GetFieldData delivers them (all in host byte order):
//   ftString               NUL-terminated 8-bit text (after the table's text recoding)
//   ftSmallint             int16_t
//   ftInteger, ftAutoInc   int32_t
//   ftBoolean              int16_t: -1 (all bits) for true, 0 for false
//   ftFloat, ftCurrency    double
//   ftBCD                  TBcdValue
//   ftDate                 int32_t day number, day 1 = 1 January of year 1
//   ftTime                 int32_t milliseconds since midnight
//   ftDateTime             double: day number * 86400000 + milliseconds
//   ftBytes                Size raw bytes
// BLOB kinds have no native value: their data comes through CreateBlobStream.
struct TBcdValue {
  bool Negative = false;
  int Decimals = 0;             // digits after the decimal point
  char Digits[33] = {};         // up to 32 ASCII digits, NUL-terminated, no leading zeros but one
  // Plain decimal text with exactly Decimals digits after the point
  // ("1.23", "-40.000000", "7"); decimal point given by the caller.
  std::string ToString(char decimalSeparator = '.') const;
  double ToDouble() const;
};

// Largest native value of any non-alpha kind; alpha values use an 8193-byte
// destination (8192 characters and the terminator).
constexpr size_t kMaxNativeSize = sizeof(TBcdValue);
constexpr size_t kAlphaBufferSize = 8193;

// Change notifications to attached views (grid, data-aware controls, data sources).
enum class TDataEvent {
  ActiveChanged,   // opened or closed
  DataSetChanged,  // the buffer window was refilled (open, First, Last, SetRecNo, Refresh)
  DataSetScroll,   // the cursor moved within or with the window (Next, Prior)
  LayoutChanged,   // field objects were created or freed
};

class TDataSetObserver {
 public:
  virtual ~TDataSetObserver() = default;
  virtual void DataSetEvent(TDataSet& dataSet, TDataEvent event) = 0;
  // The dataset is being destroyed: forget it (it can no longer be called).
  virtual void DataSetDestroyed(TDataSet&) {}
};

// A field object: converts the native value of the active record into the forms
// consumers read. Text forms follow the dataset's format settings.
class TField {
 public:
  TField(TDataSet& owner, const TFieldDef& def, int index);
  virtual ~TField();
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet& DataSet() const { return *dataSet_; }
  const std::string& FieldName() const { return name_; }
  const std::string& DisplayLabel() const { return displayLabel_.empty() ? name_ : displayLabel_; }
  void SetDisplayLabel(const std::string& s) { displayLabel_ = s; }
  const std::string& DisplayName() const { return DisplayLabel(); }
  TFieldType DataType() const { return dataType_; }
  int Size() const { return size_; }
  virtual int DataSize() const;  // alpha size + 1, smallint/boolean 2, ... BCD 34, BLOB 0
  int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth(); }
  void SetDisplayWidth(int w) { displayWidth_ = w; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  int Index() const { return index_; }          // 0-based position
  int FieldNo() const { return index_ + 1; }
  bool Required() const { return false; }
  bool ReadOnly() const { return true; }
  bool IsBlob() const { return IsBlobType(dataType_); }
  // Float fields: significant digits for text (15 = the default); BCD: total digits.
  int Precision() const { return precision_; }
  void SetPrecision(int p) { precision_ = p; }
  bool Currency() const { return dataType_ == ftCurrency; }

  // Value of the active record. Null values read as empty text, 0 and false.
  // AsInteger and AsFloat of alpha text parse it (empty text is 0) and raise
  // EConvertError for text that is no number; a kind that has no such form
  // (AsInteger of a date, AsDateTime of a number) raises EDatabaseError
  // "Cannot access field '%s' as type %s".
  bool IsNull() const;
  virtual std::string AsString() const;
  virtual std::string DisplayText() const;
  virtual int64_t AsInteger() const;
  virtual double AsFloat() const;
  virtual TDateTime AsDateTime() const;
  virtual bool AsBoolean() const;
  virtual TVariant AsVariant() const;
  // Copies the native value into dest (see the table above); false when null.
  bool GetData(void* dest) const;
  // BLOB kinds: the whole BLOB of the active record.
  std::string BlobData() const;
  void SaveToStream(TMemoryStream& stream) const;

 protected:
  virtual int DefaultDisplayWidth() const;
  const TFormatSettings& Settings() const;
  [[noreturn]] void AccessError(const char* typeName) const;

  TDataSet* dataSet_;
  std::string name_;
  std::string displayLabel_;
  TFieldType dataType_;
  int size_;
  int index_;
  int displayWidth_ = 0;
  int precision_ = 0;
  TAlignment alignment_ = taLeftJustify;
  bool visible_ = true;
};

// Field classes by kind (TField::DataType tells which one an object is).
class TStringField : public TField { public: using TField::TField; };
class TSmallintField : public TField { public: using TField::TField; };
class TIntegerField : public TField { public: using TField::TField; };
class TAutoIncField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TBooleanField : public TField { public: using TField::TField; };
class TFloatField : public TField { public: using TField::TField; };
class TCurrencyField : public TFloatField { public: using TFloatField::TFloatField; };
class TBCDField : public TField { public: using TField::TField; };
class TDateField : public TField { public: using TField::TField; };
class TTimeField : public TField { public: using TField::TField; };
class TDateTimeField : public TField { public: using TField::TField; };
class TBytesField : public TField { public: using TField::TField; };
class TBlobField : public TField { public: using TField::TField; };
class TMemoField : public TBlobField { public: using TBlobField::TBlobField; };
class TGraphicField : public TBlobField { public: using TBlobField::TBlobField; };

// Bookmarks are record numbers; 0 is the empty bookmark that leads nowhere.
using TBookmark = int32_t;

class TDataSet {
 public:
  explicit TDataSet(std::string name = {});
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // Component name, put in front of the base's error messages ("%s: %s").
  const std::string& Name() const { return name_; }
  void SetName(const std::string& n) { name_ = n; }

  // Lifecycle. A failed Open leaves the dataset closed (InternalClose is called).
  void Open();
  void Close();
  bool Active() const { return state_ != dsInactive; }
  void SetActive(bool a) { a ? Open() : Close(); }
  TDataSetState State() const { return state_; }

  // Fields, in file order.
  const std::vector<TFieldDef>& FieldDefs() const { return fieldDefs_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index) const;
  TField& FieldByName(const std::string& name) const;  // "Field '%s' not found"
  TField* FindField(const std::string& name) const;    // exact name, then case-insensitive
  std::vector<std::string> GetFieldNames() const;

  // Cursor movement over records 1..RecordCount.
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves up to distance records (negative: backwards); answers how many were passed.
  // Views are told once.
  int MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const;
  int RecNo() const;              // 0 when closed or empty
  void SetRecNo(int recNo);       // ignored outside 1..RecordCount
  int RecordCount() const;
  void Resync();
  void Refresh();

  // Bookmarks (record numbers).
  TBookmark GetBookmark() const;
  void GotoBookmark(TBookmark bm);
  bool BookmarkValid(TBookmark bm) const;
  void FreeBookmark(TBookmark) {}

  // Finds the first record, in record order, whose field text (AsString) equals
  // the value, or starts with it under PartialKey; a numeric field also matches a
  // number of the same value. CaseInsensitive ignores the case of ASCII letters
  // and of the Latin, Greek and Cyrillic letters of UTF-8 text. Moves there and
  // answers true; answers false and leaves the cursor where it was when none matches.
  bool Locate(const std::string& fieldName, const std::string& value, TLocateOptions options);
  virtual int RecordSize() const { return 0; }

  // Refused on a read-only dataset: "Cannot modify a read-only dataset".
  void Edit();
  void Insert();
  void Append();
  // On an empty dataset "Cannot perform this operation on an empty dataset";
  // otherwise removes nothing and refills the window.
  void Delete();

  // Change notifications. Disable/Enable nest; Enable at depth 0 sends DataSetChanged.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  void AddObserver(TDataSetObserver* o);
  void RemoveObserver(TDataSetObserver* o);

  // The buffer window. Views that show several rows set the count they need
  // (at least 1); an open dataset refills its window around the active record.
  // First fills it from record 1, Last backwards from the last record, Next and
  // Prior move the active row inside the window or shift the window by one
  // record, SetRecNo and Resync refill it around the new active record keeping
  // the active row's place where the table allows.
  void SetBufferCount(int n);
  int BufferCount() const { return bufferCount_; }
  int WindowRecordCount() const { return windowCount_; }  // filled rows
  int ActiveRecord() const { return activeRecord_; }        // index of the active row
  // Record number held by window row i (0 when unfilled).
  int WindowRecNo(int row) const;
  // Makes window row i the active buffer for reading fields (the cursor stays);
  // answers the previous active row.
  int SetActiveRecord(int row);

  // Reads one record into a spare buffer and makes it the active buffer while the
  // returned guard lives; the cursor and the window stay as they were. Used by
  // views that paint arbitrary rows (the grid) and by tools that scan a column.
  // Returns an empty guard (Valid() false) when recNo is outside 1..RecordCount.
  class TRecordPeek {
   public:
    TRecordPeek() = default;
    TRecordPeek(TRecordPeek&& o) noexcept;
    TRecordPeek& operator=(TRecordPeek&& o) noexcept;
    ~TRecordPeek();
    bool Valid() const { return ds_ != nullptr; }

   private:
    friend class TDataSet;
    TDataSet* ds_ = nullptr;
    uint64_t id_ = 0;
  };
  TRecordPeek PeekRecord(int recNo);

  // BLOB data of the field in the active record; empty for any mode but bmRead,
  // on an empty or closed dataset and for a field of another dataset.
  std::unique_ptr<TMemoryStream> CreateBlobStream(const TField& field, TBlobStreamMode mode);
  // The same data handed to sink in pieces of bounded size, so that a consumer that
  // writes it out (dump, export) holds only one piece at a time.
  using TBlobSink = std::function<void(const char* data, size_t n)>;
  void ReadBlob(const TField& field, const TBlobSink& sink);
  // The number of bytes the field's BLOB in the active record says it holds, read
  // from its leader without reading the data (which may turn out shorter or
  // damaged); -1 when the dataset cannot tell without reading it.
  int64_t BlobSize(const TField& field);
  // Values the table could not deliver since it was opened (BLOB data kept in a memo
  // file it has not got); a consumer compares the count before and after its run.
  virtual int64_t UnreadValueCount() const { return 0; }

  // Native value of the field in the active record (see TFieldDef); false for null.
  bool GetFieldValue(const TField& field, void* dest) const;

  // Text forms of the field objects use these; the dataset owns a copy.
  const TFormatSettings& FormatSettings() const { return formatSettings_; }
  void SetFormatSettings(const TFormatSettings& fs) { formatSettings_ = fs; }

  // Stored, never applied.
  std::string Filter;
  bool Filtered = false;
  TFilterOptions FilterOptions;

 protected:
  // Primitives a table supplies.
  virtual bool GetCanModify() const { return false; }
  virtual int GetRecordCount() const = 0;
  virtual size_t RecordBufferSize() const = 0;  // bytes per buffer (record + 5)
  virtual int GetRecNoFromBuffer(const uint8_t* buffer) const = 0;
  virtual void SetRecNoPrimitive(int recNo) = 0;  // cursor := recNo (validated by the base)
  virtual TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const = 0;
  virtual void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) const = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalInitRecord(uint8_t*) {}
  virtual void InternalSetToRecord(const uint8_t* buffer) = 0;
  virtual TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool check) = 0;
  virtual void InternalOpen() = 0;   // reads definitions; calls InternalInitFieldDefs
  virtual void InternalClose() = 0;  // releases files
  virtual void InternalInitFieldDefs() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalHandleException() {}
  virtual bool GetFieldData(const TField& field, const uint8_t* activeBuffer, void* dest) const = 0;
  virtual std::unique_ptr<TMemoryStream> InternalCreateBlobStream(const TField& field,
                                                                  const uint8_t* activeBuffer,
                                                                  TBlobStreamMode mode) = 0;
  // By default the whole stream in one piece.
  virtual void InternalReadBlob(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink);
  virtual int64_t InternalBlobSize(const TField&, const uint8_t*) { return -1; }

  // For descendants: the definitions InternalInitFieldDefs fills, and the
  // creation of field objects from them (called by Open after InternalOpen).
  std::vector<TFieldDef>& MutableFieldDefs() { return fieldDefs_; }
  void CreateFields();
  void DestroyFields();
  // "<Name>: <message>" as EDatabaseError.
  [[noreturn]] void DatabaseError(const std::string& message) const;
  const uint8_t* ActiveBuffer() const;

 private:
  void CheckActive() const;
  void Notify(TDataEvent e);
  void Send(TDataEvent e);
  friend class TField;

  // Window bookkeeping: buffers_ holds bufferCount_ rows and one scratch buffer
  // (the last) that every fetch reads into, so that a failed read leaves the
  // window as it was.
  void AllocateBuffers();
  uint8_t* Row(int i) { return buffers_[static_cast<size_t>(i)].data(); }
  bool Fetch(TGetMode mode);      // one record into the scratch buffer; true when read
  void AppendScratch();           // as the last row (drops row 0 when the window is full)
  void PrependScratch();          // as row 0 (drops the last row when the window is full)
  void FillFromFirst();
  void FillFromLast();
  // The table's cursor stands on the new active record: reads it and the rows
  // around it, the active row at wantRow where the table allows.
  bool RefillAround(int wantRow);
  bool StepNext();
  bool StepPrior();
  void EndPeek(uint64_t id);

  std::string name_;
  TDataSetState state_ = dsInactive;
  std::vector<TFieldDef> fieldDefs_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<TDataSetObserver*> observers_;
  int disableCount_ = 0;
  // Events held back while controls are disabled.
  bool pendingActive_ = false;
  bool pendingLayout_ = false;
  bool pendingData_ = false;
  TFormatSettings formatSettings_;

  // Window of record buffers: rows 0..windowCount_-1 hold consecutive records.
  int bufferCount_ = 1;
  std::vector<std::vector<uint8_t>> buffers_;
  int windowCount_ = 0;
  int activeRecord_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  // Buffers of the live record peeks, innermost last; entries past peekCount_
  // are kept for reuse.
  struct TPeekBuffer {
    uint64_t Id = 0;
    std::vector<uint8_t> Data;
  };
  std::vector<TPeekBuffer> peeks_;
  size_t peekCount_ = 0;
  uint64_t nextPeekId_ = 0;
};

// The text `korvane-cli dump` writes for a native value of the field (as GetData
// delivers it; not for BLOB kinds): escaped text, numbers with every stored digit,
// dates YYYY-MM-DD, times HH:MM:SS[.fff], bytes as hex.
void AppendValueText(std::string& out, const TField& field, const char* native);

}  // namespace korvane
