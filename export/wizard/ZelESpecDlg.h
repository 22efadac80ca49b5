#pragma once
// The dialogs of saved export specifications: the save dialog (name and file)
// and the list of available specifications with Load, Save, Delete and Close.

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "export/ZelESpecs.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace korvane {

// A file name made from the name of saved export settings: characters that are awkward in
// file names become "_", and an empty or dot-only name becomes "Export specification".
std::string SpecificationFileBaseName(const std::string& specName);

class TfrmZelESaveSpec : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmZelESaveSpec(QWidget* parent = nullptr);
  // The proposed name and file. Until the user changes the file name, typing
  // another name proposes a file named after it in the same folder.
  void SetValues(const QString& specName, const QString& fileName);
  QString SpecName() const;
  QString FileName() const;
  // OK: a file that exists is replaced only when the user agrees; otherwise the
  // dialog stays open.
  void accept() override;

  // Asks before replacing an existing file (Yes replaces it); replaced by tests.
  std::function<bool(const QString& question)> AskReplace;

  QLabel* lblSpecName = nullptr;
  QLineEdit* edtSpecName = nullptr;
  QLabel* lblFileName = nullptr;
  QLineEdit* edtFileName = nullptr;
  QToolButton* btnBrowse = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void NameEdited(const QString& name);
  QString initialName_, initialFile_;
  bool fileChosen_ = false;  // the user typed or browsed a file name
};

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
