#pragma once
// Helpers of the wizard tests: an engine fed from rows in memory, a wizard set
// up over it with answering services, and a temporary folder.

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "export/ZelEEngine.h"
#include "platform/qt/ZelEQtServices.h"
#include "export/wizard/ZelEWiz.h"
#include "export/wizard/frmZelEWizard.h"

namespace korvane::test {

class TMemRowsEngine : public TZelECustomDataEngine {
 public:
  TMemRowsEngine(std::vector<std::string> names, std::vector<std::vector<TVariant>> rows)
      : names_(std::move(names)), rows_(std::move(rows)) {}
  void FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool) override {
    columns.Clear();
    bands.Clear();
    for (const std::string& n : names_) {
      TZelEColumn& c = columns.Add();
      c.FieldName = n;
      c.Title.Caption = n;
      c.Width = 10;
    }
  }
  bool Eof() override { return pos_ >= rows_.size(); }
  void First() override { pos_ = 0; }
  void Next() override { ++pos_; }
  int GetRecordCount() override { return static_cast<int>(rows_.size()); }
  void GetFieldValue(const TZelEColumn& column, TVariant& value) override {
    value = TVariant::Null();
    for (size_t k = 0; k < names_.size(); ++k)
      if (names_[k] == column.FieldName && pos_ < rows_.size()) value = rows_[pos_][k];
  }
  size_t Position() const { return pos_; }

 private:
  std::vector<std::string> names_;
  std::vector<std::vector<TVariant>> rows_;
  size_t pos_ = 0;
};

// A fresh folder under the system's temporary folder, removed at the end.
class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("korvane-wizard-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Path(const std::string& name = "") const { return name.empty() ? path_.string() : (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs the wizard; `drive` is called on the shown window from its event loop and
// must close it (accept through ExecuteClicked, or reject).
inline int RunWizard(TZelEWizardDlg& wizard, std::function<void(TfrmZelEWizard&)> drive) {
  wizard.OnShow = [drive](TfrmZelEWizard& w) {
    QTimer::singleShot(0, &w, [&w, drive] {
      drive(w);
      // Whatever the driver left open is cancelled without questions.
      if (w.isVisible()) {
        w.Owner().ConfirmCancelExit = false;
        w.reject();
      }
    });
  };
  return wizard.Execute();
}

}  // namespace korvane::test
