#pragma once
// Step 9 of the export wizard: colours and fonts or data only, the layout and
// the colour style, with a preview.

#include "export/wizard/ZelEWizStep.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QRadioButton;

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
  explicit TZelEWizStepLayout(TfrmZelEWizard& window) : TZelEWizardStep(window, txLayoutTitle, txLayoutInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;

 private:
  void UpdatePreview();
};

}  // namespace korvane
