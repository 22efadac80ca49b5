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

#include "export/ZelE2Cell.h"
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <optional>

#include "export/ZelEMonitor.h"
#include "platform/qt/ZelEQtServices.h"
#include "export/wizard/ZelESpecDlg.h"
#include "support/testformat.h"
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

TEST_F(WizardTest, FormatChoiceFollowsItsAccessRight) {
  wizard.UserAccess.TableType = erReadOnly;
  auto w = Window();
  EXPECT_EQ(w->Step(), 1);
  EXPECT_TRUE(w->scrCategories->isVisibleTo(w.get()));
  EXPECT_FALSE(w->FormatButton(teText)->isEnabled());
  EXPECT_TRUE(w->FormatButton(teText)->isChecked());
  EXPECT_TRUE(w->Next());
  EXPECT_FALSE(w->Back());
  EXPECT_EQ(w->Step(), 2);
  // Hidden: the window opens on the data origin step.
  wizard.UserAccess.TableType = erDisabled;
  auto w2 = Window();
  EXPECT_EQ(w2->Step(), 2);
  EXPECT_FALSE(w2->scrCategories->isVisibleTo(w2.get()));
  EXPECT_FALSE(w2->btnBack->isEnabled() && w2->Back());
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
  // The format's extension in another case is the user's choice of file.
  w->edtFileName->setText("/tmp/out/data.txt");
  w->SelectFormat(teText);
  EXPECT_EQ(w->edtFileName->text().toStdString(), "/tmp/out/data.txt");
  wizard.FileName = "/tmp/out/data.txt";
  EXPECT_EQ(Window()->edtFileName->text().toStdString(), "/tmp/out/data.txt");
}

TEST_F(WizardTest, FormatsWithoutAWriterAreListedButDisabled) {
  auto w = Window();
  for (int t = 0; t < kTableTypeCount; ++t) {
    auto tt = static_cast<TTableTypeExport>(t);
    QRadioButton* b = w->FormatButton(tt);
    ASSERT_NE(b, nullptr) << TableTypeName(tt);
    EXPECT_EQ(b->isEnabled(), ExportFormat(tt).Built()) << TableTypeName(tt);
  }
  EXPECT_TRUE(w->FormatButton(teText)->isChecked());
  wizard.Formats = FormatSet({teText, teHTML});
  wizard.Categories.ShowCategories = false;
  auto w2 = Window();
  EXPECT_NE(w2->FormatButton(teHTML), nullptr);
  EXPECT_EQ(w2->FormatButton(teXML), nullptr);
}

TEST_F(WizardTest, FileOriginIsOfferedOnlyWhereTheTextIsConverted) {
  auto w = Window();
  for (int i = 0; i < kTableTypeCount; ++i) {
    const auto t = static_cast<TTableTypeExport>(i);
    if (!ExportFormat(t).Built()) continue;
    w->SelectFormat(t);
    // The wizard offers the choice exactly where the writer converts its text.
    auto writer = CreateWriter(t);
    auto* cells = dynamic_cast<TZelExportToCellFile*>(writer.get());
    const bool converts = cells && (cells->UsesCharacterSet() || cells->UsesCodePage());
    EXPECT_EQ(w->cmbFileOrigin->isEnabled(), converts) << TableTypeName(t);
    EXPECT_EQ(w->cmbFileOrigin->toolTip().isEmpty(), converts) << TableTypeName(t);
  }
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
  EXPECT_TRUE(std::filesystem::exists(dir.Path("data.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("data.TXT")));
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

TEST_F(WizardTest, OverwriteIsAskedAlsoForFormatsThatCannotMerge) {
  wizard.ConfirmFileOverwrite = true;
  wizard.ConfirmCancelExit = false;
  wizard.SetupSpecificationOnly = true;
  wizard.SetTableType(teHTML);
  wizard.FileName = dir.Path("out.HTM");
  { std::ofstream(dir.Path("out.HTM")) << "old"; }
  answer = false;
  int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.Last();
    EXPECT_FALSE(w.chkMerge->isEnabled());
    w.ExecuteClicked();
    EXPECT_TRUE(w.isVisible());
    answer = true;
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0], dir.Path("out.HTM") + " file exists. To overwrite this file?");
  // No file, no question.
  questions.clear();
  wizard.FileName = dir.Path("new.HTM");
  EXPECT_EQ(RunWizard(wizard,
                      [&](TfrmZelEWizard& w) {
                        w.Last();
                        w.ExecuteClicked();
                      }),
            1);
  EXPECT_TRUE(questions.empty());
}

TEST_F(WizardTest, AltWithADigitMovesUntilThatStepOrStops) {
  RunWizard(wizard, [&](TfrmZelEWizard& w) {
    w.SelectFormat(teText);
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_6, Qt::AltModifier);
    EXPECT_EQ(w.Step(), 6);
    // Step 4 is not visited for text: the move ends next to it.
    QTest::keyClick(&w, Qt::Key_4, Qt::AltModifier);
    EXPECT_TRUE(w.Step() == 3 || w.Step() == 5) << w.Step();
    w.btnLast->click();
    EXPECT_EQ(w.Step(), 10);
    w.btnFirst->click();
    EXPECT_EQ(w.Step(), 1);
  });
}

// Specifications: the list of the user's folder, saving from the window, loading
// into it and deleting.
// The formats page's labels carry mnemonics that move to their boxes.
TEST_F(WizardTest, FormatLabelsAreMnemonicsOfTheirBoxes) {
  std::vector<std::pair<std::string, QWidget*>> found;
  RunWizard(wizard, [&](TfrmZelEWizard& w) {
    const std::vector<std::pair<const char*, QWidget*>> expected = {
        {"Date &Order:", w.cmbDateOrder},    {"Date De&limiter:", w.edtDateSep},
        {"Time Deli&miter:", w.edtTimeSep},  {"Decimal Sym&bol:", w.edtDecimal},
        {"&Thousand Separator:", w.edtThousand}, {"&Currency Symbol:", w.edtCurrency}};
    for (const auto& [text, box] : expected) {
      QLabel* label = nullptr;
      for (QLabel* l : w.findChildren<QLabel*>())
        if (l->text() == QString::fromLatin1(text)) label = l;
      ASSERT_NE(label, nullptr) << text;
      EXPECT_EQ(label->buddy(), box) << text;
    }
  });
}

class WizardSpecTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    if (const char* v = std::getenv("XDG_DATA_HOME")) oldData = v;
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  }
  void TearDown() override {
    if (oldData)
      setenv("XDG_DATA_HOME", oldData->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }
  std::string Folder() const { return data.Path("korvane/specifications"); }
  TTempDir data;
  std::optional<std::string> oldData;
};

TEST_F(WizardSpecTest, SavedSpecificationIsListedLoadedAndDeleted) {
  TZelEWizardDlg fresh;
  EXPECT_EQ(fresh.SpecificationDir, Folder());
  wizard.SpecificationDir = Folder();
  std::vector<std::string> proposed;
  services.SaveSpecHook = [&](std::string& name, std::string& file) {
    proposed = {name, file};
    name = "Weekly HTML";
    file = Folder() + "/weekly.zele";
    return true;
  };
  auto w = Window();
  w->SelectFormat(teHTML);
  w->chkAddTitle->setChecked(true);
  int listed = -1;
  w->RunSpecsDialog = [&](TfrmZelESpecs& d) {
    listed = d.lstSpecs->count();
    EXPECT_FALSE(d.btnLoad->isEnabled());
    EXPECT_FALSE(d.btnDelete->isEnabled());
    d.btnSave->click();
    return d.result();
  };
  w->SpecificationsClicked();
  EXPECT_EQ(listed, 0);
  // The proposed file is visible (not a bare ".zele") and in the user's folder.
  ASSERT_EQ(proposed.size(), 2u);
  EXPECT_EQ(proposed[0], "Export specification");
  EXPECT_EQ(proposed[1], Folder() + "/Export specification.zele");
  std::string text = ReadFile(Folder() + "/weekly.zele");
  EXPECT_NE(text.find("Specification=Weekly HTML\r\n"), std::string::npos);
  EXPECT_NE(text.find("TableType=HTML\r\n"), std::string::npos);
  EXPECT_NE(text.find("AddTitle=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("[SQL]\r\n"), std::string::npos);

  // Back to text in the window, then load the saved one.
  w->SelectFormat(teText);
  w->chkAddTitle->setChecked(false);
  w->RunSpecsDialog = [&](TfrmZelESpecs& d) {
    EXPECT_EQ(d.lstSpecs->count(), 1);
    EXPECT_EQ(d.lstSpecs->item(0)->text().toStdString(), "Weekly HTML");
    EXPECT_EQ(d.Selected()->FileName, Folder() + "/weekly.zele");
    d.btnLoad->click();
    return d.result();
  };
  w->SpecificationsClicked();
  EXPECT_EQ(w->SelectedFormat(), teHTML);
  EXPECT_TRUE(w->chkAddTitle->isChecked());
  EXPECT_EQ(w->edtFileName->text().toStdString(), dir.Path("out.HTM"));
  EXPECT_EQ(w->lstColumns->count(), 3);

  // Save again with the entry selected: the dialog proposes its name and file.
  w->RunSpecsDialog = [&](TfrmZelESpecs& d) {
    d.btnSave->click();
    return d.result();
  };
  proposed.clear();
  w->SpecificationsClicked();
  EXPECT_EQ(proposed, (std::vector<std::string>{"Weekly HTML", Folder() + "/weekly.zele"}));

  // Delete asks with the file name; No keeps the file.
  std::vector<QString> asked;
  w->RunSpecsDialog = [&](TfrmZelESpecs& d) {
    d.AskDelete = [&](const QString& q) {
      asked.push_back(q);
      return asked.size() > 1;
    };
    d.btnDelete->click();
    EXPECT_EQ(d.lstSpecs->count(), 1);
    d.btnDelete->click();
    EXPECT_EQ(d.lstSpecs->count(), 0);
    EXPECT_FALSE(d.btnLoad->isEnabled());
    d.btnClose->click();
    return d.result();
  };
  w->SpecificationsClicked();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].toStdString(), "Delete import specification " + Folder() + "/weekly.zele?");
  EXPECT_FALSE(std::filesystem::exists(Folder() + "/weekly.zele"));
}

TEST_F(WizardSpecTest, SaveDialogProposesANamedFileAndCreatesTheFolder) {
  wizard.SpecificationDir = Folder();
  wizard.SetTableType(teXML);
  // The real dialog, answered from the event loop.
  QString proposedName, proposedFile;
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<TfrmZelESaveSpec*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    proposedName = d->edtSpecName->text();
    proposedFile = d->edtFileName->text();
    d->edtSpecName->setText("Monthly: XML/all");
    d->edtFileName->setText(QString::fromStdString(Folder() + "/sub/monthly.zele"));
    d->btnOK->click();
  });
  EXPECT_TRUE(wizard.SaveSpecification("", "", true));
  EXPECT_EQ(proposedName.toStdString(), "Export specification");
  EXPECT_EQ(proposedFile.toStdString(), Folder() + "/Export specification.zele");
  EXPECT_NE(ReadFile(Folder() + "/sub/monthly.zele").find("TableType=XML"), std::string::npos);
  // A name with characters that do not belong in file names.
  EXPECT_EQ(SpecificationFileBaseName("Monthly: XML/all"), "Monthly_ XML_all");
  EXPECT_EQ(SpecificationFileBaseName(" .. "), "Export specification");
  // Cancel writes nothing.
  QTimer::singleShot(0, [&] {
    if (auto* d = qobject_cast<TfrmZelESaveSpec*>(QApplication::activeModalWidget())) d->btnCancel->click();
  });
  EXPECT_FALSE(wizard.SaveSpecification("Other", Folder() + "/other.zele", true));
  EXPECT_FALSE(std::filesystem::exists(Folder() + "/other.zele"));
}

// Settings saved under a new name go to a file named after it, and an existing
// file is replaced only when the user agrees.
TEST_F(WizardSpecTest, SaveUnderANewNameProposesItsFileAndAsksBeforeReplacing) {
  wizard.SpecificationDir = Folder();
  wizard.SetTableType(teXML);
  std::vector<QString> asked;
  bool stayedOpen = false;
  auto save = [&](const QString& typed, std::vector<bool> answers, QString* proposed) {
    QTimer::singleShot(0, [&, typed, answers, proposed] {
      auto* d = qobject_cast<TfrmZelESaveSpec*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      size_t next = 0;
      d->AskReplace = [&asked, answers, next](const QString& q) mutable {
        asked.push_back(q);
        return next < answers.size() && answers[next++];
      };
      d->edtSpecName->selectAll();
      QTest::keyClicks(d->edtSpecName, typed);
      *proposed = d->edtFileName->text();
      d->btnOK->click();
      if (d->isVisible()) {
        stayedOpen = true;
        d->btnOK->click();  // the second answer
      }
      if (d->isVisible()) d->btnCancel->click();
    });
    return wizard.SaveSpecification("", "", true);
  };
  QString proposed;
  ASSERT_TRUE(save("Monthly: XML/all", {}, &proposed));
  EXPECT_EQ(proposed.toStdString(), Folder() + "/Monthly_ XML_all.zele");
  EXPECT_TRUE(asked.empty());
  ASSERT_TRUE(save("Weekly", {}, &proposed));
  EXPECT_EQ(proposed.toStdString(), Folder() + "/Weekly.zele");
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/Monthly_ XML_all.zele"));  // the first stays
  EXPECT_NE(ReadFile(Folder() + "/Weekly.zele").find("Specification=Weekly"), std::string::npos);

  // The same name again: No keeps the dialog open, Yes replaces the file.
  wizard.SetTableType(teHTML);
  ASSERT_TRUE(save("Weekly", {false, true}, &proposed));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].toStdString(), "File " + Folder() + "/Weekly.zele already exists. Do you want to replace it?");
  EXPECT_TRUE(stayedOpen);
  EXPECT_NE(ReadFile(Folder() + "/Weekly.zele").find("TableType=HTML"), std::string::npos);
  // No twice: cancelled, nothing written.
  wizard.SetTableType(teText);
  EXPECT_FALSE(save("Weekly", {false, false}, &proposed));
  EXPECT_NE(ReadFile(Folder() + "/Weekly.zele").find("TableType=HTML"), std::string::npos);
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

// A format that is one writer and one row is offered by the wizard and run by it,
// with its own setting.
TEST_F(WizardTest, AFormatOfOneRowIsOfferedAndRun) {
  const TZelEFormat replaced = RegisterTestCellsFormat();
  {
    auto w = Window();
    QRadioButton* b = w->FormatButton(teSYLK);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->isEnabled());
    EXPECT_EQ(b->objectName(), QStringLiteral("rbFormatTestCells"));
  }
  wizard.SetTableType(teSYLK);
  wizard.FileName = dir.Path("cells.TST");
  wizard.FormatSettings.Get<TTestCellsSettings>(teSYLK).Marker = "w";
  wizard.RunExport();
  ReplaceExportFormat(replaced);
  ASSERT_EQ(wizard.Statistic.Result, erCompleted) << wizard.Statistic.Message;
  std::ifstream in(dir.Path("cells.TST"));
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first, "w text a1");
  EXPECT_EQ(second, "w integer 10");
}

}  // namespace
}  // namespace korvane::test
