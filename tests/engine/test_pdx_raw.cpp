// The table reader on tables built byte by byte: record location, chain faults,
// header checks, value decoding, memo access and text recoding.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/pdx.h"
#include "support/paths.h"
#include "support/fixtures.h"
#include "support/rawtable.h"

namespace korvane {
namespace {

using test::RawBlock;
using test::RawField;
using test::RawMemo;
using test::OpenError;
using test::RawTable;

// Writes the table (and memo file when given) into a fresh folder; answers the .db path.
std::string WriteTable(const RawTable& t, const std::string& name = "t.db", const std::string* memo = nullptr,
                       const std::string& memoName = "t.mb") {
  std::string dir = test::TempDir();
  test::WriteFile(dir + "/" + name, t.Build());
  if (memo) test::WriteFile(dir + "/" + memoName, *memo);
  return dir + "/" + name;
}

int32_t Long(const TField& f) {
  int32_t v = 0;
  EXPECT_TRUE(f.GetData(&v));
  return v;
}

// Record numbers as read by walking the table from the first record: the first field of
// every record is a long holding its number in the table's intended order.
std::vector<int32_t> ScanIds(TPdx& t) {
  std::vector<int32_t> ids;
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(Long(t.Fields(0)));
  return ids;
}

RawTable LongTable() {
  RawTable t;
  t.Fields = {{4, 4, "Id"}};
  return t;
}

std::vector<std::string> Ids(int from, int to) {
  std::vector<std::string> r;
  for (int i = from; i <= to; ++i) r.push_back(test::StoreLong(i));
  return r;
}

TEST(PdxChain, RecordsFollowTheChainNotTheFileOrder) {
  RawTable raw = LongTable();
  // File blocks 1, 2, 3; chain 1 -> 3 -> 2.
  raw.Blocks = {RawBlock{3, 0, Ids(1, 3)}, RawBlock{0, 3, Ids(6, 7)}, RawBlock{2, 1, Ids(4, 5)}};
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  EXPECT_EQ(t.RecordCount(), 7);
  EXPECT_EQ(ScanIds(t), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
  // Random access after the map is complete, and backwards.
  t.SetRecNo(5);
  EXPECT_EQ(Long(t.Fields(0)), 5);
  t.SetRecNo(2);
  EXPECT_EQ(Long(t.Fields(0)), 2);
  t.Last();
  EXPECT_EQ(Long(t.Fields(0)), 7);
  t.Prior();
  EXPECT_EQ(Long(t.Fields(0)), 6);
}

TEST(PdxChain, OneRecordBlocksAndEmptyBlocksInTheChain) {
  RawTable raw = LongTable();
  // LastRecordOffset 0 is one record; a block emptied by deletion stores -RecordLength.
  raw.Blocks = {RawBlock{2, 0, Ids(1, 1)}, RawBlock{3, 1, {}}, RawBlock{0, 2, Ids(2, 2)}};
  raw.Blocks[0].LastRecordOffset = 0;
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  EXPECT_EQ(ScanIds(t), (std::vector<int32_t>{1, 2}));
}

TEST(PdxChain, LastRecordDirectlyAfterOpen) {
  RawTable raw = LongTable();
  raw.BlockSizeKB = 1;
  std::vector<std::string> recs = Ids(1, 5000);
  raw.ChainRecords(recs, 250);
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  t.Last();
  EXPECT_EQ(Long(t.Fields(0)), 5000);
  t.SetRecNo(1);
  EXPECT_EQ(Long(t.Fields(0)), 1);
  t.SetRecNo(2551);
  EXPECT_EQ(Long(t.Fields(0)), 2551);
}

TEST(PdxChain, BrokenChainsGiveBlockErrors) {
  struct Case {
    const char* what;
    std::vector<RawBlock> blocks;
    uint16_t first;
    std::optional<uint16_t> fileBlocks;
    std::optional<uint32_t> numRecords;
    int readable;  // records that read before the error
    const char* message;
  };
  std::vector<Case> cases = {
      {"loop", {RawBlock{2, 0, Ids(1, 2)}, RawBlock{1, 1, Ids(3, 4)}}, 1, {}, 6, 4, "Block 1 read error"},
      {"self loop", {RawBlock{1, 0, Ids(1, 2)}}, 1, {}, 3, 2, "Block 1 read error"},
      {"link beyond FileBlocks", {RawBlock{9, 0, Ids(1, 2)}}, 1, {}, 3, 2, "Block 9 read error"},
      // The header says 5 blocks, the file holds 1: a file cut short, opened with the
      // records it still holds (see PdxTruncated).
      {"link beyond the file", {RawBlock{2, 0, Ids(1, 2)}}, 1, 5, 3, 2, ""},
      {"chain ends early", {RawBlock{0, 0, Ids(1, 2)}}, 1, {}, 3, 2, "Block 0 read error"},
      {"FirstBlock 0 with records", {RawBlock{0, 0, Ids(1, 2)}}, 0, {}, 2, 0, "Block 0 read error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawTable raw = LongTable();
    raw.Blocks = c.blocks;
    raw.FirstBlock = c.first;
    raw.FileBlocks = c.fileBlocks;
    raw.NumRecords = c.numRecords;
    TPdx t;
    t.SetTableName(WriteTable(raw));
    int read = 0;
    std::string error;
    try {
      t.Open();
      for (t.First(); !t.Eof(); t.Next()) ++read;
    } catch (const EParadoxError& e) {
      error = e.what();
    }
    EXPECT_EQ(read, c.readable);
    EXPECT_EQ(error, c.message);
    // The same fault is reported again, not turned into other records.
    if (t.Active() && *c.message) {
      EXPECT_THROW(t.SetRecNo(c.readable + 1), EParadoxError);
      if (c.readable > 0) {
        t.SetRecNo(1);
        EXPECT_EQ(Long(t.Fields(0)), 1);
      }
    }
  }
}

TEST(PdxChain, EmptyTableReadsNoBlock) {
  RawTable raw = LongTable();
  raw.FirstBlock = 0;
  raw.FileBlocks = 0;
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.RecNo(), 0);
}

TEST(PdxHeader, ImpossibleHeadersAreRefused) {
  auto refused = [](RawTable raw, const std::string& expectPart, size_t cut = 0) {
    std::string dir = test::TempDir();
    std::string bytes = raw.Build();
    if (cut) bytes.resize(cut);
    test::WriteFile(dir + "/x.db", bytes);
    TPdx t;
    t.SetTableName(dir + "/x.db");
    std::string e = OpenError(t);
    EXPECT_NE(e.find(expectPart), std::string::npos) << e;
    EXPECT_FALSE(t.Active());
  };
  RawTable raw = LongTable();
  raw.Blocks = {RawBlock{0, 0, Ids(1, 1)}};
  const std::string notDb = "- is not .DB data file";
  {
    RawTable r = raw;
    r.FileType = 1;
    refused(r, notDb);
  }
  {
    RawTable r = raw;
    r.RecordLength = 0;
    refused(r, notDb);
  }
  {
    RawTable r = raw;
    r.BlockSizeKB = 0;
    refused(r, notDb);
  }
  {
    RawTable r = raw;
    r.NumFields = 60000;  // descriptors far beyond the file
    refused(r, notDb);
  }
  refused(raw, notDb, 50);   // shorter than the header
  refused(raw, notDb, 100);  // a version 12 header is 120 bytes
  {
    RawTable r = raw;
    r.Fields = {{1, 10, "A"}, {4, 4, "B"}};
    r.RecordLength = 12;  // B does not fit
    refused(r, "field 'B' does not fit in the record");
  }
  {
    RawTable r = raw;
    r.Fields = {{6, 4, "N"}};  // a number is 8 bytes
    refused(r, "field 'N' has an invalid size 4");
  }
  {
    RawTable r = raw;
    r.Fields = {{4, 4, "Id"}, {7, 4, "Odd"}};
    refused(r, "Field 'Odd' is of an unknown type");
  }
}

TEST(PdxHeader, OpenErrorsAndReopen) {
  TPdx t;
  EXPECT_EQ(OpenError(t), "TableName is not set");
  std::string dir = test::TempDir();
  t.SetTableName(dir + "/missing.db");
  EXPECT_EQ(OpenError(t), "Unable to open database \"" + dir + "/missing.db\" - Cannot open file \"" + dir +
                              "/missing.db\". No such file or directory");
  t.SetTableName(dir);
  EXPECT_NE(OpenError(t).find("Is a directory"), std::string::npos);

  // A failed open of a broken table, then a good one in the same object.
  RawTable bad = LongTable();
  bad.FileType = 1;
  t.SetTableName(WriteTable(bad));
  EXPECT_NE(OpenError(t), "");
  RawTable good = LongTable();
  good.Blocks = {RawBlock{0, 0, Ids(7, 8)}};
  t.SetTableName(WriteTable(good));
  t.Open();
  EXPECT_EQ(ScanIds(t), (std::vector<int32_t>{7, 8}));
  t.Close();
  EXPECT_FALSE(t.HasMemoFile());
}

TEST(PdxHeader, DescriptorOffsetsByVersion) {
  for (int version : {4, 9, 11, 12}) {
    SCOPED_TRACE(version);
    RawTable raw;
    raw.FileVersion = version;
    raw.Fields = {{1, 20, "Name"}, {4, 4, "Count"}};
    raw.SortOrderName = "intl";
    raw.TableName = "people.db";
    raw.Blocks = {RawBlock{0, 0, {test::StoreAlpha("Ann", 20) + test::StoreLong(3)}}};
    TPdx t;
    t.SetTableName(WriteTable(raw));
    t.Open();
    ASSERT_EQ(t.FieldCount(), 2);
    EXPECT_EQ(t.Fields(0).FieldName(), "Name");
    EXPECT_EQ(t.Fields(1).FieldName(), "Count");
    EXPECT_EQ(t.FieldInfo()[0].Offset, 0);
    EXPECT_EQ(t.FieldInfo()[1].Offset, 20);
    EXPECT_EQ(t.TableNameInHeader(), "people.db");
    EXPECT_EQ(t.SortOrderName(), "intl");
    EXPECT_EQ(t.RecordSize(), 24);
    EXPECT_EQ(Long(t.Fields(1)), 3);
  }
}

TEST(PdxValues, StoredFormsDecode) {
  RawTable raw;
  raw.Fields = {{3, 2, "S"}, {4, 4, "L"}, {6, 8, "N"}, {5, 8, "C"}, {2, 4, "D"}, {20, 4, "T"},
                {21, 8, "TS"}, {9, 1, "B"}, {22, 4, "A"}, {23, 2, "BCD"}, {24, 4, "Y"}, {1, 5, "Txt"}};
  std::string r1 = test::StoreShort(-40) + test::StoreLong(-1) + test::StoreDouble(-40.5) +
                   test::StoreDouble(13.25) + test::StoreDate(2000, 1, 1) + test::StoreLong(43200000) +
                   test::StoreDouble(730120.0 * 86400000 + 1500) + test::StoreLogical(true) + test::StoreLong(42) +
                   test::StoreBcd("-12.5", 2) + std::string("\x01\x00\x02\x00", 4) + "abcde";
  std::string r2 = test::StoreShort(0) + test::Zeros(4) + test::StoreDouble(0.0) + test::Zeros(8) + test::Zeros(4) +
                   test::Zeros(4) + test::Zeros(8) + test::StoreLogical(false) + test::Zeros(4) + test::Zeros(17) +
                   test::Zeros(4) + test::Zeros(5);
  raw.Blocks = {RawBlock{0, 0, {r1, r2}}};
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  EXPECT_EQ(t.RecordSize(), 2 + 4 + 8 + 8 + 4 + 4 + 8 + 1 + 4 + 17 + 4 + 5);
  EXPECT_EQ(t.FieldDefs()[9].Size, 2);
  EXPECT_EQ(t.FieldDefs()[9].Precision, 32);
  EXPECT_EQ(t.FieldDefs()[10].DataType, ftBytes);
  EXPECT_EQ(t.FieldDefs()[10].Size, 4);

  int16_t s = 0;
  double d = 0;
  TBcdValue bcd;
  ASSERT_TRUE(t.Fields(0).GetData(&s));
  EXPECT_EQ(s, -40);
  EXPECT_EQ(Long(t.Fields(1)), -1);
  ASSERT_TRUE(t.Fields(2).GetData(&d));
  EXPECT_EQ(d, -40.5);
  ASSERT_TRUE(t.Fields(3).GetData(&d));
  EXPECT_EQ(d, 13.25);
  EXPECT_EQ(Long(t.Fields(4)), 730120);
  EXPECT_EQ(Long(t.Fields(5)), 43200000);
  ASSERT_TRUE(t.Fields(6).GetData(&d));
  EXPECT_EQ(d, 730120.0 * 86400000 + 1500);
  ASSERT_TRUE(t.Fields(7).GetData(&s));
  EXPECT_EQ(s, -1);
  EXPECT_EQ(Long(t.Fields(8)), 42);
  ASSERT_TRUE(t.Fields(9).GetData(&bcd));
  EXPECT_TRUE(bcd.Negative);
  EXPECT_EQ(bcd.Decimals, 2);
  EXPECT_STREQ(bcd.Digits, "1250");
  char bytes[4];
  ASSERT_TRUE(t.Fields(10).GetData(bytes));
  EXPECT_EQ(std::string(bytes, 4), std::string("\x01\x00\x02\x00", 4));
  char text[kAlphaBufferSize];
  ASSERT_TRUE(t.Fields(11).GetData(text));
  EXPECT_STREQ(text, "abcde");  // filled to its size: no terminator in the record

  t.Next();
  ASSERT_TRUE(t.Fields(0).GetData(&s));  // 80 00 is 0, not null
  EXPECT_EQ(s, 0);
  EXPECT_TRUE(t.Fields(1).IsNull());
  ASSERT_TRUE(t.Fields(2).GetData(&d));  // 80 00 .. is 0.0
  EXPECT_EQ(d, 0.0);
  for (int i : {3, 4, 5, 6, 8, 9, 10}) EXPECT_TRUE(t.Fields(i).IsNull()) << i;
  ASSERT_TRUE(t.Fields(7).GetData(&s));
  EXPECT_EQ(s, 0);
  ASSERT_TRUE(t.Fields(11).GetData(text));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(t.Fields(11).IsNull());
}

TEST(PdxValues, BcdWithDigitsPastTheWritersPrecision) {
  // 0.123 written through a double: 18 digits, then memory left as it was (nibble B).
  std::string v = std::string("\xE0\x12\x29\x99\x99\x99\x99\x99\x99\x98\x0B\x00\xE0\x00\x00\xBF\x4A", 17);
  RawTable raw;
  raw.Fields = {{23, 32, "C"}};
  raw.Blocks = {RawBlock{0, 0, {v, std::string("\x06", 1) + test::Zeros(16)}}};
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  TBcdValue bcd;
  ASSERT_TRUE(t.Fields(0).GetData(&bcd));
  EXPECT_FALSE(bcd.Negative);
  EXPECT_EQ(bcd.Decimals, 32);
  EXPECT_STREQ(bcd.Digits, "12300000000000000000000000000000");
  t.Next();
  EXPECT_TRUE(t.Fields(0).IsNull());  // no sign and no value flag
}

TEST(PdxValues, TextGoesThroughTheEncodeHook) {
  RawTable raw;
  raw.Fields = {{1, 8, "A"}};
  raw.Blocks = {RawBlock{0, 0, {test::StoreAlpha("abc", 8)}}};
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  std::string seen;
  t.OnEncode = [&](TDataSet&, const TField&, const std::string& s) {
    seen = s;
    return std::string("<") + s + ">";
  };
  char text[kAlphaBufferSize];
  ASSERT_TRUE(t.Fields(0).GetData(text));
  EXPECT_STREQ(text, "<abc>");
  EXPECT_EQ(seen, "abc");
}

// A memo field of size 11 (1 byte kept in the record), a formatted memo and a graphic.
struct MemoFixture {
  std::string path;
  MemoFixture(const std::string& dbName = "m.db", const std::string& mbName = "m.mb") {
    RawMemo memo;
    uint32_t own = memo.AddOwnBlock("long memo text in a block of its own");
    uint32_t shared = memo.AddSharedBlock({{0, "zero"}, {3, "shared entry three"}});
    uint32_t fmt = memo.AddOwnBlock("formatted");
    uint32_t gigantic = memo.AddOwnBlock("x");
    RawTable raw;
    raw.Fields = {{4, 4, "Id"}, {12, 11, "Memo"}, {14, 10, "Fmt"}, {16, 10, "Pic"}};
    auto rec = [](int id, std::string m, std::string f, std::string p) {
      return test::StoreLong(id) + m + f + p;
    };
    raw.Blocks = {RawBlock{0, 0, {
        rec(1, test::StoreBlobSlot(11, "Q", 0, 1), test::StoreBlobSlot(10, "", fmt, 9),
            test::StoreBlobSlot(10, "", 0, 0)),
        rec(2, test::StoreBlobSlot(11, "ab", own, 36), test::Zeros(10), test::StoreBlobSlot(10, "", own, 36)),
        rec(3, test::StoreBlobSlot(11, "s", shared | 3, 18), test::Zeros(10),
            test::StoreBlobSlot(10, "", gigantic, 0x7FFFFFF0)),
        rec(4, test::StoreBlobSlot(11, "", 0x7FFFFF00 | 0xFF, 2000000000), test::Zeros(10),
            test::StoreBlobSlot(10, "", 0x7FFF0000 | 3, 5)),
    }}};
    std::string dir = test::TempDir();
    test::WriteFile(dir + "/" + dbName, raw.Build());
    test::WriteFile(dir + "/" + mbName, memo.Bytes());
    path = dir + "/" + dbName;
  }
};

std::string Blob(TPdx& t, int field, TBlobStreamMode mode = bmRead) {
  auto s = t.CreateBlobStream(t.Fields(field), mode);
  EXPECT_EQ(s->Position(), 0);
  return s->Data();
}

TEST(PdxBlobs, RecordMemoFileSharedBlocksAndLimits) {
  MemoFixture fx;
  TPdx t;
  t.SetTableName(fx.path);
  t.Open();
  ASSERT_TRUE(t.HasMemoFile());
  EXPECT_EQ(t.FieldDefs()[1].Size, 11);
  EXPECT_TRUE(t.Fields(1).IsNull());  // BLOB kinds have no native value
  EXPECT_EQ(Blob(t, 1), "Q");         // 1 byte fits in the record
  EXPECT_EQ(Blob(t, 2), "formatted");
  EXPECT_EQ(Blob(t, 3), "");  // length 0
  EXPECT_EQ(Blob(t, 1, bmWrite), "");
  EXPECT_EQ(Blob(t, 1, bmReadWrite), "");
  t.Next();
  EXPECT_EQ(Blob(t, 1), "long memo text in a block of its own");  // 2+ bytes: memo file
  EXPECT_EQ(Blob(t, 3), "long memo text in a block of its own");
  t.Next();
  EXPECT_EQ(Blob(t, 1), "shared entry three");
  // A graphic claiming 2 GB of a one-block BLOB: damaged, nothing allocated.
  EXPECT_THROW(Blob(t, 3), EBlobError);
  t.Next();
  EXPECT_THROW(Blob(t, 1), EBlobError);  // memo block beyond the file
  EXPECT_THROW(Blob(t, 3), EBlobError);  // shared block beyond the file
  EXPECT_EQ(Long(t.Fields(0)), 4);       // the record's other values still read
}

TEST(PdxBlobs, MemoRecodingSwitches) {
  MemoFixture fx;
  TPdx t;
  t.SetTableName(fx.path);
  t.Open();
  t.OnEncode = [](TDataSet&, const TField&, const std::string& s) { return "[" + s + "]"; };
  EXPECT_EQ(Blob(t, 1), "[Q]");
  EXPECT_EQ(Blob(t, 2), "formatted");  // a formatted memo is never recoded
  t.SetEncodingMemo(false);
  EXPECT_EQ(Blob(t, 1), "Q");
  t.Next();
  EXPECT_EQ(Blob(t, 3), "long memo text in a block of its own");  // graphic: never recoded
}

TEST(PdxBlobs, MemoFileNameCases) {
  for (auto [db, mb] : std::vector<std::pair<std::string, std::string>>{
           {"m.DB", "m.MB"}, {"m.db", "m.MB"}, {"m.DB", "m.mb"}, {"m.db", "m.Mb"}}) {
    SCOPED_TRACE(db + " " + mb);
    MemoFixture fx(db, mb);
    TPdx t;
    t.SetTableName(fx.path);
    t.Open();
    ASSERT_TRUE(t.HasMemoFile());
    EXPECT_EQ(t.MemoFileName().substr(t.MemoFileName().size() - 4), mb);
    t.Next();
    EXPECT_EQ(Blob(t, 1), "long memo text in a block of its own");
  }
}

TEST(PdxBlobs, NoMemoFileKeepsDataInTheRecord) {
  MemoFixture fx;
  std::remove((fx.path.substr(0, fx.path.size() - 3) + ".mb").c_str());
  TPdx t;
  t.SetTableName(fx.path);
  t.Open();
  EXPECT_FALSE(t.HasMemoFile());
  EXPECT_EQ(Blob(t, 1), "Q");
  t.Next();
  EXPECT_EQ(Blob(t, 1), "");
}

TEST(PdxLanguage, LanguageFollowsTheOpenState) {
  RawTable raw = LongTable();
  raw.FileVersion = 12;
  raw.SortOrder = 0xC0;
  raw.CodePage = 866;
  raw.SortOrderName = "cyrr";
  raw.Blocks = {RawBlock{0, 0, Ids(1, 1)}};
  TPdx t;
  t.SetTableName(WriteTable(raw));
  t.Open();
  EXPECT_EQ(t.Language(), "Paradox Cyrr 866");
  t.SetLanguage("no such driver");
  EXPECT_EQ(t.Language(), "Paradox Cyrr 866");
  t.SetLanguage("Pdox ANSI Cyrillic");
  EXPECT_EQ(t.Language(), "Pdox ANSI Cyrillic");
  t.Close();
  t.SetLanguage("Pdox ANSI Cyrillic");
  EXPECT_EQ(t.Language(), "");
}

}  // namespace
}  // namespace korvane
