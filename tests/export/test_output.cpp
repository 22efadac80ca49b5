// Output files of a run: what a name stands for (links, read-only and hard-linked
// files, standard output), temporaries left by runs that died, appending under a
// lock, and the parts of a split export when a run ends early.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "export/ZelEOutput.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

ino_t Inode(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool IsLink(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

void WriteThrough(const std::string& path, const std::string& text) {
  auto f = TZelEFileStream::Create(path);
  f->Write(text);
  f->Commit();
}

TEST(OutputFile, ASymbolicLinkLeadsToItsTargetAndStaysALink) {
  const std::string dir = TempDir();
  ::mkdir((dir + "/real").c_str(), 0777);
  WriteFile(dir + "/real/data.txt", "old\n");
  ASSERT_EQ(::symlink("real/data.txt", (dir + "/link.txt").c_str()), 0);
  ASSERT_EQ(::symlink("link.txt", (dir + "/link2.txt").c_str()), 0);
  EXPECT_EQ(TZelEFileStream::ResolveLinks(dir + "/link2.txt"), dir + "/real/data.txt");

  WriteThrough(dir + "/link2.txt", "new\n");
  EXPECT_TRUE(IsLink(dir + "/link.txt"));
  EXPECT_TRUE(IsLink(dir + "/link2.txt"));
  EXPECT_EQ(ReadFile(dir + "/real/data.txt"), "new\n");
  // The temporary lived beside the target and is gone.
  EXPECT_EQ(FolderEntries(dir + "/real"), std::vector<std::string>{"data.txt"});

  // A dangling link: the file it names is created.
  ASSERT_EQ(::symlink("real/later.txt", (dir + "/dangling.txt").c_str()), 0);
  WriteThrough(dir + "/dangling.txt", "x");
  EXPECT_TRUE(IsLink(dir + "/dangling.txt"));
  EXPECT_EQ(ReadFile(dir + "/real/later.txt"), "x");

  // A loop of links is an error, not a hang.
  ASSERT_EQ(::symlink("loop-b", (dir + "/loop-a").c_str()), 0);
  ASSERT_EQ(::symlink("loop-a", (dir + "/loop-b").c_str()), 0);
  EXPECT_THROW(TZelEFileStream::Create(dir + "/loop-a"), EZelExportError);
}

TEST(OutputFile, HardLinksAndOtherOwnersFilesAreRewrittenInPlace) {
  const std::string dir = TempDir();
  WriteFile(dir + "/a.txt", "a much longer earlier content\n");
  ASSERT_EQ(::link((dir + "/a.txt").c_str(), (dir + "/b.txt").c_str()), 0);
  const ino_t before = Inode(dir + "/a.txt");

  auto f = TZelEFileStream::Create(dir + "/a.txt");
  EXPECT_EQ(f->Mode(), TZelEFileStream::TMode::InPlace);
  f->Write("short\n");
  // Nothing changes before the run completes.
  EXPECT_EQ(ReadFile(dir + "/b.txt"), "a much longer earlier content\n");
  f->Commit();
  EXPECT_EQ(Inode(dir + "/a.txt"), before);
  EXPECT_EQ(ReadFile(dir + "/b.txt"), "short\n");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"a.txt", "b.txt"}));

  // Thrown away: both names keep what they had.
  auto g = TZelEFileStream::Create(dir + "/b.txt");
  g->Write("never\n");
  g->Discard();
  EXPECT_EQ(ReadFile(dir + "/a.txt"), "short\n");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(OutputFile, AFileTheUserCannotWriteIsRefusedNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write every file";
  const std::string dir = TempDir();
  WriteFile(dir + "/ro.txt", "keep\n");
  ::chmod((dir + "/ro.txt").c_str(), 0444);
  try {
    TZelEFileStream::Create(dir + "/ro.txt");
    ADD_FAILURE() << "a read-only file was accepted";
  } catch (const EZelExportError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot be written by this user"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(dir + "/ro.txt"), "keep\n");

  // A writable file in a folder that is not: written in place.
  ::mkdir((dir + "/locked").c_str(), 0777);
  WriteFile(dir + "/locked/w.txt", "old\n");
  ::chmod((dir + "/locked").c_str(), 0555);
  WriteThrough(dir + "/locked/w.txt", "new\n");
  EXPECT_EQ(ReadFile(dir + "/locked/w.txt"), "new\n");
  ::chmod((dir + "/locked").c_str(), 0777);
}

TEST(OutputFile, StandardOutputIsWrittenDirectlyByEachOfItsNames) {
  for (const char* name : {"-", "/dev/stdout", "/dev/fd/1"}) {
    EXPECT_TRUE(TZelEFileStream::IsStandardOutputName(name)) << name;
    auto f = TZelEFileStream::Create(name);
    EXPECT_TRUE(f->Direct()) << name;
    f->Discard();  // nothing written
  }
  EXPECT_FALSE(TZelEFileStream::IsStandardOutputName("./-"));
  EXPECT_FALSE(TZelEFileStream::IsStandardOutputName("/dev/stdout.txt"));
}

TEST(OutputFile, StaleTemporariesGoButThoseOfARunningExportStay) {
  const std::string dir = TempDir();
  const std::string target = dir + "/out.csv";
  WriteFile(dir + "/.out.csv.AbC123", "left by a killed run");
  WriteFile(dir + "/.out.csv.Live99", "being written");
  WriteFile(dir + "/.other.csv.AbC123", "another output's");
  WriteFile(dir + "/.out.csv.toolong1", "not a temporary name");
  // A running export holds the lock of its temporary.
  int held = ::open((dir + "/.out.csv.Live99").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  auto f = TZelEFileStream::Create(target);
  EXPECT_EQ(FolderEntries(dir).size(), 4u);  // its own temporary instead of the stale one
  f->Write("data");
  f->Commit();
  EXPECT_EQ(FolderEntries(dir),
            (std::vector<std::string>{".other.csv.AbC123", ".out.csv.Live99", ".out.csv.toolong1", "out.csv"}));

  ::close(held);
  EXPECT_EQ(RemoveStaleTemporaries(target), 1);
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{".other.csv.AbC123", ".out.csv.toolong1", "out.csv"}));
}

TEST(OutputFile, AnAppendKilledOutrightIsTakenBackByTheNextOne) {
  const std::string dir = TempDir();
  const std::string path = dir + "/doc.xml";
  const std::string journal = dir + "/.doc.xml.korvane-append";
  WriteFile(path, "<rows><r/></rows>\n");
  // A child appends inside the document end and dies without cleaning up.
  pid_t pid = ::fork();
  if (pid == 0) {
    auto f = TZelEFileStream::OpenForAppend(path);
    f->CutTail(10);
    f->Write("<r>new</r><r>half");
    f->Flush();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_EQ(ReadFile(path), "<rows><r/><r>new</r><r>half");
  ASSERT_TRUE(::access(journal.c_str(), F_OK) == 0);

  {
    auto f = TZelEFileStream::OpenForAppend(path);
    EXPECT_TRUE(f->RepairedAppend());
    EXPECT_EQ(ReadFile(path), "<rows><r/></rows>\n");
    f->CutTail(10);
    f->Write("<r>b</r></rows>\n");
    f->Commit();
  }
  EXPECT_EQ(ReadFile(path), "<rows><r/><r>b</r></rows>\n");
  EXPECT_FALSE(::access(journal.c_str(), F_OK) == 0);

  // A journal that belongs to another file (the name was replaced) is dropped
  // without touching this one.
  WriteFile(journal, "KORVANE-APPEND 1 1 2 3 0\n");
  {
    auto f = TZelEFileStream::OpenForAppend(path);
    EXPECT_FALSE(f->RepairedAppend());
    f->Discard();
  }
  EXPECT_EQ(ReadFile(path), "<rows><r/><r>b</r></rows>\n");
  EXPECT_FALSE(::access(journal.c_str(), F_OK) == 0);
}

TEST(OutputFile, AppendingWaitsForTheLockAndIsCutBackWhenThrownAway) {
  const std::string dir = TempDir();
  const std::string path = dir + "/m.txt";
  WriteFile(path, "earlier\n");
  {
    auto f = TZelEFileStream::OpenForAppend(path);
    f->Write("partial rows\n");
    f->Flush();
    EXPECT_EQ(ReadFile(path), "earlier\npartial rows\n");
    f->Discard();
  }
  EXPECT_EQ(ReadFile(path), "earlier\n");

  // Another appending run holds the file: the second waits, and gives up when
  // asked to.
  auto first = TZelEFileStream::OpenForAppend(path);
  int asked = 0;
  EXPECT_THROW(TZelEFileStream::OpenForAppend(path, [&] { return ++asked < 3; }), EZelExportError);
  EXPECT_EQ(asked, 3);
  first->Write("first\n");
  first->Commit();
  // The lock went with the first run: the next one appends at once.
  auto next = TZelEFileStream::OpenForAppend(path);
  next->Write("next\n");
  next->Commit();
  EXPECT_EQ(ReadFile(path), "earlier\nfirst\nnext\n");
}

// Split exports ending early keep the parts finished before the end, each whole.
struct SplitRun : ::testing::Test {
  SplitRun() : t(kThreeSpec, Rows()) {}
  static std::vector<TWriterRow> Rows() {
    std::vector<TWriterRow> rows;
    for (int i = 1; i <= 7; ++i) rows.push_back({TWriterValue("r" + std::to_string(i)), TWriterValue(i), TWriterValue(0.5)});
    return rows;
  }
  void SetUp() override {
    dir = TempDir();
    w.SetServices(&services);
    w.AnimatedStatus = false;
    w.DBGrid = &t.Grid;
    w.FileName = dir + "/p.txt";
    w.RowsPerFile = 2;
  }
  TOpenTable t;
  TRecordingWriter w;
  TRecordingServices services;
  std::string dir;
};

TEST_F(SplitRun, ACancelledRunKeepsTheFinishedPartsAndDropsTheOneInProgress) {
  WriteFile(dir + "/p002.txt", "earlier part 3\n");
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++n == 5; };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(ReadFile(dir + "/p.txt"), "r1|1|0.5|\nr2|2|0.5|\n");
  EXPECT_EQ(ReadFile(dir + "/p001.txt"), "r3|3|0.5|\nr4|4|0.5|\n");
  // The third part was being written: the earlier file of that name stays.
  EXPECT_EQ(ReadFile(dir + "/p002.txt"), "earlier part 3\n");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"p.txt", "p001.txt", "p002.txt"}));
  EXPECT_EQ(w.Statistic.FilesWritten, (std::vector<std::string>{dir + "/p.txt", dir + "/p001.txt"}));
}

TEST_F(SplitRun, AFailedRunKeepsTheFinishedPartsToo) {
  w.OnCell = [](int, int, const std::string& text) {
    if (text == "r6") throw EZelExportError("disk full");
  };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"p.txt", "p001.txt"}));
  EXPECT_EQ(ReadFile(dir + "/p001.txt"), "r3|3|0.5|\nr4|4|0.5|\n");

  // A complete run writes all four.
  w.OnCell = nullptr;
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"p.txt", "p001.txt", "p002.txt", "p003.txt"}));
  EXPECT_EQ(ReadFile(dir + "/p003.txt"), "r7|7|0.5|\n");
  EXPECT_EQ(w.Statistic.FilesWritten.size(), 4u);
}

}  // namespace
}  // namespace korvane::test
