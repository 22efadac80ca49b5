#pragma once
// Step 10 of the export wizard: the file (or connection), the table, sheet,
// filter and Access version, rows per file, merging and the action after the run.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizFileWidgets {
  QLabel *lblFileName = nullptr, *lblFileError = nullptr, *lblTableName = nullptr, *lblSheet = nullptr,
         *lblFilter = nullptr, *lblAccess = nullptr;
  QLineEdit* edtFileName = nullptr;
  QPushButton* btnBrowse = nullptr;
  QComboBox *cmbTableName = nullptr, *cmbFilter = nullptr, *cmbAccess = nullptr;
  QGroupBox* grpAction = nullptr;
  QRadioButton *rbActionNone = nullptr, *rbActionOpen = nullptr, *rbActionMail = nullptr;
  QCheckBox *chkRowsPerFile = nullptr, *chkMerge = nullptr;
  QLineEdit *edtRowsPerFile = nullptr, *edtSheet = nullptr;
};

class TZelEWizStepFile : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
  void Shown(TTableTypeExport t) override;

  // Gives the file name the extension of format t, or turns it into (or out of)
  // a connection string.
  void ChangeExtension(TTableTypeExport t);
  // Empty when the file name is acceptable, else the error text.
  QString FileNameError() const;

 private:
  void UpdateMergeBox();
  void OnFileNameChanged();

  QString lastFileName_;
};

}  // namespace korvane
