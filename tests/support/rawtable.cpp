#include "support/rawtable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace korvane::test {

namespace {

void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string BigEndian(uint64_t v, int width) {
  std::string s(static_cast<size_t>(width), '\0');
  for (int i = width - 1; i >= 0; --i) {
    s[static_cast<size_t>(i)] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  return s;
}

}  // namespace

uint16_t RawTable::EffectiveRecordLength() const {
  if (RecordLength) return *RecordLength;
  int n = 0;
  for (const RawField& f : Fields) n += f.Type == 23 ? 17 : f.Size;
  return static_cast<uint16_t>(n);
}

std::string RawTable::Build() const {
  const uint16_t rl = EffectiveRecordLength();
  const size_t n = Fields.size();
  const size_t base = FileVersion < 5 ? 88 : 120;
  const size_t area = FileVersion < 12 ? 79 : 261;
  std::string head(base, '\0');
  for (const RawField& f : Fields) {
    head += static_cast<char>(f.Type);
    head += static_cast<char>(f.Size);
  }
  head += std::string(4 + 4 * n, '\0');
  std::string tn = TableName.substr(0, area - 1);
  head += tn + std::string(area - tn.size(), '\0');
  for (const RawField& f : Fields) head += f.Name + '\0';
  for (size_t i = 0; i < n; ++i) {
    head += static_cast<char>((i + 1) & 0xFF);
    head += static_cast<char>((i + 1) >> 8);
  }
  head += SortOrderName + '\0';

  const size_t headerLength = HeaderLength ? *HeaderLength : (head.size() + 2047) / 2048 * 2048;
  uint32_t records = 0;
  for (const RawBlock& b : Blocks) records += static_cast<uint32_t>(b.Records.size());

  Put16(head, 0, rl);
  Put16(head, 2, static_cast<uint16_t>(headerLength));
  head[4] = static_cast<char>(FileType);
  head[5] = static_cast<char>(BlockSizeKB);
  Put32(head, 6, NumRecords ? *NumRecords : records);
  Put16(head, 10, static_cast<uint16_t>(Blocks.size()));
  Put16(head, 12, FileBlocks ? *FileBlocks : static_cast<uint16_t>(Blocks.size()));
  Put16(head, 14, FirstBlock);
  Put16(head, 16, static_cast<uint16_t>(Blocks.size()));
  Put16(head, 33, NumFields ? *NumFields : static_cast<uint16_t>(n));
  head[41] = static_cast<char>(SortOrder);
  head[57] = static_cast<char>(FileVersion);
  if (FileVersion >= 5) {
    Put32(head, 92, Encryption);
    Put16(head, 106, CodePage);
  } else {
    Put32(head, 37, Encryption);
  }

  std::string file = head;
  if (file.size() < headerLength) {
    file.resize(headerLength, '\0');
  } else {
    file.resize(headerLength);  // a header length shorter than the header cuts it
  }
  const size_t blockSize = static_cast<size_t>(BlockSizeKB) * 1024;
  for (const RawBlock& b : Blocks) {
    std::string block(blockSize, '\0');
    Put16(block, 0, b.Next);
    Put16(block, 2, b.Prev);
    uint16_t last = b.LastRecordOffset
                        ? *b.LastRecordOffset
                        : static_cast<uint16_t>((b.Records.empty() ? 0 : b.Records.size() - 1) * rl);
    if (!b.LastRecordOffset && b.Records.empty()) last = static_cast<uint16_t>(-static_cast<int>(rl));
    Put16(block, 4, last);
    size_t at = 6;
    for (const std::string& r : b.Records) {
      if (at + rl > blockSize) break;  // what does not fit is left out
      std::string rec = r.substr(0, rl);
      rec.resize(rl, '\0');
      block.replace(at, rl, rec);
      at += rl;
    }
    file += block;
  }
  return file;
}

void RawTable::ChainRecords(const std::vector<std::string>& records, size_t perBlock) {
  Blocks.clear();
  for (size_t i = 0; i < records.size(); i += perBlock) {
    RawBlock b;
    b.Records.assign(records.begin() + static_cast<long>(i),
                     records.begin() + static_cast<long>(std::min(records.size(), i + perBlock)));
    Blocks.push_back(std::move(b));
  }
  for (size_t i = 0; i < Blocks.size(); ++i) {
    Blocks[i].Prev = static_cast<uint16_t>(i);
    Blocks[i].Next = i + 1 < Blocks.size() ? static_cast<uint16_t>(i + 2) : 0;
  }
  FirstBlock = Blocks.empty() ? 0 : 1;
}

std::string StoreShort(int16_t v) { return BigEndian(static_cast<uint16_t>(v) ^ 0x8000u, 2); }
std::string StoreLong(int32_t v) { return BigEndian(static_cast<uint32_t>(v) ^ 0x80000000u, 4); }

std::string StoreDouble(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  // Positive values get the sign bit set, negative ones every bit complemented.
  bits = (bits >> 63) ? ~bits : bits ^ (uint64_t{1} << 63);
  return BigEndian(bits, 8);
}

std::string StoreDate(int year, int month, int day) {
  // Day number, day 1 = 1 January of year 1.
  int y = year - (month <= 2);
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int days = era * 146097 + doe - 306 + 1;
  return StoreLong(days);
}

std::string StoreAlpha(const std::string& text, size_t size) {
  std::string s = text.substr(0, size);
  s.resize(size, '\0');
  return s;
}

std::string StoreLogical(bool v) { return std::string(1, static_cast<char>(v ? 0x81 : 0x80)); }

std::string StoreBcd(const std::string& decimal, int decimals) {
  bool negative = !decimal.empty() && decimal[0] == '-';
  std::string t = negative ? decimal.substr(1) : decimal;
  std::string ip = t, fp;
  if (size_t dot = t.find('.'); dot != std::string::npos) {
    ip = t.substr(0, dot);
    fp = t.substr(dot + 1);
  }
  fp.resize(static_cast<size_t>(decimals), '0');
  std::string digits = ip + fp;
  if (digits.size() > 32) throw std::runtime_error("StoreBcd: too many digits");
  digits.insert(0, 32 - digits.size(), '0');
  std::string s(17, '\0');
  s[0] = static_cast<char>((negative ? 0x40 : 0xC0) | decimals);
  for (int i = 0; i < 16; ++i) {
    uint8_t b = static_cast<uint8_t>(((digits[2 * i] - '0') << 4) | (digits[2 * i + 1] - '0'));
    s[1 + static_cast<size_t>(i)] = static_cast<char>(negative ? ~b : b);
  }
  return s;
}

std::string Zeros(size_t n) { return std::string(n, '\0'); }

std::string StoreBlobSlot(size_t size, const std::string& inRecord, uint32_t mbOffset, int32_t length,
                          uint16_t modNumber) {
  std::string s(size, '\0');
  s.replace(0, std::min(inRecord.size(), size - 10), inRecord.substr(0, size - 10));
  Put32(s, size - 10, mbOffset);
  Put32(s, size - 6, static_cast<uint32_t>(length));
  Put16(s, size - 2, modNumber);
  return s;
}

RawMemo::RawMemo() : bytes_(4096, '\0') {
  bytes_[0] = 0;  // header block
}

uint32_t RawMemo::AddOwnBlock(const std::string& data) {
  const size_t offset = bytes_.size();
  const size_t blocks = (9 + data.size() + 4095) / 4096;
  std::string b(blocks * 4096, '\0');
  b[0] = 2;
  Put16(b, 1, static_cast<uint16_t>(blocks));
  Put32(b, 3, static_cast<uint32_t>(data.size()));
  b.replace(9, data.size(), data);
  bytes_ += b;
  return static_cast<uint32_t>(offset) | 0xFF;
}

uint32_t RawMemo::AddSharedBlock(const std::vector<std::pair<int, std::string>>& entries) {
  const size_t offset = bytes_.size();
  std::string b(4096, '\0');
  b[0] = 3;
  Put16(b, 1, 1);
  size_t at = 1296;  // after the entry table of 255 entries, 16-byte aligned
  for (const auto& [index, data] : entries) {
    if (index < 0 || index > 254 || at + data.size() > 4096) throw std::runtime_error("RawMemo: bad entry");
    b[12 + 5 * static_cast<size_t>(index)] = static_cast<char>(at / 16);
    b[12 + 5 * static_cast<size_t>(index) + 1] = static_cast<char>((data.size() + 15) / 16);
    b.replace(at, data.size(), data);
    at += (data.size() + 15) / 16 * 16;
  }
  bytes_ += b;
  return static_cast<uint32_t>(offset);
}

}  // namespace korvane::test
