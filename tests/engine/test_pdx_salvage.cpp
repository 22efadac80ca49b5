// Salvage of damaged tables: copies of real and generated tables with blocks cut off,
// zeroed, looped and swapped are read with salvage on, and what comes back is exactly
// the records of the blocks that stayed intact: nothing invented, nothing of an intact
// block lost.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/pdx.h"
#include "support/fixtures.h"
#include "support/paths.h"
#include "support/rawtable.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

uint16_t Le16At(const std::string& b, uint64_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

// The block of every record of an intact table, in chain order, from the raw bytes.
std::vector<int> BlockOfEachRecord(const std::string& path) {
  const std::string b = test::ReadFile(path);
  const uint16_t rl = Le16At(b, 0), hl = Le16At(b, 2);
  const uint64_t bs = static_cast<uint8_t>(b[5]) * 1024u;
  uint32_t n = 0;
  std::memcpy(&n, b.data() + 6, 4);
  std::vector<int> out;
  for (uint16_t blk = Le16At(b, 14); blk != 0 && out.size() < n;) {
    const uint64_t at = hl + (blk - 1) * bs;
    const uint16_t last = Le16At(b, at + 4);
    if (static_cast<int16_t>(last) >= 0) out.insert(out.end(), last / rl + 1, blk);
    blk = Le16At(b, at);
  }
  out.resize(std::min<size_t>(out.size(), n));
  return out;
}

// Every record as one line of its field texts (memo text included).
std::vector<std::string> Records(TPdx& t) {
  std::vector<std::string> out;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string line;
    for (int f = 0; f < t.FieldCount(); ++f) {
      const TField& fd = t.Fields(f);
      line += (IsBlobType(fd.DataType()) ? t.CreateBlobStream(fd, bmRead)->Data() : fd.AsString()) + "\t";
    }
    out.push_back(line);
  }
  return out;
}

struct TDamaged {
  std::string Path;
  std::vector<std::string> Intact;  // the original's records
  std::vector<int> Blocks;          // block of each of them
};

// A copy of a table (and its memo file) in a fresh folder, with the original's records.
TDamaged CopyOf(const std::string& source) {
  TDamaged d;
  const std::string dir = test::TempDir();
  d.Path = dir + "/" + fs::path(source).filename().string();
  fs::copy_file(source, d.Path);
  for (const char* ext : {".mb", ".MB"}) {
    fs::path memo = fs::path(source).replace_extension(ext);
    if (fs::exists(memo)) fs::copy_file(memo, fs::path(d.Path).replace_extension(ext));
  }
  TPdx t;
  t.SetTableName(source);
  t.Open();
  d.Intact = Records(t);
  d.Blocks = BlockOfEachRecord(source);
  return d;
}

// The original's records except those of the given blocks.
std::vector<std::string> Without(const TDamaged& d, const std::vector<int>& lost) {
  std::vector<std::string> out;
  for (size_t i = 0; i < d.Intact.size(); ++i) {
    if (std::find(lost.begin(), lost.end(), d.Blocks[i]) == lost.end()) out.push_back(d.Intact[i]);
  }
  return out;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

void SwapBlocks(const std::string& path, int a, int b) {
  std::string bytes = test::ReadFile(path);
  const uint64_t bs = static_cast<uint8_t>(bytes[5]) * 1024u;
  std::string ba = bytes.substr(test::BlockOffset(path, a), bs);
  std::string bb = bytes.substr(test::BlockOffset(path, b), bs);
  test::PatchBytes(path, test::BlockOffset(path, a), bb);
  test::PatchBytes(path, test::BlockOffset(path, b), ba);
}

std::string GeneratedTable() {
  TPdxWriterOptions o;
  o.BlockSizeKB = 1;
  return test::MakeGeneratedTable("I,A20,N,D", 600, 11, o, "gen.db");
}

TEST(PdxSalvage, WithoutSalvageABrokenChainStillFailsAtTheDamage) {
  TDamaged d = CopyOf(GeneratedTable());
  test::PatchLe16(d.Path, test::BlockOffset(d.Path, 3), 2);  // block 3 links back to 2
  TPdx t;
  t.SetTableName(d.Path);
  t.Open();
  EXPECT_THROW(Records(t), EChainError);
  EXPECT_TRUE(t.ChainFault());
  EXPECT_FALSE(t.SalvageReport().Damaged);
}

TEST(PdxSalvage, AWholeTableReadsAsAlways) {
  TDamaged d = CopyOf(GeneratedTable());
  TPdx t;
  t.SetTableName(d.Path);
  t.SetSalvage(true);
  t.Open();
  EXPECT_FALSE(t.SalvageReport().Damaged);
  EXPECT_TRUE(t.SalvageSummary().empty());
  EXPECT_TRUE(t.ReadProblems().empty());
  EXPECT_EQ(Records(t), d.Intact);
  EXPECT_EQ(t.UndecodedValues(), 0);
}

TEST(PdxSalvage, LoopsLinksPastTheEndAndALostFirstBlockLoseNothing) {
  const std::string source = GeneratedTable();
  struct Case {
    const char* name;
    int block;          // block whose next link is patched (0: the header's first block)
    uint16_t link;
  } cases[] = {{"loop", 4, 2}, {"past the end", 2, 9000}, {"chain ends early", 5, 0}, {"no first block", 0, 0}};
  for (const Case& c : cases) {
    TDamaged d = CopyOf(source);
    if (c.block == 0)
      test::PatchLe16(d.Path, 14, c.link);
    else
      test::PatchLe16(d.Path, test::BlockOffset(d.Path, c.block), c.link);
    TPdx t;
    t.SetTableName(d.Path);
    t.SetSalvage(true);
    t.Open();
    ASSERT_TRUE(t.SalvageReport().Damaged) << c.name;
    EXPECT_EQ(t.SalvageReport().UnreadableBlocks, 0u) << c.name;
    EXPECT_EQ(t.RecordCount(), static_cast<int>(d.Intact.size())) << c.name;
    // The chain and then the rest in file order: here the original order.
    EXPECT_EQ(Records(t), d.Intact) << c.name;
    const uint32_t chain = t.SalvageReport().ChainRecords;
    EXPECT_EQ(t.SalvageSummary(), "Damaged table: 600 records recovered, 0 blocks unreadable; the order after record " +
                                      std::to_string(chain) + " may differ from the original")
        << c.name;
  }
}

TEST(PdxSalvage, ZeroedAndSwappedBlocksOfAGeneratedTable) {
  const std::string source = GeneratedTable();
  {
    TDamaged d = CopyOf(source);
    test::PatchBytes(d.Path, test::BlockOffset(d.Path, 5), test::Zeros(1024));
    TPdx t;
    t.SetTableName(d.Path);
    t.SetSalvage(true);
    t.Open();
    ASSERT_TRUE(t.SalvageReport().Damaged);
    EXPECT_EQ(t.SalvageReport().UnreadableBlocks, 1u);
    EXPECT_EQ(Records(t), Without(d, {5}));
  }
  {
    TDamaged d = CopyOf(source);
    SwapBlocks(d.Path, 3, 7);
    TPdx t;
    t.SetTableName(d.Path);
    t.SetSalvage(true);
    t.Open();
    ASSERT_TRUE(t.SalvageReport().Damaged);
    EXPECT_EQ(t.SalvageReport().UnreadableBlocks, 0u);
    const std::vector<std::string> got = Records(t);
    EXPECT_EQ(Sorted(got), Sorted(d.Intact));
    // Up to the damage the order is the chain's.
    const uint32_t chain = t.SalvageReport().ChainRecords;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + chain, d.Intact.begin()));
  }
}

TEST(PdxSalvage, CutsAtSeveralLengthsKeepEveryWholeRecord) {
  const std::string source = GeneratedTable();
  const uint64_t size = fs::file_size(source);
  const uint64_t hl = test::BlockOffset(source, 1);
  for (uint64_t cut : {hl + 3, hl + 1024 + 100, size / 3, size / 2 + 17, size - 1}) {
    TDamaged d = CopyOf(source);
    test::TruncateFile(d.Path, cut);
    TPdx t;
    t.SetTableName(d.Path);
    t.SetSalvage(true);
    t.Open();
    // The records whose bytes all lie before the cut, nothing else.
    const uint64_t rl = t.Header().RecordLength();
    std::vector<std::string> expected;
    std::map<int, int> seen;
    for (size_t i = 0; i < d.Intact.size(); ++i) {
      const int blk = d.Blocks[i];
      const int k = seen[blk]++;
      if (test::BlockOffset(source, blk) + 6 + (k + 1) * rl <= cut) expected.push_back(d.Intact[i]);
    }
    EXPECT_EQ(Records(t), expected) << cut;
    if (expected.size() == d.Intact.size()) {
      EXPECT_FALSE(t.SalvageReport().Damaged) << cut;  // only the unused end of the last block is gone
      continue;
    }
    ASSERT_TRUE(t.SalvageReport().Damaged) << cut;
    EXPECT_EQ(t.SalvageReport().Recovered, expected.size()) << cut;
    EXPECT_GE(t.SalvageReport().UnreadableBlocks, 1u) << cut;
  }
}

TEST(PdxSalvage, RealTablesWithBlocksZeroedSwappedAndLooped) {
  for (const char* rel : {"onyx-jtech-gripstrength/ZListItem.DB", "paradoxdriver/db/AREACODES.DB",
                          "ParadoxReader-dabide/zakazky.db"}) {
    const std::string source = test::TestData(rel);
    if (!fs::exists(source)) GTEST_SKIP() << source;
    TDamaged base = CopyOf(source);
    std::vector<int> chain;
    for (int b : base.Blocks)
      if (chain.empty() || chain.back() != b) chain.push_back(b);
    ASSERT_GE(chain.size(), 4u) << rel;
    {  // the third block of the chain zeroed
      TDamaged d = CopyOf(source);
      const uint64_t bs = d.Path.empty() ? 0 : static_cast<uint8_t>(test::ReadFile(d.Path)[5]) * 1024u;
      test::PatchBytes(d.Path, test::BlockOffset(d.Path, chain[2]), test::Zeros(bs));
      TPdx t;
      t.SetTableName(d.Path);
      t.SetSalvage(true);
      t.Open();
      ASSERT_TRUE(t.SalvageReport().Damaged) << rel;
      EXPECT_EQ(Sorted(Records(t)), Sorted(Without(d, {chain[2]}))) << rel;
    }
    {  // the third block links back to the second
      TDamaged d = CopyOf(source);
      test::PatchLe16(d.Path, test::BlockOffset(d.Path, chain[2]), static_cast<uint16_t>(chain[1]));
      TPdx t;
      t.SetTableName(d.Path);
      t.SetSalvage(true);
      t.Open();
      ASSERT_TRUE(t.SalvageReport().Damaged) << rel;
      const std::vector<std::string> got = Records(t);
      EXPECT_EQ(Sorted(got), Sorted(d.Intact)) << rel;
      EXPECT_EQ(t.SalvageReport().ChainRecords,
                static_cast<uint32_t>(std::count_if(d.Blocks.begin(), d.Blocks.end(), [&](int b) {
                  return b == chain[0] || b == chain[1] || b == chain[2];
                })))
          << rel;
    }
    {  // two blocks swapped
      TDamaged d = CopyOf(source);
      SwapBlocks(d.Path, chain[1], chain[chain.size() - 2]);
      TPdx t;
      t.SetTableName(d.Path);
      t.SetSalvage(true);
      t.Open();
      EXPECT_EQ(Sorted(Records(t)), Sorted(d.Intact)) << rel;
    }
  }
}

TEST(PdxSalvage, ValuesThatDoNotDecodeReadAsNullAndAreCounted) {
  TDamaged d = CopyOf(GeneratedTable());
  // Field 4 (a date) of record 3 of block 1: a day number far past 9999.
  TPdx probe;
  probe.SetTableName(d.Path);
  probe.Open();
  const int dateOffset = probe.FieldInfo()[3].Offset;
  probe.Close();
  test::PatchBytes(d.Path, test::RecordOffset(d.Path, 1, 2) + dateOffset, std::string("\xFF\xFF\xFF\xF0", 4));
  {
    TPdx t;
    t.SetTableName(d.Path);
    t.Open();
    t.SetRecNo(3);
    EXPECT_FALSE(t.Fields(3).IsNull());  // without salvage read as stored
  }
  TPdx t;
  t.SetTableName(d.Path);
  t.SetSalvage(true);
  t.Open();
  std::vector<std::string> got = Records(t);
  EXPECT_EQ(got.size(), d.Intact.size());
  EXPECT_EQ(t.UndecodedValues(), 1);  // counted once however often the record is read
  t.SetRecNo(3);
  EXPECT_TRUE(t.Fields(3).IsNull());
  for (size_t i = 0; i < got.size(); ++i) {
    if (i != 2) {
      EXPECT_EQ(got[i], d.Intact[i]) << i;
    }
  }
  EXPECT_EQ(t.UnreadValueCount(), 1);
}

TEST(PdxSalvage, BcdDigitsBeforeTheFifteenthAreDamageAfterItWriterNoise) {
  // Digits 32: "1" then 14 nines, then an invalid nibble (damage) / after 15 digits (noise).
  auto bcd = [](int invalidAt) {
    std::string b(17, '\0');
    b[0] = static_cast<char>(0xC0 | 2);
    for (int i = 0; i < 32; ++i) {
      int nib = i < 10 ? 0 : (i == 10 ? 1 : 9);
      if (i >= invalidAt) nib = 0xC;
      uint8_t& byte = reinterpret_cast<uint8_t&>(b[1 + i / 2]);
      byte = static_cast<uint8_t>(i % 2 ? (byte | nib) : (nib << 4));
    }
    return b;
  };
  TPdxWriterOptions o;
  std::string path = test::MakeTable("#2", {{TWriterValue(std::string("1.5"))}, {TWriterValue(std::string("2"))}},
                                     o, "bcd.db");
  test::PatchBytes(path, test::RecordOffset(path, 1, 0), bcd(20));  // 10 significant digits, then damage
  test::PatchBytes(path, test::RecordOffset(path, 1, 1), bcd(27));  // 17 significant digits, then noise
  TPdx t;
  t.SetTableName(path);
  t.SetSalvage(true);
  t.Open();
  t.First();
  EXPECT_TRUE(t.Fields(0).IsNull());
  t.Next();
  EXPECT_FALSE(t.Fields(0).IsNull());
  EXPECT_EQ(t.UndecodedValues(), 1);
}

TEST(PdxSalvage, MemoTextOfAMissingMemoFileIsWhatTheRecordKeepsMarkedAsCut) {
  const std::string longText(300, 'x');
  std::vector<TWriterRow> rows = {
      {TWriterValue(std::string("short")), TWriterValue(int64_t{1})},
      {TWriterValue("0123456789abcdefghijklmnopqrstuvwxyz" + longText), TWriterValue(int64_t{2})}};
  std::string path = test::MakeTable("M40,I", rows, {}, "memo.db");
  fs::remove(fs::path(path).replace_extension(".mb"));
  {
    TPdx t;  // without salvage the memo kept in the memo file is empty
    t.SetTableName(path);
    t.Open();
    t.SetRecNo(2);
    EXPECT_EQ(t.CreateBlobStream(t.Fields(0), bmRead)->Data(), "");
  }
  TPdx t;
  t.SetTableName(path);
  t.SetSalvage(true);
  t.Open();
  EXPECT_FALSE(t.SalvageReport().Damaged);
  t.First();
  EXPECT_EQ(t.CreateBlobStream(t.Fields(0), bmRead)->Data(), "short");
  EXPECT_FALSE(t.LastBlobCut());
  t.Next();
  EXPECT_EQ(t.CreateBlobStream(t.Fields(0), bmRead)->Data(), std::string("0123456789abcdefghijklmnopqrstuvwxyz").substr(0, 30));
  EXPECT_TRUE(t.LastBlobCut());
  EXPECT_EQ(t.CutMemos(), 1);
  EXPECT_EQ(t.Fields(1).AsInteger(), 2);
}

}  // namespace
}  // namespace korvane

namespace korvane {
namespace {

struct TCliRun {
  int Exit = -1;
  std::string Out;  // stdout and stderr together
};

TCliRun RunCli(const std::string& args) {
  TCliRun r;
  FILE* p = ::popen((test::CliPath() + " " + args + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.Out.append(buf, n);
  const int status = ::pclose(p);
  r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(PdxSalvageCli, DumpFailsWithTheHintAndSalvagesOnRequest) {
  TDamaged d = CopyOf(GeneratedTable());
  test::PatchBytes(d.Path, test::BlockOffset(d.Path, 5), test::Zeros(1024));
  const TCliRun plain = RunCli("dump '" + d.Path + "'");
  EXPECT_EQ(plain.Exit, 1);
  EXPECT_NE(plain.Out.find("read error (the block chain is broken; --salvage reads every record that can be found)"),
            std::string::npos)
      << plain.Out;
  const TCliRun salvaged = RunCli("dump --salvage '" + d.Path + "'");
  EXPECT_EQ(salvaged.Exit, 1);  // records were lost: never a success
  TPdx t;
  t.SetTableName(d.Path);
  t.SetSalvage(true);
  t.Open();
  EXPECT_NE(salvaged.Out.find("warning: " + t.SalvageSummary()), std::string::npos) << salvaged.Out;
  // Header line plus one line per recovered record.
  size_t lines = 0;
  for (char c : salvaged.Out) lines += c == '\n';
  EXPECT_EQ(lines, 1 + 1 + Without(d, {5}).size());
  const TCliRun info = RunCli("info '" + d.Path + "'");
  EXPECT_EQ(info.Exit, 0);
  EXPECT_NE(info.Out.find(t.SalvageSummary()), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("Damage:"), std::string::npos);
  const TCliRun exported = RunCli("export '" + d.Path + "' --format Text --quiet --salvage --output '" +
                                  test::TempDir() + "/out.txt'");
  EXPECT_EQ(exported.Exit, 1) << exported.Out;
  const TCliRun allowed = RunCli("export '" + d.Path + "' --format Text --quiet --salvage --allow-lossy --output '" +
                                 test::TempDir() + "/out.txt'");
  EXPECT_EQ(allowed.Exit, 0) << allowed.Out;
}

}  // namespace
}  // namespace korvane
