#pragma once
// Step 7 of the export wizard: the header and footer lines.

#include "export/wizard/ZelEWizStep.h"

class QLabel;
class QPlainTextEdit;

namespace korvane {

struct TZelEWizHeaderWidgets {
  QLabel *lblHeader = nullptr, *lblFooter = nullptr;
  QPlainTextEdit *memHeader = nullptr, *memFooter = nullptr;
};

class TZelEWizStepHeader : public TZelEWizardStep {
 public:
  explicit TZelEWizStepHeader(TfrmZelEWizard& window) : TZelEWizardStep(window, txHeaderTitle, txHeaderInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  void UpdateEnabled(TTableTypeExport, const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;
};

}  // namespace korvane
