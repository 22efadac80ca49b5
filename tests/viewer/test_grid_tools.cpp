// Grid tools of the main window: Resize All, the three copy commands, record
// count and size, program location, Delete and the Help entries.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QFileInfo>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>

#include "viewer_support.h"

namespace korvane::test {
namespace {

class GridToolsTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  }
  std::string Clipboard() { return qtui::ClipboardText().toStdString(); }
  TGridColumns& Cols() { return form->GridColumns(); }
};

TEST_F(GridToolsTest, ResizeAllSharesTheGridWidthAmongTheVisibleColumns) {
  Cols().At(2).Visible = false;
  Cols().Changed();
  form->resize(957, 522);
  Settle();
  int width = form->DBGrid1()->width();
  form->ToolButton13Click();
  // Three visible columns share the width; the hidden one gets the same width.
  int expected = std::max((width - 25) / 3, 50);
  ASSERT_GT(expected, 50);
  for (int i = 0; i < Cols().Count(); ++i) EXPECT_EQ(Cols()[i].Width, expected) << i;
  EXPECT_EQ(form->DBGrid1()->columnWidth(0), expected);
  EXPECT_FALSE(Cols()[2].Visible);
}

TEST_F(GridToolsTest, ResizeAllOnANarrowGridGivesFiftyPixels) {
  // The field panel takes most of the width.
  form->CheckBox1()->click();
  form->Splitter2()->setSizes({150, 750});
  Settle();
  ASSERT_LT(form->DBGrid1()->width(), 25 + 50 * 4);
  form->Action("AdjustALLcolumnwidths1")->trigger();  // F11 runs the same command
  for (int i = 0; i < Cols().Count(); ++i) EXPECT_EQ(Cols()[i].Width, 50) << i;
}

TEST_F(GridToolsTest, CopyRowFollowsDisplayOrderWithHiddenColumns) {
  Cols().Move(3, 0);             // Notes first
  Cols().At(2).Visible = false;  // Qty hidden (now at position 2)
  Cols().Changed();
  ASSERT_EQ(Cols()[2].FieldName, "Qty");
  form->CopyRowToClip1Click();
  EXPECT_EQ(Clipboard(), "first\r\nsecond line\r\nAlice\r\n10\r\n1.5\r\n");
  EXPECT_EQ(form->Pdx1().RecNo(), 1);
}

TEST_F(GridToolsTest, CopyColumnWalksEveryRecordAndEndsOnTheLast) {
  form->DBGrid1()->setCurrentIndex(form->DBGrid1()->model()->index(0, 1));  // Qty
  ASSERT_EQ(Cols().SelectedIndex(), 1);
  form->CopyColToClip1Execute();
  EXPECT_EQ(Clipboard(), "10\r\n20\r\n30\r\n40\r\n\r\n");
  EXPECT_EQ(form->Pdx1().RecNo(), 5);
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 4);
}

TEST_F(GridToolsTest, CopyColumnKeepsMemoLineBreaks) {
  form->DBGrid1()->setCurrentIndex(form->DBGrid1()->model()->index(0, 3));
  form->Action("CopyColToClip1")->trigger();
  std::string text = Clipboard();
  EXPECT_EQ(text.substr(0, 20), "first\r\nsecond line\r\n");
  EXPECT_EQ(text.substr(text.size() - 6), "last\r\n");
}

TEST_F(GridToolsTest, CopyColumnOfAnEmptyTableLeavesTheClipboard) {
  ASSERT_TRUE(OpenThroughDialog(EmptyTable()));
  qtui::SetClipboardText(QStringLiteral("before"));
  form->CopyColToClip1Execute();
  EXPECT_EQ(Clipboard(), "before");
}

TEST_F(GridToolsTest, CopyFieldValueCopiesTheSelectedCellWithCrLf) {
  form->Pdx1().SetRecNo(2);
  form->DBGrid1()->setCurrentIndex(form->DBGrid1()->model()->index(1, 2));
  form->CopyFieldToClip1Click();
  EXPECT_EQ(Clipboard(), "2.25\r\n");
}

TEST_F(GridToolsTest, CopyCommandsWithNoTableDoNothing) {
  form->CloseTabClick();
  qtui::SetClipboardText(QStringLiteral("kept"));
  form->CopyColToClip1Execute();
  form->CopyRowToClip1Click();
  form->CopyFieldToClip1Click();
  form->ToolButton13Click();
  EXPECT_EQ(Clipboard(), "kept");
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(GridToolsTest, RecordCountSizeAndProgramLocation) {
  form->RecordCount1Click();
  EXPECT_EQ(ui.LastMessage(), QStringLiteral("Count: 5"));
  form->RecordSize1Click();
  EXPECT_EQ(ui.LastMessage(), QStringLiteral("Size: %1").arg(form->Pdx1().Header().RecordLength()));
  EXPECT_NE(form->Pdx1().Header().RecordLength(), 0);
  form->ShowProgramLocation1Click();
  QString folder = ui.LastMessage();
  EXPECT_TRUE(folder.endsWith(QLatin1Char('/')));
  EXPECT_TRUE(QFileInfo(folder + QFileInfo(QCoreApplication::applicationFilePath()).fileName()).isFile());
  for (const auto& m : ui.messages) EXPECT_EQ(m.first, qtui::TMessageKind::Information);
}

TEST_F(GridToolsTest, DeleteRemovesNothingAndRefusesOnAnEmptyTable) {
  form->Pdx1().SetRecNo(2);
  form->Button8Click();
  EXPECT_EQ(form->Pdx1().RecordCount(), 5);
  EXPECT_EQ(form->DBGrid1()->GridModel()->CellText(1, 0), QStringLiteral("Bob"));
  ASSERT_TRUE(OpenThroughDialog(EmptyTable()));
  form->Button8()->click();
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().first, qtui::TMessageKind::Exception);
  EXPECT_EQ(ui.LastMessage(), QStringLiteral("Pdx1: Cannot perform this operation on an empty dataset"));
}

TEST_F(GridToolsTest, HelpEntriesOpenTheShippedGuide) {
  form->Homepage1Click();
  form->Donations1Click();
  ASSERT_EQ(ui.urls.size(), 2u);
  for (const QUrl& u : ui.urls) {
    EXPECT_TRUE(u.isLocalFile());
    EXPECT_TRUE(u.toLocalFile().endsWith(QStringLiteral("VIEWER.md")));
    EXPECT_TRUE(QFileInfo(u.toLocalFile()).isFile());
  }
}

// A picture cell goes to the clipboard as its bytes in hexadecimal and as an image.
TEST_F(GridToolsTest, CopyFieldValueOfAPictureGivesHexAndTheImage) {
  ASSERT_TRUE(OpenThroughDialog(TestData("paradoxdriver/fields/graphic.db")));
  int column = -1;
  for (int i = 0; i < Cols().Count() && column < 0; ++i)
    if (Cols().FieldOf(i)->DataType() == ftGraphic) column = i;
  ASSERT_GE(column, 0);
  TField* field = Cols().FieldOf(column);
  int record = 0;
  std::string blob;
  for (int r = 1; r <= form->Pdx1().RecordCount() && !record; ++r) {
    form->Pdx1().SetRecNo(r);
    blob = form->Pdx1().CreateBlobStream(*field, bmRead)->Data();
    if (!ImageBytesOfBlob(blob).empty()) record = r;
  }
  ASSERT_NE(record, 0);
  form->DBGrid1()->setCurrentIndex(
      form->DBGrid1()->model()->index(record - 1 - form->DBGrid1()->GridModel()->Top(), column));
  ASSERT_EQ(Cols().SelectedIndex(), column);
  form->CopyFieldToClip1Click();
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  std::string text = mime->text().toStdString();
  ASSERT_EQ(text.size(), blob.size() * 2 + 2);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(QByteArray::fromHex(QByteArray::fromStdString(text)).toStdString(), blob);
  EXPECT_EQ(text, QByteArray::fromStdString(blob).toHex().toStdString() + "\r\n");  // lower case
  ASSERT_TRUE(mime->hasImage());
  QImage image = qvariant_cast<QImage>(mime->imageData());
  QImage expected;
  std::string picture = ImageBytesOfBlob(blob);
  ASSERT_TRUE(expected.loadFromData(reinterpret_cast<const uchar*>(picture.data()), static_cast<int>(picture.size())));
  EXPECT_EQ(image.size(), expected.size());
}

}  // namespace
}  // namespace korvane::test
