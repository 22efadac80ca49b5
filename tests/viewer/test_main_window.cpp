// The main window: opening through the dialog and the command line, tabs,
// closing, refresh and the Encoding menu.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "export/wizard/ZelEWiz.h"
#include "export/wizard/frmZelEWizard.h"
#include "viewer/frRecordView.h"
#include "viewer/frTableInfo.h"
#include "viewer_support.h"

namespace korvane::test {
namespace {

TEST_F(ViewerTest, OpenThroughDialogAddsTabAndFillsGridAndLabels) {
  std::string path = PeopleTable();
  ASSERT_TRUE(OpenThroughDialog(path));
  EXPECT_EQ(form->TabControl1()->count(), 1);
  EXPECT_EQ(form->TabControl1()->tabText(0), QStringLiteral("people.db"));
  ASSERT_EQ(form->OpenTables().size(), 1u);
  EXPECT_EQ(form->OpenTables()[0].FullPath, Q(path));
  EXPECT_EQ(form->OpenTables()[0].ShortName, QStringLiteral("people.db"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Korvane (beta) - ") + Q(path));
  EXPECT_EQ(form->Label2()->text(), QStringLiteral("Filename: ") + Q(path));
  EXPECT_EQ(form->Label5()->text(), QStringLiteral("Count: 5"));
  EXPECT_TRUE(form->Button8()->isEnabled());
  ASSERT_EQ(form->GridColumns().Count(), 4);
  EXPECT_EQ(form->GridColumns()[0].FieldName, "Name");
  EXPECT_EQ(form->DBGrid1()->RecordCount(), 5);
  EXPECT_EQ(form->DBGrid1()->GridModel()->CellText(1, 0), QStringLiteral("Bob"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, CancelledOpenChangesNothingNotEvenTheFieldPanel) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  form->ComboBox1DropDown();
  form->ComboBox1()->setCurrentIndex(0);
  form->ComboBox1Change();
  ui.files.push_back(QString());  // cancel
  form->Open1Click();
  EXPECT_EQ(form->TabControl1()->count(), 1);
  EXPECT_EQ(form->ComboBox1()->count(), 1);
  EXPECT_EQ(form->DBMemo1()->DataField(), "Notes");
  EXPECT_TRUE(form->Pdx1().Active());
}

TEST_F(ViewerTest, FailedOpenLeavesNoTabNoRecordAndNoStaleGrid) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  std::string bad = TempDir() + "/notes.db";
  WriteFile(bad, std::string(3000, 'x'));
  EXPECT_FALSE(OpenThroughDialog(bad));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].first, qtui::TMessageKind::Information);
  EXPECT_TRUE(ui.messages[0].second.startsWith(QStringLiteral("Error openning DBF File with: ")))
      << ui.LastMessage().toStdString();
  EXPECT_EQ(form->TabControl1()->count(), 1);
  EXPECT_EQ(form->OpenTables().size(), 1u);
  EXPECT_EQ(form->GridColumns().Count(), 0);
  EXPECT_EQ(form->DBGrid1()->RecordCount(), 0);
  EXPECT_EQ(form->DBGrid1()->model()->columnCount(), 0);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Korvane (beta)"));
  // The next open fills the place again.
  ASSERT_TRUE(OpenThroughDialog(PeopleTable("again.db")));
  EXPECT_EQ(form->TabControl1()->count(), 2);
  EXPECT_EQ(form->TabControl1()->tabText(1), QStringLiteral("again.db"));
}

TEST_F(ViewerTest, SwitchingTabsReopensEachTableAtRecordOne) {
  std::string a = PeopleTable("a.db"), b = PeopleTable("b.db");
  ASSERT_TRUE(OpenThroughDialog(a));
  ASSERT_TRUE(OpenThroughDialog(b));
  EXPECT_EQ(form->TabControl1()->currentIndex(), 1);
  SelectTab(0);
  EXPECT_EQ(CurrentTable(), a);
  form->Pdx1().SetRecNo(4);
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 3);
  SelectTab(1);
  EXPECT_EQ(CurrentTable(), b);
  SelectTab(0);
  EXPECT_EQ(CurrentTable(), a);
  EXPECT_EQ(form->Pdx1().RecNo(), 1);
  EXPECT_EQ(form->DBGrid1()->CurrentRecord(), 0);
}

TEST_F(ViewerTest, SameFileTwiceGivesTwoTabsThatEachReopenIt) {
  std::string a = PeopleTable();
  ASSERT_TRUE(OpenThroughDialog(a));
  ASSERT_TRUE(OpenThroughDialog(a));
  EXPECT_EQ(form->TabControl1()->tabText(0), form->TabControl1()->tabText(1));
  SelectTab(0);
  EXPECT_EQ(CurrentTable(), a);
  SelectTab(1);
  EXPECT_EQ(CurrentTable(), a);
}

TEST_F(ViewerTest, ClosingTheMiddleTabKeepsTheOthersOpeningTheirOwnFiles) {
  std::string a = PeopleTable("a.db"), b = PeopleTable("b.db"), c = PeopleTable("c.db");
  ASSERT_TRUE(OpenThroughDialog(a));
  ASSERT_TRUE(OpenThroughDialog(b));
  ASSERT_TRUE(OpenThroughDialog(c));
  SelectTab(1);
  ASSERT_EQ(CurrentTable(), b);
  form->CloseTabClick();
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(form->TabControl1()->count(), 2);
  EXPECT_EQ(form->TabControl1()->tabText(0), QStringLiteral("a.db"));
  EXPECT_EQ(form->TabControl1()->tabText(1), QStringLiteral("c.db"));
  ASSERT_EQ(form->OpenTables().size(), 2u);
  EXPECT_EQ(form->OpenTables()[1].FullPath, Q(c));
  // No other table opens by itself; the grid is empty.
  EXPECT_FALSE(form->Pdx1().Active());
  EXPECT_EQ(form->DBGrid1()->RecordCount(), 0);
  SelectTab(0);
  EXPECT_EQ(CurrentTable(), a);
  SelectTab(1);
  EXPECT_EQ(CurrentTable(), c);
}

TEST_F(ViewerTest, ClickingTheStillSelectedTabAfterACloseOpensIt) {
  std::string a = PeopleTable("a.db"), b = PeopleTable("b.db");
  ASSERT_TRUE(OpenThroughDialog(a));
  ASSERT_TRUE(OpenThroughDialog(b));
  form->CloseTabClick();
  ASSERT_EQ(form->TabControl1()->count(), 1);
  EXPECT_FALSE(form->Pdx1().Active());
  emit form->TabControl1()->tabBarClicked(0);
  EXPECT_EQ(CurrentTable(), a);
}

TEST_F(ViewerTest, CloseAndRefreshWithoutATableDoNothingSilently) {
  form->CloseTabClick();
  form->Action("Refresh1")->trigger();
  form->ToolButton("ToolButton2")->click();  // Close
  form->ToolButton("ToolButton3")->click();  // Refresh
  EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
  EXPECT_EQ(form->TabControl1()->count(), 0);
}

TEST_F(ViewerTest, MoreThan256TabsOpen) {
  std::string a = PeopleTable();
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(OpenThroughDialog(a)) << i;
  EXPECT_EQ(form->TabControl1()->count(), 300);
  EXPECT_EQ(form->OpenTables().size(), 300u);
  SelectTab(280);
  EXPECT_EQ(CurrentTable(), a);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, CommandLineOpensWithTheArgumentAsCaption) {
  std::string path = PeopleTable();
  form->OpenFromCommandLine({Q(path)});
  EXPECT_TRUE(form->Pdx1().Active());
  ASSERT_EQ(form->TabControl1()->count(), 1);
  EXPECT_EQ(form->TabControl1()->tabText(0), Q(path));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Korvane - ") + Q(path));
  EXPECT_TRUE(form->CoolBar1()->isVisibleTo(form.get()));
  EXPECT_FALSE(form->isMaximized());
}

TEST_F(ViewerTest, CommandLineFullSwitchInAnyCaseHidesToolbarAndMaximises) {
  form->OpenFromCommandLine({Q(PeopleTable()), QStringLiteral("/full")});
  Settle();
  EXPECT_FALSE(form->CoolBar1()->isVisibleTo(form.get()));
  EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
}

TEST_F(ViewerTest, CommandLineFullAloneOrMissingFileDoesNothing) {
  form->OpenFromCommandLine({QStringLiteral("/FULL")});
  form->OpenFromCommandLine({Q(TempDir() + "/missing.db"), QStringLiteral("/FULL")});
  EXPECT_EQ(form->TabControl1()->count(), 0);
  EXPECT_TRUE(form->CoolBar1()->isVisibleTo(form.get()));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, CommandLineAcceptsFileUri) {
  std::string path = PeopleTable();
  form->OpenFromCommandLine({QUrl::fromLocalFile(Q(path)).toString()});
  EXPECT_EQ(CurrentTable(), path);
  EXPECT_EQ(form->TabControl1()->tabText(0), Q(path));
}

TEST_F(ViewerTest, CommandLineErrorLeavesAUsableWindow) {
  std::string bad = TempDir() + "/bad.db";
  WriteFile(bad, std::string(10, '\0'));
  form->OpenFromCommandLine({Q(bad), QStringLiteral("/FULL")});
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].first, qtui::TMessageKind::Exception);
  EXPECT_FALSE(ui.messages[0].second.startsWith(QStringLiteral("Error openning")));
  EXPECT_EQ(form->TabControl1()->count(), 0);
  EXPECT_FALSE(form->Pdx1().Active());
  EXPECT_EQ(form->DBGrid1()->model()->columnCount(), 0);
  EXPECT_TRUE(form->CoolBar1()->isVisibleTo(form.get()));
  // Everything works afterwards.
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  EXPECT_EQ(form->TabControl1()->count(), 1);
  EXPECT_EQ(form->DBGrid1()->RecordCount(), 5);
}

TEST_F(ViewerTest, RefreshKeepsThePlaceAndIgnoresAClosedTable) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  form->Pdx1().SetRecNo(3);
  form->Refresh1Click();
  EXPECT_EQ(form->Pdx1().RecNo(), 3);
  // With the table closed (its tab still shown) Refresh has nothing to do.
  form->CloseTabClick();
  form->Action("Refresh1")->trigger();
  EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
  EXPECT_FALSE(form->Pdx1().Active());
}

TEST_F(ViewerTest, MenusCarryTheirShortcutsAndPrintIsEnabled) {
  EXPECT_EQ(form->Action("Open1")->shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(form->Action("Exit1")->shortcut(), QKeySequence(Qt::Key_F10));
  EXPECT_EQ(form->Action("Refresh1")->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(form->Action("ShowHideColumns1")->shortcut(), QKeySequence(Qt::Key_F8));
  EXPECT_EQ(form->Action("AdjustALLcolumnwidths1")->shortcut(), QKeySequence(Qt::Key_F11));
  EXPECT_EQ(form->Action("SearchValue1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  EXPECT_EQ(form->Action("Print1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  EXPECT_TRUE(form->Action("Print1")->isEnabled());
  EXPECT_TRUE(form->ToolButton("ToolButton4")->isEnabled());  // Print
  EXPECT_TRUE(form->ToolButton("ToolButton5")->isEnabled());  // Export
  EXPECT_EQ(form->ToolButton("ToolButton5")->toolTip(), QStringLiteral("Export Data"));
  EXPECT_FALSE(form->Action("PrintPreview1")->isVisible());
  EXPECT_FALSE(form->Action("GotoColumn1")->isVisible());
  EXPECT_FALSE(form->Action("About1")->isVisible());
  EXPECT_EQ(form->ToolButton("ToolButton13")->text(), QStringLiteral("Resize All"));
  EXPECT_EQ(form->ToolButton("ToolButton7")->toolTip(), QStringLiteral("Form View"));
  EXPECT_EQ(form->size(), QSize(957, 522));
}

TEST_F(ViewerTest, EncodingMenuReopensTheTableWithTheChosenCodePage) {
  // "Привет" in cp1251, in a table whose header names code page 1252.
  std::vector<TPdxWriterField> fields = {{"Text", pdxtype::kAlpha, 20}};
  TPdxWriterOptions opt;
  std::string path = MakeTable(fields, {{TWriterValue("\xCF\xF0\xE8\xE2\xE5\xF2")}}, opt, "cyr.db");
  ASSERT_TRUE(OpenThroughDialog(path));
  int automatic = form->EffectiveCodePage();
  QString before = form->DBGrid1()->GridModel()->CellText(0, 0);
  form->SetSourceCodePage(1251);
  EXPECT_TRUE(form->Pdx1().Active());
  EXPECT_EQ(form->EffectiveCodePage(), 1251);
  EXPECT_EQ(form->DBGrid1()->GridModel()->CellText(0, 0), QString::fromUtf8("Привет"));
  EXPECT_NE(before, QString::fromUtf8("Привет")) << automatic;
  form->SetSourceCodePage(0);
  EXPECT_EQ(form->EffectiveCodePage(), automatic);
}

// The encoding chosen for one table stays with its tab: the other tab reads its
// own code page, and switching back finds the choice again until the tab closes.
TEST_F(ViewerTest, EncodingIsKeptPerTabAcrossTabSwitches) {
  ASSERT_TRUE(OpenThroughDialog(TestData("Rparadox/TypSammlung.DB")));
  ASSERT_TRUE(OpenThroughDialog(TestData("pyparadox/test.db")));
  const int automaticTest = form->EffectiveCodePage();
  form->Action("Encoding_1251")->trigger();
  EXPECT_EQ(form->EffectiveCodePage(), 1251);
  EXPECT_TRUE(form->Action("Encoding_1251")->isChecked());

  auto titles = [&] {
    QStringList t;
    for (int i = 0; i < form->DBGrid1()->model()->columnCount(); ++i)
      t << form->DBGrid1()->model()->headerData(i, Qt::Horizontal).toString();
    return t;
  };
  SelectTab(0);
  EXPECT_TRUE(titles().contains(QString::fromUtf8("W\u00e4hrung"))) << titles().join(",").toStdString();
  EXPECT_NE(form->EffectiveCodePage(), 1251);
  EXPECT_TRUE(form->Action("Encoding_0")->isChecked());
  // The export of this tab carries its own names too.
  EXPECT_EQ(form->ZelEWizardDlg1().DecodeName("W\xe4hrung"), "W\u00e4hrung");

  SelectTab(1);
  EXPECT_EQ(form->EffectiveCodePage(), 1251);
  EXPECT_TRUE(form->Action("Encoding_1251")->isChecked());

  // Closed, the choice goes with the tab; the same file opened again reads automatically.
  form->CloseTabClick();
  EXPECT_FALSE(form->Action("Encoding_1251")->isEnabled());
  form->SetSourceCodePage(866);  // nothing open: nothing to apply it to
  ASSERT_TRUE(OpenThroughDialog(TestData("pyparadox/test.db")));
  EXPECT_EQ(form->EffectiveCodePage(), automaticTest);
  EXPECT_TRUE(form->Action("Encoding_0")->isChecked());
  EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
}

// Table Info, Export and Form have menu entries with their buttons' captions, so
// that they are reachable without the toolbar (/FULL) and from the keyboard.
TEST_F(ViewerTest, TableInfoExportAndFormHaveMenuEntries) {
  struct TEntry {
    const char* action;
    const char* menu;
    const char* button;
  };
  for (const TEntry& e : {TEntry{"Export1", "File1", "ToolButton5"}, TEntry{"FormView1", "View1", "ToolButton7"},
                          TEntry{"TblInfo1", "Tools1", "ToolButton9"}}) {
    QAction* a = form->Action(e.action);
    ASSERT_NE(a, nullptr) << e.action;
    QMenu* menu = form->findChild<QMenu*>(QString::fromLatin1(e.menu));
    ASSERT_NE(menu, nullptr) << e.menu;
    EXPECT_TRUE(menu->actions().contains(a)) << e.action;
    QToolButton* b = form->ToolButton(e.button);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->text(), b->text()) << e.action;
    EXPECT_TRUE(a->isVisible());
  }
  // The buttons stay as they were: Tbl Info hidden, the others shown.
  EXPECT_FALSE(form->ToolButton("ToolButton9")->isVisibleTo(form.get()));
  EXPECT_TRUE(form->ToolButton("ToolButton5")->isVisibleTo(form.get()));

  form->OpenFromCommandLine({Q(PeopleTable()), QStringLiteral("/FULL")});
  Settle();
  ASSERT_FALSE(form->CoolBar1()->isVisibleTo(form.get()));
  form->Action("TblInfo1")->trigger();
  EXPECT_TRUE(form->frmTableInfo()->isVisible());
  form->Action("FormView1")->trigger();
  EXPECT_TRUE(form->frmRecordView()->isVisible());
  int shown = 0;
  form->ZelEWizardDlg1().OnShow = [&shown](TfrmZelEWizard& w) {
    ++shown;
    QTimer::singleShot(0, &w, [&w] {
      w.Owner().ConfirmCancelExit = false;
      w.reject();
    });
  };
  form->Action("Export1")->trigger();
  form->ZelEWizardDlg1().OnShow = nullptr;
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
}

}  // namespace
}  // namespace korvane::test
