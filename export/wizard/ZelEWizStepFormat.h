#pragma once
// Step 1 of the export wizard: the format, as category blocks or one group of
// buttons.

#include "export/wizard/ZelEWizStep.h"

class QButtonGroup;
class QGroupBox;
class QScrollArea;

namespace korvane {

struct TZelEWizFormatWidgets {
  QScrollArea* scrCategories = nullptr;
  QGroupBox* grpTableType = nullptr;
  // One button per offered format; the button's id is its TTableTypeExport.
  QButtonGroup* FormatGroup = nullptr;
};

class TZelEWizStepFormat : public TZelEWizardStep {
 public:
  explicit TZelEWizStepFormat(TfrmZelEWizard& window) : TZelEWizardStep(window, txFormatTitle, txFormatInfo) {}
  void Build(QWidget* page) override;
  // (Re)creates the buttons of the offered formats; the checked one stays checked.
  void BuildView();
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport, const TZelEUserAccess& ua) const override { return wiz::ReadWrite(ua.TableType); }
};

}  // namespace korvane
