#pragma once
// TForm1: the main window. It owns the one table dataset Pdx1, the data source
// DataSource1 linking it to the grid and the data-aware controls, the grid's
// columns model, the list of open tables (one per tab) and the secondary
// windows, which are created once and hidden, not destroyed, when closed.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "engine/grid.h"
#include "engine/pdx.h"
#include "viewer/DataControls.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabBar;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace korvane {

class TDBGrid;
class TDBImage;
class TDBMemo;
class TDBNavigator;
class TfrmColumns;
class TfrmRecordView;
class TfrmSearch;
class TfrmSearchValue;
class TfrmTableInfo;
class TZelEQtServices;
class TZelEWizardDlg;

// One open table: one tab.
struct TPDXInfo {
  QString FullPath;   // path as chosen or given
  QString ShortName;  // file name part
  int CodePage = 0;   // View > Encoding for this table: 0 reads the table's own code page
  int Guess = -1;     // code page its text looks like (0: none better than the header's); -1 not yet looked at
};

// The code page chosen for a table file in the bar above the grid, remembered in
// $XDG_STATE_HOME/korvane/codepages (a line "code page TAB absolute path" per file;
// -1: keep the header's). 0 when no choice was made.
int RememberedCodePage(const QString& path);
void RememberCodePage(const QString& path, int codePage);

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Program start: argument 1 a table file (or a file:// address), argument 2
  // the switch "/FULL" (any case). Arguments exclude the program name.
  void OpenFromCommandLine(const QStringList& args);

  // Opens a file in Pdx1 and updates the caption and the labels; answers
  // whether the table is open. Errors are shown as "Error openning DBF File with: ".
  bool OpenPDX(const QString& path);

  // Commands (named after the component and event that run them).
  void Open1Click();             // File "Open" (F2), toolbar "Open"
  void CloseTabClick();          // toolbar "Close"
  void TabControl1Change();      // the user selected another tab
  void Refresh1Click();          // View "Refresh" (F5), toolbar "Refresh"
  void Exit1Click();             // File "Exit" (F10), toolbar "Exit"
  void ToolButton4Click();       // toolbar "Print", File "Print" (Ctrl+P)
  void ToolButton5Click();       // toolbar "Export", File "Export"
  void ToolButton7Click();       // toolbar "Form", View "Form"
  void ShowHideColumns1Click();  // View "Show / Hide Columns" (F8), toolbar "Columns"
  void ToolButton13Click();      // toolbar "Resize All", View "Adjust ALL column widths" (F11)
  void CopyColToClip1Execute();  // Edit "Copy column to clipboard"
  void CopyRowToClip1Click();    // Edit "Copy row to clipboard"
  void CopyFieldToClip1Click();  // Edit "Copy field value to clipboard"
  void RecordCount1Click();      // Tools "Record Count"
  void RecordSize1Click();       // Tools "Record Size"
  void ShowProgramLocation1Click();
  void Homepage1Click();
  void Donations1Click();
  void Button8Click();       // "Delete"
  void CheckBox1Click();     // "Show Field Panel"
  void SearchValue1Click();  // Search "Search Value" (Ctrl+F)
  void TblInfoClick();       // toolbar "Tbl Info" (hidden), Tools "Tbl Info"
  void SearchClick();        // toolbar "Search" (hidden)
  void ComboBox1DropDown();
  void ComboBox1Change();
  void ComboBox3DropDown();
  void ComboBox3Change();
  void SaveBitmapClick();
  // View "Encoding" for the open table (kept with its tab until the tab is
  // closed): 0 reads the table's own code page, else the code page given.
  // Without an open table it does nothing.
  void SetSourceCodePage(int codePage);
  int SourceCodePageOverride() const { return codePageOverride_; }
  // The code page the open table's text is read as (0 when none is open).
  int EffectiveCodePage() const;

  // Text of the command results, as put on the clipboard.
  std::string CopyColumnText();
  std::string CopyRowText();

  // Components.
  TPdx& Pdx1() { return pdx1_; }
  TDataSource& DataSource1() { return dataSource1_; }
  TGridColumns& GridColumns() { return gridColumns_; }
  TDBGrid* DBGrid1() const { return dbGrid1_; }
  // The export wizard behind the Export button, and the desktop services of its
  // runs (messages, questions and the progress window, parented to this window).
  TZelEWizardDlg& ZelEWizardDlg1() const { return *zelEWizardDlg1_; }
  TZelEQtServices& ExportServices() const { return *exportServices_; }
  QTabBar* TabControl1() const { return tabControl1_; }
  TDBNavigator* DBNavigator1() const { return dbNavigator1_; }
  QPushButton* Button8() const { return button8_; }
  QCheckBox* CheckBox1() const { return checkBox1_; }
  QWidget* MemoPanel() const { return memoPanel_; }
  QSplitter* Splitter2() const { return splitter2_; }
  QTabWidget* PageControl1() const { return pageControl1_; }
  TDropDownComboBox* ComboBox1() const { return comboBox1_; }
  TDropDownComboBox* ComboBox3() const { return comboBox3_; }
  TDBMemo* DBMemo1() const { return dbMemo1_; }
  TDBImage* DBImage1() const { return dbImage1_; }
  QToolBar* CoolBar1() const { return coolBar1_; }
  QLabel* Label2() const { return label2_; }
  QLabel* Label5() const { return label5_; }
  // What keeps the open table from being read whole (hidden when nothing does).
  QLabel* LabelNotice() const { return labelNotice_; }
  QLabel* DamageBanner() const { return damageBanner_; }
  QWidget* CodePageBar() const { return codePageBar_; }
  QPushButton* CodePageUseButton() const { return codePageUse_; }
  QAction* Action(const char* objectName) const;
  QToolButton* ToolButton(const char* objectName) const;
  const std::vector<TPDXInfo>& OpenTables() const { return openTables_; }
  // Index of the tab whose table is open in Pdx1, or -1.
  int OpenTab() const { return openTab_; }

  TfrmSearch* frmSearch() const { return frmSearch_; }
  TfrmTableInfo* frmTableInfo() const { return frmTableInfo_; }
  TfrmColumns* frmColumns() const { return frmColumns_; }
  TfrmRecordView* frmRecordView() const { return frmRecordView_; }
  TfrmSearchValue* frmSearchValue() const { return frmSearchValue_; }

  // Path of a shipped document ("VIEWER.md"), or empty when it is not installed.
  static QString DocumentationFile(const QString& name);

 protected:
  // The window stays while the export wizard or its run is in progress.
  void closeEvent(QCloseEvent* e) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildCentral();
  void BuildEncodingMenu(QMenu* menu);
  void SyncEncodingMenu();
  void SetupExportWizard();
  void ResetMemoSide();
  void RebuildChooser(QComboBox* box, const std::vector<TFieldType>& types);
  void UpdateTableLabels();
  void ShowDesignLabels();
  void OpenDocument(const QString& name);
  void AddTab(const QString& caption);
  QAction* AddAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                     void (TForm1::*slot)());

  TPdx pdx1_{"Pdx1"};
  TDataSource dataSource1_{"DataSource1"};
  TGridColumns gridColumns_{"DBGrid1"};
  std::vector<TPDXInfo> openTables_;
  int openTab_ = -1;
  bool selectingTab_ = false;  // a tab is being selected or removed by code
  int codePageOverride_ = 0;
  bool printing_ = false;  // a Print command is running (its preview is open)
  // Declared after the dataset and the grid's columns, which the wizard refers to,
  // and the services before the wizard that uses them.
  std::unique_ptr<TZelEQtServices> exportServices_;
  std::unique_ptr<TZelEWizardDlg> zelEWizardDlg1_;

  QToolBar* coolBar1_ = nullptr;
  QTabBar* tabControl1_ = nullptr;
  TDBNavigator* dbNavigator1_ = nullptr;
  QPushButton* button8_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  TDBGrid* dbGrid1_ = nullptr;
  QSplitter* splitter2_ = nullptr;
  QWidget* memoPanel_ = nullptr;
  QTabWidget* pageControl1_ = nullptr;
  TDropDownComboBox* comboBox1_ = nullptr;
  TDropDownComboBox* comboBox3_ = nullptr;
  TDBMemo* dbMemo1_ = nullptr;
  TDBImage* dbImage1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label5_ = nullptr;
  QLabel* labelNotice_ = nullptr;
  QActionGroup* encodingGroup_ = nullptr;
  // Above the grid: the damage of a salvaged table, and the offer of a better code page.
  QLabel* damageBanner_ = nullptr;
  QWidget* codePageBar_ = nullptr;
  QLabel* codePageText_ = nullptr;
  QPushButton* codePageUse_ = nullptr;
  QPushButton* codePageKeep_ = nullptr;
  void UpdateBars();

  TfrmSearch* frmSearch_ = nullptr;
  TfrmTableInfo* frmTableInfo_ = nullptr;
  TfrmColumns* frmColumns_ = nullptr;
  TfrmRecordView* frmRecordView_ = nullptr;
  TfrmSearchValue* frmSearchValue_ = nullptr;
};

}  // namespace korvane
