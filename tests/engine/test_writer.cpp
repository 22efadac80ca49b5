// The table writer: its output compared byte for byte with real Paradox tables where
// the same definitions and values can be written, and the layout rules it follows.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/pdxgenerate.h"
#include "support/fixtures.h"
#include "support/paths.h"

namespace korvane {
namespace {

using test::ReadFile;
using test::TempDir;
using test::TestData;

uint32_t Le16(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8;
}
uint32_t Le32(const std::string& s, size_t at) { return Le16(s, at) | Le16(s, at + 2) << 16; }
int16_t SignedLe16(const std::string& s, size_t at) { return static_cast<int16_t>(Le16(s, at)); }

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

// Compares byte ranges [from, to) of two files' contents.
void ExpectSameBytes(const std::string& real, const std::string& ours, size_t from, size_t to,
                     const char* what) {
  ASSERT_LE(to, real.size()) << what;
  ASSERT_LE(to, ours.size()) << what;
  EXPECT_EQ(Hex(real.substr(from, to - from)), Hex(ours.substr(from, to - from)))
      << what << " [0x" << std::hex << from << ", 0x" << to << ")";
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) out.push_back(e->d_name);
    closedir(d);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Against real tables

// bcd.db (5.x, three BCD fields): the whole header but the in-memory addresses, the
// change counters and the time stamp, and the stored BCD values, null included.
TEST(WriterRealTables, BcdTableHeaderAndValues) {
  std::string real = ReadFile(TestData("paradoxdriver/fields/bcd.db"));
  TPdxWriterOptions opt;
  opt.FileVersion = 11;
  opt.Language = TPdxLanguageDriver{0x00, 850, "ascii"};
  opt.HeaderTableName = "bcd.db";
  std::string path =
      test::MakeTable({{"A", pdxtype::kBcd, 2}, {"B", pdxtype::kBcd, 0}, {"C", pdxtype::kBcd, 32}},
                      {{"1.23", 1, "0.123"}, {"-1.23", -1, "-0.123"}, {0.0, std::nullopt, "0.9999"}}, opt);
  std::string ours = ReadFile(path);
  ASSERT_EQ(real.size(), ours.size());
  ExpectSameBytes(real, ours, 0x00, 0x2D, "fixed header");
  ExpectSameBytes(real, ours, 0x2F, 0x30, "fixed header");
  ExpectSameBytes(real, ours, 0x38, 0x60, "fixed header");
  ExpectSameBytes(real, ours, 0x64, 0x7E, "version 5 header and descriptors");
  // After the descriptors: the table name's and field names' addresses (not compared),
  // then the name area, the field names, the field numbers and the sort-order name.
  ExpectSameBytes(real, ours, 0x7E + 16, 0x800, "names");
  ExpectSameBytes(real, ours, 0x800, 0x806, "block header");
  // Columns A and B exactly; C's digits beyond the value are left-overs of the writing
  // program in the real file, so only its sign/decimals byte and first digits compare.
  for (int r = 0; r < 3; ++r) {
    size_t rec = 0x806 + static_cast<size_t>(r) * 51;
    ExpectSameBytes(real, ours, rec, rec + 34, "BCD A and B");
    ExpectSameBytes(real, ours, rec + 34, rec + 34 + 2, "BCD C");
  }
  EXPECT_EQ(Hex(ours.substr(0x806 + 34, 17)),
            "e0123000000000000000000000000000"
            "00");
}

// TypSammlung (7.x): every record of a table with every common type, negatives and
// nulls, compared whole (the memo's slot included), and the memo file's shared block.
TEST(WriterRealTables, TypSammlungRecordsAndMemo) {
  std::string real = ReadFile(TestData("Rparadox/TypSammlung.DB"));
  std::string realMb = ReadFile(TestData("Rparadox/TypSammlung.MB"));
  std::vector<TPdxWriterField> fields = {
      {"Alpha", pdxtype::kAlpha, 30},         {"Numerisch", pdxtype::kNumber, 0},
      {"W\344hrung", pdxtype::kCurrency, 0},  {"Integer kurz", pdxtype::kShort, 0},
      {"Integer lang", pdxtype::kLong, 0},    {"BCD", pdxtype::kBcd, 6},
      {"Datum", pdxtype::kDate, 0},           {"Zeit", pdxtype::kTime, 0},
      {"Datum/Zeit", pdxtype::kTimestamp, 0}, {"Memo", pdxtype::kMemo, 11},
      {"Logisch", pdxtype::kLogical, 0},      {"Z\344hler", pdxtype::kAutoInc, 0},
      {"Bin\344r", pdxtype::kBlob, 10},       {"Bytes", pdxtype::kBytes, 255},
  };
  const auto null = std::nullopt;
  std::vector<TWriterRow> rows = {
      {"AAA Irgendein Text", 40.0, 40.0, 40, 40, "40.000000", 719163, 0, 62135722800000.0, null, null, 1,
       null, null},
      {"Erste Zeile", 23.0, null, null, null, null, null, null, null, null, false, 3, null, null},
      {"F\374nfter Datensatz", 1.34, 13.002, null, null, "13.123457", -366, 4212000, -31618800000.0,
       "Dies ist eine Memo im 'F\374nften Datensat'", null, 5, null, null},
      {"Null-Werte", 0.0, 0.0, 0, 0, "0", null, null, null, null, null, 4, null, null},
      {"Zweite Zeile", -40.0, -40.0, -40, -40, "-40", 730006, 40271000, 63190926671000.0, null, true, 2, null,
       null},
  };
  TPdxWriterOptions opt;
  opt.FileVersion = 12;
  opt.Language = TPdxLanguageDriver::AnsiIntl();
  opt.HeaderTableName = "resttemp.DB";
  std::string path = test::MakeTable(fields, rows, opt, "TypSammlung.DB");
  std::string ours = ReadFile(path);
  ASSERT_EQ(real.size(), ours.size());
  ExpectSameBytes(real, ours, 0x00, 0x04, "lengths");
  ExpectSameBytes(real, ours, 0x05, 0x12, "block counts");
  ExpectSameBytes(real, ours, 0x21, 0x23, "field count");
  ExpectSameBytes(real, ours, 0x25, 0x2A, "encryption word and sort order");
  ExpectSameBytes(real, ours, 0x38, 0x60, "version and auto-increment value");
  ExpectSameBytes(real, ours, 0x64, 0x70, "field ids, code page, name offsets");
  ExpectSameBytes(real, ours, 0x78, 0x94, "descriptors");
  ExpectSameBytes(real, ours, 0x94 + 4 + 4 * 14, 0x800, "names and sort order");
  ExpectSameBytes(real, ours, 0x800, 0x806 + 5 * 366, "data block");
  // The memo file: the header block and the shared block's entry table and data.
  std::string mb = ReadFile(path.substr(0, path.size() - 3) + ".MB");
  ASSERT_EQ(realMb.size(), mb.size());
  ExpectSameBytes(realMb, mb, 0x00, 0x03, "memo header");
  ExpectSameBytes(realMb, mb, 0x05, 0x1000, "memo header");
  ExpectSameBytes(realMb, mb, 0x1000, 0x1003, "shared block");
  ExpectSameBytes(realMb, mb, 0x100C, 0x2000, "shared block entries and data");
}

// memo.db: a 555-byte memo in a shared block (with the record's copy of its start) and a
// 12-byte memo kept in the record.
TEST(WriterRealTables, MemoSlotsAndSharedBlock) {
  std::string real = ReadFile(TestData("paradoxdriver/fields/memo.db"));
  std::string realMb = ReadFile(TestData("paradoxdriver/fields/memo.mb"));
  std::string text = realMb.substr(0x1150, 555);
  TPdxWriterOptions opt;
  opt.FileVersion = 11;
  std::string path = test::MakeTable({{"Id", pdxtype::kAutoInc, 0}, {"TEXT", pdxtype::kMemo, 250}},
                                     {{1, text}, {2, "01234567890\n"}}, opt, "memo.db");
  std::string ours = ReadFile(path);
  ExpectSameBytes(real, ours, 0x806, 0x806 + 2 * 254, "records");
  std::string mb = ReadFile(path.substr(0, path.size() - 3) + ".mb");
  ASSERT_EQ(realMb.size(), mb.size());
  ExpectSameBytes(realMb, mb, 0x00, 0x40, "memo header with its free space entry");
  ExpectSameBytes(realMb, mb, 0x100C, 0x2000, "shared block");
}

// graphic.db: a picture in a memo block of its own, with the graphic leader before the image.
TEST(WriterRealTables, GraphicInBlockOfItsOwn) {
  std::string real = ReadFile(TestData("paradoxdriver/fields/graphic.db"));
  std::string realMb = ReadFile(TestData("paradoxdriver/fields/graphic.mb"));
  std::string picture = realMb.substr(0x1009, 20086);
  ASSERT_EQ(Hex(picture.substr(0, 10)),
            "01000001"
            "6e4e0000"
            "424d");
  TPdxWriterOptions opt;
  opt.FileVersion = 11;
  std::string path = test::MakeTable(
      {{"Id", pdxtype::kAutoInc, 0}, {"BLOB", pdxtype::kGraphic, 10}, {"TYPE", pdxtype::kAlpha, 3}},
      {{1, picture, "GIF"}}, opt, "graphic.db");
  std::string ours = ReadFile(path);
  ExpectSameBytes(real, ours, 0x806, 0x806 + 17, "record");
  std::string mb = ReadFile(path.substr(0, path.size() - 3) + ".mb");
  ASSERT_EQ(mb.size(), 6u * 4096);
  ExpectSameBytes(realMb, mb, 0x1000, 0x1009 + 20086, "memo block");
  EXPECT_EQ(mb.substr(0x1009 + 20086), std::string(6 * 4096 - 0x1009 - 20086, '\0'));
}

// ---------------------------------------------------------------------------------------------
// Layout rules

struct TParsedBlock {
  uint32_t Next, Prev;
  int16_t LastOffset;
};
TParsedBlock BlockAt(const std::string& db, int n) {
  size_t off = Le16(db, 2) + static_cast<size_t>(n - 1) * db[5] * 1024;
  return {Le16(db, off), Le16(db, off + 2), SignedLe16(db, off + 4)};
}

TEST(WriterLayout, HeaderAreasByVersion) {
  // 3.0: 88-byte header, 79-byte name area, header ends with the names (no sort-order name).
  // 3.5: the same in a 2 KB header. 4.x and 5.x: 120 bytes and 79; 7.x: 120 and 261.
  struct {
    int version;
    size_t base, area;
  } cases[] = {{3, 88, 79}, {4, 88, 79}, {9, 120, 79}, {11, 120, 79}, {12, 120, 261}};
  for (const auto& c : cases) {
    TPdxWriterOptions opt;
    opt.FileVersion = c.version;
    opt.HeaderTableName = "T.DB";
    std::string db = ReadFile(test::MakeTable("Name=A10,Price=$", {{"x", 1.5}}, opt));
    SCOPED_TRACE(c.version);
    EXPECT_EQ(static_cast<uint8_t>(db[57]), c.version);
    EXPECT_EQ(Le16(db, 0), 18u);
    EXPECT_EQ(db[c.base], 1);
    EXPECT_EQ(db[c.base + 1], 10);
    EXPECT_EQ(db[c.base + 2], 5);
    size_t names = c.base + 4 + 4 + 8;
    EXPECT_EQ(db.substr(names, 5), std::string("T.DB\0", 5));
    EXPECT_EQ(db.substr(names + c.area, 11), std::string("Name\0Price\0", 11));
    size_t namesEnd = names + c.area + 11;
    uint32_t hl = Le16(db, 2);
    if (c.version == 3) {
      EXPECT_EQ(hl, namesEnd);
      EXPECT_EQ(Le16(db, 0x51), 0u);
    } else {
      EXPECT_EQ(hl, 2048u);
    }
    if (c.version == 4) {
      EXPECT_EQ(Le16(db, 0x51), namesEnd + 6);  // counts "ascii" without storing it
    }
    if (c.version >= 9) {
      EXPECT_EQ(Le16(db, namesEnd), 1u);
      EXPECT_EQ(Le16(db, namesEnd + 2), 2u);
      EXPECT_EQ(db.substr(namesEnd + 4, 6), std::string("ascii\0", 6));
      EXPECT_EQ(Le16(db, 0x51), namesEnd + 10);
      EXPECT_EQ(Le16(db, 0x66), namesEnd - 88);
      EXPECT_EQ(Le16(db, 0x6E), namesEnd + 4 - 88);
      EXPECT_EQ(Le16(db, 0x58), 0x100u | static_cast<uint32_t>(c.version));
      EXPECT_EQ(Le32(db, 0x25), 0xFF00FF00u);
    } else {
      EXPECT_EQ(Le32(db, 0x25), 0u);
    }
    EXPECT_EQ(db.size(), hl + 2048u);
  }
}

TEST(WriterLayout, BlockSizesAndFullBlocks) {
  for (int kb : {1, 2, 4, 8, 16, 32}) {
    SCOPED_TRACE(kb);
    TPdxWriterOptions opt;
    opt.BlockSizeKB = kb;
    std::string path = test::MakeGeneratedTable("A100,I", 1000, 7, opt);
    std::string db = ReadFile(path);
    const uint32_t rl = 104, cap = (kb * 1024u - 6) / rl, blocks = (1000 + cap - 1) / cap;
    EXPECT_EQ(static_cast<uint8_t>(db[5]), kb);
    EXPECT_EQ(Le32(db, 6), 1000u);
    EXPECT_EQ(Le16(db, 0x0A), blocks);
    EXPECT_EQ(Le16(db, 0x0C), blocks);
    EXPECT_EQ(Le16(db, 0x3A), blocks);
    EXPECT_EQ(db.size(), Le16(db, 2) + blocks * kb * 1024u);
    uint32_t total = 0;
    for (uint32_t b = 1; b <= blocks; ++b) {
      TParsedBlock h = BlockAt(db, static_cast<int>(b));
      EXPECT_EQ(h.Next, b == blocks ? 0 : b + 1);
      EXPECT_EQ(h.Prev, b - 1);
      total += static_cast<uint32_t>(h.LastOffset / static_cast<int>(rl) + 1);
      if (b < blocks) {
        EXPECT_EQ(static_cast<uint32_t>(h.LastOffset), (cap - 1) * rl);
      }
    }
    EXPECT_EQ(total, 1000u);
  }
}

TEST(WriterLayout, ChainOrders) {
  // Swapped pairs over five blocks: 2 -> 1 -> 4 -> 3 -> 5.
  TPdxWriterOptions opt;
  opt.ChainOrder = TPdxChainOrder::SwappedPairs;
  opt.RecordsPerBlock = 2;
  std::string db = ReadFile(test::MakeGeneratedTable("I", 10, 1, opt));
  EXPECT_EQ(Le16(db, 0x0E), 2u);
  EXPECT_EQ(Le16(db, 0x10), 5u);
  const uint32_t next[] = {0, 4, 1, 5, 3, 0}, prev[] = {0, 2, 0, 4, 1, 3};
  for (int b = 1; b <= 5; ++b) {
    EXPECT_EQ(BlockAt(db, b).Next, next[b]) << b;
    EXPECT_EQ(BlockAt(db, b).Prev, prev[b]) << b;
    EXPECT_EQ(BlockAt(db, b).LastOffset, 4) << b;
  }
  // Four blocks: 2 -> 1 -> 4 -> 3.
  db = ReadFile(test::MakeGeneratedTable("I", 8, 1, opt));
  EXPECT_EQ(Le16(db, 0x0E), 2u);
  EXPECT_EQ(Le16(db, 0x10), 3u);
  EXPECT_EQ(BlockAt(db, 4).Next, 3u);
  EXPECT_EQ(BlockAt(db, 3).Next, 0u);

  // Explicit 1 -> 3 -> 2 with a left-over chain position and one free block after the chain.
  opt.ChainOrder = TPdxChainOrder::Explicit;
  opt.ChainBlocks = {1, 3, 2, 5};
  opt.RecordsPerBlock = 3;
  opt.FreeBlocks = 1;
  std::string path = test::MakeTable("I", {{1}, {2}, {3}, {4}, {5}, {6}, {7}}, opt);
  db = ReadFile(path);
  EXPECT_EQ(Le16(db, 0x0A), 4u);
  EXPECT_EQ(Le16(db, 0x0C), 6u);
  EXPECT_EQ(db.size(), 2048u + 6 * 2048u);
  EXPECT_EQ(BlockAt(db, 1).Next, 3u);
  EXPECT_EQ(BlockAt(db, 3).Next, 2u);
  EXPECT_EQ(BlockAt(db, 2).Next, 5u);
  EXPECT_EQ(BlockAt(db, 2).LastOffset, 0);   // record 7 alone
  EXPECT_EQ(BlockAt(db, 5).LastOffset, -4);  // a chain block without records
  EXPECT_EQ(BlockAt(db, 5).Prev, 2u);
  EXPECT_EQ(BlockAt(db, 4).LastOffset, -4);  // hole: a free block
  EXPECT_EQ(BlockAt(db, 6).LastOffset, -4);
  // Record 4 (stored value 4 as 80 00 00 04) is the first record of block 3.
  EXPECT_EQ(Hex(db.substr(test::RecordOffset(path, 3, 0), 4)), "80000004");

  // An empty table: no blocks at all; with an empty chain block, a chain of one.
  TPdxWriterOptions empty;
  db = ReadFile(test::MakeTable("A5", {}, empty));
  EXPECT_EQ(Le16(db, 0x0C), 0u);
  EXPECT_EQ(Le16(db, 0x0E), 0u);
  EXPECT_EQ(db.size(), 2048u);
  empty.EmptyChainBlocks = 1;
  db = ReadFile(test::MakeTable("A5", {}, empty));
  EXPECT_EQ(Le16(db, 0x0E), 1u);
  EXPECT_EQ(BlockAt(db, 1).LastOffset, -5);
}

TEST(WriterLayout, StoredValueForms) {
  std::string path = test::MakeTable(
      "S,I,D,T,N,$,@,L,+,A3,Y3",
      {{1, -1, PdxDayNumber(2000, 1, 1), PdxTimeOfDay(12, 0, 0), 1.0, -1.0, -0.0, true, 42, "ab", "\x01"},
       {0, 0, std::nullopt, 0, 0.0, -2.5, std::nullopt, false, 1, std::nullopt, std::nullopt}});
  std::string rec = ReadFile(path).substr(test::RecordOffset(path, 1, 0), 2 * 49);
  EXPECT_EQ(Hex(rec.substr(0, 49)),
            "8001"
            "7fffffff"
            "800b2408"
            "82932e00"
            "bff0000000000000"
            "400fffffffffffff"
            "7fffffffffffffff"
            "81"
            "8000002a"
            "616200"
            "010000");
  EXPECT_EQ(Hex(rec.substr(49)),
            "8000"
            "80000000"
            "00000000"
            "80000000"
            "8000000000000000"
            "3ffbffffffffffff"
            "0000000000000000"
            "80"
            "80000001"
            "000000"
            "000000");
}

TEST(WriterLayout, MemoFileBlocks) {
  // Slot 20: up to 10 bytes stay in the record; up to 2048 go to shared blocks (64
  // entries each, taken from the last), longer data to blocks of their own.
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 70; ++i) rows.push_back({std::string(11 + static_cast<size_t>(i), 'a' + i % 26)});
  rows.push_back({std::string(10, 'x')});
  rows.push_back({std::string(5000, 'y')});
  std::string path = test::MakeTable("M20", rows);
  std::string db = ReadFile(path);
  std::string mb = ReadFile(path.substr(0, path.size() - 3) + ".mb");
  auto leader = [&](int r) {
    return db.substr(test::RecordOffset(path, 1, r) + 10, 10);  // 102 records of 20 bytes fit a block
  };
  EXPECT_EQ(Le32(leader(0), 0), 0x1000u | 63);
  EXPECT_EQ(Le32(leader(63), 0), 0x1000u | 0);
  EXPECT_EQ(Le32(leader(64), 0), 0x2000u | 63);  // the first shared block is full
  EXPECT_EQ(Le32(leader(70), 0), 0u);            // in the record
  EXPECT_EQ(Le32(leader(70), 4), 10u);
  EXPECT_EQ(Le16(leader(70), 8), 0u);
  EXPECT_EQ(Le32(leader(71), 0), 0x3000u | 0xFF);
  EXPECT_EQ(Le32(leader(71), 4), 5000u);
  EXPECT_EQ(Le16(leader(71), 8), 1u);
  // Shared entry 63 of block 1: data at 0x150, 1 paragraph, modification 1, 11 bytes in it.
  EXPECT_EQ(Hex(mb.substr(0x1000 + 12 + 5 * 63, 5)), "150101000b");
  EXPECT_EQ(mb.substr(0x1150, 11), std::string(11, 'a'));
  // Block of its own: type 2, 2 chunks, length, modification number, data at 9.
  EXPECT_EQ(Hex(mb.substr(0x3000, 9)),
            "020200"
            "88130000"
            "0100");
  EXPECT_EQ(mb.substr(0x3009, 5000), std::string(5000, 'y'));
  EXPECT_EQ(mb.size(), 5u * 4096);
  // Free space list: the open shared block 2 with its free paragraphs.
  EXPECT_EQ(static_cast<uint8_t>(mb[0x38]), 2);
  EXPECT_EQ(Le16(mb, 0x39), 0x20u);
  EXPECT_GT(Le16(mb, 0x3C), 0u);
  // Memo data in the record slot: a copy of the data's start.
  EXPECT_EQ(db.substr(test::RecordOffset(path, 1, 0), 10), std::string(10, 'a'));
}

TEST(WriterLayout, LanguageDriverAndAutoIncValue) {
  TPdxWriterOptions opt;
  opt.Language = TPdxLanguageDriver::Cyrillic866();
  std::string db = ReadFile(test::MakeTable("+,A5", {{7, "a"}, {3, "b"}}, opt));
  EXPECT_EQ(static_cast<uint8_t>(db[0x29]), 0xC0);
  EXPECT_EQ(Le16(db, 0x6A), 866u);
  EXPECT_EQ(Le32(db, 0x49), 7u);
  EXPECT_NE(db.find(std::string("cyrr\0", 5)), std::string::npos);
  opt.AutoIncValue = 100;
  db = ReadFile(test::MakeTable("+", {{7}}, opt));
  EXPECT_EQ(Le32(db, 0x49), 100u);
}

// ---------------------------------------------------------------------------------------------
// Refusals and files

TEST(WriterErrors, BadDefinitionsAndValues) {
  std::string dir = TempDir();
  auto fails = [&](const std::vector<TPdxWriterField>& f, const TWriterRow& row, TPdxWriterOptions o = {}) {
    try {
      TPdxWriter::Write(dir + "/t.db", f, {row}, o);
    } catch (const EPdxWriterError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  auto spec = [](const char* s) { return ParsePdxFieldSpec(s); };
  EXPECT_NE(fails(spec("S"), {-32768}).find("null marker"), std::string::npos);
  EXPECT_NE(fails(spec("I"), {int64_t{1} << 31}).find("outside"), std::string::npos);
  EXPECT_NE(fails(spec("A3"), {"abcd"}).find("do not fit"), std::string::npos);
  EXPECT_NE(fails(spec("A3"), {std::string("a\0b", 3)}).find("zero byte"), std::string::npos);
  EXPECT_NE(fails(spec("#2"), {"1.234"}).find("more than 2 decimals"), std::string::npos);
  EXPECT_NE(fails(spec("#0"), {std::string(33, '9')}).find("32 digits"), std::string::npos);
  EXPECT_NE(fails(spec("T"), {86400000}).find("outside"), std::string::npos);
  EXPECT_NE(fails(spec("N"), {"text"}).find("takes a number"), std::string::npos);
  EXPECT_NE(fails(spec("A5,I"), {"a"}).find("1 values for 2 fields"), std::string::npos);
  TPdxWriterOptions v4;
  v4.FileVersion = 9;
  EXPECT_NE(fails(spec("I"), {1}, v4).find("needs file version 5.x"), std::string::npos);
  v4.FileVersion = 4;
  EXPECT_NE(fails(spec("M20"), {"x"}, v4).find("needs file version 4.x"), std::string::npos);
  EXPECT_NE(fails({{"A", 7, 4}}, {"x"}).find("unknown type code 7"), std::string::npos);
  EXPECT_NE(fails({{"A", pdxtype::kAlpha, 5}, {"a", pdxtype::kLong, 0}}, {"x", 1}).find("used twice"),
            std::string::npos);
  TPdxWriterOptions bs;
  bs.BlockSizeKB = 3;
  EXPECT_NE(fails(spec("I"), {1}, bs).find("block size"), std::string::npos);
  bs.BlockSizeKB = 1;
  EXPECT_NE(fails(spec("A255,A255,A255,A255,A255"), {"x", "x", "x", "x", "x"}, bs).find("do not fit a block"),
            std::string::npos);
  // Nothing is left behind by the failed runs.
  EXPECT_TRUE(FilesIn(dir).empty());
  // Unknown type codes are written when asked for (test tables for readers).
  TPdxWriterOptions loose;
  loose.StrictTypes = false;
  EXPECT_EQ(fails({{"A", 7, 4}}, {"\x01\x02"}, loose), "");
}

TEST(WriterErrors, TooManyBlocks) {
  TPdxWriterOptions opt;
  opt.BlockSizeKB = 1;
  opt.RecordsPerBlock = 1;
  std::string dir = TempDir();
  TPdxWriter w(dir + "/big.db", ParsePdxFieldSpec("S"), opt);
  try {
    for (int i = 0; i < 70000; ++i) w.Append({1});
    FAIL() << "no error";
  } catch (const EPdxWriterError& e) {
    EXPECT_NE(std::string(e.what()).find("65535 blocks"), std::string::npos);
  }
  w.Abandon();
  EXPECT_TRUE(FilesIn(dir).empty());
}

TEST(WriterFiles, ReplacesAtomicallyAndKeepsTargetOnFailure) {
  std::string dir = TempDir();
  std::string path = dir + "/T.DB";
  TPdxWriter::Write(path, ParsePdxFieldSpec("A5,M10"), {{"one", "a memo longer than the slot"}});
  EXPECT_EQ(FilesIn(dir).size(), 2u);  // T.DB and T.MB (upper case like the table)
  std::string before = ReadFile(path);
  {
    TPdxWriter w(path, ParsePdxFieldSpec("A5,M10"));
    w.Append({"two", "x"});
    EXPECT_THROW(w.Append({"too long", "x"}), EPdxWriterError);
    // destroyed without Finish
  }
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(FilesIn(dir).size(), 2u);
  // A table without BLOB fields replaces one with: the old memo file goes.
  TPdxWriter::Write(path, ParsePdxFieldSpec("A5"), {{"three"}});
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"T.DB"});
  // The writer refuses a folder that does not exist, with the path in the message.
  try {
    TPdxWriter w(dir + "/missing/x.db", ParsePdxFieldSpec("A5"));
    FAIL();
  } catch (const EPdxWriterError& e) {
    EXPECT_NE(std::string(e.what()).find("missing/x.db"), std::string::npos);
  }
}

// ---------------------------------------------------------------------------------------------
// Field spec and generator

TEST(WriterSpec, ParsesCodesSizesAndNames) {
  auto f = ParsePdxFieldSpec("A20, I,S,N,$,D,T,@,L,M40,Price=#4,+,Y3,G,F12,B,O,a5");
  ASSERT_EQ(f.size(), 18u);
  EXPECT_EQ(f[0].Name, "Alpha1");
  EXPECT_EQ(f[0].Size, 20);
  EXPECT_EQ(f[1].Type, pdxtype::kLong);
  EXPECT_EQ(f[9].Type, pdxtype::kMemo);
  EXPECT_EQ(f[9].Size, 40);
  EXPECT_EQ(f[10].Name, "Price");
  EXPECT_EQ(f[10].Type, pdxtype::kBcd);
  EXPECT_EQ(f[10].Size, 4);
  EXPECT_EQ(f[13].Size, 10);
  EXPECT_EQ(f[17].Type, pdxtype::kAlpha);
  for (const char* bad : {"", "A20,", "Q", "I4", "A2000", "=A", "N=", "Ax"}) {
    EXPECT_THROW(ParsePdxFieldSpec(bad), EPdxWriterError) << bad;
  }
  EXPECT_EQ(ParsePdxFieldSpec(kPdxDefaultFieldSpec).size(), 10u);
}

TEST(WriterSpec, GeneratorIsDeterministic) {
  std::string a = test::MakeGeneratedTable("A20,I,S,N,$,D,T,@,L,M40,#3,Y4,G,B,+", 500, 42);
  std::string b = test::MakeGeneratedTable("A20,I,S,N,$,D,T,@,L,M40,#3,Y4,G,B,+", 500, 42);
  std::string c = test::MakeGeneratedTable("A20,I,S,N,$,D,T,@,L,M40,#3,Y4,G,B,+", 500, 43);
  // Only the header's time stamp differs between runs.
  std::string da = ReadFile(a), db = ReadFile(b);
  ASSERT_EQ(da.size(), db.size());
  EXPECT_EQ(da.substr(0, 0x60), db.substr(0, 0x60));
  EXPECT_EQ(da.substr(0x64), db.substr(0x64));
  EXPECT_EQ(ReadFile(a.substr(0, a.size() - 3) + ".mb"), ReadFile(b.substr(0, b.size() - 3) + ".mb"));
  EXPECT_NE(ReadFile(c).substr(0x800), da.substr(0x800));
}

TEST(WriterSpec, DayNumbersAndBcdText) {
  EXPECT_EQ(PdxDayNumber(1, 1, 1), 1);
  EXPECT_EQ(PdxDayNumber(2000, 1, 1), 730120);
  EXPECT_EQ(PdxDayNumber(1970, 1, 1), 719163);
  EXPECT_EQ(PdxDayNumber(9999, 12, 31), 3652059);
  EXPECT_EQ(PdxTimeOfDay(1, 0, 1), 3601000);
  TBcdValue b = PdxBcdFromString("-0012.50");
  EXPECT_TRUE(b.Negative);
  EXPECT_EQ(b.Decimals, 2);
  EXPECT_STREQ(b.Digits, "1250");
  b = PdxBcdFromString("-0.00");
  EXPECT_FALSE(b.Negative);
  EXPECT_STREQ(b.Digits, "0");
  EXPECT_THROW(PdxBcdFromString("1.2.3"), EPdxWriterError);
  EXPECT_THROW(PdxBcdFromString(""), EPdxWriterError);
}

}  // namespace
}  // namespace korvane
