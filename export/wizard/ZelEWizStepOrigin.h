#pragma once
// Step 2 of the export wizard: data origin (character set, selected records,
// titles, blank if zero, original value types).

#include "export/wizard/ZelEWizStep.h"

class QCheckBox;
class QComboBox;

namespace korvane {

struct TZelEWizOriginWidgets {
  QComboBox* cmbFileOrigin = nullptr;
  QCheckBox *chkSelectedRecord = nullptr, *chkAddTitle = nullptr, *chkBlankRow = nullptr,
            *chkBlankIfZero = nullptr, *chkOriginalTypes = nullptr;
};

class TZelEWizStepOrigin : public TZelEWizardStep {
 public:
  explicit TZelEWizStepOrigin(TfrmZelEWizard& window) : TZelEWizardStep(window, txOriginTitle, txOriginInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess&) override;
};

}  // namespace korvane
