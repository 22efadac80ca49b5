#pragma once
// The list of saved export specifications with Load, Save, Delete and Close.
// The save dialog (name and file) belongs to the desktop services.

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "export/ZelESpecs.h"
#include "platform/qt/ZelESaveSpecDlg.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace korvane {

// What the list closed with.
enum class TZelESpecsAction { Close, Load, Save };

class TfrmZelESpecs : public QDialog {
  Q_OBJECT
 public:
  TfrmZelESpecs(std::vector<TZelESpecificationFile> entries, QWidget* parent = nullptr);

  TZelESpecsAction Action() const { return action_; }
  // The selected entry, or nullptr when none.
  const TZelESpecificationFile* Selected() const;
  const std::vector<TZelESpecificationFile>& Entries() const { return entries_; }

  // Asks before deleting the selected entry's file (Yes deletes it); replaced by tests.
  std::function<bool(const QString& question)> AskDelete;

  QLabel* lblPrompt = nullptr;
  QListWidget* lstSpecs = nullptr;
  QPushButton* btnLoad = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnDelete = nullptr;
  QPushButton* btnClose = nullptr;

  void DeleteSelected();

 private:
  void Refill();
  std::vector<TZelESpecificationFile> entries_;
  TZelESpecsAction action_ = TZelESpecsAction::Close;
};

}  // namespace korvane
