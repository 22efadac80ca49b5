// The database targets in the wizard: Access listed greyed with its reason, the
// database target's connection string, a run into SQLite, and the connection dialog.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/pdx.h"
#include "export/ZelEFormats.h"
#include "export/wizard/ZelEConnDlg.h"
#include "platform/odbc/odbc.h"
#include "platform/qt/ZelEQtServices.h"
#include "support/fixtures.h"
#include "tests/wizard/wizard_test_util.h"

namespace korvane::test {
namespace {

struct WizardADO : ::testing::Test {
  void SetUp() override {
    path = MakeTable("Name=A10,Qty=I", {{TWriterValue("apple"), TWriterValue(3)}, {TWriterValue("pear"), std::nullopt}});
    table.SetTableName(path);
    table.Open();
    services.NoProgressWindow = true;
    wizard.SetServices(&services);
    wizard.ColumnSource = csDataSet;
    wizard.DataSet = &table;
    wizard.FileName = dir.Path("out.TXT");
    wizard.Options.Exclude(soShowMessage);
  }
  TTempDir dir;
  std::string path;
  TPdx table;
  TZelEQtServices services;
  TZelEWizardDlg wizard;
};

TEST_F(WizardADO, AccessIsGreyedWithItsReasonAndTheDatabaseTargetIsOffered) {
  auto w = std::make_unique<TfrmZelEWizard>(wizard);
  QRadioButton* access = w->FormatButton(teAccess);
  ASSERT_NE(access, nullptr);
  EXPECT_FALSE(access->isEnabled());
  EXPECT_EQ(access->toolTip().toStdString(), kZelEAccessUnavailable);
  ASSERT_NE(w->FormatButton(teADO), nullptr);
  EXPECT_TRUE(w->FormatButton(teADO)->isEnabled());
}

TEST_F(WizardADO, AFileNameBecomesAnSQLiteDatabaseAndComesBackAsAFile) {
  auto w = std::make_unique<TfrmZelEWizard>(wizard);
  w->SelectFormat(teADO);
  const std::string connection = "DRIVER={SQLite3};Database=" + dir.Path("out.TXT");
  EXPECT_EQ(w->edtFileName->text().toStdString(), connection);
  w->SelectFormat(teXML);
  EXPECT_EQ(w->edtFileName->text().toStdString(), dir.Path("out.XML"));
}

TEST_F(WizardADO, ARunWritesTheRowsIntoTheDatabase) {
  const std::string db = dir.Path("rows.sqlite");
  wizard.FileName = "DRIVER={SQLite3};Database=" + db;
  wizard.SetTableType(teADO);
  wizard.TableName = "fruit";
  int result = RunWizard(wizard, [](TfrmZelEWizard& w) {
    w.Last();
    w.ExecuteClicked();
  });
  EXPECT_EQ(result, 1);
  ASSERT_EQ(wizard.Statistic.Result, erCompleted) << wizard.Statistic.Message;
  odbc::TConnection c;
  c.Open(wizard.FileName);
  EXPECT_EQ(c.QueryColumn("SELECT Name || '=' || quote(Qty) FROM fruit ORDER BY rowid"),
            (std::vector<std::string>{"apple=3", "pear=NULL"}));
}

TEST(ConnectionDialog, FieldsOfAStringAndTheStringOfTheFields) {
  TfrmZelEConnection dlg("DRIVER={PostgreSQL Unicode};SERVER=/run/pg;PORT=5432;DATABASE=db;UID=me;PWD=p;w;"
                         "SSLmode=disable");
  EXPECT_EQ(dlg.cmbSource->currentText().toStdString(), "PostgreSQL Unicode");
  EXPECT_EQ(dlg.edtServer->text().toStdString(), "/run/pg");
  EXPECT_EQ(dlg.edtPort->text().toStdString(), "5432");
  EXPECT_EQ(dlg.edtDatabase->text().toStdString(), "db");
  EXPECT_EQ(dlg.edtUser->text().toStdString(), "me");
  // "PWD=p" ends at the first ";"; "w" is an attribute of its own without a value.
  EXPECT_EQ(dlg.edtPassword->text().toStdString(), "p");
  EXPECT_EQ(dlg.edtMore->text().toStdString(), "w;SSLmode=disable");
  dlg.edtPassword->setText("p;w");
  EXPECT_EQ(dlg.ConnectionString(),
            "DRIVER={PostgreSQL Unicode};SERVER=/run/pg;PORT=5432;DATABASE=db;UID=me;PWD={p;w};w;SSLmode=disable");
  EXPECT_EQ(dlg.memResult->toPlainText().toStdString(), dlg.ConnectionString());
  // The Test button reports what the connection said.
  std::string tried;
  dlg.TryConnect = [&](const std::string& c) {
    tried = c;
    return std::string("refused");
  };
  dlg.btnTest->click();
  EXPECT_EQ(tried, dlg.ConnectionString());
  EXPECT_EQ(dlg.lblTest->text().toStdString(), "refused");
}

TEST(ConnectionDialog, AFileNameOpensAnSQLiteDatabase) {
  TfrmZelEConnection dlg("/tmp/a.sqlite");
  EXPECT_EQ(dlg.cmbSource->currentText().toStdString(), "SQLite3");
  EXPECT_EQ(dlg.edtFile->text().toStdString(), "/tmp/a.sqlite");
  EXPECT_EQ(dlg.ConnectionString(), "DRIVER={SQLite3};Database=/tmp/a.sqlite");
  dlg.edtUser->setText("u");
  EXPECT_EQ(dlg.ConnectionString(), "DRIVER={SQLite3};Database=/tmp/a.sqlite;UID=u");
}

}  // namespace
}  // namespace korvane::test
