// The Export button: the wizard over the main grid, its run, the progress window
// and the folder of the default and of bare file names.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "export/formats/ZelE2TXT.h"
#include "export/wizard/ZelESpecDlg.h"
#include "export/wizard/ZelEWiz.h"
#include "export/wizard/frmZelEWizard.h"
#include "platform/qt/ZelEQtServices.h"
#include "viewer_support.h"

namespace korvane::test {
namespace {

// Presses the main window's Export button; `drive` runs on the shown wizard from
// its event loop and closes it (whatever it leaves open is cancelled).
// Answers how often the wizard window was shown.
int PressExport(TForm1& form, std::function<void(TfrmZelEWizard&)> drive) {
  TZelEWizardDlg& wizard = form.ZelEWizardDlg1();
  int shown = 0;
  wizard.OnShow = [&shown, drive](TfrmZelEWizard& w) {
    ++shown;
    QTimer::singleShot(0, &w, [&w, drive] {
      drive(w);
      if (w.isVisible()) {
        w.Owner().ConfirmCancelExit = false;
        w.reject();
      }
    });
  };
  form.ToolButton("ToolButton5")->click();
  wizard.OnShow = nullptr;
  return shown;
}

// Records the run's messages; every question is answered Yes and recorded.
void AnswerExportDialogs(TForm1& form, std::vector<std::string>& messages) {
  TZelEQtServices& s = form.ExportServices();
  s.MessageHook = [&messages](TZelEMessageKind, const std::string& text) { messages.push_back(text); };
  s.AskHook = [&messages](const std::string& q) {
    messages.push_back("? " + q);
    return true;
  };
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t p = 0;
  while (p < text.size()) {
    size_t e = text.find("\r\n", p);
    if (e == std::string::npos) e = text.size();
    out.push_back(text.substr(p, e - p));
    p = e + 2;
  }
  return out;
}

// Sets HOME and a documents folder HOME/Papers for xdg-user-dir; restores both.
class TDocumentsHome {
 public:
  TDocumentsHome() : home_(TempDir()) {
    Save("HOME", oldHome_);
    Save("XDG_CONFIG_HOME", oldConfig_);
    std::filesystem::create_directories(home_ + "/.config");
    std::filesystem::create_directories(Documents());
    std::ofstream(home_ + "/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
  }
  ~TDocumentsHome() {
    Restore("HOME", oldHome_);
    Restore("XDG_CONFIG_HOME", oldConfig_);
  }
  std::string Documents() const { return home_ + "/Papers"; }

 private:
  static void Save(const char* name, std::optional<std::string>& slot) {
    if (const char* v = std::getenv(name)) slot = v;
  }
  static void Restore(const char* name, const std::optional<std::string>& slot) {
    if (slot)
      setenv(name, slot->c_str(), 1);
    else
      unsetenv(name);
  }
  std::string home_;
  std::optional<std::string> oldHome_, oldConfig_;
};

class ExportButtonTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    AnswerExportDialogs(*form, exportMessages);
  }
  void TearDown() override {
    TfrmZelEProcess::UpdateHook() = nullptr;
    ViewerTest::TearDown();
  }
  std::vector<std::string> exportMessages;
};

// The whole road: a real table, columns reordered and one hidden in the grid, the
// wizard driven step by step (one column renamed for the file), the progress window, the file read back. With
// KORVANE_EXPORT_OUT set the file is left in that folder (the csv check of the
// scripts reads it).
TEST_F(ExportButtonTest, WritesTheGridColumnsOfARealTable) {
  ASSERT_TRUE(OpenThroughDialog(TestData("paradoxdriver/db/AREACODES.DB")));
  TGridColumns& grid = form->GridColumns();
  int cities = grid.IndexOfField("Cities"), state = grid.IndexOfField("State");
  ASSERT_GE(cities, 0);
  ASSERT_GE(state, 0);
  grid.At(state).Visible = false;
  grid.Changed();
  grid.Move(cities, 0);
  const std::vector<TGridColumn> before = grid.Columns();

  const char* keep = std::getenv("KORVANE_EXPORT_OUT");
  std::string folder = keep && *keep ? keep : TempDir();
  std::string file = folder + "/areacodes.TXT";
  std::filesystem::remove(file);

  int progressUpdates = 0, shownDuringRun = -1;
  bool modal = false, parented = false, closedDuringRun = true;
  TfrmZelEProcess::UpdateHook() = [&](TfrmZelEProcess& p) {
    if (++progressUpdates > 1) return;
    modal = p.isVisible() && p.windowModality() == Qt::ApplicationModal && QApplication::activeModalWidget() == &p;
    parented = p.parentWidget() == form.get();
    // A second Export in the middle of the run does nothing, and the main window
    // does not close.
    shownDuringRun = PressExport(*form, [](TfrmZelEWizard&) {});
    closedDuringRun = form->close();
  };
  std::vector<std::string> listed;
  int shown = PressExport(*form, [&](TfrmZelEWizard& w) {
    EXPECT_TRUE(w.FormatButton(teText)->isChecked());
    EXPECT_EQ(w.edtFileName->text().toStdString(), UserDocumentsFolder() + "/ZelExport.TXT");
    w.GoToStep(2);
    w.chkAddTitle->setChecked(true);
    w.GoToStep(3);
    ASSERT_EQ(w.Step(), 3);
    w.rbDelimComma->setChecked(true);
    w.cmbQualifier->setCurrentIndex(1);  // the double quote
    w.GoToStep(6);
    ASSERT_EQ(w.Step(), 6);
    for (int r = 0; r < w.lstColumns->count(); ++r)
      listed.push_back(w.lstColumns->item(r)->text().toStdString() +
                       (w.lstColumns->item(r)->checkState() == Qt::Checked ? "" : " (off)"));
    // A new title for the file only.
    w.lstColumns->setCurrentRow(1);
    w.edtTitleCaption->setText("Area code");
    emit w.edtTitleCaption->textEdited("Area code");
    w.Last();
    w.edtFileName->setText(QString::fromStdString(file));
    w.ExecuteClicked();
  });
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(listed, (std::vector<std::string>{"Cities", "AC", "State (off)"}));
  const TZelEWizardDlg& wizard = form->ZelEWizardDlg1();
  EXPECT_EQ(wizard.Statistic.Result, erCompleted) << wizard.Statistic.Message;
  EXPECT_GT(progressUpdates, 0);
  EXPECT_TRUE(modal);
  EXPECT_TRUE(parented);
  EXPECT_EQ(shownDuringRun, 0);
  EXPECT_FALSE(closedDuringRun);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(wizard.Busy());

  std::vector<std::string> lines = Lines(ReadFile(file));
  ASSERT_EQ(lines.size(), 371u);
  EXPECT_EQ(lines[0], "\"Cities\",\"Area code\"");
  EXPECT_EQ(lines[1], "\"Hackensack, Jersey City (201/551 overlay)\",\"201\"");
  // The grid is as the user left it, on the record it showed.
  ASSERT_EQ(grid.Count(), static_cast<int>(before.size()));
  for (int k = 0; k < grid.Count(); ++k) {
    EXPECT_EQ(grid[k].FieldName, before[static_cast<size_t>(k)].FieldName);
    EXPECT_EQ(grid[k].Visible, before[static_cast<size_t>(k)].Visible);
    EXPECT_EQ(grid[k].Title.Caption, before[static_cast<size_t>(k)].Title.Caption);
  }
  EXPECT_EQ(form->Pdx1().RecNo(), 1);
  EXPECT_EQ(wizard.Columns.Count(), 0);
}

// Field names are stored in the table's code page, values reach the run as UTF-8:
// the titles in the file and the names in the column list are UTF-8 as well.
TEST_F(ExportButtonTest, TitlesAreWrittenInTheEncodingOfTheValues) {
  ASSERT_TRUE(OpenThroughDialog(TestData("Rparadox/TypSammlung.DB")));
  std::string file = TempDir() + "/typen.TXT";
  QString listed;
  PressExport(*form, [&](TfrmZelEWizard& w) {
    w.chkAddTitle->setChecked(true);
    w.GoToStep(6);
    for (int r = 0; r < w.lstColumns->count(); ++r)
      if (w.lstColumns->item(r)->text().startsWith("W")) listed = w.lstColumns->item(r)->text();
    w.Last();
    w.edtFileName->setText(QString::fromStdString(file));
    w.ExecuteClicked();
  });
  EXPECT_EQ(listed, QString::fromUtf8("W\u00e4hrung"));
  std::string text = ReadFile(file);
  std::string header = text.substr(0, text.find("\r\n"));
  EXPECT_NE(header.find("\tW\u00e4hrung\t"), std::string::npos) << header;
  EXPECT_NE(header.find("\tZ\u00e4hler"), std::string::npos) << header;
  EXPECT_NE(text.find("F\u00fcnfter Datensatz"), std::string::npos);
  EXPECT_TRUE(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8().toStdString() == text);
}

// What the wizard can save, the command line replays: export settings saved from
// the wizard's window and given to korvane-cli export write the same bytes as the
// wizard's own run.
TEST_F(ExportButtonTest, SpecificationSavedFromTheWizardReplaysOnTheCommandLine) {
  const std::string table = TestData("Rparadox/TypSammlung.DB");
  ASSERT_TRUE(OpenThroughDialog(table));
  TGridColumns& grid = form->GridColumns();
  grid.At(grid.IndexOfField("Logisch")).Visible = false;
  grid.Changed();
  grid.Move(grid.IndexOfField("Datum"), 0);
  const std::string folder = TempDir();
  const std::string spec = folder + "/typen.zele", wizardFile = folder + "/wizard.TXT",
                    cliFile = folder + "/cli.TXT";
  TZelEWizardDlg& wizard = form->ZelEWizardDlg1();
  wizard.SpecificationDir = folder;
  // Settings of the formats' own travel too: every value in the qualifier, and SQL
  // options the text run does not use but the file must keep.
  wizard.FormatSettings.Get<TZelETextSettings>(teText).TextQualifying = tqAny;
  wizard.SQLOptions().SQLTerm = "GO";
  wizard.SQLOptions().MultiRowInsert = true;
  form->ExportServices().SaveSpecHook = [&](std::string& name, std::string& file) {
    name = "Typen";
    file = spec;
    return true;
  };
  PressExport(*form, [&](TfrmZelEWizard& w) {
    w.chkAddTitle->setChecked(true);
    w.rbDelimSemicolon->setChecked(true);
    w.cmbQualifier->setCurrentIndex(1);
    w.edtDateSep->setText("-");
    w.chkFourDigit->setChecked(true);
    w.edtTrue->setText("ja");
    w.GoToStep(6);
    ASSERT_EQ(w.Step(), 6);
    for (int r = 0; r < w.lstColumns->count(); ++r) {
      QListWidgetItem* item = w.lstColumns->item(r);
      if (item->text() == QString::fromUtf8("W\u00e4hrung")) {
        w.lstColumns->setCurrentRow(r);
        w.edtTitleCaption->setText("Betrag");
        emit w.edtTitleCaption->textEdited("Betrag");
      }
      if (item->text() == "Memo") item->setCheckState(Qt::Unchecked);
    }
    w.Last();
    w.edtFileName->setText(QString::fromStdString(wizardFile));
    w.RunSpecsDialog = [](TfrmZelESpecs& d) {
      d.btnSave->click();
      return d.result();
    };
    w.SpecificationsClicked();
    w.ExecuteClicked();
  });
  ASSERT_EQ(wizard.Statistic.Result, erCompleted) << wizard.Statistic.Message;
  ASSERT_TRUE(std::filesystem::exists(spec));

  QProcess cli;
  cli.start(QString::fromStdString(CliPath()),
            {"export", QString::fromStdString(table), "--spec", QString::fromStdString(spec), "--output",
             QString::fromStdString(cliFile), "--quiet"});
  ASSERT_TRUE(cli.waitForFinished(60000));
  EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  const std::string expected = ReadFile(wizardFile);
  EXPECT_EQ(ReadFile(cliFile), expected) << ReadFile(spec);
  // The run did what was chosen: new title, the memo and the hidden column left out.
  std::string header = expected.substr(0, expected.find("\r\n"));
  EXPECT_EQ(header.substr(0, 16), "\"Datum\";\"Alpha\";");
  EXPECT_NE(header.find("\"Betrag\""), std::string::npos) << header;
  EXPECT_EQ(header.find("Memo"), std::string::npos) << header;
  EXPECT_EQ(header.find("Logisch"), std::string::npos) << header;
  // Every value qualified, numbers too; the SQL options are in the file.
  const std::string saved = ReadFile(spec);
  EXPECT_NE(saved.find("\r\nTextQualifying=0\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nSQLTerm=GO\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nMultiRowInsert=1\r\n"), std::string::npos) << saved;
  const std::string second = expected.substr(expected.find("\r\n") + 2);
  EXPECT_EQ(second.find(";1"), std::string::npos) << second;
}

// "Selected records only" writes the rows selected in the grid; with none selected
// the current record; a run without a record says so instead of calling it a success.
TEST_F(ExportButtonTest, SelectedRecordsOnlyWritesTheGridSelection) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  form->GridColumns().At(3).Visible = false;  // one line per record: no memo
  form->GridColumns().Changed();
  TDBGrid* grid = form->DBGrid1();
  grid->ClickRecord(3, Qt::ControlModifier);
  grid->ClickRecord(0, Qt::ControlModifier);
  grid->ClickRecord(4, Qt::ControlModifier);
  form->Pdx1().SetRecNo(2);
  const std::string file = TempDir() + "/selected.TXT";
  auto run = [&] {
    PressExport(*form, [&](TfrmZelEWizard& w) {
      w.GoToStep(2);
      EXPECT_TRUE(w.chkSelectedRecord->isEnabled());
      w.chkSelectedRecord->setChecked(true);
      w.Last();
      w.edtFileName->setText(QString::fromStdString(file));
      w.ExecuteClicked();
    });
    return Lines(ReadFile(file));
  };
  std::vector<std::string> lines = run();
  auto first = [](const std::string& line) { return line.substr(0, line.find('\t')); };
  ASSERT_EQ(lines.size(), 3u) << ReadFile(file);
  EXPECT_EQ(first(lines[0]), "Alice");
  EXPECT_EQ(first(lines[1]), "Carol");
  EXPECT_EQ(first(lines[2]), "Dave");
  EXPECT_EQ(form->Pdx1().RecNo(), 2);  // back on the record the user was on
  const TZelEWizardDlg& wizard = form->ZelEWizardDlg1();
  EXPECT_NE(wizard.Statistic.Message.find("successfully generated"), std::string::npos) << wizard.Statistic.Message;

  grid->ClearSelectedRecords();
  lines = run();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(first(lines[0]), "Bob");
}

TEST_F(ExportButtonTest, ARunWithoutRecordsSaysSo) {
  ASSERT_TRUE(OpenThroughDialog(EmptyTable()));
  const std::string file = TempDir() + "/empty.TXT";
  PressExport(*form, [&](TfrmZelEWizard& w) {
    w.GoToStep(2);
    w.chkSelectedRecord->setChecked(true);
    w.Last();
    w.edtFileName->setText(QString::fromStdString(file));
    w.ExecuteClicked();
  });
  const TZelEWizardDlg& wizard = form->ZelEWizardDlg1();
  EXPECT_EQ(wizard.Statistic.Result, erCompleted);
  EXPECT_EQ(wizard.Statistic.Message, "No record was exported: the " + file + " file holds no records.");
}

TEST_F(ExportButtonTest, WithoutAnOpenTableNoWizardIsShown) {
  EXPECT_EQ(PressExport(*form, [](TfrmZelEWizard&) {}), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].second, QStringLiteral("Open a table to export it."));
}

TEST_F(ExportButtonTest, CancelledWizardWritesNothingAndKeepsItsSettings) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  std::string before = form->ZelEWizardDlg1().FileName;
  EXPECT_EQ(PressExport(*form,
                        [](TfrmZelEWizard& w) {
                          w.SelectFormat(teHTML);
                          w.btnCancel->click();
                        }),
            1);
  EXPECT_EQ(form->ZelEWizardDlg1().FileName, before);
  EXPECT_EQ(form->ZelEWizardDlg1().TableType(), teText);
  EXPECT_FALSE(std::filesystem::exists(before));
}

// The wizard of a fresh main window: its settings, and the user's documents
// folder for the default file and for a bare file name.
TEST(ExportButton, DefaultAndBareFileNamesLieInTheDocumentsFolder) {
  TDocumentsHome home;
  TUiRecorder ui;
  TForm1 form;
  std::vector<std::string> messages;
  AnswerExportDialogs(form, messages);
  TZelEWizardDlg& w = form.ZelEWizardDlg1();
  EXPECT_EQ(w.FileName, home.Documents() + "/ZelExport.TXT");
  EXPECT_EQ(w.TableType(), teText);
  EXPECT_EQ(w.RecordSeparator, "\r\n");
  EXPECT_FALSE(w.AddTitle);
  EXPECT_EQ(w.ColumnSource, csDBGrid);
  EXPECT_EQ(w.DBGrid, &form.GridColumns());
  EXPECT_EQ(w.DataSet, &form.Pdx1());
  EXPECT_EQ(w.Formats, TExportFormatTypes::All());
  EXPECT_EQ(form.ExportServices().Parent(), &form);
  EXPECT_TRUE(w.ConfirmFileOverwrite);
  EXPECT_EQ(w.DataFormats, TZelEDataFormats::MainWindowDefaults());

  ui.files.push_back(QString::fromStdString(PeopleTable()));
  form.Open1Click();
  ASSERT_TRUE(form.Pdx1().Active());
  PressExport(form, [](TfrmZelEWizard& w) {
    w.Last();
    w.edtFileName->setText("bare.txt");
    w.ExecuteClicked();
  });
  EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  std::string written = home.Documents() + "/bare.txt";
  ASSERT_TRUE(std::filesystem::exists(written));
  std::string text = ReadFile(written);
  EXPECT_EQ(text.substr(0, 9), "Alice\t10\t");
  EXPECT_NE(text.find("\r\nBob\t20\t"), std::string::npos);
  // The same bare name again: the file in the documents folder is there now.
  messages.clear();
  PressExport(form, [](TfrmZelEWizard& w) {
    w.Last();
    w.ExecuteClicked();
  });
  ASSERT_FALSE(messages.empty()) << w.FileName;
  EXPECT_EQ(messages.at(0), "? " + written + " file exists. To overwrite this file?");
}

}  // namespace
}  // namespace korvane::test
