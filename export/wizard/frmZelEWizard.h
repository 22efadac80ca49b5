#pragma once
// The window of the export wizard: ten steps (format, data origin, text
// settings, SQL settings, data formats, columns, header and footer, page setup,
// layout, file name), of which only those that concern the chosen format are
// visited.

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "export/wizard/ZelEWiz.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QStackedWidget;

namespace korvane {

class TfrmZelESpecs;
class TZelELayoutPreview;

constexpr int kWizardSteps = 10;

// The colours offered for backgrounds: 16 basic colours, the 25 system colours
// and three more.
const std::vector<TColor>& WizardSwatchColors();
// Index of a colour in WizardSwatchColors(); 0 when it is not there.
int WizardSwatchIndex(TColor c);
// Screen colour of a colour value ($00BBGGRR, or a system colour $FF0000nn).
QColor ToQColor(TColor c);

class TfrmZelEWizard : public QDialog {
  Q_OBJECT
 public:
  TfrmZelEWizard(TZelEWizardDlg& owner, QWidget* parent = nullptr);
  ~TfrmZelEWizard() override;

  TZelEWizardDlg& Owner() const { return owner_; }

  // --- steps -------------------------------------------------------------
  int Step() const { return step_; }
  // Whether Next and Back stop at a step for the chosen format and access rights.
  bool StepVisited(int step) const;
  // One move; false when nothing changed (no further step, or OnStepChange refused).
  bool Next();
  bool Back();
  // Back until step 1, Next until the last step, or moves until step d; each
  // stops as soon as a move changes nothing.
  void First();
  void Last();
  void GoToStep(int d);

  // --- format ------------------------------------------------------------
  TTableTypeExport SelectedFormat() const;
  // Checks the format's button and applies the format to the window.
  void SelectFormat(TTableTypeExport t);
  QRadioButton* FormatButton(TTableTypeExport t) const;
  void BuildFormatView();

  // --- settings ------------------------------------------------------------
  void FillFromSettings();
  void ReadToSettings();
  void ApplyUserAccess();

  // --- columns -------------------------------------------------------------
  // The columns of the list, in list order, with Visible = checked.
  std::vector<TZelEColumn> ListColumns() const;
  // Inserts a system variable column (0 row number .. 4 generator) before the
  // selected item, at the end when none is selected.
  void InsertSysVar(int kind);
  void CheckAllColumns(int how);  // 0 all, 1 none, 2 invert
  // Moves a list item (as dragging does).
  void MoveColumnItem(int from, int to);

  // --- file name -------------------------------------------------------------
  // Empty when the file name is acceptable, else the error text.
  QString FileNameError() const;
  // Closes with the execute button when the confirmations agree.
  void ExecuteClicked();

  // Replaceable for tests: shows the list of saved export settings modally.
  std::function<int(TfrmZelESpecs&)> RunSpecsDialog;
  void SpecificationsClicked();

  // Buttons and labels.
  QPushButton *btnFirst, *btnBack, *btnNext, *btnLast, *btnCancel, *btnSpecs;
  QLabel *lblStep, *lblStepInfo, *lblCaption, *lblDescription, *imgLogo;
  QFrame *pnlDescription, *pnlLogo;
  QStackedWidget* Pages;

  // Step 1.
  QScrollArea* scrCategories = nullptr;
  QGroupBox* grpTableType = nullptr;
  QButtonGroup* FormatGroup = nullptr;
  // Step 2.
  QComboBox* cmbFileOrigin;
  QCheckBox *chkSelectedRecord, *chkAddTitle, *chkBlankRow, *chkBlankIfZero, *chkOriginalTypes;
  // Step 3.
  QRadioButton *rbDelimited, *rbFixed;
  QGroupBox* grpDelimiter;
  QRadioButton *rbDelimNone, *rbDelimTab, *rbDelimSemicolon, *rbDelimComma, *rbDelimSpace, *rbDelimOther;
  QLineEdit* edtDelimOther;
  QLabel *lblRecordSeparator, *lblQualifier;
  QComboBox *cmbRecordSeparator, *cmbQualifier;
  // Step 4.
  QGroupBox* grpSQL;
  QCheckBox *chkCreateTable, *chkMultiRow;
  QComboBox *cmbCharCase, *cmbSQLQuote, *cmbSQLTerm;
  QLineEdit *edtCommit, *edtBatch;
  // Step 5.
  QGroupBox* grpFormats;
  QComboBox* cmbDateOrder;
  QLineEdit *edtDateSep, *edtTimeSep, *edtDecimal, *edtThousand, *edtCurrency, *edtTrue, *edtFalse;
  QCheckBox *chkFourDigit, *chkLeadingZeros;
  // Step 6.
  QListWidget* lstColumns;
  QMenu* mnuColumns;
  QLineEdit* edtTitleCaption;
  QComboBox *cmbTitleAlign, *cmbTitleColor, *cmbDataAlign, *cmbDataColor;
  QPushButton *btnTitleFont, *btnDataFont;
  QLabel *lblTitleFont, *lblDataFont, *lblWidth, *lblWidthUnit;
  QSpinBox* spnWidth;
  // Step 7.
  QLabel *lblHeader, *lblFooter;
  QPlainTextEdit *memHeader, *memFooter;
  // Step 8.
  QGroupBox *grpOrientation, *grpMargins;
  QRadioButton *rbOrientDefault, *rbPortrait, *rbLandscape;
  QLabel* imgOrientation;
  QLineEdit *edtLeft, *edtTop, *edtRight, *edtBottom;
  QCheckBox* chkAutofit;
  // Step 9.
  QRadioButton *rbColorsFonts, *rbDataOnly;
  QGroupBox* grpLayout;
  QRadioButton *rbColumnar, *rbReversed, *rbTabular;
  QLabel* lblStyle;
  QComboBox* cmbStyle;
  TZelELayoutPreview* Preview;
  // Step 10.
  QLabel *lblFileName, *lblFileError, *lblTableName, *lblSheet, *lblFilter, *lblAccess;
  QLineEdit* edtFileName;
  QPushButton* btnBrowse;
  QComboBox *cmbTableName, *cmbFilter, *cmbAccess;
  QGroupBox* grpAction;
  QRadioButton *rbActionNone, *rbActionOpen, *rbActionMail;
  QCheckBox *chkRowsPerFile, *chkMerge;
  QLineEdit *edtRowsPerFile, *edtSheet;

  // Cancels the wizard (after the cancel question when it is asked).
  void reject() override;

 private:
  QWidget* MakePage(int step);
  void ShowStep();
  void ApplyFormat(TTableTypeExport t, bool changeExtension);
  void UpdateMergeBox();
  void OnFileNameChanged();
  bool Move(int delta);
  void ColumnSelected();
  void StoreColumnEdits();
  void UpdateColumnItemText(QListWidgetItem* item);
  TZelEColumn* CurrentColumn();
  void ChooseFont(bool title);
  void UpdatePreview();

  TZelEWizardDlg& owner_;
  int step_ = 1;
  bool filling_ = false;
  // Private copies of the columns; list items refer to them by index.
  std::vector<TZelEColumn> store_;
  QString lastFileName_;
};

}  // namespace korvane
