#pragma once
// Step 6 of the export wizard: the columns, their order, titles, alignment,
// colours, fonts and widths, and the system variables.

#include "export/wizard/ZelEWizStep.h"

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
  ZELE_WIZARD_STEP_HOOKS

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
