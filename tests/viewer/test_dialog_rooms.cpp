// The secondary windows work on what they are given (a table, a data source,
// grid columns and a callback), without a main window behind them.

#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>
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

class DialogRoomsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pdx.SetTableName(PeopleTable("rooms.db"));
    pdx.Open();
    source.SetDataSet(&pdx);
    columns.SetDataSource(&source);
    columns.RebuildFromFields();
    columns.AddListener([this] { ++changes; });
  }
  void TearDown() override {
    owner.reset();  // the windows bound to the data source go before it does
    pdx.Close();
  }

  TUiRecorder ui;
  TPdx pdx{"Pdx1"};
  TDataSource source{"DataSource1"};
  TGridColumns columns{"DBGrid1"};
  int changes = 0;
  std::unique_ptr<QWidget> owner = std::make_unique<QWidget>();
};

TEST_F(DialogRoomsTest, ColumnsDialogEditsTheColumnsItIsGivenAndTellsTheirListeners) {
  auto* dlg = new TfrmColumns(pdx, columns, owner.get());
  dlg->RefreshList();
  ASSERT_EQ(dlg->ListView1()->rowCount(), 4);
  EXPECT_EQ(dlg->ListView1()->item(3, 0)->text(), QStringLiteral("Notes"));
  dlg->ListView1()->selectRow(1);
  dlg->HideClick();
  EXPECT_FALSE(columns[1].Visible);
  EXPECT_EQ(dlg->ListView1()->item(1, 1)->text(), QStringLiteral("Hidden"));
  EXPECT_EQ(changes, 1);
  dlg->MoveUpClick();
  EXPECT_EQ(columns[0].FieldName, "Qty");
  EXPECT_EQ(changes, 2);
  // A closed table lists nothing, whatever the columns hold.
  pdx.Close();
  dlg->RefreshList();
  EXPECT_EQ(dlg->ListView1()->rowCount(), 0);
}

TEST_F(DialogRoomsTest, ValueSearchCallsBackOnlyWhenARecordIsFound) {
  int shown = 0;
  auto* dlg = new TfrmSearchValue(pdx, columns, [&] { ++shown; }, owner.get());
  dlg->FillAllFields();
  EXPECT_EQ(dlg->ComboBox1()->count(), 4);
  dlg->ComboBox1()->setEditText(QStringLiteral("price"));
  dlg->Edit1()->setText(QStringLiteral("3"));
  dlg->CheckBox2()->setChecked(false);
  EXPECT_TRUE(dlg->Search());
  EXPECT_EQ(pdx.RecNo(), 3);
  EXPECT_EQ(columns.SelectedIndex(), 2);
  EXPECT_EQ(shown, 1);
  dlg->Edit1()->setText(QStringLiteral("99"));
  EXPECT_FALSE(dlg->Search());
  EXPECT_EQ(ui.LastMessage(), QStringLiteral("Not Found"));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(pdx.RecNo(), 3);
}

TEST_F(DialogRoomsTest, FormViewIsBoundToTheDataSourceItIsGiven) {
  auto* view = new TfrmRecordView(pdx, source, columns, owner.get());
  view->BuildRows();
  ASSERT_EQ(view->RowCount(), 4);
  auto* name = view->ScrollBox1()->findChild<TDBEdit*>(QStringLiteral("tbl0"));
  ASSERT_TRUE(name);
  EXPECT_EQ(name->text(), QStringLiteral("Alice"));
  view->DBNavigator1()->Button(2)->click();  // next
  EXPECT_EQ(pdx.RecNo(), 2);
  EXPECT_EQ(name->text(), QStringLiteral("Bob"));
  view->hide();
}

TEST_F(DialogRoomsTest, TableInfoDescribesTheTableItIsGiven) {
  auto* info = new TfrmTableInfo(pdx, owner.get());
  info->Fill();
  EXPECT_EQ(info->Edit1()->text(), QStringLiteral("rooms.db"));
  ASSERT_EQ(info->ListView1()->topLevelItemCount(), 4);
  EXPECT_EQ(info->ListView1()->topLevelItem(1)->text(0), QStringLiteral("Qty"));
  pdx.Close();
  info->Fill();
  EXPECT_EQ(info->ListView1()->topLevelItemCount(), 0);
  EXPECT_TRUE(info->Edit1()->text().isEmpty());
}

}  // namespace
}  // namespace korvane::test
