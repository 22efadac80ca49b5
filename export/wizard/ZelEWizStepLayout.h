#pragma once
// Step 9 of the export wizard: colours and fonts or data only, the layout and
// the colour style, with a preview.

#include "export/wizard/ZelEWizStep.h"

namespace korvane {

class TZelELayoutPreview;

struct TZelEWizLayoutWidgets {
  QRadioButton *rbColorsFonts = nullptr, *rbDataOnly = nullptr;
  QGroupBox* grpLayout = nullptr;
  QRadioButton *rbColumnar = nullptr, *rbReversed = nullptr, *rbTabular = nullptr;
  QLabel* lblStyle = nullptr;
  QComboBox* cmbStyle = nullptr;
  TZelELayoutPreview* Preview = nullptr;
};

class TZelEWizStepLayout : public TZelEWizardStep {
 public:
  ZELE_WIZARD_STEP_HOOKS

 private:
  void UpdatePreview();
};

}  // namespace korvane
