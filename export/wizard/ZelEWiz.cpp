#include "export/wizard/ZelEWiz.h"

#include <QDir>

#include "export/ZelEMonitor.h"
#include "platform/qt/ZelEQtServices.h"
#include "export/wizard/frmZelEWizard.h"

namespace korvane {

TExportFormatTypes FormatSet(std::initializer_list<TTableTypeExport> formats) {
  TExportFormatTypes s = TExportFormatTypes::None();
  for (TTableTypeExport t : formats) s.Include(t);
  return s;
}

TZelEWizardDlg::TZelEWizardDlg() : ownServices_(std::make_unique<TZelEQtServices>()) {
  SetServices(ownServices_.get());
  SpecificationDir = UserSpecificationFolder();
  FormatSettings.AddAll();
}
TZelEWizardDlg::~TZelEWizardDlg() = default;

std::string TZelEWizardDlg::DefaultFolder() const {
  return InitialDir.empty() ? UserDocumentsFolder() : InitialDir;
}

std::string TZelEWizardDlg::ResolvedFileName(const std::string& name) const {
  const TZelEFormat& f = ExportFormat(TableType());
  if (name.empty() || f.Can(faConnection) || f.Can(faNoFile)) return name;
  if (name.size() >= 2 && name[0] == '~' && name[1] == '/') return QDir::homePath().toStdString() + name.substr(1);
  if (name.find('/') != std::string::npos) return name;
  // A bare name lies in the default folder, never at the root.
  std::string folder = DefaultFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + name;
}

std::string TZelEWizardDlg::DefaultTableName() const {
  TZelExportMonitor m;
  m.DBGrid = DBGrid;
  m.DataSet = DataSet;
  m.ColumnSource = ColumnSource;
  m.DataEngine = DataEngine;
  return m.DefaultTableName();
}

void TZelEWizardDlg::Assign(const TZelECustomBaseComponent& source) {
  TZelExportBaseComponent::Assign(source);
  if (auto* w = dynamic_cast<const TZelEWizardDlg*>(&source); w && w != this) {
    Formats = w->Formats;
    FilterName = w->FilterName;
  } else if (auto* m = dynamic_cast<const TZelExportMonitor*>(&source)) {
    Formats = m->Formats;
    FilterName = m->FilterName;
  }
}

std::vector<TZelESpecificationFile> TZelEWizardDlg::Specifications() {
  std::vector<TZelESpecificationFile> files;
  if (OnGetSpecifications) {
    OnGetSpecifications(*this, files);
    return files;
  }
  return ListSpecifications(SpecificationDir.empty() ? UserSpecificationFolder() : SpecificationDir);
}

void TZelEWizardDlg::RunExport() {
  TZelExportMonitor monitor;
  monitor.Assign(*this);
  monitor.Formats = Formats;
  monitor.FilterName = FilterName;
  if (TableType() != teADO) monitor.FileName = ResolvedFileName(FileName);
  monitor.Run();
  Statistic = monitor.Statistic;
}

namespace {
// Clears a flag when the scope ends, also on exceptions.
struct TFlagGuard {
  bool& flag;
  ~TFlagGuard() { flag = false; }
};
}  // namespace

int TZelEWizardDlg::Execute() {
  // One wizard at a time: a second Export while a window or its run is open does nothing.
  if (busy_) return 2;
  busy_ = true;
  TFlagGuard guard{busy_};
  if (OnBeforeExecute) OnBeforeExecute(*this);
  int result = 1;
  bool hadColumns = Columns.Count() > 0;
  if (services_ == ownServices_.get()) ownServices_->SetParent(ParentWidget);
  try {
    CreateDataEngine();
    if (!hadColumns && Engine()) {
      Engine()->FillColumns(Columns, Bands, RightToLeft);
      if (DecodeName)
        for (int i = 0; i < Columns.Count(); ++i) Columns[i].Title.Caption = DecodeName(Columns[i].Title.Caption);
    }
    TfrmZelEWizard window(*this, ParentWidget);
    if (HelpContext) window.setWhatsThis(QString("Help context %1").arg(HelpContext));
    window_ = &window;
    if (OnShow) OnShow(window);
    int modal = window.exec();
    window_ = nullptr;
    if (modal != QDialog::Accepted) {
      result = 2;
    } else {
      window.ReadToSettings();
      if (OnClose) OnClose(*this, result);
      if (result == 1 && !SetupSpecificationOnly) RunExport();
    }
  } catch (const std::exception& e) {
    window_ = nullptr;
    result = 3;
    Statistic.Message = e.what();
  }
  if (!hadColumns) {
    Columns.Clear();
    Bands.Clear();
  }
  if (result == 3 && Options.Has(soShowMessage)) Services().ShowMessage(TZelEMessageKind::Error, GetLanguageString(txExportError));
  FreeDataEngine();
  if (OnAfterExecute) OnAfterExecute(*this);
  return result;
}

}  // namespace korvane
