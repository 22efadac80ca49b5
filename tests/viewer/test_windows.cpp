// The secondary windows: form view, columns dialog, value search, table info,
// and the field panel of the main window.
#include <QBuffer>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "viewer/DataControls.h"
#include "viewer/Unit9.h"
#include "viewer/frRecordView.h"
#include "viewer/frSearchValue.h"
#include "viewer/frTableInfo.h"
#include "viewer_support.h"

namespace korvane::test {
namespace {

class WindowsTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  }
  TGridColumns& Cols() { return form->GridColumns(); }
  QWidget* Row(const char* prefix, int n) {
    return form->frmRecordView()->ScrollBox1()->findChild<QWidget*>(QStringLiteral("%1%2").arg(prefix).arg(n),
                                                                    Qt::FindDirectChildrenOnly);
  }
};

// ---------------------------------------------------------------------------------------------
// Form view

TEST_F(WindowsTest, FormViewRowsPitchAndMemoHeights) {
  Cols().At(0).Width = 100;
  Cols().At(3).Width = 40;  // a narrow memo column still gets a 300-pixel memo
  Cols().Changed();
  form->ToolButton7Click();
  ASSERT_TRUE(form->frmRecordView()->isVisible());
  ASSERT_EQ(form->frmRecordView()->RowCount(), 4);
  for (int n = 0; n < 4; ++n) {
    ASSERT_TRUE(Row("lbl", n)) << n;
    EXPECT_EQ(Row("lbl", n)->geometry(), QRect(12, 45 + 18 * n, 110, Row("lbl", n)->height()));
    EXPECT_EQ(Row("tbl", n)->x(), 120);
    EXPECT_EQ(Row("tbl", n)->y(), 45 + 18 * n);
  }
  EXPECT_EQ(qobject_cast<QLineEdit*>(Row("lbl", 0))->text(), QStringLiteral("Name"));
  EXPECT_EQ(Row("tbl", 0)->width(), 100);
  auto* memo = qobject_cast<TDBMemo*>(Row("tbl", 3));
  ASSERT_TRUE(memo);
  EXPECT_EQ(memo->height(), 95);
  EXPECT_EQ(memo->width(), 300);
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("first\nsecond line"));
  EXPECT_EQ(qobject_cast<TDBEdit*>(Row("tbl", 0))->text(), QStringLiteral("Alice"));
}

TEST_F(WindowsTest, FormViewRowsAfterAMemoMoveDownByItsHeight) {
  Cols().Move(3, 0);  // Notes first
  Cols().At(2).Visible = false;
  Cols().Changed();
  form->ToolButton7Click();
  ASSERT_EQ(form->frmRecordView()->RowCount(), 4);  // hidden columns get rows too
  EXPECT_TRUE(qobject_cast<TDBMemo*>(Row("tbl", 0)));
  EXPECT_EQ(Row("tbl", 1)->y(), 45 + 18 + 76);
  EXPECT_EQ(Row("tbl", 3)->y(), 45 + 18 * 3 + 76);
  EXPECT_EQ(qobject_cast<QLineEdit*>(Row("lbl", 1))->text(), QStringLiteral("Name"));
  EXPECT_EQ(qobject_cast<QLineEdit*>(Row("lbl", 2))->text(), QStringLiteral("Qty"));
}

TEST_F(WindowsTest, FormViewTwiceGivesOneSetOfRowsAndCapsWideEdits) {
  form->frmRecordView()->resize(797, 497);
  Cols().At(1).Width = 2000;
  Cols().Changed();
  form->ToolButton7Click();
  form->ToolButton7Click();
  EXPECT_EQ(form->frmRecordView()->RowCount(), 4);
  int lbls = 0;
  for (QObject* o : form->frmRecordView()->ScrollBox1()->children())
    if (o->objectName().startsWith(QStringLiteral("lbl"))) ++lbls;
  EXPECT_EQ(lbls, 4);
  EXPECT_EQ(Row("tbl", 1)->width(), form->frmRecordView()->width() - 300);
}

TEST_F(WindowsTest, FormViewFollowsAndMovesTheCursor) {
  form->ToolButton7Click();
  auto* name = qobject_cast<TDBEdit*>(Row("tbl", 0));
  form->Pdx1().SetRecNo(2);
  EXPECT_EQ(name->text(), QStringLiteral("Bob"));
  form->frmRecordView()->DBNavigator1()->Button(2)->click();  // next
  EXPECT_EQ(form->Pdx1().RecNo(), 3);
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 2);
  EXPECT_EQ(name->text(), QStringLiteral("alfred"));
  form->frmRecordView()->DBNavigator1()->Button(3)->click();  // last
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 4);
}

TEST_F(WindowsTest, FormViewDescribesBinaryDataInsteadOfShowingItsBytes) {
  ASSERT_TRUE(OpenThroughDialog(TestData("paradoxdriver/fields/graphic.db")));
  form->ToolButton7Click();
  int graphic = -1;
  for (int i = 0; i < Cols().Count(); ++i)
    if (Cols().FieldOf(i)->DataType() == ftGraphic) graphic = i;
  ASSERT_GE(graphic, 0);
  auto* memo = qobject_cast<TDBMemo*>(Row("tbl", graphic));
  ASSERT_TRUE(memo);
  bool described = false;
  for (int r = 1; r <= form->Pdx1().RecordCount(); ++r) {
    form->Pdx1().SetRecNo(r);
    QString text = memo->toPlainText();
    if (!text.isEmpty()) {
      EXPECT_TRUE(text.startsWith(QStringLiteral("(Graphic, "))) << text.toStdString();
      described = true;
    }
  }
  EXPECT_TRUE(described);
}

TEST_F(WindowsTest, FormViewWithNoTableDoesNothing) {
  form->CloseTabClick();
  form->ToolButton7Click();
  EXPECT_FALSE(form->frmRecordView()->isVisible());
}

TEST_F(WindowsTest, FormViewScrollsWhenRowsDoNotFit) {
  std::vector<TPdxWriterField> fields;
  TWriterRow row;
  for (int i = 0; i < 60; ++i) {
    fields.push_back({"F" + std::to_string(i), pdxtype::kLong, 0});
    row.push_back(TWriterValue(i));
  }
  ASSERT_TRUE(OpenThroughDialog(MakeTable(fields, {row}, {}, "wide.db")));
  form->ToolButton7Click();
  Settle();
  EXPECT_GT(form->frmRecordView()->ScrollBox1()->height(),
            form->frmRecordView()->ScrollArea()->viewport()->height());
  EXPECT_EQ(qobject_cast<TDBEdit*>(Row("tbl", 59))->text(), QStringLiteral("59"));
}

// ---------------------------------------------------------------------------------------------
// Columns dialog

class ColumnsTest : public WindowsTest {
 protected:
  TfrmColumns* Dialog() { return form->frmColumns(); }
  QString Cell(int r, int c) { return Dialog()->ListView1()->item(r, c)->text(); }
  void Select(int r) { Dialog()->ListView1()->selectRow(r); }
  std::vector<std::string> Order() {
    std::vector<std::string> v;
    for (int i = 0; i < Cols().Count(); ++i) v.push_back(Cols()[i].FieldName);
    return v;
  }
};

TEST_F(ColumnsTest, ListShowsEveryColumnWithStatusNumberAndWidth) {
  form->ShowHideColumns1Click();
  ASSERT_TRUE(Dialog()->isVisible());
  EXPECT_EQ(Dialog()->windowTitle(), QStringLiteral("Configure Grid Columns"));
  ASSERT_EQ(Dialog()->ListView1()->rowCount(), 4);
  EXPECT_EQ(Cell(0, 0), QStringLiteral("Name"));
  EXPECT_EQ(Cell(0, 1), QStringLiteral("Visible"));
  EXPECT_EQ(Cell(2, 2), QStringLiteral("3"));
  EXPECT_EQ(Cell(1, 3), QString::number(Cols()[1].Width));
}

TEST_F(ColumnsTest, MovesAtTheEndsKeepTheOrderAndMovesInsideShift) {
  form->ShowHideColumns1Click();
  auto start = Order();
  Select(0);
  Dialog()->MoveUpClick();
  EXPECT_EQ(Order(), start);
  EXPECT_TRUE(Dialog()->ListView1()->selectedItems().isEmpty());
  Select(3);
  Dialog()->MoveDownClick();
  EXPECT_EQ(Order(), start);
  Select(1);
  Dialog()->MoveDownClick();
  EXPECT_EQ(Order(), (std::vector<std::string>{"Name", "Price", "Qty", "Notes"}));
  EXPECT_EQ(Cell(2, 0), QStringLiteral("Qty"));
  Select(3);
  Dialog()->MoveUpClick();
  EXPECT_EQ(Order(), (std::vector<std::string>{"Name", "Price", "Notes", "Qty"}));
  // The grid shows the new order.
  EXPECT_EQ(form->DBGrid1()->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Notes"));
  EXPECT_EQ(form->DBGrid1()->GridModel()->CellText(0, 3), QStringLiteral("10"));
  // Without a selection nothing moves.
  Dialog()->MoveUpClick();
  EXPECT_EQ(Order(), (std::vector<std::string>{"Name", "Price", "Notes", "Qty"}));
}

TEST_F(ColumnsTest, HideShowAndTheAllVariants) {
  form->ShowHideColumns1Click();
  Select(1);
  Dialog()->HideClick();
  EXPECT_FALSE(Cols()[1].Visible);
  EXPECT_EQ(Cell(1, 1), QStringLiteral("Hidden"));
  EXPECT_TRUE(form->DBGrid1()->isColumnHidden(1));
  EXPECT_FALSE(Dialog()->ListView1()->selectedItems().isEmpty());  // only the cell changed
  Dialog()->ShowClick();
  EXPECT_TRUE(Cols()[1].Visible);
  EXPECT_EQ(Cell(1, 1), QStringLiteral("Visible"));
  Dialog()->HideAllClick();
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(Cols()[i].Visible);
    EXPECT_EQ(Cell(i, 1), QStringLiteral("Hidden"));
  }
  Dialog()->ShowAllClick();
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(Cols()[i].Visible);
    EXPECT_FALSE(form->DBGrid1()->isColumnHidden(i));
  }
}

TEST_F(ColumnsTest, ResizeAsksWithTheCurrentWidthAndKeepsItOnBadAnswers) {
  form->ShowHideColumns1Click();
  int old = Cols()[0].Width;
  Select(0);
  ui.inputs.push_back(QStringLiteral("wide"));
  Dialog()->ResizeClick();
  ASSERT_EQ(ui.inputPresets.size(), 1u);
  EXPECT_EQ(ui.inputPresets[0], QString::number(old));
  EXPECT_EQ(Cols()[0].Width, old);
  Select(0);
  ui.inputs.push_back(QString());  // cancelled
  Dialog()->ResizeClick();
  EXPECT_EQ(Cols()[0].Width, old);
  Select(0);
  ui.inputs.push_back(QStringLiteral("123"));
  Dialog()->ResizeClick();
  EXPECT_EQ(Cols()[0].Width, 123);
  EXPECT_EQ(Cell(0, 3), QStringLiteral("123"));
  EXPECT_EQ(form->DBGrid1()->columnWidth(0), 123);
}

TEST_F(ColumnsTest, WithNoTableTheListIsEmptyAndActionsDoNothing) {
  form->CloseTabClick();
  form->ShowHideColumns1Click();
  EXPECT_EQ(Dialog()->ListView1()->rowCount(), 0);
  Dialog()->HideClick();
  Dialog()->ResizeClick();
  Dialog()->ShowAllClick();
  EXPECT_TRUE(ui.inputPresets.empty());
}

TEST_F(ColumnsTest, ContextMenuHoldsTheEntriesInOrder) {
  QStringList texts;
  for (QAction* a : Dialog()->PopupMenu1()->actions())
    texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(
      texts.join(QLatin1Char('|')),
      QStringLiteral("Show|Hide|-|Show All|Hide All|-|Move Up|Move Down|-|Refresh|Resize|Add Lookup Column"));
}

TEST_F(ColumnsTest, ReopeningATableShowsEveryColumnAgainInFieldOrder) {
  Cols().Move(0, 3);
  Cols().At(0).Visible = false;
  Cols().Changed();
  ASSERT_TRUE(OpenThroughDialog(PeopleTable("other.db")));
  EXPECT_EQ(Order(), (std::vector<std::string>{"Name", "Qty", "Price", "Notes"}));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(Cols()[i].Visible);
}

// ---------------------------------------------------------------------------------------------
// Value search

class SearchTest : public WindowsTest {
 protected:
  TfrmSearchValue* Dialog() { return form->frmSearchValue(); }
  bool Search(const QString& field, const QString& value, bool caseInsensitive, bool partial) {
    Dialog()->FillAllFields();
    Dialog()->ComboBox1()->setEditText(field);
    Dialog()->Edit1()->setText(value);
    Dialog()->CheckBox1()->setChecked(caseInsensitive);
    Dialog()->CheckBox2()->setChecked(partial);
    return Dialog()->Search();
  }
};

TEST_F(SearchTest, OptionsStartCheckedAndTheListIsSorted) {
  EXPECT_TRUE(Dialog()->CheckBox1()->isChecked());
  EXPECT_TRUE(Dialog()->CheckBox2()->isChecked());
  EXPECT_EQ(Dialog()->CheckBox1()->text(), QStringLiteral("Case Insensitve"));
  Dialog()->FillAllFields();
  QStringList items;
  for (int i = 0; i < Dialog()->ComboBox1()->count(); ++i) items << Dialog()->ComboBox1()->itemText(i);
  EXPECT_EQ(items, (QStringList{"Name", "Notes", "Price", "Qty"}));
}

TEST_F(SearchTest, CaseInsensitivePartialFindsAndFocusesTheColumn) {
  EXPECT_TRUE(Search(QStringLiteral("Name"), QStringLiteral("ALF"), true, true));
  EXPECT_EQ(form->Pdx1().RecNo(), 3);
  EXPECT_EQ(Cols().SelectedIndex(), 0);
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 2);
}

TEST_F(SearchTest, ClearedOptionsAskForAnExactCaseSensitiveMatch) {
  EXPECT_FALSE(Search(QStringLiteral("Name"), QStringLiteral("alice"), false, false));
  EXPECT_EQ(ui.LastMessage(), QStringLiteral("Not Found"));
  EXPECT_EQ(form->Pdx1().RecNo(), 1);
  EXPECT_FALSE(Search(QStringLiteral("Name"), QStringLiteral("Ali"), false, false));
  EXPECT_TRUE(Search(QStringLiteral("Name"), QStringLiteral("Carol"), false, false));
  EXPECT_EQ(form->Pdx1().RecNo(), 4);
  // Case only.
  EXPECT_TRUE(Search(QStringLiteral("Name"), QStringLiteral("bob"), true, false));
  EXPECT_EQ(form->Pdx1().RecNo(), 2);
  EXPECT_FALSE(Search(QStringLiteral("Name"), QStringLiteral("bo"), true, false));
  // Partial only: "al" is the start of "alfred" but not, case-sensitively, of "Alice".
  EXPECT_TRUE(Search(QStringLiteral("Name"), QStringLiteral("al"), false, true));
  EXPECT_EQ(form->Pdx1().RecNo(), 3);
}

TEST_F(SearchTest, AFieldNameInOtherCaseSelectsItsColumn) {
  form->DBGrid1()->setCurrentIndex(form->DBGrid1()->model()->index(0, 0));
  EXPECT_TRUE(Search(QStringLiteral("pRICE"), QStringLiteral("3"), true, false));
  EXPECT_EQ(form->Pdx1().RecNo(), 3);
  EXPECT_EQ(Cols().SelectedIndex(), 2);
  EXPECT_EQ(form->DBGrid1()->currentIndex().column(), 2);
}

TEST_F(SearchTest, DropDownOffersOnlyVisibleColumnsButHiddenFieldsCanBeTyped) {
  Cols().At(1).Visible = false;
  Cols().Changed();
  Dialog()->FillVisibleColumns();
  QStringList items;
  for (int i = 0; i < Dialog()->ComboBox1()->count(); ++i) items << Dialog()->ComboBox1()->itemText(i);
  EXPECT_EQ(items, (QStringList{"Name", "Notes", "Price"}));
  EXPECT_TRUE(Search(QStringLiteral("Qty"), QStringLiteral("40"), true, false));
  EXPECT_EQ(form->Pdx1().RecNo(), 4);
}

TEST_F(SearchTest, EnterInTheValueBoxRunsTheSearchAndTheDialogStaysOpen) {
  Dialog()->FillAllFields();
  Dialog()->show();
  Dialog()->ComboBox1()->setEditText(QStringLiteral("Name"));
  Dialog()->Edit1()->setText(QStringLiteral("dav"));
  Dialog()->Edit1()->setFocus();
  QTest::keyClick(Dialog()->Edit1(), Qt::Key_Return);
  EXPECT_EQ(form->Pdx1().RecNo(), 5);
  EXPECT_TRUE(Dialog()->isVisible());
  Dialog()->hide();
}

TEST_F(SearchTest, AnUnknownFieldIsReportedAndTheProgramGoesOn) {
  Dialog()->FillAllFields();
  Dialog()->ComboBox1()->setEditText(QStringLiteral("NoSuchField"));
  Dialog()->Edit1()->setText(QStringLiteral("x"));
  Dialog()->OkButton()->click();
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("NoSuchField")));
  EXPECT_EQ(form->Pdx1().RecNo(), 1);
}

// ---------------------------------------------------------------------------------------------
// Table info

TEST_F(WindowsTest, TableInfoListsEveryFieldOnceWithItsDescriptor) {
  form->TblInfoClick();
  form->frmTableInfo()->hide();
  form->TblInfoClick();
  QTreeWidget* list = form->frmTableInfo()->ListView1();
  ASSERT_EQ(list->topLevelItemCount(), 4);
  QTreeWidgetItem* name = list->topLevelItem(0);
  EXPECT_EQ(name->text(0), QStringLiteral("Name"));
  EXPECT_EQ(name->text(1), QStringLiteral("Alpha"));
  EXPECT_EQ(name->text(2), QStringLiteral("20"));
  EXPECT_EQ(name->text(3), QStringLiteral("1"));
  EXPECT_EQ(name->text(4), QStringLiteral("No"));
  EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("Long"));
  EXPECT_EQ(list->topLevelItem(2)->text(5), QStringLiteral("15"));  // number: 15 significant digits
  EXPECT_EQ(list->topLevelItem(3)->text(1), QStringLiteral("Memo"));
  EXPECT_EQ(list->topLevelItem(3)->text(3), QStringLiteral("4"));
  EXPECT_EQ(form->frmTableInfo()->Edit1()->text(), QStringLiteral("people.db"));
}

TEST_F(WindowsTest, TableInfoShowsTheLeadingKeyFieldsOfARealTable) {
  std::string path = TestData("Rparadox/TypSammlung.DB");
  ASSERT_TRUE(OpenThroughDialog(path));
  form->TblInfoClick();
  int keys = form->Pdx1().Header().PrimaryKeyFields();
  QString expected;
  for (int i = 0; i < keys; ++i)
    expected += (i ? QStringLiteral(", ") : QString()) + NameText(form->Pdx1().Fields(i).FieldName());
  EXPECT_EQ(form->frmTableInfo()->Edit2()->text(), expected);
  EXPECT_EQ(form->frmTableInfo()->ListView1()->topLevelItemCount(), form->Pdx1().FieldCount());
}

// ---------------------------------------------------------------------------------------------
// Field panel

TEST_F(WindowsTest, ShowFieldPanelTogglesThePanel) {
  EXPECT_FALSE(form->MemoPanel()->isVisible());
  form->CheckBox1()->click();
  EXPECT_TRUE(form->MemoPanel()->isVisible());
  form->CheckBox1()->click();
  EXPECT_FALSE(form->MemoPanel()->isVisible());
}

TEST_F(WindowsTest, MemoChooserOffersMemoFieldsAndTheMemoFollowsTheCursor) {
  form->CheckBox1()->click();
  Cols().At(3).Visible = false;  // hidden columns stay in the chooser
  Cols().Changed();
  form->ComboBox1DropDown();
  ASSERT_EQ(form->ComboBox1()->count(), 1);
  EXPECT_EQ(form->ComboBox1()->itemText(0), QStringLiteral("Notes"));
  form->ComboBox1()->setCurrentIndex(0);
  form->ComboBox1Change();
  EXPECT_EQ(form->DBMemo1()->toPlainText(), QStringLiteral("first\nsecond line"));
  form->DBGrid1()->setCurrentIndex(form->DBGrid1()->model()->index(1, 0));
  EXPECT_EQ(form->DBMemo1()->toPlainText(), QStringLiteral("short"));
  // A tab switch empties the memo side.
  ASSERT_TRUE(OpenThroughDialog(PeopleTable("second.db")));
  form->ComboBox1DropDown();
  ASSERT_EQ(form->ComboBox1()->count(), 1);
  SelectTab(0);
  EXPECT_EQ(form->ComboBox1()->count(), 0);
  EXPECT_EQ(form->DBMemo1()->DataField(), "");
  EXPECT_EQ(form->DBMemo1()->toPlainText(), QString());
}

TEST_F(WindowsTest, PictureViewShowsGraphicFieldsAndIgnoresUnknownNames) {
  std::string path = TestData("paradoxdriver/fields/graphic.db");
  ASSERT_TRUE(OpenThroughDialog(path));
  form->CheckBox1()->click();
  form->PageControl1()->setCurrentIndex(1);
  form->ComboBox3DropDown();
  ASSERT_GE(form->ComboBox3()->count(), 1);
  form->ComboBox3()->setCurrentIndex(0);
  Settle();
  bool sawPicture = false;
  for (int r = 1; r <= form->Pdx1().RecordCount(); ++r) {
    form->Pdx1().SetRecNo(r);
    if (!form->DBImage1()->Image().isNull()) sawPicture = true;
  }
  EXPECT_TRUE(sawPicture);
  form->ComboBox3()->setEditText(QStringLiteral("no such field"));
  EXPECT_TRUE(form->DBImage1()->Image().isNull());
  ASSERT_TRUE(OpenThroughDialog(PeopleTable("after.db")));  // a name left from another table
  form->ComboBox3()->setEditText(QStringLiteral("Notes"));  // a memo is no picture
  EXPECT_TRUE(form->DBImage1()->Image().isNull());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WindowsTest, SaveBitmapWritesThePictureOfTheCurrentRecord) {
  ASSERT_TRUE(OpenThroughDialog(TestData("paradoxdriver/fields/graphic.db")));
  form->ComboBox3DropDown();
  ASSERT_GE(form->ComboBox3()->count(), 1);
  form->ComboBox3()->setCurrentIndex(0);
  int withPicture = 0;
  for (int r = 1; r <= form->Pdx1().RecordCount() && !withPicture; ++r) {
    form->Pdx1().SetRecNo(r);
    form->DBImage1()->Reload();
    if (!form->DBImage1()->Image().isNull()) withPicture = r;
  }
  ASSERT_NE(withPicture, 0);
  std::string out = TempDir() + "/picture.bmp";
  ui.files.push_back(Q(out));
  form->SaveBitmapClick();
  std::string bytes = ReadFile(out);
  EXPECT_EQ(bytes, form->DBImage1()->ImageBytes());
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  // Cancelled: nothing is written.
  ui.files.push_back(QString());
  form->SaveBitmapClick();
  EXPECT_TRUE(ui.messages.empty());
}

TEST(ImageBytes, GraphicHeaderIsTakenOffAndOtherDataIsNoPicture) {
  QImage img(4, 3, QImage::Format_RGB32);
  img.fill(Qt::red);
  QByteArray bmp;
  QBuffer buf(&bmp);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "BMP");
  std::string raw = bmp.toStdString();
  std::string graphic = std::string("\x01\x00\x00\x01", 4);
  uint32_t n = static_cast<uint32_t>(raw.size());
  for (int i = 0; i < 4; ++i) graphic += static_cast<char>((n >> (8 * i)) & 0xFF);
  graphic += raw;
  EXPECT_EQ(ImageBytesOfBlob(graphic), raw);
  EXPECT_EQ(ImageBytesOfBlob(raw), raw);
  EXPECT_EQ(ImageBytesOfBlob("just some text"), "");
  EXPECT_EQ(ImageBytesOfBlob(""), "");
}

}  // namespace
}  // namespace korvane::test
