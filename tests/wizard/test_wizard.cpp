// The export wizard: steps, format switching, confirmations, the column list,
// file names and runs through the export monitor.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "export/ZelEMonitor.h"
#include "export/wizard/ZelEQtServices.h"
#include "tests/wizard/wizard_test_util.h"

namespace korvane::test {
namespace {

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::vector<TVariant>> rows;
    for (int k = 1; k <= 5; ++k)
      rows.push_back({TVariant::String("a" + std::to_string(k)), TVariant::Integer(k * 10),
                      TVariant::String("c" + std::to_string(k))});
    engine = std::make_unique<TMemRowsEngine>(std::vector<std::string>{"A", "B", "C"}, rows);
    services.MessageHook = [this](TZelEMessageKind, const std::string& text) { messages.push_back(text); };
    services.AskHook = [this](const std::string& q) {
      questions.push_back(q);
      return answer;
    };
    services.NoProgressWindow = true;
    wizard.SetServices(&services);
    wizard.ColumnSource = csDataEngine;
    wizard.DataEngine = engine.get();
    wizard.InitialDir = dir.Path();
    wizard.FileName = dir.Path("out.TXT");
    wizard.Options.Exclude(soShowMessage);
  }
  // A window over the wizard's settings without running it modally.
  std::unique_ptr<TfrmZelEWizard> Window() {
    if (wizard.Columns.Count() == 0) engine->FillColumns(wizard.Columns, wizard.Bands, false);
    return std::make_unique<TfrmZelEWizard>(wizard);
  }
  static std::vector<int> Visit(TfrmZelEWizard& w) {
    std::vector<int> steps{w.Step()};
    while (w.Next()) steps.push_back(w.Step());
    return steps;
  }

  TTempDir dir;
  std::unique_ptr<TMemRowsEngine> engine;
  TZelEQtServices services;
  TZelEWizardDlg wizard;
  std::vector<std::string> messages, questions;
  bool answer = true;
};

TEST_F(WizardTest, StepSequencesFollowTheFormat) {
  auto w = Window();
  w->SelectFormat(teXML);
  EXPECT_EQ(Visit(*w), (std::vector<int>{1, 2, 5, 6, 7, 10}));
  std::vector<int> back{w->Step()};
  while (w->Back()) back.push_back(w->Step());
  EXPECT_EQ(back, (std::vector<int>{10, 7, 6, 5, 2, 1}));

  w->SelectFormat(teText);
  EXPECT_EQ(Visit(*w), (std::vector<int>{1, 2, 3, 5, 6, 7, 9, 10}));
  w->First();
  EXPECT_EQ(w->Step(), 1);
  w->SelectFormat(teDBase);
  EXPECT_EQ(Visit(*w), (std::vector<int>{1, 2, 5, 6, 10}));
  // Buttons of the last step.
  EXPECT_FALSE(w->btnNext->isEnabled());
  EXPECT_FALSE(w->btnLast->isEnabled());
  EXPECT_TRUE(w->btnBack->isEnabled());
  EXPECT_EQ(w->btnCancel->text().toStdString(), "&Execute");
  w->First();
  EXPECT_FALSE(w->btnBack->isEnabled());
  EXPECT_EQ(w->btnCancel->text().toStdString(), "&Cancel");
  EXPECT_EQ(w->lblStep->text().toStdString(), "Step 1 of 10  ");
}

TEST_F(WizardTest, ReadOnlyDataFormatsStepIsPassedOver) {
  wizard.UserAccess.DataFormats = erReadOnly;
  auto w = Window();
  w->SelectFormat(teXML);
  EXPECT_EQ(Visit(*w), (std::vector<int>{1, 2, 6, 7, 10}));
  EXPECT_TRUE(w->Back());
  EXPECT_TRUE(w->Back());
  EXPECT_TRUE(w->Back());
  EXPECT_EQ(w->Step(), 2);
  // Hidden (erDisabled) and read-only controls.
  EXPECT_FALSE(w->grpFormats->isEnabled());
  wizard.UserAccess.Specification = false;
  wizard.UserAccess.SourceFileName = erDisabled;
  auto w2 = Window();
  EXPECT_TRUE(w2->btnSpecs->isHidden());
  EXPECT_TRUE(w2->edtFileName->isHidden());
}

TEST_F(WizardTest, MovesUntilAStepEndWhenNothingChanges) {
  auto w = Window();
  w->SelectFormat(teText);
  // Step 4 is skipped for text: moving "until step 4" must end.
  w->GoToStep(4);
  EXPECT_NE(w->Step(), 4);
  EXPECT_LE(w->Step(), 5);
  w->GoToStep(3);
  EXPECT_EQ(w->Step(), 3);
  int refusals = 0;
  wizard.OnStepChange = [&](TfrmZelEWizard&, bool& allow) {
    allow = false;
    ++refusals;
  };
  w->Last();
  w->First();
  w->GoToStep(9);
  EXPECT_EQ(w->Step(), 3);
  EXPECT_EQ(refusals, 3);
}

TEST_F(WizardTest, FormatSwitchChangesTheExtension) {
  wizard.FileName = "/tmp/out/data.TXT";
  auto w = Window();
  EXPECT_EQ(w->edtFileName->text().toStdString(), "/tmp/out/data.TXT");
  w->SelectFormat(teHTML);
  EXPECT_EQ(w->edtFileName->text().toStdString(), "/tmp/out/data.HTM");
  w->SelectFormat(teClipboard);
  EXPECT_EQ(w->edtFileName->text().toStdString(), "/tmp/out/data");
  EXPECT_FALSE(w->edtFileName->isEnabled());
  w->SelectFormat(teDBase);
  EXPECT_EQ(w->edtFileName->text().toStdString(), "/tmp/out/data.DBF");
  // A folder with a dot keeps its name.
  w->edtFileName->setText("/tmp/my.dir/data");
  w->SelectFormat(teText);
  EXPECT_EQ(w->edtFileName->text().toStdString(), "/tmp/my.dir/data.TXT");
}

TEST_F(WizardTest, FormatsWithoutAWriterAreListedButDisabled) {
  auto w = Window();
  for (int t = 0; t < kTableTypeCount; ++t) {
    auto tt = static_cast<TTableTypeExport>(t);
    QRadioButton* b = w->FormatButton(tt);
    ASSERT_NE(b, nullptr) << TableTypeName(tt);
    EXPECT_EQ(b->isEnabled(), WriterInfo(tt).Built) << TableTypeName(tt);
  }
  EXPECT_TRUE(w->FormatButton(teText)->isChecked());
  wizard.Formats = FormatSet({teText, teHTML});
  wizard.Categories.ShowCategories = false;
  auto w2 = Window();
  EXPECT_NE(w2->FormatButton(teHTML), nullptr);
  EXPECT_EQ(w2->FormatButton(teXML), nullptr);
}

TEST_F(WizardTest, CancelAsksAndNoKeepsTheWindowOnItsStep) {
  int asked = 0;
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.Next();
    w.Next();
    answer = false;
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Step(), 3);
    asked = static_cast<int>(questions.size());
    answer = true;
    w.btnCancel->click();
  });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_NE(questions[0].find("Abort wizard?"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.TXT")));
  EXPECT_EQ(wizard.Columns.Count(), 0);
}

TEST_F(WizardTest, RenamedAndUncheckedColumnsReachTheFileOnly) {
  wizard.AddTitle = true;
  wizard.Separator = ',';
  wizard.RecordSeparator = "\n";
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.GoToStep(6);
    ASSERT_EQ(w.Step(), 6);
    ASSERT_EQ(w.lstColumns->count(), 3);
    w.lstColumns->item(1)->setCheckState(Qt::Unchecked);
    w.lstColumns->setCurrentRow(0);
    w.edtTitleCaption->setText("Name");
    emit w.edtTitleCaption->textEdited("Name");
    EXPECT_EQ(w.lstColumns->item(0)->text().toStdString(), "A  :  Name");
    w.MoveColumnItem(2, 0);
    w.Last();
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(wizard.Statistic.Result, erCompleted) << wizard.Statistic.Message;
  EXPECT_EQ(ReadFile(dir.Path("out.TXT")), "C,Name\nc1,a1\nc2,a2\nc3,a3\nc4,a4\nc5,a5\n");
  // The columns were not given, so none remain.
  EXPECT_EQ(wizard.Columns.Count(), 0);
}

TEST_F(WizardTest, SystemVariableIsInsertedBeforeTheSelectedItem) {
  auto w = Window();
  w->lstColumns->setCurrentRow(2);
  w->InsertSysVar(0);
  auto cols = w->ListColumns();
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_EQ(cols[2].FieldName, "ROWNO");
  EXPECT_EQ(cols[2].ColumnKind, ckSysVar);
  EXPECT_EQ(cols[2].DataType, ctInteger);
  EXPECT_EQ(cols[2].Alignment, taRightJustify);
  EXPECT_EQ(cols[2].Title.Caption, "row number");
  EXPECT_EQ(cols[2].Title.Color, 0xFF00000Fu);
  EXPECT_EQ(cols[2].Width, 10);
  EXPECT_EQ(cols[3].FieldName, "C");
  w->lstColumns->setCurrentRow(-1);
  w->InsertSysVar(4);
  cols = w->ListColumns();
  EXPECT_EQ(cols.back().FieldName, "GENERATOR");
  EXPECT_EQ(cols.back().DataType, ctString);
  EXPECT_EQ(cols.back().Alignment, taLeftJustify);
  w->CheckAllColumns(2);
  cols = w->ListColumns();
  for (const auto& c : cols) EXPECT_FALSE(c.Visible);
}

TEST_F(WizardTest, BareFileNameGoesToTheDefaultFolder) {
  wizard.FileName = "data.txt";
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.Last();
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("data.TXT")));
  EXPECT_FALSE(std::filesystem::exists("/data.TXT") && !std::filesystem::exists(dir.Path("data.TXT")));
  // Without InitialDir the user's documents folder (here the home folder) is used.
  wizard.InitialDir.clear();
  TTempDir home;
  std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.Path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", home.Path(".config").c_str(), 1);
  EXPECT_EQ(wizard.ResolvedFileName("x.txt"), home.Path("x.txt"));
  EXPECT_EQ(wizard.ResolvedFileName("/abs/x.txt"), "/abs/x.txt");
  setenv("HOME", oldHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

TEST_F(WizardTest, OverwriteIsConfirmedUnlessMerging) {
  wizard.ConfirmFileOverwrite = true;
  wizard.ConfirmCancelExit = false;
  { std::ofstream(dir.Path("out.TXT")) << "old"; }
  answer = false;
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.Last();
    w.ExecuteClicked();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("file exists. To overwrite this file?"), std::string::npos);
    // Appending asks nothing.
    EXPECT_TRUE(w.chkMerge->isEnabled());
    w.chkMerge->setChecked(true);
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(ReadFile(dir.Path("out.TXT")).substr(0, 3), "old");
  EXPECT_GT(ReadFile(dir.Path("out.TXT")).size(), 3u);
}

TEST_F(WizardTest, InvalidFileNameKeepsTheWindowOpen) {
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.Last();
    w.edtFileName->setText(QString::fromStdString(dir.Path("a|b.txt")));
    EXPECT_FALSE(w.lblFileError->text().isEmpty());
    w.ExecuteClicked();
    EXPECT_TRUE(w.isVisible());
  });
  EXPECT_EQ(result, 2);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("is not valid"), std::string::npos);
}

TEST_F(WizardTest, SecondExecuteDuringARunDoesNothing) {
  int inner = -1;
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    inner = wizard.Execute();
    w.Last();
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(inner, 2);
  EXPECT_FALSE(wizard.Busy());
}

TEST_F(WizardTest, SettingsAreReadBackFromTheWindow) {
  wizard.SetupSpecificationOnly = true;
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.chkAddTitle->setChecked(true);
    w.rbDelimSemicolon->setChecked(true);
    w.cmbQualifier->setCurrentIndex(1);
    w.cmbRecordSeparator->setCurrentIndex(2);
    w.edtDateSep->setText("-");
    w.Last();
    EXPECT_EQ(w.btnCancel->text().toStdString(), "&OK");
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(wizard.AddTitle);
  EXPECT_EQ(wizard.Separator, ';');
  EXPECT_EQ(wizard.TextQualifier, '"');
  EXPECT_EQ(wizard.RecordSeparator, "\n");
  EXPECT_EQ(wizard.DataFormats.DateSeparator, '-');
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.TXT")));
}

TEST_F(WizardTest, FixedWidthSelectsTheSpaceSeparator) {
  auto w = Window();
  w->rbFixed->setChecked(true);
  EXPECT_TRUE(w->rbDelimSpace->isChecked());
  w->edtDelimOther->setText("#");
  emit w->edtDelimOther->textEdited("#");
  EXPECT_TRUE(w->rbDelimOther->isChecked());
}

TEST(WizardProgress, CancelStopsTheRunAfterTheCurrentRecord) {
  std::vector<std::vector<TVariant>> rows;
  for (int k = 0; k < 10000; ++k) rows.push_back({TVariant::Integer(k)});
  TMemRowsEngine engine({"N"}, rows);
  TTempDir dir;
  TZelEQtServices services;
  services.MessageHook = [](TZelEMessageKind, const std::string&) {};
  TZelEWizardDlg wizard;
  wizard.SetServices(&services);
  wizard.ColumnSource = csDataEngine;
  wizard.DataEngine = &engine;
  wizard.FileName = dir.Path("big.TXT");
  bool modal = false;
  int updates = 0;
  TfrmZelEProcess::UpdateHook() = [&](TfrmZelEProcess& p) {
    modal = p.windowModality() == Qt::ApplicationModal && p.isVisible();
    if (++updates == 3) p.btnCancel->click();
  };
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.Last();
    w.ExecuteClicked();
  });
  TfrmZelEProcess::UpdateHook() = nullptr;
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(modal);
  EXPECT_EQ(wizard.Statistic.Result, erCanceled);
  EXPECT_GT(engine.Position(), 0u);
  EXPECT_LT(engine.Position(), 1000u);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("big.TXT")));
}

TEST(WizardProgress, WindowShowsUpdatesAndCountsClosingAsCancel) {
  TfrmZelEProcess w;
  w.Show("Exporting", "Starting", 0, 0, 1000, "Stop");
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.size(), QSize(442, 87));
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Exporting"));
  EXPECT_EQ(w.btnCancel->text(), QStringLiteral("Stop"));
  EXPECT_TRUE(w.ProgressBar->isVisibleTo(&w));
  w.Update("Record 500 (500/1000)", 500);
  EXPECT_EQ(w.lblStatus->text(), QStringLiteral("Record 500 (500/1000)"));
  EXPECT_EQ(w.ProgressBar->value(), 500);
  w.Update("beyond", 5000);  // a position past the range is held at its end
  EXPECT_EQ(w.ProgressBar->value(), 1000);
  EXPECT_FALSE(w.CancelRequested());
  w.btnCancel->click();
  EXPECT_TRUE(w.CancelRequested());
  w.SetCancelRequested(false);
  w.close();  // closing is Cancel too; the window stays until the run hides it
  EXPECT_TRUE(w.CancelRequested());
  w.Hide();
  EXPECT_FALSE(w.isVisible());
}

TEST(WizardProgress, BarIsHiddenWithoutARangeAndCancelKeepsItsCaption) {
  TfrmZelEProcess w;
  w.Show("Exporting", "", 0, 0, 0, "");
  EXPECT_FALSE(w.ProgressBar->isVisibleTo(&w));
  EXPECT_EQ(w.btnCancel->text(), QStringLiteral("&Cancel"));
  w.Hide();
}

}  // namespace
}  // namespace korvane::test
