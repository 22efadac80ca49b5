// The grid over a big table: rows come from the table as they are painted and
// only a bounded number of them is kept.
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "viewer_support.h"

namespace korvane::test {
namespace {

TEST_F(ViewerTest, BigTableOpensScrollsToItsEndAndKeepsFewRows) {
  const int kRecords = 200000;
  std::string path = MakeGeneratedTable("A20,I,N,D", kRecords, 7);
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(OpenThroughDialog(path));
  form->DBGrid1()->grab();
  qint64 openMs = t.restart();
  EXPECT_EQ(form->DBGrid1()->RecordCount(), kRecords);

  // Ctrl+End in the grid: the last record becomes current and is shown.
  form->DBGrid1()->setFocus();
  QTest::keyClick(form->DBGrid1(), Qt::Key_End, Qt::ControlModifier);
  form->DBGrid1()->grab();
  qint64 endMs = t.restart();
  EXPECT_EQ(form->Pdx1().RecNo(), kRecords);
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), kRecords - 1);
  EXPECT_EQ(form->DBGrid1()->RecordScrollBar()->value(), form->DBGrid1()->RecordScrollBar()->maximum());
  // What the grid shows is what the table holds there.
  {
    auto peek = form->Pdx1().PeekRecord(kRecords);
    ASSERT_TRUE(peek.Valid());
    EXPECT_EQ(form->DBGrid1()->GridModel()->CellText(kRecords - 1, 0),
              ValueText(form->Pdx1().Fields(0).DisplayText()));
  }
  // Page through a few hundred screens: the cache stays bounded.
  for (int i = 0; i < 300; ++i) {
    form->DBGrid1()->RecordScrollBar()->setValue(i * 600);
    form->DBGrid1()->grab();
  }
  EXPECT_LE(form->DBGrid1()->GridModel()->CachedRowCount(), TDBGridModel::kCachedRows);
  // Generous bounds that still catch a grid reading the whole table.
  EXPECT_LT(openMs, 3000);
  EXPECT_LT(endMs, 3000);
}

TEST_F(ViewerTest, GridFollowsTheCursorAndMovesIt) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  form->Pdx1().Last();
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 4);
  form->Pdx1().Prior();
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 3);
  form->DBGrid1()->setFocus();
  QTest::keyClick(form->DBGrid1(), Qt::Key_Up);
  EXPECT_EQ(form->Pdx1().RecNo(), 3);
  QTest::keyClick(form->DBGrid1(), Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(form->Pdx1().RecNo(), 1);
  // Navigator buttons follow the position.
  form->DBNavigator1()->Button(3)->click();
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 4);
  EXPECT_FALSE(form->DBNavigator1()->Button(2)->isEnabled());
  EXPECT_TRUE(form->DBNavigator1()->Button(0)->isEnabled());
}

TEST_F(ViewerTest, DraggingAGridColumnMovesItInTheColumnsModel) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  form->DBGrid1()->horizontalHeader()->moveSection(0, 2);
  TGridColumns& cols = form->GridColumns();
  EXPECT_EQ(cols[0].FieldName, "Qty");
  EXPECT_EQ(cols[2].FieldName, "Name");
  EXPECT_EQ(form->DBGrid1()->GridModel()->CellText(0, 2), QStringLiteral("Alice"));
  EXPECT_EQ(form->DBGrid1()->horizontalHeader()->visualIndex(2), 2);
  form->DBGrid1()->horizontalHeader()->resizeSection(1, 77);
  EXPECT_EQ(cols[1].Width, 77);
}

TEST_F(ViewerTest, RealTableShowsItsTextDecoded) {
  ASSERT_TRUE(OpenThroughDialog(TestData("Rparadox/TypSammlung.DB")));
  TGridColumns& cols = form->GridColumns();
  ASSERT_GT(cols.Count(), 5);
  // Field names with umlauts come out as proper text, not as replacement characters.
  for (int i = 0; i < cols.Count(); ++i) {
    QString title = form->DBGrid1()->model()->headerData(i, Qt::Horizontal).toString();
    EXPECT_FALSE(title.contains(QChar(0xFFFD))) << title.toStdString();
  }
  for (int r = 0; r < form->DBGrid1()->RecordCount(); ++r)
    for (int c = 0; c < cols.Count(); ++c)
      EXPECT_FALSE(form->DBGrid1()->GridModel()->CellText(r, c).contains(QChar(0xFFFD))) << r << "," << c;
}

// Several records selected with the mouse and the keyboard, as the export reads them.
TEST_F(ViewerTest, GridSelectsSeveralRecordsWithCtrlShiftAndCtrlA) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  TDBGrid* grid = form->DBGrid1();
  TGridColumns& cols = form->GridColumns();
  auto click = [&](int record, Qt::KeyboardModifiers mods) {
    QRect cell = grid->visualRect(grid->model()->index(record - grid->GridModel()->Top(), 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, cell.center());
  };
  EXPECT_TRUE(cols.SelectedRows().empty());
  click(1, Qt::NoModifier);
  EXPECT_TRUE(cols.SelectedRows().empty());  // a plain click selects nothing
  EXPECT_EQ(form->Pdx1().RecNo(), 2);
  click(3, Qt::ControlModifier);
  click(0, Qt::ControlModifier);
  EXPECT_EQ(cols.SelectedRows(), (std::vector<TBookmark>{1, 4}));  // kept in record order
  EXPECT_TRUE(grid->IsRecordSelected(3));
  EXPECT_FALSE(grid->IsRecordSelected(1));
  // Selected rows paint as a selection, the others do not.
  EXPECT_TRUE(grid->model()->data(grid->model()->index(3, 1), Qt::BackgroundRole).isValid());
  EXPECT_FALSE(grid->model()->data(grid->model()->index(2, 1), Qt::BackgroundRole).isValid());
  click(3, Qt::ControlModifier);  // Ctrl + click again takes it out
  EXPECT_EQ(cols.SelectedRows(), (std::vector<TBookmark>{1}));
  // Shift selects from the last plain or Ctrl click (record 4, 0-based 3).
  click(1, Qt::ShiftModifier);
  EXPECT_EQ(cols.SelectedRows(), (std::vector<TBookmark>{2, 3, 4}));
  QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(cols.SelectedRows(), (std::vector<TBookmark>{3, 4}));
  QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(cols.SelectedRows(), (std::vector<TBookmark>{1, 2, 3, 4, 5}));
  QTest::keyClick(grid, Qt::Key_Down);  // a plain move starts afresh
  EXPECT_TRUE(cols.SelectedRows().empty());
  // Another table starts with no selection.
  QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
  ASSERT_FALSE(cols.SelectedRows().empty());
  ASSERT_TRUE(OpenThroughDialog(PeopleTable("other.db")));
  EXPECT_TRUE(cols.SelectedRows().empty());
}

}  // namespace
}  // namespace korvane::test
