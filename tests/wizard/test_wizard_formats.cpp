// The wizard's formats page: what it shows is what is written.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include "engine/pdx.h"
#include "support/fixtures.h"
#include "wizard_test_util.h"

namespace korvane::test {
namespace {

struct WizardFormats : ::testing::Test {
  void SetUp() override {
    path = MakeTable("D=D,S=@,C=$", {{TWriterValue(PdxDayNumber(1968, 12, 5)),
                                      TWriterValue(PdxTimestamp(1936, 2, 7, 13, 4, 5)), TWriterValue(13.002)}});
    table.SetTableName(path);
    table.Open();
    services.NoProgressWindow = true;
    wizard.SetServices(&services);
    wizard.ColumnSource = csDataSet;
    wizard.DataSet = &table;
    wizard.FileName = dir.Path("out.TXT");
    wizard.Options.Exclude(soShowMessage);
    wizard.Separator = ',';
    wizard.RecordSeparator = "\n";
    wizard.DataFormats = TZelEDataFormats::MainWindowDefaults();
    wizard.DataFormats.FourDigitYear = false;  // as a settings file of old may say
  }
  // Runs the wizard; `page` sets the window up before Execute.
  std::string Run(const std::function<void(TfrmZelEWizard&)>& page) {
    std::filesystem::remove(dir.Path("out.TXT"));
    int result = RunWizard(wizard, [&](TfrmZelEWizard& w) {
      page(w);
      w.Last();
      w.ExecuteClicked();
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(wizard.Statistic.Result, erCompleted) << wizard.Statistic.Message;
    return ReadFile(dir.Path("out.TXT"));
  }

  TTempDir dir;
  std::string path;
  TPdx table;
  TZelEQtServices services;
  TZelEWizardDlg wizard;
};

TEST_F(WizardFormats, DefaultsWriteFourDigitYears) {
  EXPECT_TRUE(TZelEDataFormats::MainWindowDefaults().FourDigitYear);
}

TEST_F(WizardFormats, SettingsAreDisabledWhileTheOriginalValuesAreWritten) {
  std::string plain = Run([](TfrmZelEWizard& w) {
    // The text format offers the choice; while the original values are written
    // the formats page is disabled as a whole.
    EXPECT_TRUE(w.chkOriginalTypes->isEnabled());
    EXPECT_TRUE(w.chkOriginalTypes->isChecked());
    EXPECT_FALSE(w.grpFormats->isEnabled());
    EXPECT_FALSE(w.chkFourDigit->isEnabled());
    w.chkOriginalTypes->setChecked(false);
    EXPECT_TRUE(w.grpFormats->isEnabled());
    EXPECT_TRUE(w.chkFourDigit->isEnabled());
    w.chkOriginalTypes->setChecked(true);
    EXPECT_FALSE(w.grpFormats->isEnabled());
    // Changing a disabled setting changes nothing written.
    w.chkFourDigit->setChecked(false);
    w.cmbDateOrder->setCurrentIndex(doMDY);
  });
  // The regional form, years with four digits, money with every digit.
  EXPECT_NE(plain.find("1968"), std::string::npos) << plain;
  EXPECT_NE(plain.find("1936"), std::string::npos) << plain;
  EXPECT_NE(plain.find("13.002"), std::string::npos) << plain;
  EXPECT_FALSE(wizard.Options.Has(soFieldMask));
}

TEST_F(WizardFormats, TickingFourDigitYearsAndYmdChangesTheFile) {
  std::string twoDigits = Run([](TfrmZelEWizard& w) {
    w.chkOriginalTypes->setChecked(false);
    EXPECT_FALSE(w.chkFourDigit->isChecked());
  });
  EXPECT_EQ(twoDigits, "05/12/68,07/02/36 13:04:05,\xC2\xA3" "13.002\n");
  std::string ticked = Run([](TfrmZelEWizard& w) {
    EXPECT_FALSE(w.chkOriginalTypes->isChecked());  // kept from the last run
    EXPECT_TRUE(w.grpFormats->isEnabled());
    w.chkFourDigit->setChecked(true);
    w.cmbDateOrder->setCurrentIndex(doYMD);
  });
  EXPECT_EQ(ticked, "1968/12/05,1936/02/07 13:04:05,\xC2\xA3" "13.002\n");
  EXPECT_TRUE(wizard.Options.Has(soFieldMask));
  EXPECT_TRUE(wizard.DataFormats.FourDigitYear);
  EXPECT_EQ(wizard.DataFormats.DateOrder, doYMD);
}

}  // namespace
}  // namespace korvane::test
