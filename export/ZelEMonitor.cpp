#include "export/ZelEMonitor.h"

#include <exception>

#include "engine/pdx.h"
#include "export/formats/ZelE2TXT.h"

namespace korvane {

namespace {

template <class T>
TZelEWriterFactory Factory() {
  return [] { return std::unique_ptr<TZelExportBaseComponent>(new T()); };
}

// One entry per format, in TTableTypeExport order. A format joins by naming
// its writer's factory here.
const TZelEWriterInfo kWriters[kTableTypeCount] = {
    {teParadox, "TZelExportToBDE", ".DB", 29, false, nullptr},
    {teDBase, "TZelExportToDBF", ".DBF", 30, false, nullptr},
    {teText, "TZelExportToText", ".TXT", 31, true, Factory<TZelExportToText>()},
    {teHTML, "TZelExportToHTML", ".HTM", 32, false, nullptr},
    {teXLS, "TZelExportToXLS", ".XLS", 33, false, nullptr},
    {teExcel, "TZelExportToExcel", ".XLS", 34, false, nullptr},
    {teWord, "TZelExportToWord", ".DOC", 35, false, nullptr},
    {teSYLK, "TZelExportToSYLK", ".SLK", 36, false, nullptr},
    {teDIF, "TZelExportToDIF", ".DIF", 37, false, nullptr},
    {teWKS, "TZelExportToWKS", ".WK1", 38, false, nullptr},
    {teQuattro, "TZelExportToQuattro", ".WQ1", 39, false, nullptr},
    {teSQL, "TZelExportToSQL", ".SQL", 40, false, nullptr},
    {teXML, "TZelExportToXML", ".XML", 41, false, nullptr},
    {teAccess, "TZelExportToAccess", ".MDB", 42, false, nullptr},
    {teClipboard, "TZelExportToClipboard", "", 43, false, nullptr},
    {teRTF, "TZelExportToRTF", ".RTF", 44, false, nullptr},
    {teSPSS, "TZelExportToSPSS", ".SAV", 45, false, nullptr},
    {tePDF, "TZelExportToPDF", ".PDF", 46, false, nullptr},
    {teLDIF, "TZelExportToLDIF", ".LDIF", 47, false, nullptr},
    {teADO, "TZelExportToADO", "", 48, false, nullptr},
    {teOpenOffice, "TZelExportToOpenOffice", ".ODT", 49, false, nullptr},
};

}  // namespace

const TZelEWriterInfo& WriterInfo(TTableTypeExport t) {
  if (t < 0 || t >= kTableTypeCount) t = teText;
  return kWriters[t];
}

std::unique_ptr<TZelExportBaseComponent> CreateWriter(TTableTypeExport t) {
  const TZelEWriterInfo& w = WriterInfo(t);
  if (!w.Built || !w.Create) return nullptr;
  return w.Create();
}

std::string FormatCaption(TTableTypeExport t) { return ZelELanguageText(29 + static_cast<int>(t)); }

std::string FormatFilter(TTableTypeExport t) {
  return FormatCaption(t) + "|*" + TableTypeExtension(t) + "|" + ZelELanguageText(70);
}

TZelExportMonitor::TZelExportMonitor() {
  FileName = "ZelExport.TXT";
  SetTableType(teText);
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
  writer_ = CreateWriter(TableType());
  if (!writer_) {
    Statistic.Result = erFailed;
    Statistic.Message = std::string("The ") + TableTypeName(TableType()) +
                        " format is not available in this build.";
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
