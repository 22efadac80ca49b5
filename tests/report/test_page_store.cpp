// The page store and the saved report file: the bytes as laid down, paging back and
// forth, the spill to a temporary file, saving and loading, and damaged files.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "report/RvoPageImage.h"
#include "report/RvoPageStore.h"
#include "report/RvoSplay.h"
#include "support/paths.h"

namespace korvane::report {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// A page image whose text names its page, padded with `extra` text runs.
std::string PageImage(int n, int extra = 0) {
  TRvoPageRecorder rec;
  rec.BeginPage(2100, 2970);
  TRvoFontSpec f;
  rec.Text(100, 100, f, "Page " + std::to_string(n), 0, 0, 2100, 2970);
  for (int i = 0; i < extra; ++i)
    rec.Text(100, 150 + i % 2000, f, "line " + std::to_string(i) + " of page " + std::to_string(n), 0, 0, 2100, 2970);
  rec.EndPage();
  return rec.TakeImage();
}

uint32_t At32(std::string_view s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}
void Set32(std::string& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); }

std::vector<std::string> TempFiles(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

// Open descriptors of this process that point at deleted files under `dir`.
std::vector<std::string> DeletedFilesOpen(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& fd : TempFiles("/proc/self/fd")) {
    char target[4096];
    ssize_t n = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    std::string t(target, static_cast<size_t>(n));
    if (t.rfind(dir + "/", 0) == 0 && t.find("(deleted)") != std::string::npos) found.push_back("/proc/self/fd/" + fd);
  }
  return found;
}

TEST(PageStore, OnePageIsLaidDownByteForByte) {
  TRvoPageList list;
  list.Begin(false);
  std::string img = PageImage(1);
  list.AddPage(img);
  list.Finish();
  ASSERT_EQ(list.PageCount(), 1);
  std::string file = list.StreamBytes(0, static_cast<size_t>(list.StreamSize()));
  ASSERT_EQ(file.size(), 128 + 8 + img.size() + 4);
  uint16_t v[2];
  std::memcpy(v, file.data(), 4);
  EXPECT_EQ(v[0], 3);
  EXPECT_EQ(v[1], 309);
  EXPECT_EQ(At32(file, 4), 0u);
  EXPECT_EQ(At32(file, 8), 1u);
  EXPECT_EQ(At32(file, 12), 0u);
  double when;
  std::memcpy(&when, file.data() + 16, 8);
  EXPECT_NEAR(when, RvoNow(), 1.0 / 24 / 60);
  EXPECT_GT(when, 45000);  // after 2023
  EXPECT_EQ(file[24], 0);
  EXPECT_EQ(file[25], 0);
  EXPECT_EQ(file.substr(26, 102), std::string(102, '\0'));
  EXPECT_EQ(At32(file, 128), 1u);              // page number
  EXPECT_EQ(At32(file, 132), file.size());     // next record = the length
  EXPECT_EQ(file.substr(136, img.size()), img);
  EXPECT_EQ(At32(file, file.size() - 4), 128u);  // last four bytes: the record's start
  EXPECT_EQ(*list.Page(1), img);
  EXPECT_FALSE(list.Page(0));
  EXPECT_FALSE(list.Page(2));
}

TEST(PageStore, PagesComeBackInAnyOrderCompressedOrNot) {
  for (bool compressed : {false, true}) {
    TRvoPageList list;
    list.Begin(compressed);
    for (int n = 1; n <= 3; ++n) list.AddPage(PageImage(n, n * 3));
    list.Finish();
    std::string file = list.StreamBytes(0, static_cast<size_t>(list.StreamSize()));
    EXPECT_EQ(file[25], compressed ? 1 : 0);
    for (int n : {2, 3, 1, 2, 3, 3, 1}) EXPECT_EQ(*list.Page(n), PageImage(n, n * 3)) << n;
    // Each record points at the next one, and back at its own start.
    uint32_t pos = 128;
    for (uint32_t n = 1; n <= 3; ++n) {
      EXPECT_EQ(At32(file, pos), n);
      uint32_t next = At32(file, pos + 4);
      EXPECT_EQ(At32(file, next - 4), pos);
      if (compressed) {
        EXPECT_EQ(At32(file, pos + 8), PageImage(int(n), int(n) * 3).size());
        EXPECT_EQ(file.substr(pos + 12, next - 4 - pos - 12), SplayEncode(PageImage(int(n), int(n) * 3)));
      }
      pos = next;
    }
    EXPECT_EQ(pos, file.size());
  }
}

TEST(PageStore, ALargeStoreMovesToAnUnnamedPrivateFile) {
  std::string dir = TempDir();
  ASSERT_EQ(setenv("TMPDIR", dir.c_str(), 1), 0);
  {
    TRvoPageList list;
    list.Begin(false, 100000);
    int n = 0;
    while (list.StreamSize() < 100000) list.AddPage(PageImage(++n, 40));
    EXPECT_TRUE(list.OnFile());
    list.AddPage(PageImage(++n, 40));
    list.Finish();
    // The file has no name in the folder, and only this process can read it.
    EXPECT_TRUE(TempFiles(dir).empty());
    std::vector<std::string> open = DeletedFilesOpen(dir);
    ASSERT_EQ(open.size(), 1u);
    struct stat st{};
    ASSERT_EQ(stat(open[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (int k : {n, 1, n / 2, 2}) EXPECT_EQ(*list.Page(k), PageImage(k, 40)) << k;
    // Saved, the file is the same as one that never spilled.
    std::string path = dir + "/spilled.RvoP";
    list.SaveToFile(path);
    TRvoPageList back;
    TRvoLoadResult r = back.LoadFromFile(path);
    EXPECT_TRUE(r.Loaded) << r.Message;
    EXPECT_EQ(back.PageCount(), n);
    std::remove(path.c_str());
  }
  // The stream and its file go with the store.
  EXPECT_TRUE(DeletedFilesOpen(dir).empty());
  unsetenv("TMPDIR");
  EXPECT_EQ(TRvoStream::TempFolder(), "/var/tmp");
}

TEST(PageStore, ASpillThatCannotHappenIsAnErrorAndThePagesStay) {
  ASSERT_EQ(setenv("TMPDIR", "/nonexistent/korvane", 1), 0);
  TRvoPageList list;
  list.Begin(false, 2000);
  list.AddPage(PageImage(1));
  try {
    list.AddPage(PageImage(2, 100));
    ADD_FAILURE() << "no error";
  } catch (const ERvoStoreError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/korvane"), std::string::npos) << e.what();
  }
  unsetenv("TMPDIR");
  EXPECT_EQ(list.PageCount(), 1);
  EXPECT_EQ(*list.Page(1), PageImage(1));
}

TEST(ReportFile, SaveAndLoadGiveTheSamePages) {
  std::string dir = TempDir();
  for (bool compressed : {false, true}) {
    TRvoPageList list;
    list.Begin(compressed);
    for (int n = 1; n <= 4; ++n) list.AddPage(PageImage(n, 5));
    list.Finish();
    std::string path = dir + "/r.RvoP";
    list.SaveToFile(path);
    EXPECT_EQ(ReadFile(path), list.StreamBytes(0, static_cast<size_t>(list.StreamSize())));
    TRvoPageList back;
    TRvoLoadResult r = back.LoadFromFile(path);
    EXPECT_TRUE(r.Loaded);
    EXPECT_EQ(r.Message, "");
    EXPECT_EQ(r.PagesKept, 4);
    EXPECT_EQ(back.Compressed(), compressed);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(*back.Page(n), PageImage(n, 5));
    // Saved again onto the file it came from, the file stays whole.
    back.SaveToFile(path);
    EXPECT_EQ(ReadFile(path), list.StreamBytes(0, static_cast<size_t>(list.StreamSize())));
    EXPECT_EQ(TempFiles(dir), std::vector<std::string>{"r.RvoP"});
  }
}

TEST(ReportFile, SavingKeepsTheOldFileWhenItFails) {
  std::string dir = TempDir();
  TRvoPageList list;
  list.Begin(false);
  list.AddPage(PageImage(1));
  list.Finish();
  EXPECT_THROW(list.SaveToFile(dir + "/no/such/folder/r.RvoP"), ERvoStoreError);
  TRvoPageList empty;
  EXPECT_THROW(empty.SaveToFile(dir + "/e.RvoP"), ERvoStoreError);
  EXPECT_TRUE(TempFiles(dir).empty());
}

TEST(ReportFile, AnOldHeaderOf124BytesIsRead) {
  // An old file: 124-byte header (pages at 8, date at 12, compression at 21) with a
  // page record at 124 whose image is a metafile: the header is recognised by the
  // metafile's signature, and the file is refused because of its metafile.
  std::string emf(200, '\0');
  Set32(emf, 0, 1);        // EMR_HEADER
  emf.replace(40, 4, " EMF");
  std::string file(124, '\0');
  Set32(file, 8, 1);
  std::string rec(8, '\0');
  Set32(rec, 0, 1);
  Set32(rec, 4, uint32_t(124 + 8 + emf.size() + 4));
  file += rec + emf;
  file += std::string(4, '\0');
  Set32(file, file.size() - 4, 124);
  ASSERT_EQ(file.substr(173, 3), "EMF");
  std::string dir = TempDir();
  WriteFile(dir + "/old.RvoP", file);
  TRvoPageList list;
  list.Begin(false);
  list.AddPage(PageImage(7));
  TRvoLoadResult r = list.LoadFromFile(dir + "/old.RvoP");
  EXPECT_FALSE(r.Loaded);
  EXPECT_NE(r.Message.find("EMF"), std::string::npos) << r.Message;
  EXPECT_EQ(*list.Page(1), PageImage(7));  // the store keeps what it had

  // The same layout holding one of our images loads, with the old header's fields.
  std::string img = PageImage(1);
  std::string ours(124, '\0');
  Set32(ours, 8, 1);
  ours[21] = 0;
  double when = 45000.5;
  std::memcpy(ours.data() + 12, &when, 8);
  Set32(rec, 4, uint32_t(124 + 8 + img.size() + 4));
  ours += rec + img + std::string(4, '\0');
  Set32(ours, ours.size() - 4, 124);
  // Without the metafile signature the header is taken as 128 bytes long, as a reader
  // must; the record then sits at the wrong place and the file reads as damaged.
  WriteFile(dir + "/old2.RvoP", ours);
  r = list.LoadFromFile(dir + "/old2.RvoP");
  EXPECT_FALSE(r.Loaded);
  EXPECT_NE(r.Message.find("page 1"), std::string::npos) << r.Message;
}

// Saves a three-page file to damage.
std::string ThreePages(bool compressed) {
  TRvoPageList list;
  list.Begin(compressed);
  for (int n = 1; n <= 3; ++n) list.AddPage(PageImage(n));
  list.Finish();
  return list.StreamBytes(0, static_cast<size_t>(list.StreamSize()));
}

TEST(ReportFile, DamagedFilesKeepThePagesBeforeTheDamage) {
  const std::string good = ThreePages(false);
  const uint32_t r2 = At32(good, 128 + 4), r3 = At32(good, r2 + 4);
  struct TCase {
    const char* name;
    std::function<void(std::string&)> damage;
    int kept;  // -1: refused
    const char* says;
  };
  std::vector<TCase> cases = {
      {"next offset points at its own record", [=](std::string& s) { Set32(s, r2 + 4, r2); }, 1, "page 2"},
      {"next offset backwards", [=](std::string& s) { Set32(s, r3 + 4, 128); }, 2, "page 3"},
      {"next offset past the end", [=](std::string& s) { Set32(s, r3 + 4, 0xfffffff0); }, 2, "page 3"},
      {"trailing offset wrong", [=](std::string& s) { Set32(s, r3 - 4, 128); }, 1, "page 2"},
      {"page numbers out of order", [=](std::string& s) { Set32(s, r2, 3); }, 1, "page 2"},
      {"image damaged", [=](std::string& s) { s[r2 + 8] = 'X'; }, 1, "signature"},
      {"count beyond the records", [](std::string& s) { Set32(s, 8, 0x7fffffff); }, 3, "page 4"},
      {"cut short", [=](std::string& s) { s.resize(r3 + 20); }, 2, "page 3"},
      {"first page damaged", [](std::string& s) { Set32(s, 128, 9); }, -1, "page 1"},
      {"count negative", [](std::string& s) { Set32(s, 8, 0xffffffff); }, 0, "after its last page"},
      {"too short", [](std::string& s) { s.resize(100); }, -1, "too short"},
      {"data after the last page", [](std::string& s) { s += "trailing"; }, 3, "after its last page"},
  };
  std::string dir = TempDir();
  for (const TCase& c : cases) {
    std::string file = good;
    c.damage(file);
    WriteFile(dir + "/d.RvoP", file);
    TRvoPageList list;
    TRvoLoadResult r = list.LoadFromFile(dir + "/d.RvoP");
    EXPECT_EQ(r.Loaded, c.kept >= 0) << c.name;
    if (c.kept >= 0) {
      EXPECT_EQ(list.PageCount(), c.kept) << c.name;
      for (int n = 1; n <= c.kept; ++n) EXPECT_EQ(*list.Page(n), PageImage(n)) << c.name;
    }
    EXPECT_NE(r.Message.find(c.says), std::string::npos) << c.name << ": " << r.Message;
  }
}

TEST(ReportFile, CompressedLengthsCannotAskForAnyAllocation) {
  const std::string good = ThreePages(true);
  const uint32_t r2 = At32(good, 128 + 4);
  std::string dir = TempDir();
  for (uint32_t claim : {0xffffffffu, 0x7fffffffu, uint32_t(8 * (At32(good, r2 + 4) - r2 - 16) + 1)}) {
    std::string file = good;
    Set32(file, r2 + 8, claim);
    WriteFile(dir + "/c.RvoP", file);
    TRvoPageList list;
    TRvoLoadResult r = list.LoadFromFile(dir + "/c.RvoP");
    EXPECT_TRUE(r.Loaded);
    EXPECT_EQ(list.PageCount(), 1) << claim;
    EXPECT_NE(r.Message.find("page 2"), std::string::npos) << r.Message;
  }
}

TEST(ReportFile, MissingAndNonFilesAreRefused) {
  TRvoPageList list;
  EXPECT_FALSE(list.LoadFromFile(TempDir() + "/none.RvoP").Loaded);
  TRvoLoadResult r = list.LoadFromFile(TempDir());
  EXPECT_FALSE(r.Loaded);
  EXPECT_NE(r.Message.find("not a report file"), std::string::npos);
}

}  // namespace
}  // namespace korvane::report
