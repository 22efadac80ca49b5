#pragma once
// TPdx: a Paradox table (.db with its .mb memo file) as a read-only dataset.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dataset.h"

namespace korvane {

// The fixed header as read from the file (first 88 bytes, 120 for version 5 and later).
struct TPdxHeader {
  uint8_t Raw[120] = {};
  uint16_t RecordLength() const;
  uint16_t HeaderLength() const;
  uint8_t FileType() const;
  uint8_t BlockSizeKB() const;
  uint32_t NumRecords() const;
  uint16_t FileBlocks() const;
  uint16_t FirstBlock() const;
  uint16_t NumFields() const;
  uint32_t EncryptionOld() const;
  uint8_t SortOrder() const;
  uint8_t FileVersion() const;
  uint32_t EncryptionNew() const;  // version 5 and later
  uint16_t DosCodePage() const;    // version 5 and later
  uint32_t AutoIncValue() const;   // bytes 73..76 ("next auto-increment value")
  uint16_t PrimaryKeyFields() const;  // byte 35: count of leading key fields
};

struct TPdxFieldInfo {
  uint8_t Type = 0;  // Paradox type code (1 alpha, 2 date, ... 24 bytes)
  uint8_t Size = 0;  // descriptor size byte
  int Offset = 0;    // byte offset in the record
  int SlotSize = 0;  // bytes the field takes in the record (17 for BCD)
};

// A BLOB value that cannot be read: its leader and the memo file disagree. The message
// names the record and the field; the record's other values still read.
class EBlobError : public EParadoxError {
 public:
  using EParadoxError::EParadoxError;
};

// The block chain is broken ("Block N read error"): a link past the end, a loop, a block
// that cannot be read. Opening with salvage on reads what can be found instead.
class EChainError : public EParadoxError {
 public:
  using EParadoxError::EParadoxError;
};

// What a salvage read found (valid while open).
struct TSalvageReport {
  bool Damaged = false;           // the chain is broken: the records were gathered by salvage
  uint32_t ChainRecords = 0;      // records read along the chain before the damage (their order is sure)
  uint32_t Recovered = 0;         // records found in all
  uint32_t UnreadableBlocks = 0;  // blocks whose header is not plausible, or that lie past the end of the file
  std::string Damage;             // what broke the chain
};

// Turns alpha or memo text into the text the consumers get (UTF-8 in the viewer).
using TEncodeEvent = std::function<std::string(TDataSet& sender, const TField& field, const std::string& text)>;

// Field kind of a Paradox type code (ftUnknown for codes that are not mapped).
TFieldType MapFieldType(int code);
// "Alpha", "Date", "Short", "Long", "Money", "Number", "Logical", "Memo", "Binary",
// "Formatted Memo", "OLE", "Graphic", "Time", "Timestamp", "Autoincrement", "BCD", "Bytes".
const char* ParadoxTypeName(int code);

class TPdx : public TDataSet {
 public:
  explicit TPdx(std::string name = "Pdx1");
  ~TPdx() override;

  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& path);  // closes an open table first when it differs

  // Language driver (see language.h): name of the detected driver, or empty.
  std::string Language() const;
  void SetLanguage(const std::string& name);
  int LanguageIndex() const { return languageIndex_; }
  // Target encoding of the built-in recoding: "UTF-8", "KOI8R", "CP1251" or empty.
  const std::string& Codepage() const { return codepage_; }
  void SetCodepage(const std::string& cp) { codepage_ = cp; }
  bool EncodingMemo() const { return encodingMemo_; }
  void SetEncodingMemo(bool b) { encodingMemo_ = b; }
  // When set, replaces the built-in recoding of alpha and memo text.
  TEncodeEvent OnEncode;

  // What the table read (valid while open).
  const TPdxHeader& Header() const { return header_; }
  const std::vector<TPdxFieldInfo>& FieldInfo() const { return fieldInfo_; }
  bool Encrypted() const { return encrypted_; }
  const std::string& SortOrderName() const { return sortOrderName_; }
  const std::string& TableNameInHeader() const { return headerTableName_; }  // name area after descriptors
  bool HasMemoFile() const { return memoFile_ != nullptr; }
  const std::string& MemoFileName() const { return memoFileName_; }

  // What keeps the table from being read whole (valid while open).
  // Encrypted tables show no records: their bytes are not the values.
  // The memo file a table with BLOB fields needs and could not open: why (with the
  // file's name, control bytes escaped), and the BLOB fields whose data lying there
  // cannot be read. Empty when the memo file is open or the table needs none.
  const std::string& MemoProblem() const { return memoProblem_; }
  std::vector<std::string> MemoProblemFields() const;
  // The data file ends before its last record: only the records before the damage are
  // read (RecordCount counts them), the header says NumRecords.
  bool Truncated() const {
    return !encrypted_ && !salvage_report_.Damaged && readableRecords_ < header_.NumRecords();
  }
  uint32_t ReadableRecords() const { return readableRecords_; }
  // One sentence per problem above, for a status bar, an info window or standard error:
  // "the table is encrypted: its records cannot be read", the memo file's problem and
  // "the file is shorter than its header says: N of M records can be read".
  std::vector<std::string> ReadProblems() const;
  int64_t UnreadValueCount() const override { return unreadValues_ + undecodedValues_ + cutMemos_; }

  // Salvage (set before opening): a table whose block chain is broken opens with every
  // record that can be found, first the chain up to the damage, then the records of
  // every other block of the file whose header is plausible, in file order, each block
  // once. Values that do not decode (a date out of range, a BCD with invalid digits)
  // read as null and are counted; memo text whose memo file is missing or damaged is
  // given as far as the record slot keeps it, and counted as cut.
  void SetSalvage(bool on) { salvage_ = on; }
  bool Salvage() const { return salvage_; }
  const TSalvageReport& SalvageReport() const { return salvage_report_; }
  // "Damaged table: N records recovered, M blocks unreadable; the order after record K
  // may differ from the original" (empty when the chain is whole).
  std::string SalvageSummary() const;
  int64_t UndecodedValues() const { return undecodedValues_; }
  int64_t CutMemos() const { return cutMemos_; }
  // A chain fault was met while reading (the error raised was an EChainError).
  bool ChainFault() const { return chainFault_; }
  // The BLOB last read through ReadBlob/CreateBlobStream was memo text cut short.
  bool LastBlobCut() const { return lastBlobCut_; }

  // Record size: the table's record length.
  int RecordSize() const override;

  // The recoding step alpha values (and memo text) pass through.
  std::string EncodeText(const std::string& text, const TField& field);
  // The BLOB of the field in the active record in bounded pieces, memo text and the
  // text of a formatted memo recoded as EncodeText does (other data as it is stored).
  void ReadBlobText(const TField& field, const TBlobSink& sink);
  // The active record's value as the file stores it, before any recoding, for a
  // consumer that copies the table's text into another table of its code page: an
  // alpha field's bytes up to the first zero byte, a BLOB's data in bounded pieces.
  std::string RawAlpha(const TField& field) const;
  void ReadBlobRaw(const TField& field, const TBlobSink& sink);

 protected:
  int GetRecordCount() const override;
  size_t RecordBufferSize() const override;
  int GetRecNoFromBuffer(const uint8_t* buffer) const override;
  void SetRecNoPrimitive(int recNo) override;
  TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override;
  void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) const override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(const uint8_t* buffer) override;
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool check) override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  bool IsCursorOpen() const override { return cursorOpen_; }
  bool GetFieldData(const TField& field, const uint8_t* activeBuffer, void* dest) const override;
  std::unique_ptr<TMemoryStream> InternalCreateBlobStream(const TField& field, const uint8_t* activeBuffer,
                                                          TBlobStreamMode mode) override;
  void InternalReadBlob(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink) override;
  int64_t InternalBlobSize(const TField& field, const uint8_t* activeBuffer) override;
  void ReadBlobRecoded(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink);

 private:
  // An open file read with positioned reads (no shared file position).
  class TFile {
   public:
    TFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    ~TFile();
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    uint64_t Size() const { return size_; }
    // Reads up to n bytes at offset; answers the count read (short only at the end of the file).
    size_t ReadAt(uint64_t offset, void* dest, size_t n) const;

   private:
    int fd_;
    uint64_t size_;
  };

  void ReadFieldDescriptors();
  void OpenMemoFile();
  void ResetChain();
  // Extends the block map until it covers record recNo (1-based); raises on chain faults.
  void MapChainTo(uint32_t recNo);
  // Copies record recNo into dest (RecordLength bytes).
  void ReadRecord(uint32_t recNo, uint8_t* dest);
  int BlockRecordCount(uint16_t lastRecordOffset) const;
  uint64_t BlockStart(uint16_t block) const;
  // Where the data of a BLOB slot lies: in the record (Start is the offset in the slot)
  // or in the memo file. Answers false when there is no data to read (none, or kept in a
  // memo file the table has not got); raises EBlobError when the leader and the memo
  // file disagree.
  struct TBlobPlace {
    bool InRecord = false;
    uint64_t Start = 0;
    uint64_t Length = 0;
  };
  bool LocateBlob(const TField& field, const uint8_t* activeBuffer, TBlobPlace& place);
  [[noreturn]] void DamagedBlob(const TField& field, const uint8_t* activeBuffer, const std::string& why) const;
  // The raw bytes of a BLOB in pieces of at most kBlobChunk bytes.
  void ReadBlobChunks(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink);
  void CheckLength();
  // Salvage at opening: walks the chain strictly, and when it is broken gathers the
  // plausible blocks of the rest of the file into the block map.
  void SalvageChain();
  // Whether a stored value of a fixed-width type decodes to a value of its type.
  bool ValueDecodes(const TPdxFieldInfo& fi, const uint8_t* p) const;
  void CountUndecoded(uint32_t recNo, const uint8_t* record);
  [[noreturn]] void BlockError(unsigned block) const;
  [[noreturn]] void NotADataFile() const;

  std::string tableName_;
  std::unique_ptr<TFile> dataFile_;
  std::unique_ptr<TFile> memoFile_;
  std::string memoFileName_;
  std::string memoProblem_;
  uint32_t readableRecords_ = 0;
  int64_t unreadValues_ = 0;
  uint64_t dataFileSize_ = 0;
  uint64_t memoFileSize_ = 0;
  bool cursorOpen_ = false;
  bool salvage_ = false;
  TSalvageReport salvage_report_;
  int64_t undecodedValues_ = 0;
  int64_t cutMemos_ = 0;
  mutable bool chainFault_ = false;
  bool lastBlobCut_ = false;
  std::vector<uint8_t> checkedRecords_;  // salvage: records whose values were counted
  int32_t currentRecNo_ = 0;
  TPdxHeader header_;
  std::vector<TPdxFieldInfo> fieldInfo_;
  bool encrypted_ = false;
  std::string sortOrderName_;
  std::string headerTableName_;
  int languageIndex_ = 0;
  std::string codepage_;
  bool encodingMemo_ = true;
  uint32_t blockSize_ = 0;       // BlockSizeKB * 1024
  int blockCapacity_ = 0;        // records that fit in one block

  // Block map of the chain, filled as the chain is first walked: the block number
  // of each chain position and the record count before it. Blocks that hold no
  // record are walked but not mapped.
  struct ChainEntry {
    uint16_t Block;
    uint32_t FirstRecNo;  // records before the block (0-based number of its first record)
    uint32_t Count;       // records in the block
  };
  std::vector<ChainEntry> chain_;
  uint32_t chainRecords_ = 0;     // records covered by chain_
  uint16_t chainNext_ = 0;        // next block to read when extending the map
  std::vector<uint8_t> visited_;  // blocks already walked (loop detection)
  size_t chainHint_ = 0;          // entry of the last record located

  // A window of the data file read in one go: the block the last record came from and
  // the blocks after it, so that a scan in file order costs one read per window.
  const uint8_t* WindowAt(uint64_t offset, size_t n);  // nullptr when not in the window
  void FillBlockWindow(uint64_t blockStart);           // the window is one block only
  void FillWindow(uint64_t offset);
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowBytes_ = 0;
  // The same for small reads of the memo file (memos in shared blocks lie side by side).
  size_t ReadMemo(uint64_t offset, void* dest, size_t n);
  std::vector<uint8_t> memoWindow_;
  uint64_t memoWindowStart_ = 0;
  size_t memoWindowBytes_ = 0;
  friend struct TPdxInternals;
};

}  // namespace korvane
