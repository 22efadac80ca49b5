// The table reader on real tables written by Paradox and the database engine.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/pdx.h"
#include "support/paths.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

bool IsDataFile(const fs::path& p) {
  std::string e = p.extension().string();
  return e.size() == 3 && (e[1] | 0x20) == 'd' && (e[2] | 0x20) == 'b';
}

struct ScanResult {
  int records = 0;
  size_t blobBytes = 0;
  std::string error;
};

// Reads every field of every record and every BLOB.
ScanResult ScanAll(const std::string& path) {
  ScanResult r;
  TPdx t;
  t.SetTableName(path);
  try {
    t.Open();
    alignas(8) char value[kAlphaBufferSize + 8];
    for (t.First(); !t.Eof(); t.Next()) {
      ++r.records;
      for (int i = 0; i < t.FieldCount(); ++i) {
        const TField& f = t.Fields(i);
        if (f.IsBlob()) {
          r.blobBytes += t.CreateBlobStream(f, bmRead)->Data().size();
        } else {
          f.GetData(value);
        }
      }
    }
  } catch (const Exception& e) {
    r.error = e.what();
  }
  return r;
}

TEST(PdxReal, EveryTableOpensAndReadsToTheEnd) {
  int tables = 0;
  for (const auto& entry : fs::recursive_directory_iterator(test::TestData())) {
    if (!entry.is_regular_file() || !IsDataFile(entry.path())) continue;
    ++tables;
    SCOPED_TRACE(entry.path().string());
    ScanResult r = ScanAll(entry.path().string());
    EXPECT_EQ(r.error, "");
    TPdx t;
    t.SetTableName(entry.path().string());
    t.Open();
    EXPECT_EQ(r.records, t.RecordCount());
  }
  EXPECT_GE(tables, 100);
}

std::vector<std::string> Column(const std::string& rel, int field) {
  TPdx t;
  t.SetTableName(test::TestData(rel));
  t.Open();
  std::vector<std::string> out;
  alignas(8) char v[kAlphaBufferSize + 8];
  for (t.First(); !t.Eof(); t.Next()) {
    const TField& f = t.Fields(field);
    if (f.IsBlob()) {
      out.push_back(t.CreateBlobStream(f, bmRead)->Data());
      continue;
    }
    if (!f.GetData(v)) {
      out.push_back("null");
      continue;
    }
    switch (f.DataType()) {
      case ftString: out.push_back(v); break;
      case ftSmallint: out.push_back(std::to_string(*reinterpret_cast<int16_t*>(v))); break;
      case ftBoolean: out.push_back(*reinterpret_cast<int16_t*>(v) ? "true" : "false"); break;
      case ftInteger:
      case ftAutoInc:
      case ftDate:
      case ftTime: out.push_back(std::to_string(*reinterpret_cast<int32_t*>(v))); break;
      case ftFloat:
      case ftCurrency:
      case ftDateTime: {
        char b[64];
        std::snprintf(b, sizeof b, "%.17g", *reinterpret_cast<double*>(v));
        out.push_back(b);
        break;
      }
      case ftBCD: {
        const auto* bcd = reinterpret_cast<const TBcdValue*>(v);
        out.push_back(std::string(bcd->Negative ? "-" : "") + bcd->Digits + "/" + std::to_string(bcd->Decimals));
        break;
      }
      case ftBytes: out.push_back(std::string(v, static_cast<size_t>(f.Size()))); break;
      default: out.push_back("?"); break;
    }
  }
  return out;
}

using Strings = std::vector<std::string>;

TEST(PdxReal, NegativeNumbersAreStoredWithAllBitsComplemented) {
  // TypSammlung: records in key order; the last holds the negatives.
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 1), (Strings{"40", "23", "1.3400000000000001", "0", "-40"}));
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 2), (Strings{"40", "null", "13.002000000000001", "0", "-40"}));
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 3), (Strings{"40", "null", "null", "0", "-40"}));
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 4), (Strings{"40", "null", "null", "0", "-40"}));
  EXPECT_EQ(Column("paradoxdriver/db/DECIMAL.DB", 0),
            (Strings{"-200", "-20", "-1", "1", "20", "200", "200.36000000000001", "1.3700000000000001",
                     "-1.387"}));
  // Negative day numbers and time stamps (before year 1) keep their sign too.
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 6), (Strings{"719163", "null", "-366", "null", "730006"}));
}

TEST(PdxReal, BcdFieldsTakeSeventeenBytes) {
  TPdx t;
  t.SetTableName(test::TestData("Rparadox/TypSammlung.DB"));
  t.Open();
  EXPECT_EQ(t.RecordSize(), 366);
  EXPECT_EQ(t.FieldInfo()[5].SlotSize, 17);
  EXPECT_EQ(t.FieldInfo()[6].Offset, 52 + 17);
  EXPECT_EQ(t.FieldDefs()[5].Size, 6);
  EXPECT_EQ(t.FieldDefs()[5].Precision, 32);
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 5),
            (Strings{"40000000/6", "null", "13123457/6", "0/6", "-40000000/6"}));
  EXPECT_EQ(Column("paradoxdriver/fields/bcd.db", 0), (Strings{"123/2", "-123/2", "0/2"}));
  EXPECT_EQ(Column("paradoxdriver/fields/bcd.db", 1), (Strings{"1/0", "-1/0", "null"}));
  EXPECT_EQ(Column("paradoxdriver/fields/bcd.db", 2),
            (Strings{"12300000000000000000000000000000/32", "-12300000000000000000000000000000/32",
                     "99990000000000000000000000000000/32"}));
  // BCD(20) of a version 5 table, records spread over a chain 1 -> 3 -> 2 -> 4.
  Strings test = Column("lazarus-paradox/Components/BdeDatabase_demo/MfcResearch/BdeTest/Release/Test.DB", 12);
  ASSERT_EQ(test.size(), 18u);
  EXPECT_EQ(test[0], "200000000000000000000/20");
  EXPECT_EQ(test[3], "44433322211100000000000000000000/20");
}

TEST(PdxReal, ChainOrderAndBlockMap) {
  Strings names = Column("lazarus-paradox/Components/BdeDatabase_demo/MfcResearch/BdeTest/Release/Test.DB", 0);
  ASSERT_EQ(names.size(), 18u);
  EXPECT_EQ(names[3], "Dddddd");
  EXPECT_EQ(names[4], "Eeeeeee");  // first record of block 3, the second of the chain
  EXPECT_EQ(names[9], "blank");    // first record of block 2
  EXPECT_EQ(Column("paradoxdriver/areas/ZIPCODES.DB", 0).size(), 43185u);
  Strings ids = Column("paradoxdriver/geog/County.DB", 0);
  EXPECT_EQ(ids.size(), 3218u);
  EXPECT_NE(std::find(ids.begin(), ids.end(), "205"), ids.end());
}

TEST(PdxReal, ValuesTheSourcesState) {
  EXPECT_EQ(Column("paradoxdriver/fields/logical.db", 0), (Strings{"true", "false", "true", "true"}));
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 10), (Strings{"null", "false", "null", "null", "true"}));
  EXPECT_EQ(Column("paradoxdriver/fields/long.db", 1), (Strings{"1", "2", "null"}));
  EXPECT_EQ(Column("paradoxdriver/fields/time.db", 0), (Strings{"3601000", "null", "10803000"}));
  EXPECT_EQ(Column("paradoxdriver/fields/timestamp.db", 0)[0], "null");
  EXPECT_EQ(Column("paradoxdriver/db/GENERAL.DB", 2), (Strings{"100", "150", "75"}));
  EXPECT_EQ(Column("paradoxdriver/db/GENERAL.DB", 0), (Strings{"1", "2", "333333333"}));
  EXPECT_EQ(Column("paradoxdriver/db/AREACODES.DB", 2)[0], "Hackensack, Jersey City (201/551 overlay)");
  Strings mail = Column("paradoxdriver/db/CUSTOMER.DB", 3);
  ASSERT_GE(mail.size(), 3u);
  EXPECT_EQ(mail[0], "luke@fun.com");
  EXPECT_EQ(mail[1], "fmallory@freeport.org");
  EXPECT_EQ(mail[2], "lpetzold@earthenwear.com");
  Strings bytes = Column("paradoxdriver/fields/bytes.db", 0);
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_EQ(bytes[0].substr(0, 8), std::string("1\0" "2\0" "3\0\0\0", 8));
  EXPECT_EQ(bytes[0].size(), 255u);
  EXPECT_EQ(Column("Rparadox/TypSammlung.DB", 13), (Strings{"null", "null", "null", "null", "null"}));
}

TEST(PdxReal, BlobsFromRecordsAndMemoFiles) {
  Strings memo = Column("paradoxdriver/fields/memo.db", 1);
  ASSERT_EQ(memo.size(), 2u);
  EXPECT_EQ(memo[0].size(), 555u);
  EXPECT_EQ(memo[1], "01234567890\n");
  Strings fmemo = Column("paradoxdriver/fields/fmemo.db", 1);
  EXPECT_EQ(fmemo[0].size(), 169u);
  EXPECT_EQ(fmemo[1].size(), 726u);
  Strings pic = Column("paradoxdriver/fields/graphic.db", 1);
  ASSERT_EQ(pic.size(), 3u);
  EXPECT_EQ(pic[1].size(), 9626u);
  EXPECT_EQ(pic[2].size(), 2074686u);
  EXPECT_EQ(pic[2].substr(8, 2), "BM");  // an 8-byte prefix, then the bitmap
  Strings note = Column("Rparadox/TypSammlung.DB", 9);
  EXPECT_EQ(note[2], "Dies ist eine Memo im 'F\xFCnften Datensat'");
  // A memo file found beside a table with an upper-case extension.
  TPdx t;
  t.SetTableName(test::TestData("Rparadox/TypSammlung.DB"));
  t.Open();
  EXPECT_TRUE(t.HasMemoFile());
  // MEMBRE.DB refers to BLOB data but has no memo file: such data reads empty.
  TPdx m;
  m.SetTableName(test::TestData("paradoxReader-khubla/MEMBRE.DB"));
  m.Open();
  EXPECT_FALSE(m.HasMemoFile());
}

TEST(PdxReal, HeaderFacts) {
  TPdx t;
  t.SetTableName(test::TestData("Rparadox/of.db"));
  t.Open();
  EXPECT_EQ(t.Header().FileVersion(), 4);
  EXPECT_EQ(t.Header().DosCodePage(), 0);
  t.Close();
  t.SetTableName(test::TestData("paradoxdriver/encrypt/encrypted.db"));
  t.Open();
  EXPECT_TRUE(t.Encrypted());
  // Its records are not shown: their bytes are not the values.
  EXPECT_EQ(t.Header().NumRecords(), 4u);
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.ReadProblems().front(), "the table is encrypted: its records cannot be read");
  t.Close();
  t.SetTableName(test::TestData("Rparadox/TypSammlung.DB"));
  t.Open();
  EXPECT_FALSE(t.Encrypted());
  EXPECT_EQ(t.SortOrderName(), "ANSIINTL");
  EXPECT_EQ(t.Language(), "Pdox ANSI Intl");
  EXPECT_EQ(t.TableNameInHeader(), "resttemp.DB");
  t.Close();
  // Encrypted tables keep their field numbers and sort-order name where others do.
  t.SetTableName(test::TestData("Rparadox-cran/TypSammlung_encrypted.DB"));
  t.Open();
  EXPECT_EQ(t.SortOrderName(), "ANSIINTL");
  EXPECT_EQ(t.Language(), "Pdox ANSI Intl");
}

}  // namespace
}  // namespace korvane
