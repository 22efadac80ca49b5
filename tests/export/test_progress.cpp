// The progress window of a run: when it moves, what it shows, and its Cancel
// button, driven through a window that records what it is told.

#include <gtest/gtest.h>

#include "export/formats/ZelE2TXT.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

struct TWindowLog {
  int Shows = 0, Hides = 0;
  int Minimum = -1, Maximum = -1;
  std::vector<int> Positions;
  std::vector<std::string> Texts;
  int CancelAt = -1;  // the Cancel button is pressed when the bar reaches this position
  int CancelledAt = -1;
  bool Cancel = false;
};

class TLoggedWindow : public TZelEProgressWindow {
 public:
  explicit TLoggedWindow(TWindowLog& log) : log_(log) {}
  void Show(const std::string&, const std::string&, int, int minimum, int maximum, const std::string&) override {
    ++log_.Shows;
    log_.Minimum = minimum;
    log_.Maximum = maximum;
  }
  void Update(const std::string& status, int position) override {
    log_.Positions.push_back(position);
    log_.Texts.push_back(status);
    if (log_.CancelAt >= 0 && position >= log_.CancelAt && !log_.Cancel) {
      log_.Cancel = true;
      log_.CancelledAt = position;
    }
  }
  void Hide() override { ++log_.Hides; }
  bool CancelRequested() const override { return log_.Cancel; }
  void SetCancelRequested(bool c) override { log_.Cancel = c; }

 private:
  TWindowLog& log_;
};

class TWindowServices : public TRecordingServices {
 public:
  TWindowLog Log;
  std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() override {
    return std::make_unique<TLoggedWindow>(Log);
  }
};

struct Progress : ::testing::Test {
  void Run(int records) {
    TOpenTable t("A=A4", std::vector<TWriterRow>(static_cast<size_t>(records), TWriterRow{TWriterValue("x")}));
    w.SetServices(&services);
    w.DBGrid = &t.Grid;
    TZelEStringStream out;
    w.ExportToStream(&out);
    lines = 0;
    for (char c : out.Data()) lines += c == '\n';
  }
  TZelExportToText w;
  TWindowServices services;
  int lines = 0;
};

TEST_F(Progress, ThousandRecordsMoveTheBarInStepsOfMoreThanOnePercent) {
  Run(1000);
  const auto& p = services.Log.Positions;
  ASSERT_GE(p.size(), 80u);
  EXPECT_LE(p.size(), 95u);
  EXPECT_EQ(p[0], 11);
  EXPECT_EQ(p[1], 22);
  EXPECT_EQ(services.Log.Texts[0], "Exporting... (11/1000)");
  EXPECT_EQ(services.Log.Shows, 1);
  EXPECT_EQ(services.Log.Hides, 1);
  EXPECT_EQ(services.Log.Maximum, 1000);
  // The final text is shown only when the bar is still more than 1 % from the end:
  // here it is 10 records away, so the window last showed 990.
  EXPECT_EQ(services.Log.Texts.back(), "Exporting... (990/1000)");
}

TEST_F(Progress, FiftyRecordsMoveTheBarAtEveryRecord) {
  Run(50);
  std::vector<int> expected;
  for (int i = 1; i <= 50; ++i) expected.push_back(i);
  EXPECT_EQ(services.Log.Positions, expected);
  EXPECT_NE(services.Log.Texts.back().find("successfully generated"), std::string::npos);
}

TEST_F(Progress, UpdateStepConsidersOnlyItsMultiples) {
  w.Statistic.UpdateStep = 10;
  Run(50);
  EXPECT_EQ(services.Log.Positions, (std::vector<int>{10, 20, 30, 40, 50}));
}

TEST_F(Progress, NoRecordsHideTheBar) {
  Run(0);
  EXPECT_EQ(services.Log.Minimum, 0);
  EXPECT_EQ(services.Log.Maximum, 0);
  EXPECT_EQ(services.Log.Hides, 1);
}

TEST_F(Progress, CancelEndsTheRunAfterTheCurrentRecord) {
  services.Log.CancelAt = 300;
  Run(1000);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(w.Statistic.Message, "Data export was canceled by user.");
  // The bar showed 308 records done when Cancel was pressed; the record being
  // started then is still written whole.
  EXPECT_EQ(services.Log.CancelledAt, 308);
  EXPECT_EQ(lines, 309);
  EXPECT_EQ(services.Log.Hides, 1);
  // A run after a cancelled one starts afresh.
  services.Log.CancelAt = -1;
  Run(5);
  EXPECT_EQ(w.Statistic.Result, erCompleted);
}

TEST_F(Progress, AWindowThatCannotBeCreatedLeavesTheRunGoing) {
  class TBrokenServices : public TRecordingServices {
   public:
    std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() override { throw EZelExportError("no display"); }
  } broken;
  TOpenTable t("A=A4", {{TWriterValue("x")}});
  w.SetServices(&broken);
  w.DBGrid = &t.Grid;
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erCompleted);
  EXPECT_EQ(out.Data(), "x\r\n");
  EXPECT_EQ(broken.Messages, std::vector<std::string>{"Can't create a process dialog"});
}

}  // namespace
}  // namespace korvane::test
