#pragma once
// Step 7 of the export wizard: the header and footer lines.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizHeaderWidgets {
  QLabel *lblHeader = nullptr, *lblFooter = nullptr;
  QPlainTextEdit *memHeader = nullptr, *memFooter = nullptr;
};

class TZelEWizStepHeader : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS
};

}  // namespace korvane
