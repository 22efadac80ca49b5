#pragma once
// Step 4 of the export wizard: the options of SQL scripts.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizSQLWidgets {
  QGroupBox* grpSQL = nullptr;
  QCheckBox *chkCreateTable = nullptr, *chkMultiRow = nullptr;
  QComboBox *cmbDialect = nullptr, *cmbCharCase = nullptr, *cmbSQLQuote = nullptr, *cmbSQLTerm = nullptr;
  QLineEdit *edtCommit = nullptr, *edtBatch = nullptr;
};

class TZelEWizStepSQL : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
};

}  // namespace korvane
