#pragma once
// Step 8 of the export wizard: page orientation, margins and fitted columns.

#include "export/wizard/ZelEWizStep.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

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
  explicit TZelEWizStepPage(TfrmZelEWizard& window) : TZelEWizardStep(window, txPageTitle, txPageInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;
};

}  // namespace korvane
