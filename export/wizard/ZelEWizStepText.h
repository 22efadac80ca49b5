#pragma once
// Step 3 of the export wizard: delimited or fixed width text, the field
// delimiter, the record separator and the text qualifier.

#include "export/wizard/ZelEWizStep.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace korvane {

struct TZelEWizTextWidgets {
  QRadioButton *rbDelimited = nullptr, *rbFixed = nullptr;
  QGroupBox* grpDelimiter = nullptr;
  QRadioButton *rbDelimNone = nullptr, *rbDelimTab = nullptr, *rbDelimSemicolon = nullptr, *rbDelimComma = nullptr,
               *rbDelimSpace = nullptr, *rbDelimOther = nullptr;
  QLineEdit* edtDelimOther = nullptr;
  QLabel *lblRecordSeparator = nullptr, *lblQualifier = nullptr;
  QComboBox *cmbRecordSeparator = nullptr, *cmbQualifier = nullptr;
};

class TZelEWizStepText : public TZelEWizardStep {
 public:
  explicit TZelEWizStepText(TfrmZelEWizard& window) : TZelEWizardStep(window, txTextTitle, txTextInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;
};

}  // namespace korvane
