#pragma once
// The window of the export wizard: ten steps (format, data origin, text
// settings, SQL settings, data formats, columns, header and footer, page setup,
// layout, file name), of which only those that concern the chosen format are
// visited. Each step is a TZelEWizardStep of its own (ZelEWizStep*.h); the
// window sequences them, and its widgets are the steps' widgets.

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "export/wizard/ZelEWiz.h"
#include "export/wizard/ZelEWizStepColumns.h"
#include "export/wizard/ZelEWizStepDataFormats.h"
#include "export/wizard/ZelEWizStepFile.h"
#include "export/wizard/ZelEWizStepFormat.h"
#include "export/wizard/ZelEWizStepHeader.h"
#include "export/wizard/ZelEWizStepLayout.h"
#include "export/wizard/ZelEWizStepOrigin.h"
#include "export/wizard/ZelEWizStepPage.h"
#include "export/wizard/ZelEWizStepSQL.h"
#include "export/wizard/ZelEWizStepText.h"

class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace korvane {

class TfrmZelESpecs;

constexpr int kWizardSteps = 10;

class TfrmZelEWizard : public QDialog,
                       public TZelEWizFormatWidgets,
                       public TZelEWizOriginWidgets,
                       public TZelEWizTextWidgets,
                       public TZelEWizSQLWidgets,
                       public TZelEWizDataFormatsWidgets,
                       public TZelEWizColumnsWidgets,
                       public TZelEWizHeaderWidgets,
                       public TZelEWizPageWidgets,
                       public TZelEWizLayoutWidgets,
                       public TZelEWizFileWidgets {
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

  // Cancels the wizard (after the cancel question when it is asked).
  void reject() override;

 private:
  friend class TZelEWizardStep;
  void ShowStep();
  void ApplyFormat(TTableTypeExport t, bool changeExtension);
  bool Move(int delta);

  TZelEWizardDlg& owner_;
  int step_ = 1;
  bool filling_ = false;
  // The steps in order, each with its title and description; the typed pointers
  // name the ones the window asks for more.
  std::vector<std::unique_ptr<TZelEWizardStep>> steps_;
  TZelEWizStepFormat* format_ = nullptr;
  TZelEWizStepColumns* columns_ = nullptr;
  TZelEWizStepFile* file_ = nullptr;
};

}  // namespace korvane
