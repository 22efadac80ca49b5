#pragma once
// Step 4 of the export wizard: the options of SQL scripts.

#include "export/wizard/ZelEWizStep.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace korvane {

struct TZelEWizSQLWidgets {
  QGroupBox* grpSQL = nullptr;
  QCheckBox *chkCreateTable = nullptr, *chkMultiRow = nullptr;
  QComboBox *cmbCharCase = nullptr, *cmbSQLQuote = nullptr, *cmbSQLTerm = nullptr;
  QLineEdit *edtCommit = nullptr, *edtBatch = nullptr;
};

class TZelEWizStepSQL : public TZelEWizardStep {
 public:
  explicit TZelEWizStepSQL(TfrmZelEWizard& window) : TZelEWizardStep(window, txSQLTitle, txSQLInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;
};

}  // namespace korvane
