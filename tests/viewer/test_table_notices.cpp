// Tables that cannot be read whole are said so in the status strip and the table info
// window, and every message box shows its text as plain text.

#include <QLabel>
#include <QMessageBox>
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
  EXPECT_EQ(Notice(*form), QStringLiteral("The file is shorter than its header says: %1 of 370 records can be read")
                               .arg(readable));
  form->Pdx1().Last();  // the last readable record, no read error
  EXPECT_EQ(form->Pdx1().RecNo(), readable);

  // Back on a whole table the notice goes.
  SelectTab(0);
  EXPECT_EQ(Notice(*form), QString());
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
