#include "support/hostile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "engine/pdxwriter.h"
#include "support/fixtures.h"
#include "support/paths.h"
#include "support/rawtable.h"

namespace korvane::test {

namespace {

constexpr int kSlot = 20;

uint32_t Le32At(const std::string& bytes, uint64_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<uint64_t>(i)));
  return v;
}

// Offset of the leader of field (1 or 2) of record in block 1.
uint64_t LeaderOffset(const std::string& dbPath, int record, int field) {
  return RecordOffset(dbPath, 1, record) + 4 + static_cast<uint64_t>(field - 1) * kSlot + kSlot - 10;
}

}  // namespace

std::string MakeBlobTable(int records) {
  std::vector<TPdxWriterField> fields = {
      {"Id", pdxtype::kLong, 0}, {"Memo", pdxtype::kMemo, kSlot}, {"Pic", pdxtype::kBlob, kSlot}};
  std::vector<TWriterRow> rows;
  for (int i = 1; i <= records; ++i) {
    std::string memo(5000, static_cast<char>('a' + i % 26));
    if (i == 2) memo = std::string(100, 'm');
    std::string pic(6000, '\0');
    for (size_t k = 0; k < pic.size(); ++k) pic[k] = static_cast<char>(k * 13 + static_cast<size_t>(i));
    rows.push_back({int64_t{i}, memo, pic});
  }
  return MakeTable(fields, rows, {}, "hostile.db");
}

std::string MemoPathOf(const std::string& dbPath) { return dbPath.substr(0, dbPath.size() - 3) + ".mb"; }

void PatchLeaderLength(const std::string& dbPath, int record, int field, uint32_t length) {
  PatchLe32(dbPath, LeaderOffset(dbPath, record, field) + 4, length);
}

void PatchMemoBlockCount(const std::string& dbPath, int record, int field, uint16_t blocks) {
  const uint32_t mb = Le32At(ReadFile(dbPath), LeaderOffset(dbPath, record, field));
  // Byte 0 is the block type; the count follows it.
  PatchLe16(MemoPathOf(dbPath), (mb & ~uint32_t{0xFF}) + 1, blocks);
}

void ReplaceMemoFile(const std::string& dbPath, TMemoStandIn what) {
  const std::string mb = MemoPathOf(dbPath);
  std::filesystem::remove(mb);
  int r = 0;
  switch (what) {
    case TMemoStandIn::Fifo: r = ::mkfifo(mb.c_str(), 0600); break;
    case TMemoStandIn::Directory: r = ::mkdir(mb.c_str(), 0700); break;
    case TMemoStandIn::LinkToDevZero: r = ::symlink("/dev/zero", mb.c_str()); break;
  }
  if (r != 0) throw std::runtime_error("cannot make the memo stand-in " + mb);
}

std::string MakeNamedTable(const std::string& firstName, const std::string& secondName, uint8_t secondType) {
  RawTable raw;
  raw.Fields = {{4, 4, firstName}, {secondType, 10, secondName}};
  raw.Blocks = {RawBlock{0, 0, {StoreLong(1) + StoreAlpha("one", 10), StoreLong(2) + StoreAlpha("two", 10)}}};
  std::string path = TempDir() + "/named.db";
  WriteFile(path, raw.Build());
  return path;
}

std::string MakeUnendedNameTable() {
  RawTable raw;
  raw.Fields = {{4, 4, "Id"}, {1, 10, "Name"}};
  raw.Blocks = {RawBlock{0, 0, {StoreLong(1) + StoreAlpha("AAAAAAAAAA", 10)}}};
  // Version 12: names after 120 + 6 * 2 + 4 + 261 bytes; the header ends after "Id\0Na".
  raw.HeaderLength = static_cast<uint16_t>(120 + 6 * 2 + 4 + 261 + 5);
  std::string path = TempDir() + "/unended.db";
  std::string bytes = raw.Build();
  // The block header's zero bytes would end the name: the block begins with text.
  bytes.replace(*raw.HeaderLength, 2, "BB");
  WriteFile(path, bytes);
  return path;
}

}  // namespace korvane::test
