#pragma once
// Helpers of the viewer tests: a recorder that answers every dialog without a
// modal loop, the main window under test, and small fixture tables.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <QTabBar>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/ui.h"
#include "support/fixtures.h"
#include "support/paths.h"
#include "viewer/DBGrid.h"
#include "viewer/Unit1.h"

namespace korvane::test {

// Answers the dialogs: files and input texts from queues, messages recorded.
struct TUiRecorder {
  qtui::TUiHooks hooks;
  std::vector<std::pair<qtui::TMessageKind, QString>> messages;
  std::deque<QString> files;   // answers of file dialogs; empty string = cancel
  std::deque<QString> inputs;  // answers of input boxes; a null QString = cancel
  std::vector<QString> inputPresets;
  std::vector<QUrl> urls;

  TUiRecorder() {
    hooks.Message = [this](qtui::TMessageKind k, const QString& t) { messages.emplace_back(k, t); };
    hooks.Input = [this](const QString&, const QString&, const QString& preset) -> std::optional<QString> {
      inputPresets.push_back(preset);
      if (inputs.empty()) return std::nullopt;
      QString a = inputs.front();
      inputs.pop_front();
      if (a.isNull()) return std::nullopt;
      return std::make_optional(a);
    };
    hooks.FileDialog = [this](qtui::TFileDialogKind, const QString&, const QString&, const QString&) {
      if (files.empty()) return QString();
      QString f = files.front();
      files.pop_front();
      return f;
    };
    hooks.OpenUrl = [this](const QUrl& u) {
      urls.push_back(u);
      return true;
    };
    qtui::SetUiHooks(&hooks);
  }
  ~TUiRecorder() { qtui::SetUiHooks(nullptr); }
  QString LastMessage() const { return messages.empty() ? QString() : messages.back().second; }
};

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

inline void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// A main window with a recorder; windows are created as at program start.
class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TForm1>();
    form->show();
    Settle();
  }
  void TearDown() override { form.reset(); }

  // Opens a table through File > Open, as the user does.
  bool OpenThroughDialog(const std::string& path) {
    ui.files.push_back(Q(path));
    form->Open1Click();
    return form->Pdx1().Active();
  }
  // Selects a tab as the user does (the tab strip's change signal runs).
  void SelectTab(int i) {
    form->TabControl1()->setCurrentIndex(i);
    Settle();
  }
  std::string CurrentTable() { return form->Pdx1().Active() ? form->Pdx1().TableName() : std::string(); }

  TUiRecorder ui;
  std::unique_ptr<TForm1> form;
};

// people.db: Name A20, Qty long, Price number, Notes memo; five rows.
inline std::string PeopleTable(const std::string& fileName = "people.db") {
  std::vector<TPdxWriterField> fields = {{"Name", pdxtype::kAlpha, 20},
                                         {"Qty", pdxtype::kLong, 0},
                                         {"Price", pdxtype::kNumber, 0},
                                         {"Notes", pdxtype::kMemo, 20}};
  std::vector<TWriterRow> rows = {
      {TWriterValue("Alice"), TWriterValue(10), TWriterValue(1.5), TWriterValue("first\r\nsecond line")},
      {TWriterValue("Bob"), TWriterValue(20), TWriterValue(2.25), TWriterValue("short")},
      {TWriterValue("alfred"), TWriterValue(30), TWriterValue(3.0), std::nullopt},
      {TWriterValue("Carol"), TWriterValue(40), TWriterValue(-4.5),
       TWriterValue("a memo that is longer than "
                    "the slot of its record")},
      {TWriterValue("Dave"), std::nullopt, TWriterValue(5.0), TWriterValue("last")},
  };
  return MakeTable(fields, rows, {}, fileName);
}

inline std::string EmptyTable() {
  std::vector<TPdxWriterField> fields = {{"Name", pdxtype::kAlpha, 10}, {"Qty", pdxtype::kLong, 0}};
  return MakeTable(fields, {}, {}, "empty.db");
}

}  // namespace korvane::test
