#pragma once
// Step 6 of the export wizard: the columns, their order, titles, alignment,
// colours, fonts and widths, and the system variables.

#include "export/wizard/ZelEWizStep.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QSpinBox;

namespace korvane {

struct TZelEWizColumnsWidgets {
  QListWidget* lstColumns = nullptr;
  QMenu* mnuColumns = nullptr;
  QLineEdit* edtTitleCaption = nullptr;
  QComboBox *cmbTitleAlign = nullptr, *cmbTitleColor = nullptr, *cmbDataAlign = nullptr, *cmbDataColor = nullptr;
  QPushButton *btnTitleFont = nullptr, *btnDataFont = nullptr;
  QLabel *lblTitleFont = nullptr, *lblDataFont = nullptr, *lblWidth = nullptr, *lblWidthUnit = nullptr;
  QSpinBox* spnWidth = nullptr;
};

class TZelEWizStepColumns : public TZelEWizardStep {
 public:
  explicit TZelEWizStepColumns(TfrmZelEWizard& window) : TZelEWizardStep(window, txColumnsTitle, txColumnsInfo) {}
  void Build(QWidget* page) override;
  void Load(const TZelEWizardDlg& o) override;
  void Store(TZelEWizardDlg& o) override;
  void ApplyAccess(const TZelEUserAccess& ua) override;
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) override;
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;

  // The columns of the list, in list order, with Visible = checked.
  std::vector<TZelEColumn> ListColumns() const;
  // Inserts a system variable column (0 row number .. 4 generator) before the
  // selected item, at the end when none is selected.
  void InsertSysVar(int kind);
  void CheckAllColumns(int how);  // 0 all, 1 none, 2 invert
  // Moves a list item (as dragging does).
  void MoveColumnItem(int from, int to);
  // Takes the edits of the selected column into its copy.
  void StoreColumnEdits();

 private:
  void ColumnSelected();
  void UpdateColumnItemText(QListWidgetItem* item);
  TZelEColumn* CurrentColumn();
  void ChooseFont(bool title);

  // Private copies of the columns; list items refer to them by index.
  std::vector<TZelEColumn> store_;
};

}  // namespace korvane
