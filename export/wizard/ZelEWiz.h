#pragma once
// The export wizard: an export component that asks the user, in a window of up
// to ten steps, which format to write and how, and then runs the export through
// the export monitor. The window is TfrmZelEWizard (frmZelEWizard.h).

#include <QIcon>
#include <QPixmap>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/ExportDS.h"
#include "export/ZelEFormats.h"
#include "export/ZelESpecs.h"
#include "export/formats/ZelE2SQL.h"

class QWidget;

namespace korvane {

class TfrmZelEWizard;
class TZelEQtServices;

enum TZelERestriction : int { erDisabled = 0, erReadOnly, erReadWrite };
enum TZelEWizardStyle : int { wsWindows95 = 0, wsWindows2000 };

// Which settings the user may see (erDisabled hides them) and change
// (erReadOnly shows them disabled).
struct TZelEUserAccess {
  bool Specification = true;
  TZelERestriction TableType = erReadWrite, SourceFileName = erReadWrite, FieldMapping = erReadWrite,
                   ActionAfter = erReadWrite, TextType = erReadWrite, FieldDelimiter = erReadWrite,
                   TextQualifier = erReadWrite, RecordSeparator = erReadWrite, Header = erReadWrite,
                   Footer = erReadWrite, Layout = erReadWrite, ColorStyle = erReadWrite,
                   AccessVersion = erDisabled, DataFormats = erReadWrite, SQLOptions = erReadWrite,
                   KeyGenerator = erDisabled, PageOrientation = erReadWrite, PageMargins = erReadWrite;
};

TExportFormatTypes FormatSet(std::initializer_list<TTableTypeExport> formats);

// How the format page groups the formats.
struct TZelECategories {
  bool ShowCategories = true;
  TColor BackColor = 0xFF00000D;
  TFontSpec TextFont = [] {
    TFontSpec f;
    f.Bold = true;
    f.Color = 0xFF00000E;
    return f;
  }();
  TExportFormatTypes DocumentFormats = FormatsOfCategory(fcDocument);
  TExportFormatTypes DatabaseFormats = FormatsOfCategory(fcDatabase);
  TExportFormatTypes SpreadsheetFormats = FormatsOfCategory(fcSpreadsheet);
  TExportFormatTypes WEBFormats = FormatsOfCategory(fcWeb);
  TExportFormatTypes OtherFormats = FormatsOfCategory(fcOther);
};

class TZelEWizardDlg : public TZelExportBaseComponent {
 public:
  TZelEWizardDlg();
  ~TZelEWizardDlg() override;

  TZelEFieldDisplayFormat FieldDisplayFormat = dfFull;
  bool VisibleColumnsOnly = false;
  int HelpContext = 0;
  TExportFormatTypes Formats = TExportFormatTypes::All();
  std::string Title;
  QPixmap Picture;
  bool ShowPicture = true;
  QIcon Icon;
  TZelECategories Categories;
  bool ConfirmCancelExit = true;
  bool ConfirmFileOverwrite = false;
  bool ConfirmExecuteStart = false;
  // Folder of bare file names and of the file dialog; empty: the user's documents.
  std::string InitialDir;
  TZelEWizardStyle WizardStyle = wsWindows95;
  TZelEUserAccess UserAccess;
  bool SetupSpecificationOnly = false;
  // Settings of the SQL step (carried in FormatSettings with every format's own).
  TZelESQLOptions& SQLOptions() { return FormatSettings.Get<TZelESQLOptions>(teSQL); }
  std::string FilterName = "MS Word 97";
  // Access version chosen on the file name step (0 "-", 1 "97", 2 "2000").
  int AccessVersion = 0;
  // Parent window of the wizard and of its messages.
  QWidget* ParentWidget = nullptr;
  // Field names and titles as a table gives them are 8-bit text in the table's
  // code page, while the values reach the run as UTF-8. When set, this turns such
  // a name into UTF-8: the column list shows field names through it, and the
  // titles of columns filled from the data engine are written with it.
  std::function<std::string(const std::string&)> DecodeName;

  std::function<void(TZelEWizardDlg&, std::vector<TZelESpecificationFile>& files)> OnGetSpecifications;
  std::function<void(TZelEWizardDlg&, int& result)> OnClose;
  std::function<void(TfrmZelEWizard&)> OnShow;
  std::function<void(TfrmZelEWizard&, bool& allow)> OnStepChange;

  // Shows the window and runs the export: 1 started (or settings accepted),
  // 2 cancelled, 3 failed. A call while a wizard or its run is in progress
  // answers 2 without doing anything.
  int Execute();
  bool Busy() const { return busy_; }
  // The window while Execute shows it.
  TfrmZelEWizard* Window() const { return window_; }

  // Runs the export with the current settings through the export monitor.
  void RunExport();
  // The file a run writes: a name without a folder lies in InitialDir (or the
  // user's documents folder).
  std::string ResolvedFileName(const std::string& name) const;
  std::string DefaultFolder() const;
  // The table name a run uses when TableName is empty.
  std::string DefaultTableName() const;

  void Assign(const TZelECustomBaseComponent& source) override;
  // The specifications of the list: OnGetSpecifications, else SpecificationDir.
  std::vector<TZelESpecificationFile> Specifications();

 private:
  bool busy_ = false;
  TfrmZelEWizard* window_ = nullptr;
  // The Qt services the wizard uses until it is given others.
  std::unique_ptr<TZelEQtServices> ownServices_;
};

}  // namespace korvane
