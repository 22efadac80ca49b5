// The table reader on hostile tables: BLOB leaders that lie about their length, memo
// files that are no files, names that never end or carry control bytes, files cut
// short and encrypted tables. Each is read as far as the file really holds, and what
// cannot be read is said.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/pdx.h"
#include "support/fixtures.h"
#include "support/hostile.h"
#include "support/paths.h"
#include "support/rawtable.h"

namespace korvane {
namespace {

using test::OpenError;

std::string BlobOf(TPdx& t, int field) { return t.CreateBlobStream(t.Fields(field), bmRead)->Data(); }

std::string BlobError(TPdx& t, int field) {
  try {
    BlobOf(t, field);
  } catch (const EBlobError& e) {
    return e.what();
  }
  return "";
}

TEST(PdxHostileBlobs, LeadersAreCheckedAgainstTheMemoBlock) {
  std::string db = test::MakeBlobTable(3);
  // Record 1: the memo's leader claims 2 GB of a 2-block BLOB; record 2: the picture's
  // leader 2^31 and the short memo in a shared block 4 bytes more than its paragraphs
  // hold; record 3: 2^32 - 1 on the memo, and a picture whose block header claims one
  // block for 6000 bytes.
  test::PatchLeaderLength(db, 0, test::kBlobTableMemo, 2000000000);
  test::PatchLeaderLength(db, 1, test::kBlobTablePic, 0x80000000u);
  test::PatchLeaderLength(db, 1, test::kBlobTableMemo, 116);
  test::PatchLeaderLength(db, 2, test::kBlobTableMemo, 0xFFFFFFFFu);
  test::PatchMemoBlockCount(db, 2, test::kBlobTablePic, 1);
  TPdx t;
  t.SetTableName(db);
  t.Open();
  EXPECT_EQ(BlobError(t, 1),
            "record 1, field 'Memo': damaged BLOB: its leader gives a length of 2000000000 bytes, the memo block at "
            "offset 4096 holds at most 8183");
  EXPECT_EQ(BlobOf(t, 2).size(), 6000u);  // the other values of the record still read
  t.Next();
  EXPECT_EQ(BlobError(t, 2), "record 2, field 'Pic': damaged BLOB: its leader gives a length of 2147483648 bytes");
  EXPECT_NE(BlobError(t, 1).find("gives a length of 116 bytes"), std::string::npos);
  t.Next();
  EXPECT_EQ(BlobError(t, 1), "record 3, field 'Memo': damaged BLOB: its leader gives a length of 4294967295 bytes");
  EXPECT_NE(BlobError(t, 2).find("holds at most 4087"), std::string::npos);
  int32_t id = 0;
  ASSERT_TRUE(t.Fields(0).GetData(&id));
  EXPECT_EQ(id, 3);
}

TEST(PdxHostileBlobs, ReadBlobHandsOutBoundedPiecesOfTheSameData) {
  // A 1 MB picture and a 1 MB memo recoded piece by piece give what the whole reads give.
  std::string pic(1 << 20, '\0');
  for (size_t i = 0; i < pic.size(); ++i) pic[i] = static_cast<char>(i * 31 + i / 7);
  std::string memo;
  while (memo.size() < (1u << 20)) memo += "Gr\xfc\xdf" "e aus K\xf6ln, Zeile " + std::to_string(memo.size()) + "\r\n";
  std::string db = test::MakeTable({{"Memo", pdxtype::kMemo, 20}, {"Pic", pdxtype::kGraphic, 10}}, {{memo, pic}});
  TPdx t;
  t.SetTableName(db);
  t.Open();
  t.OnEncode = [](TDataSet&, const TField&, const std::string& s) {
    std::string out;
    for (char c : s) out += static_cast<uint8_t>(c) >= 0x80 ? std::string("<") + c + ">" : std::string(1, c);
    return out;
  };
  for (int f : {0, 1}) {
    std::string streamed;
    size_t pieces = 0, largest = 0;
    t.ReadBlob(t.Fields(f), [&](const char* p, size_t n) {
      streamed.append(p, n);
      ++pieces;
      largest = std::max(largest, n);
    });
    EXPECT_EQ(streamed, BlobOf(t, f)) << f;
    EXPECT_GT(pieces, 2u);
    EXPECT_LE(largest, 2u * 256 * 1024);
  }
}

TEST(PdxHostileMemo, MemoFilesThatAreNoFilesAreNamed) {
  struct Case {
    test::TMemoStandIn what;
    const char* problem;
  };
  for (const Case& c : {Case{test::TMemoStandIn::Fifo, "is not a regular file"},
                        Case{test::TMemoStandIn::Directory, "is not a regular file"},
                        Case{test::TMemoStandIn::LinkToDevZero, "is not a regular file"}}) {
    std::string db = test::MakeBlobTable(2);
    test::ReplaceMemoFile(db, c.what);
    TPdx t;
    t.SetTableName(db);
    t.Open();  // never blocks on the FIFO
    EXPECT_FALSE(t.HasMemoFile());
    EXPECT_EQ(t.MemoProblem(), "the memo file \"" + test::MemoPathOf(db) + "\" " + c.problem);
    EXPECT_EQ(t.MemoProblemFields(), (std::vector<std::string>{"Memo", "Pic"}));
    ASSERT_EQ(t.ReadProblems().size(), 1u);
    EXPECT_NE(t.ReadProblems()[0].find("the values of 'Memo', 'Pic' kept there cannot be read"), std::string::npos);
    // Values stay null, and each one that could not be read is counted.
    EXPECT_EQ(BlobOf(t, 1), "");
    EXPECT_EQ(BlobOf(t, 2), "");
    EXPECT_EQ(t.UnreadValueCount(), 2);
  }
  std::string db = test::MakeBlobTable(1);
  std::filesystem::remove(test::MemoPathOf(db));
  TPdx t;
  t.SetTableName(db);
  t.Open();
  EXPECT_EQ(t.MemoProblem(), "the memo file \"" + test::MemoPathOf(db) + "\" was not found");
  t.Close();
  // A table without BLOB fields needs no memo file.
  t.SetTableName(test::MakeTable("I,A10", {{int64_t{1}, std::string("x")}}));
  t.Open();
  EXPECT_TRUE(t.ReadProblems().empty());
}

TEST(PdxHostileHeader, NamesEndInsideTheHeaderAndMessagesAreEscaped) {
  TPdx t;
  t.SetTableName(test::MakeUnendedNameTable());
  std::string e = OpenError(t);
  EXPECT_NE(e.find("damaged header: the name of field 2 does not end inside the header"), std::string::npos) << e;
  EXPECT_LT(e.size(), 400u);

  // A name with an escape sequence and markup, of an unknown type: the message names the
  // table and shows the control bytes as escapes.
  std::string db = test::MakeNamedTable("Id", "\x1b]0;owned\x07<b>x</b>\x1b[2J", 7);
  TPdx u;
  u.SetTableName(db);
  e = OpenError(u);
  EXPECT_EQ(e, "\"" + db + "\" - Field '\\x1b]0;owned\\x07<b>x</b>\\x1b[2J' is of an unknown type (code 7)");
  // The same name on a field of a known type opens and keeps its bytes.
  u.SetTableName(test::MakeNamedTable("Id", "\x1b[2JName"));
  u.Open();
  EXPECT_EQ(u.Fields(1).FieldName(), "\x1b[2JName");
}

TEST(PdxHostileLength, TruncatedTableReadsTheRecordsBeforeTheDamage) {
  std::string full = test::MakeGeneratedTable("I,A20,N", 600, 7, {}, "full.db");
  std::string cut = test::TempDir() + "/cut.db";
  std::filesystem::copy_file(full, cut);
  const uint64_t size = std::filesystem::file_size(full);
  test::TruncateFile(cut, size / 2);
  TPdx a, b;
  a.SetTableName(full);
  a.Open();
  EXPECT_FALSE(a.Truncated());
  EXPECT_TRUE(a.ReadProblems().empty());
  b.SetTableName(cut);
  b.Open();
  ASSERT_TRUE(b.Truncated());
  const int readable = b.RecordCount();
  EXPECT_GT(readable, 200);
  EXPECT_LT(readable, 400);
  EXPECT_EQ(b.ReadProblems(), (std::vector<std::string>{"the file is shorter than its header says: " +
                                                        std::to_string(readable) + " of 600 records can be read"}));
  int n = 0;
  for (a.First(), b.First(); !b.Eof(); a.Next(), b.Next(), ++n) {
    for (int f = 0; f < 3; ++f) ASSERT_EQ(b.Fields(f).AsString(), a.Fields(f).AsString()) << n;
  }
  EXPECT_EQ(n, readable);
  b.Last();
  EXPECT_EQ(b.RecNo(), readable);
}

TEST(PdxHostileLength, EncryptedTablesShowNoRecords) {
  test::RawTable raw;
  raw.Fields = {{4, 4, "Id"}};
  raw.Encryption = 0x12345678;
  raw.Blocks = {test::RawBlock{0, 0, {test::StoreLong(1), test::StoreLong(2)}}};
  std::string path = test::TempDir() + "/enc.db";
  test::WriteFile(path, raw.Build());
  TPdx t;
  t.SetTableName(path);
  t.Open();
  EXPECT_TRUE(t.Encrypted());
  EXPECT_EQ(t.Header().NumRecords(), 2u);
  EXPECT_EQ(t.RecordCount(), 0);
  t.First();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.ReadProblems(), (std::vector<std::string>{"the table is encrypted: its records cannot be read"}));
}

}  // namespace
}  // namespace korvane
