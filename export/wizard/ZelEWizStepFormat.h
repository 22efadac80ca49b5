#pragma once
// Step 1 of the export wizard: the format, as category blocks or one group of
// buttons.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

struct TZelEWizFormatWidgets {
  QScrollArea* scrCategories = nullptr;
  QGroupBox* grpTableType = nullptr;
  // One button per offered format; the button's id is its TTableTypeExport.
  QButtonGroup* FormatGroup = nullptr;
};

class TZelEWizStepFormat : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS

  // (Re)creates the buttons of the offered formats; the checked one stays checked.
  void BuildView();
};

}  // namespace korvane
