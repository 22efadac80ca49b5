#pragma once
// The save dialog of export specifications: the name of the settings and the
// file they are saved in.

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
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

}  // namespace korvane
