#pragma once
// A raw-bytes builder of small Paradox tables for the cases that only raw bytes can
// make: chains in any order, loops, links beyond the file, impossible sizes, memo
// blocks laid out by hand. Every number the header holds can be overridden.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

struct RawField {
  uint8_t Type = 1;
  uint8_t Size = 10;
  std::string Name;
};

struct RawBlock {
  uint16_t Next = 0;
  uint16_t Prev = 0;
  std::vector<std::string> Records;          // each RecordLength bytes (padded or cut to it)
  std::optional<uint16_t> LastRecordOffset;  // default: (records - 1) * RecordLength
};

struct RawTable {
  int FileVersion = 12;
  uint8_t FileType = 2;
  uint8_t BlockSizeKB = 1;
  std::vector<RawField> Fields;
  std::vector<RawBlock> Blocks;  // in file order: Blocks[0] is block 1
  uint16_t FirstBlock = 1;
  uint8_t SortOrder = 0;
  uint16_t CodePage = 0;
  std::string SortOrderName = "ascii";
  std::string TableName = "raw.db";
  uint32_t Encryption = 0;
  // Overrides; by default derived from the fields and blocks.
  std::optional<uint16_t> RecordLength;  // default: sum of slots (BCD takes 17 bytes)
  std::optional<uint16_t> HeaderLength;  // default: header size rounded up to 2048
  std::optional<uint32_t> NumRecords;    // default: records in all blocks
  std::optional<uint16_t> FileBlocks;    // default: Blocks.size()
  std::optional<uint16_t> NumFields;     // default: Fields.size()

  uint16_t EffectiveRecordLength() const;
  // The whole .db file.
  std::string Build() const;
  // Blocks holding the given records in file order, chained 1 -> 2 -> ...,
  // at most perBlock records each.
  void ChainRecords(const std::vector<std::string>& records, size_t perBlock);
};

// Stored forms of field values (big-endian with the sign bit flipped).
std::string StoreShort(int16_t v);
std::string StoreLong(int32_t v);       // long, auto-increment, date (day number), time (ms)
std::string StoreDouble(double v);      // number, currency, timestamp
std::string StoreDate(int year, int month, int day);
std::string StoreAlpha(const std::string& text, size_t size);  // zero-padded or cut
std::string StoreLogical(bool v);        // 0x81 true, 0x80 false
// BCD of a decimal text such as "-12.5" with the given decimals (17 bytes).
std::string StoreBcd(const std::string& decimal, int decimals);
std::string Zeros(size_t n);

// A BLOB slot of `size` bytes: the first bytes of the data kept in the record
// (as many as fit), then the 10-byte leader.
std::string StoreBlobSlot(size_t size, const std::string& inRecord, uint32_t mbOffset, int32_t length,
                          uint16_t modNumber = 1);

// A memo file laid out block by block (4 KB blocks; block 0 is the header).
class RawMemo {
 public:
  RawMemo();
  // A block of its own holding the data; answers the leader's MbOffset (block | 0xFF).
  uint32_t AddOwnBlock(const std::string& data);
  // A shared block with the given entries (entry index, data); answers the block's
  // offset (the leader's MbOffset is offset | entry index).
  uint32_t AddSharedBlock(const std::vector<std::pair<int, std::string>>& entries);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace korvane::test
