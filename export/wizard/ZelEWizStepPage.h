#pragma once
// Step 8 of the export wizard: page orientation, margins and fitted columns.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizPageWidgets {
  QGroupBox *grpOrientation = nullptr, *grpMargins = nullptr;
  QRadioButton *rbOrientDefault = nullptr, *rbPortrait = nullptr, *rbLandscape = nullptr;
  QLabel* imgOrientation = nullptr;
  QLineEdit *edtLeft = nullptr, *edtTop = nullptr, *edtRight = nullptr, *edtBottom = nullptr;
  QCheckBox* chkAutofit = nullptr;
};

class TZelEWizStepPage : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
};

}  // namespace korvane
