#include "export/ZelEMonitor.h"

#include <exception>

#include "engine/pdx.h"

namespace korvane {

TZelExportMonitor::TZelExportMonitor() {
  FileName = "ZelExport.TXT";
  SetTableType(teText);
  FormatSettings.AddAll();
}

void TZelExportMonitor::Assign(const TZelECustomBaseComponent& source) {
  TZelExportBaseComponent::Assign(source);
  if (auto* m = dynamic_cast<const TZelExportMonitor*>(&source); m && m != this) {
    Formats = m->Formats;
    FilterName = m->FilterName;
  }
}

std::string TZelExportMonitor::DefaultTableName() const {
  TDataSet* ds = GetDataset();
  std::string path;
  if (auto* pdx = dynamic_cast<TPdx*>(ds)) path = pdx->TableName();
  if (path.empty() && ds) path = ds->Name();
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  return base;
}

void TZelExportMonitor::Run() {
  if (TableName.empty()) TableName = DefaultTableName();
  const std::string unavailable = FormatUnavailableReason(TableType());
  writer_ = unavailable.empty() ? CreateWriter(TableType()) : nullptr;
  if (!writer_) {
    Statistic.Result = erFailed;
    if (TableType() == teAccess)
      Statistic.Message = unavailable;
    else if (!ExportFormat(TableType()).Create)
      Statistic.Message = std::string("The ") + TableTypeName(TableType()) + " format is not available in this build.";
    else
      Statistic.Message = std::string("The ") + TableTypeName(TableType()) + " format is not available: " +
                          unavailable + (unavailable.empty() || unavailable.back() == '.' ? "" : ".");
    if (Options.Has(soShowMessage)) Services().ShowMessage(TZelEMessageKind::Error, Statistic.Message);
    return;
  }
  try {
    writer_->Assign(*this);
    writer_->Execute();
    Statistic = writer_->Statistic;
  } catch (const std::exception& e) {
    Statistic.Result = erFailed;
    Statistic.Message = GetLanguageString(3) + ": " + e.what();
    if (Options.Has(soShowMessage)) Services().ShowMessage(TZelEMessageKind::Error, Statistic.Message);
  }
  writer_.reset();
}

}  // namespace korvane
