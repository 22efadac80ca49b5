#pragma once
// Step 5 of the export wizard: how dates, times, numbers and logical values
// are written as text.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizDataFormatsWidgets {
  QGroupBox* grpFormats = nullptr;
  QComboBox* cmbDateOrder = nullptr;
  QLineEdit *edtDateSep = nullptr, *edtTimeSep = nullptr, *edtDecimal = nullptr, *edtThousand = nullptr,
            *edtCurrency = nullptr, *edtTrue = nullptr, *edtFalse = nullptr;
  QCheckBox *chkFourDigit = nullptr, *chkLeadingZeros = nullptr;
};

// The date, number and boolean settings shape the texts written when the
// original value types are not exported; otherwise they are shown disabled.
void UpdateFormatsEnabled(QGroupBox& formats, const QCheckBox& originalTypes, bool editable);

class TZelEWizStepDataFormats : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
};

}  // namespace korvane
