#pragma once
// One step of the export wizard. A step builds its page, fills it from the
// component's settings, writes it back, shows or hides what the user's access
// rights allow, enables what the chosen format can do and says whether Next and
// Back stop at it. The widgets of a step are members of the window
// (TfrmZelEWizard inherits each step's widget struct), so that they are reached
// as the window's own, by other steps too.

#include <QColor>
#include <QFont>
#include <QString>
#include <string>
#include <vector>

#include "export/ZelEFormats.h"
#include "export/ZelELang.h"
#include "export/wizard/ZelEWiz.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
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
class QWidget;

namespace korvane {

class TfrmZelEWizard;

// What every step class declares: the constructor and the hooks above.
#define ZELE_WIZARD_STEP_HOOKS                                                  \
  using TZelEWizardStep::TZelEWizardStep;                                       \
  void Build(QWidget* page) override;                                           \
  void Load(const TZelEWizardDlg& o) override;                                  \
  void Store(TZelEWizardDlg& o) override;                                       \
  void ApplyAccess(const TZelEUserAccess& ua) override;                         \
  void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) override;   \
  bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const override;

class TZelEWizardStep {
 public:
  TZelEWizardStep(TfrmZelEWizard& window, TZelEText title, TZelEText description)
      : w_(window), title_(title), description_(description) {}
  virtual ~TZelEWizardStep() = default;
  TZelEWizardStep(const TZelEWizardStep&) = delete;
  TZelEWizardStep& operator=(const TZelEWizardStep&) = delete;

  TZelEText Title() const { return title_; }
  TZelEText Description() const { return description_; }

  // Creates the step's widgets on its page.
  virtual void Build(QWidget* page) = 0;
  // Settings -> page, and page -> settings.
  virtual void Load(const TZelEWizardDlg& o) = 0;
  virtual void Store(TZelEWizardDlg& o) = 0;
  // Hides what the user may not see (erDisabled).
  virtual void ApplyAccess(const TZelEUserAccess& ua) = 0;
  // Enables what format t can do and the user may change.
  virtual void UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) = 0;
  // Whether Next and Back stop at the step.
  virtual bool Visited(TTableTypeExport t, const TZelEUserAccess& ua) const = 0;
  // The step has just become the current one.
  virtual void Shown(TTableTypeExport) {}

 protected:
  TZelEWizardDlg& Owner() const;
  // A text of the table, through the component (OnGetLanguageString may replace it).
  QString Text(int id) const;
  // Set while the window is being filled from the settings: edits are not user edits then.
  bool Filling() const;
  void SetFilling(bool on);
  TTableTypeExport SelectedFormat() const;
  // Applies a format to the whole window (TfrmZelEWizard::ApplyFormat).
  void ApplyFormat(TTableTypeExport t, bool changeExtension);

  TfrmZelEWizard& w_;

 private:
  TZelEText title_, description_;
};

// Helpers of the steps' own files.
namespace wiz {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }
// Whether the format can do a thing (from the table of formats).
inline bool Can(TTableTypeExport t, TZelEFormatAbility a) { return ExportFormat(t).Can(a); }
inline bool ReadWrite(TZelERestriction r) { return r == erReadWrite; }
// Hidden when the user may not see the setting.
void ShowFor(QWidget* w, TZelERestriction r);
// First character of an edit, code 0 when empty.
char FirstChar(const QLineEdit* e);
QString CharText(char c);
QFont ToQFont(const TFontSpec& f);

}  // namespace wiz

// The colours offered for backgrounds: 16 basic colours, the 25 system colours
// and three more.
const std::vector<TColor>& WizardSwatchColors();
// Index of a colour in WizardSwatchColors(); 0 when it is not there.
int WizardSwatchIndex(TColor c);
// Screen colour of a colour value ($00BBGGRR, or a system colour $FF0000nn).
QColor ToQColor(TColor c);

}  // namespace korvane
