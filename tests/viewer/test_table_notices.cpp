// Tables that cannot be read whole are said so in the status strip and the table info
// window, and every message box shows its text as plain text.

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "support/hostile.h"
#include "viewer/frTableInfo.h"
#include "viewer_support.h"

namespace korvane::test {
namespace {

using NoticeTest = ViewerTest;

QString Notice(TForm1& f) { return f.LabelNotice()->isVisible() ? f.LabelNotice()->text() : QString(); }

TEST_F(NoticeTest, MissingMemoFileEncryptedAndCutShortTablesAreSaid) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  EXPECT_EQ(Notice(*form), QString());

  const std::string noMemo = MakeBlobTable(2);
  std::filesystem::remove(MemoPathOf(noMemo));
  ASSERT_TRUE(OpenThroughDialog(noMemo));
  EXPECT_EQ(Notice(*form), Q("The memo file \"" + MemoPathOf(noMemo) +
                             "\" was not found: the values of 'Memo', 'Pic' kept there cannot be read"));
  EXPECT_EQ(form->Pdx1().RecordCount(), 2);  // the records are shown, their BLOBs null
  form->frmTableInfo()->show();
  Settle();
  EXPECT_TRUE(form->frmTableInfo()->Notice()->isVisible());
  EXPECT_EQ(form->frmTableInfo()->Notice()->text(), Notice(*form));
  EXPECT_EQ(form->frmTableInfo()->Notice()->textFormat(), Qt::PlainText);
  form->frmTableInfo()->hide();

  ASSERT_TRUE(OpenThroughDialog(TestData("paradoxdriver/encrypt/encrypted.db")));
  EXPECT_EQ(Notice(*form), QStringLiteral("The table is encrypted: its records cannot be read"));
  EXPECT_EQ(form->Pdx1().RecordCount(), 0);  // no garbage shown as records

  const std::string cut = TempDir() + "/AREACODES.DB";
  std::filesystem::copy_file(TestData("paradoxdriver/db/AREACODES.DB"), cut);
  TruncateFile(cut, std::filesystem::file_size(cut) / 2);
  ASSERT_TRUE(OpenThroughDialog(cut));
  const int readable = form->Pdx1().RecordCount();
  EXPECT_GT(readable, 0);
  // The viewer salvages what the file still holds and says so.
  EXPECT_TRUE(Notice(*form).startsWith(QStringLiteral("Damaged table: %1 records recovered, ").arg(readable)))
      << Notice(*form).toStdString();
  EXPECT_TRUE(form->DamageBanner()->isVisible());
  EXPECT_TRUE(Notice(*form).startsWith(form->DamageBanner()->text()));
  form->Pdx1().Last();  // the last readable record, no read error
  EXPECT_EQ(form->Pdx1().RecNo(), readable);

  // Back on a whole table the notice goes.
  SelectTab(0);
  EXPECT_EQ(Notice(*form), QString());
}

TEST_F(NoticeTest, BrokenChainsAreSalvagedUnderABanner) {
  const std::string broken = TempDir() + "/AREACODES.DB";
  std::filesystem::copy_file(TestData("paradoxdriver/db/AREACODES.DB"), broken);
  PatchBytes(broken, BlockOffset(broken, 3), std::string(16384, '\0'));  // 99 records of block 3 lost
  ASSERT_TRUE(OpenThroughDialog(broken));
  EXPECT_EQ(form->Pdx1().RecordCount(), 370 - 99);
  EXPECT_TRUE(form->DamageBanner()->isVisible());
  EXPECT_EQ(form->DamageBanner()->text(),
            QStringLiteral("Damaged table: 271 records recovered, 1 blocks unreadable; the order after record 198 may "
                           "differ from the original"));
  form->Pdx1().Last();
  EXPECT_EQ(form->Pdx1().RecNo(), 271);
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  EXPECT_FALSE(form->DamageBanner()->isVisible());
}

TEST_F(NoticeTest, TheCodePageBarOffersTheGuessAndRemembersTheChoice) {
  const std::string state = TempDir();
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state));
  const std::string ru = TempDir() + "/ru.db";
  std::filesystem::copy_file(TestData("pyparadox/test.db"), ru);
  ASSERT_TRUE(OpenThroughDialog(ru));
  ASSERT_TRUE(form->CodePageBar()->isVisible());
  EXPECT_EQ(form->EffectiveCodePage(), 1252);  // never replaced silently
  form->CodePageUseButton()->click();
  Settle();
  EXPECT_EQ(form->EffectiveCodePage(), 1251);
  EXPECT_FALSE(form->CodePageBar()->isVisible());
  EXPECT_EQ(RememberedCodePage(Q(ru)), 1251);
  // Opened again in a new tab, the remembered choice applies without asking.
  ASSERT_TRUE(OpenThroughDialog(ru));
  EXPECT_FALSE(form->CodePageBar()->isVisible());
  EXPECT_EQ(form->EffectiveCodePage(), 1251);
  // A table whose text is ASCII is never offered anything.
  ASSERT_TRUE(OpenThroughDialog(TestData("paradoxdriver/db/GENERAL.DB")));
  EXPECT_FALSE(form->CodePageBar()->isVisible());
  qunsetenv("XDG_STATE_HOME");
}

TEST(MessageBoxes, ShowPlainText) {
  const QString hostile = QStringLiteral("Field '<h1 style=\"color:red\">x</h1><a href=\"y\">z</a>'");
  for (auto icon : {QMessageBox::Information, QMessageBox::Critical, QMessageBox::Question}) {
    std::unique_ptr<QMessageBox> box = qtui::MakeMessageBox(nullptr, icon, hostile);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), hostile);
  }
}

}  // namespace
}  // namespace korvane::test
