// The clipboard export: the text writer's output on a (fake) clipboard.

#include <gtest/gtest.h>
#include <sys/stat.h>


#include "export/formats/ZelE2CLP.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

// A clipboard in memory; Reachable false stands for no display or helper.
class TFakeClipboard : public TRecordingServices {
 public:
  bool Reachable = true;
  std::string Text;
  int Sets = 0;
  std::vector<std::string> Opened;
  std::vector<TZelEMailMessage> Mails;
  bool SetClipboardText(const std::string& t) override {
    if (!Reachable) return false;
    ++Sets;
    Text = t;
    return true;
  }
  bool ClipboardText(std::string& t) override {
    if (!Reachable) return false;
    t = Text;
    return true;
  }
  bool ShellOpen(const std::string& target) override {
    Opened.push_back(target);
    return true;
  }
  int SendMail(const TZelEMailMessage& m) override {
    Mails.push_back(m);
    return 0;
  }
};

struct Clipboard : ::testing::Test {
  void SetUp() override {
    w.SetServices(&clip);
    w.AnimatedStatus = false;
    w.Options.Exclude(soShowMessage);
    dir = TempDir();
  }
  // A run as the program makes it: no stream of the caller.
  void Run(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    w.Execute();
  }
  TZelExportToClipboard w;
  TFakeClipboard clip;
  std::string dir;
};

TEST_F(Clipboard, HoldsTheTextExportWithHeaderAndFooterAndWritesNoFile) {
  TOpenTable t("A=A10,B=I", {{TWriterValue("x"), TWriterValue(1)}, {TWriterValue("y\tz"), TWriterValue(2)}});
  w.AddTitle = true;
  w.TextQualifier = '"';
  w.Header = {"head"};
  w.Footer = {"foot"};
  w.Settings().AddCtrlZ = true;  // no end-of-file byte on the clipboard
  w.CharacterSet = csEBCDIC;     // the clipboard holds Unicode text
  w.FileName = dir + "/out";
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(clip.Text, "\"head\"\r\n\"A\"\t\"B\"\r\n\"x\"\t1\r\n\"y\tz\"\t2\r\n\"foot\"\r\n");
  EXPECT_EQ(w.CharacterSet, csEBCDIC);
  EXPECT_TRUE(FolderEntries(dir).empty());
  EXPECT_TRUE(w.Statistic.FilesWritten.empty());

  // The same settings through the text writer give the same text (and the 1Ah).
  TZelExportToText text;
  text.SetServices(&clip);
  text.AnimatedStatus = false;
  text.AddTitle = true;
  text.TextQualifier = '"';
  text.Header = {"head"};
  text.Footer = {"foot"};
  text.DBGrid = &t.Grid;
  TZelEStringStream out;
  text.ExportToStream(&out);
  EXPECT_EQ(out.Data(), clip.Text);
}

TEST_F(Clipboard, SplitOutputIsOneTextOfEveryRow) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.RowsPerFile = 1;
  w.Header = {"h"};
  w.FileName = dir + "/out";
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(clip.Text, "h\r\napple\t3\t1.5\r\npear\t0\t2.25\r\nplum\t\t-4\r\n");
  EXPECT_EQ(clip.Sets, 1);
  EXPECT_TRUE(FolderEntries(dir).empty());
}

TEST_F(Clipboard, MergeAppendsToTheClipboardsText) {
  TOpenTable t(kThreeSpec, {ThreeRows()[0]});
  clip.Text = "before\r\n";
  w.Options.Include(soMergeData);
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(clip.Text, "before\r\napple\t3\t1.5\r\n");
}

TEST_F(Clipboard, EachRunPutsItsOwnTextAndAMergeAfterAPlainRunAddsToIt) {
  // The run's text is handed over to the clipboard, not copied: a later run of
  // the same writer starts empty.
  TOpenTable t(kThreeSpec, {ThreeRows()[0]});
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(clip.Text, "apple\t3\t1.5\r\n");
  w.Options.Include(soMergeData);
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(clip.Text, "apple\t3\t1.5\r\napple\t3\t1.5\r\n");
  EXPECT_EQ(clip.Sets, 3);
}

TEST_F(Clipboard, NoClipboardFailsTheRun) {
  TOpenTable t(kThreeSpec, ThreeRows());
  clip.Reachable = false;
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("clipboard cannot be reached"), std::string::npos) << w.Statistic.Message;
  // Reading it for a merge fails the same way, before anything is set.
  clip.Reachable = true;
  clip.Text = "kept";
  w.Options.Include(soMergeData);
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool&) { clip.Reachable = false; };
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(clip.Text, "kept");
}

TEST_F(Clipboard, ACancelledRunLeavesTheClipboardAsItWas) {
  TOpenTable t(kThreeSpec, ThreeRows());
  clip.Text = "kept";
  w.OnAfterRecord = [](TZelECustomBaseComponent&, bool& abort) { abort = true; };
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(clip.Text, "kept");
  EXPECT_EQ(clip.Sets, 0);
}

TEST_F(Clipboard, OpenViewShowsATemporaryTextFileAndMailCarriesTheTextOrAttachesIt) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.ActionAfterExport = aeOpenView;
  Run(t);
  ASSERT_EQ(clip.Opened.size(), 1u);
  const std::string opened = clip.Opened[0];
  EXPECT_EQ(opened.substr(opened.size() - 4), ".txt");
  EXPECT_EQ(ReadFile(opened), clip.Text);
  ::unlink(opened.c_str());

  w.ActionAfterExport = aeEMail;
  w.SendTo.EMailBody = "Rows:";
  Run(t);
  ASSERT_EQ(clip.Mails.size(), 1u);
  EXPECT_EQ(clip.Mails[0].Body, "Rows:\r\n" + clip.Text);
  EXPECT_TRUE(clip.Mails[0].Attachment.empty());

  // Above 128 KiB the text goes as a file.
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 1500; ++i) rows.push_back({TWriterValue(std::string(100, 'a' + i % 26))});
  TOpenTable big("Text=A120", rows, "big.db");
  Run(big);
  ASSERT_EQ(clip.Mails.size(), 2u);
  ASSERT_GT(clip.Text.size(), kZelEClipboardMailBodyLimit);
  EXPECT_EQ(clip.Mails[1].Body, "Rows:");
  ASSERT_FALSE(clip.Mails[1].Attachment.empty());
  EXPECT_EQ(ReadFile(clip.Mails[1].Attachment), clip.Text);
  ::unlink(clip.Mails[1].Attachment.c_str());
}

}  // namespace
}  // namespace korvane::test
