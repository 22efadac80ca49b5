// korvane-cli info, dump and export on hostile tables: each ends in bounded time and
// memory, with the exit status and an escaped message that says what is wrong.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/hostile.h"
#include "support/paths.h"
#include "support/rawtable.h"

namespace korvane {
namespace {

struct TRun {
  int exit = -1;
  std::string out;
  std::string err;
  double seconds = 0;
  long peakKB = 0;
};

// Runs korvane-cli with stdout and stderr in files; measures the child alone.
TRun Cli(const std::vector<std::string>& args) {
  const std::string dir = test::TempDir();
  const std::string outPath = dir + "/out", errPath = dir + "/err";
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(o, 1);
    ::dup2(e, 2);
    std::vector<std::string> all = {test::CliPath()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  TRun r;
  int status = 0;
  struct rusage ru {};
  ::wait4(pid, &status, 0, &ru);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peakKB = ru.ru_maxrss;
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = test::ReadFile(outPath);
  r.err = test::ReadFile(errPath);
  return r;
}

// Under the sanitizers a run is several times slower and freed memory waits in
// quarantine before it is reused: the bounds still tell a bounded run from one
// that reads what a lying file claims (gigabytes), no more.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSecondsBound = 30.0;
constexpr long kPeakKBBound = 512 * 1024;
#else
constexpr double kSecondsBound = 5.0;
constexpr long kPeakKBBound = 64 * 1024;
#endif

// The bounds every run on a hostile table keeps, and no raw control byte on stderr.
void ExpectBounded(const TRun& r, const std::string& what) {
  EXPECT_LT(r.seconds, kSecondsBound) << what;
  EXPECT_LT(r.peakKB, kPeakKBBound) << what;
  for (char c : r.err) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << what << ": " << r.err;
}

TRun Export(const std::string& db) {
  return Cli({"export", db, "--format", "Text", "--output", test::TempDir() + "/out.txt"});
}

size_t Lines(const std::string& s) { return static_cast<size_t>(std::count(s.begin(), s.end(), '\n')); }

TEST(CliHostile, LyingLeadersInASparseMemoFile) {
  // Leaders claiming 2 GB each in a sparse 10 GB memo file.
  std::string db = test::MakeBlobTable(3);
  for (int r = 0; r < 3; ++r) {
    test::PatchLeaderLength(db, r, test::kBlobTableMemo, 2000000000);
    test::PatchLeaderLength(db, r, test::kBlobTablePic, 2000000000);
  }
  test::TruncateFile(test::MemoPathOf(db), uint64_t{10} << 30);

  TRun info = Cli({"info", db});
  ExpectBounded(info, "info");
  EXPECT_EQ(info.exit, 0);

  TRun dump = Cli({"dump", db});
  ExpectBounded(dump, "dump");
  EXPECT_EQ(dump.exit, 1);
  EXPECT_NE(dump.err.find("korvane-cli: record 1, field 'Memo': damaged BLOB: its leader gives a length of "
                          "2000000000 bytes"),
            std::string::npos)
      << dump.err;
  EXPECT_NE(dump.err.find("record 3, field 'Pic': damaged BLOB"), std::string::npos);
  EXPECT_NE(dump.err.find("6 values could not be read"), std::string::npos);
  // Every record is still there with its other values.
  EXPECT_EQ(dump.out, "Id\tMemo\tPic\n1\t\t\n2\t\t\n3\t\t\n");

  TRun exp = Export(db);
  ExpectBounded(exp, "export");
  EXPECT_EQ(exp.exit, 1);
  EXPECT_NE(exp.err.find("record 1, field 'Memo': damaged BLOB"), std::string::npos) << exp.err;
}

TEST(CliHostile, LeadersOfTwoToTheThirtyFirstAndAbove) {
  std::string db = test::MakeBlobTable(2);
  test::PatchLeaderLength(db, 0, test::kBlobTableMemo, 0x80000000u);
  test::PatchLeaderLength(db, 1, test::kBlobTablePic, 0xFFFFFFFFu);
  TRun dump = Cli({"dump", db});
  ExpectBounded(dump, "dump");
  EXPECT_EQ(dump.exit, 1);
  EXPECT_NE(dump.err.find("record 1, field 'Memo': damaged BLOB: its leader gives a length of 2147483648 bytes"),
            std::string::npos);
  EXPECT_NE(dump.err.find("record 2, field 'Pic': damaged BLOB: its leader gives a length of 4294967295 bytes"),
            std::string::npos);
  EXPECT_EQ(Lines(dump.out), 3u);
  TRun exp = Export(db);
  ExpectBounded(exp, "export");
  EXPECT_EQ(exp.exit, 1);
}

TEST(CliHostile, MemoFilesThatAreNoFiles) {
  for (auto what : {test::TMemoStandIn::Fifo, test::TMemoStandIn::Directory, test::TMemoStandIn::LinkToDevZero}) {
    std::string db = test::MakeBlobTable(3);
    test::ReplaceMemoFile(db, what);
    const std::string warning = "korvane-cli: warning: the memo file \"" + test::MemoPathOf(db) +
                                "\" is not a regular file: the values of 'Memo', 'Pic' kept there cannot be read\n";
    TRun info = Cli({"info", db});
    ExpectBounded(info, "info");
    EXPECT_EQ(info.exit, 0);
    EXPECT_NE(info.out.find("is not a regular file"), std::string::npos);

    TRun dump = Cli({"dump", db});
    ExpectBounded(dump, "dump");
    EXPECT_EQ(dump.exit, 0);
    EXPECT_EQ(dump.err, warning);  // one warning, before the records
    EXPECT_EQ(dump.out, "Id\tMemo\tPic\n1\t\t\n2\t\t\n3\t\t\n");

    // Values left empty fail the export unless the user accepts the loss.
    TRun exp = Export(db);
    ExpectBounded(exp, "export");
    EXPECT_EQ(exp.exit, 1);
    EXPECT_EQ(exp.err.rfind(warning, 0), 0u) << exp.err;
    EXPECT_NE(exp.err.find("6 values could not be read from the table"), std::string::npos) << exp.err;
    TRun lossy = Cli({"export", db, "--format", "Text", "--output", test::TempDir() + "/out.txt", "--allow-lossy"});
    EXPECT_EQ(lossy.exit, 0) << lossy.err;
  }
}

TEST(CliHostile, NamesWithControlBytesAndNoEnd) {
  std::string bad = test::MakeNamedTable("Id", "\x1b]0;owned\x07<a href=x>y</a>", 7);
  for (const char* cmd : {"info", "dump", "export"}) {
    TRun r = std::string(cmd) == "export" ? Export(bad) : Cli({cmd, bad});
    ExpectBounded(r, cmd);
    EXPECT_EQ(r.exit, 1) << cmd;
    EXPECT_EQ(r.err, "korvane-cli: \"" + bad +
                         "\" - Field '\\x1b]0;owned\\x07<a href=x>y</a>' is of an unknown type (code 7)\n")
        << cmd;
  }
  std::string named = test::MakeNamedTable("Id", "\x1b[2JName");
  TRun dump = Cli({"dump", named});
  EXPECT_EQ(dump.exit, 0);
  EXPECT_EQ(dump.out.substr(0, dump.out.find('\n')), "Id\t\\x1b[2JName");
  TRun info = Cli({"info", named});
  EXPECT_EQ(info.out.find('\x1b'), std::string::npos);

  std::string unended = test::MakeUnendedNameTable();
  for (const char* cmd : {"info", "dump"}) {
    TRun r = Cli({cmd, unended});
    ExpectBounded(r, cmd);
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("damaged header: the name of field 2 does not end inside the header"), std::string::npos);
  }
}

TEST(CliHostile, EncryptedTablesAreRefusedButDescribed) {
  const std::string enc = test::TestData("paradoxdriver/encrypt/encrypted.db");
  TRun info = Cli({"info", enc});
  EXPECT_EQ(info.exit, 0);
  for (const TRun& r : {Cli({"dump", enc}), Export(enc)}) {
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "korvane-cli: \"" + enc + "\" - the table is encrypted: its records cannot be read\n");
  }
}

TEST(CliHostile, RealTableCutAtHalfItsLength) {
  const std::string cut = test::TempDir() + "/AREACODES.DB";
  std::filesystem::copy_file(test::TestData("paradoxdriver/db/AREACODES.DB"), cut);
  test::TruncateFile(cut, std::filesystem::file_size(cut) / 2);
  TRun info = Cli({"info", cut});
  EXPECT_EQ(info.exit, 0);
  const size_t at = info.out.find("the file is shorter than its header says: ");
  ASSERT_NE(at, std::string::npos) << info.out;
  const int readable = std::stoi(info.out.substr(at + 42));
  EXPECT_GT(readable, 100);
  EXPECT_LT(readable, 370);
  const std::string warning = "korvane-cli: warning: the file is shorter than its header says: " +
                              std::to_string(readable) + " of 370 records can be read\n";

  TRun dump = Cli({"dump", cut});
  EXPECT_EQ(dump.exit, 0);
  EXPECT_EQ(dump.err, warning);
  EXPECT_EQ(Lines(dump.out), static_cast<size_t>(readable) + 1);
  TRun whole = Cli({"dump", test::TestData("paradoxdriver/db/AREACODES.DB")});
  EXPECT_EQ(whole.out.substr(0, dump.out.size()), dump.out);  // the records before the damage, as they are

  const std::string txt = test::TempDir() + "/cut.txt";
  TRun exp = Cli({"export", cut, "--format", "Text", "--output", txt});
  EXPECT_EQ(exp.exit, 0);
  EXPECT_EQ(exp.err.rfind(warning, 0), 0u) << exp.err;
  EXPECT_EQ(Lines(test::ReadFile(txt)), static_cast<size_t>(readable));
}

}  // namespace
}  // namespace korvane

namespace korvane {
namespace {

TEST(CliHostile, AnHonestBlobOfManyMegabytesStreamsThroughDumpAndExport) {
  // The picture's block says it holds 8 193 blocks of 4 KB, and its leader
  // claims all of it: 32 MB (its first bytes, then sparse zeros), legitimately.
  std::string db = test::MakeBlobTable(1);
  constexpr uint16_t kBlocks = 8193;
  constexpr uint32_t kLength = uint32_t{kBlocks} * 4096 - 9;
  test::PatchMemoBlockCount(db, 0, test::kBlobTablePic, kBlocks);
  test::PatchLeaderLength(db, 0, test::kBlobTablePic, kLength);
  test::TruncateFile(test::MemoPathOf(db), (uint64_t{kBlocks} + 8) * 4096);

  // The outputs are read only after both runs: a child's peak counts what this
  // process held when it forked.
  const std::string dir = test::TempDir();
  const std::string out = dir + "/big.txt";
  TRun exp = Cli({"export", db, "--format", "Text", "--output", out, "--quiet"});
  ExpectBounded(exp, "export");
  EXPECT_EQ(exp.exit, 0) << exp.err;
  TRun dump = Cli({"dump", db});
  ExpectBounded(dump, "dump");
  EXPECT_EQ(dump.exit, 0) << dump.err;

  // dump: the picture as 2 hex digits a byte.
  ASSERT_EQ(Lines(dump.out), 2u);
  const size_t row = dump.out.find('\n') + 1;
  const size_t pic = dump.out.rfind('\t') + 1;
  EXPECT_EQ(dump.out.size() - 1 - pic, 2 * size_t{kLength});
  // export: dump's record with memo and picture enclosed in the qualifier.
  std::string expected = dump.out.substr(row);
  const size_t memo = expected.find('\t') + 1;
  const size_t memoEnd = expected.find('\t', memo);
  expected = expected.substr(0, memo) + "\"" + expected.substr(memo, memoEnd - memo) + "\"\t\"" +
             expected.substr(memoEnd + 1, expected.size() - memoEnd - 2) + "\"\r\n";
  dump.out.clear();
  dump.out.shrink_to_fit();
  const std::string text = test::ReadFile(out);
  EXPECT_EQ(text.size(), expected.size());
  EXPECT_TRUE(text == expected);
}

// The same picture through the writers that encode it themselves: each keeps
// the bound and writes all of it.
TEST(CliHostile, AnHonestBlobOfManyMegabytesStreamsThroughEveryWriter) {
  std::string db = test::MakeBlobTable(1);
  constexpr uint16_t kBlocks = 8193;
  constexpr uint32_t kLength = uint32_t{kBlocks} * 4096 - 9;
  test::PatchMemoBlockCount(db, 0, test::kBlobTablePic, kBlocks);
  test::PatchLeaderLength(db, 0, test::kBlobTablePic, kLength);
  test::TruncateFile(test::MemoPathOf(db), (uint64_t{kBlocks} + 8) * 4096);

  struct TCase {
    const char* format;
    const char* ext;
    size_t encoded;     // the picture's length in the file, at least
    std::string zeros;  // how its zero bytes look there
  };
  const std::vector<TCase> cases = {
      {"HTML", ".htm", 2 * size_t{kLength}, std::string(4096, '0')},
      {"LDIF", ".ldif", size_t{kLength} / 3 * 4, std::string(4096, 'A')},
      {"SQL", ".sql", 2 * size_t{kLength}, std::string(4096, '0')},
      {"XML", ".xml", size_t{kLength} / 3 * 4, std::string(4096, 'A')},
  };
  const std::string dir = test::TempDir();
  std::vector<TRun> runs;
  for (const TCase& c : cases) {
    runs.push_back(Cli({"export", db, "--format", c.format, "--output", dir + "/big" + c.ext, "--quiet"}));
    ExpectBounded(runs.back(), c.format);
    EXPECT_EQ(runs.back().exit, 0) << c.format << ": " << runs.back().err;
  }
  for (const TCase& c : cases) {
    const std::string out = test::ReadFile(dir + "/big" + c.ext);
    EXPECT_GT(out.size(), c.encoded) << c.format;
    EXPECT_NE(out.find(c.zeros), std::string::npos) << c.format;
  }
}

}  // namespace
}  // namespace korvane
