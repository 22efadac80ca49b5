#pragma once
// Step 2 of the export wizard: data origin (character set, selected records,
// titles, blank if zero, original value types).

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizOriginWidgets {
  QComboBox* cmbFileOrigin = nullptr;
  QCheckBox *chkSelectedRecord = nullptr, *chkAddTitle = nullptr, *chkBlankRow = nullptr,
            *chkBlankIfZero = nullptr, *chkOriginalTypes = nullptr;
};

class TZelEWizStepOrigin : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
};

}  // namespace korvane
