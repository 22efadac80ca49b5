// The export run's desktop services in the viewer: progress window, messages,
// opening files and addresses, the clipboard.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/qt/services.h"
#include "viewer_support.h"

namespace korvane::test {
namespace {

TEST(QtServices, ProgressWindowShowsUpdatesAndCancels) {
  TfrmZelEProcess w;
  w.Show("Exporting", "Starting", 0, 0, 1000, "Stop");
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.size(), QSize(442, 87));
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Exporting"));
  EXPECT_EQ(w.btnCancel()->text(), QStringLiteral("Stop"));
  EXPECT_TRUE(w.ProgressBar()->isVisibleTo(&w));
  w.Update("Record 500 (500/1000)", 500);
  EXPECT_EQ(w.lblStatus()->text(), QStringLiteral("Record 500 (500/1000)"));
  EXPECT_EQ(w.ProgressBar()->value(), 500);
  EXPECT_FALSE(w.CancelRequested());
  w.btnCancel()->click();
  EXPECT_TRUE(w.CancelRequested());
  w.SetCancelRequested(false);
  w.close();  // closing is Cancel too; the window stays until the run hides it
  EXPECT_TRUE(w.CancelRequested());
  w.Hide();
  EXPECT_FALSE(w.isVisible());
}

TEST(QtServices, ProgressBarIsHiddenWithoutARange) {
  TfrmZelEProcess w;
  w.Show("Exporting", "", 0, 0, 0, "");
  EXPECT_FALSE(w.ProgressBar()->isVisibleTo(&w));
  EXPECT_EQ(w.btnCancel()->text(), QStringLiteral("&Cancel"));
  w.Hide();
}

TEST(QtServices, MessagesQuestionsFilesAndAddresses) {
  TUiRecorder ui;
  bool answer = true;
  QString asked;
  ui.hooks.Question = [&](const QString& t) {
    asked = t;
    return answer;
  };
  TQtServices s;
  s.ShowMessage(TZelEMessageKind::Information, "done");
  s.ShowMessage(TZelEMessageKind::Warning, "careful");
  s.ShowMessage(TZelEMessageKind::Error, "Error in data export.");
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0].first, qtui::TMessageKind::Information);
  EXPECT_EQ(ui.messages[1].first, qtui::TMessageKind::Warning);
  EXPECT_EQ(ui.messages[2].first, qtui::TMessageKind::Error);
  EXPECT_EQ(ui.messages[2].second, QStringLiteral("Error in data export."));
  EXPECT_TRUE(s.AskYesNo("Overwrite?"));
  EXPECT_EQ(asked, QStringLiteral("Overwrite?"));

  EXPECT_TRUE(s.ShellOpen("/tmp/out.csv"));
  EXPECT_TRUE(s.ShellOpen("mailto:someone@example.org"));
  ASSERT_EQ(ui.urls.size(), 2u);
  EXPECT_EQ(ui.urls[0], QUrl::fromLocalFile(QStringLiteral("/tmp/out.csv")));
  EXPECT_EQ(ui.urls[1].scheme(), QStringLiteral("mailto"));

  EXPECT_TRUE(s.SetClipboardText("a\tb\r\n"));
  EXPECT_EQ(qtui::ClipboardText(), QStringLiteral("a\tb\r\n"));

  std::string name = "spec", file;
  ui.inputs.push_back(QStringLiteral("Monthly"));
  ui.files.push_back(QStringLiteral("/tmp/monthly.zele"));
  EXPECT_TRUE(s.AskSaveSpecification(name, file));
  EXPECT_EQ(name, "Monthly");
  EXPECT_EQ(file, "/tmp/monthly.zele");
  ui.inputs.push_back(QString());  // cancelled: nothing changes
  EXPECT_FALSE(s.AskSaveSpecification(name, file));
  EXPECT_EQ(name, "Monthly");
}

}  // namespace
}  // namespace korvane::test
