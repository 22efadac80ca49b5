#pragma once
// Step 3 of the export wizard: delimited or fixed width text, the field
// delimiter, the record separator and the text qualifier.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizTextWidgets {
  QRadioButton *rbDelimited = nullptr, *rbFixed = nullptr;
  QGroupBox* grpDelimiter = nullptr;
  QRadioButton *rbDelimNone = nullptr, *rbDelimTab = nullptr, *rbDelimSemicolon = nullptr, *rbDelimComma = nullptr,
               *rbDelimSpace = nullptr, *rbDelimOther = nullptr;
  QLineEdit* edtDelimOther = nullptr;
  QLabel *lblRecordSeparator = nullptr, *lblQualifier = nullptr;
  QComboBox *cmbRecordSeparator = nullptr, *cmbQualifier = nullptr;
};

class TZelEWizStepText : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
};

}  // namespace korvane
