#pragma once
// The export monitor: holds the settings of every format and, on request,
// creates the writer of its TableType, hands the settings to it and runs it.
// Its table of writers lists all 21 formats and says which are built.

#include <functional>
#include <memory>
#include <string>

#include "export/ExportDS.h"

namespace korvane {

using TZelEWriterFactory = std::function<std::unique_ptr<TZelExportBaseComponent>()>;

struct TZelEWriterInfo {
  TTableTypeExport Type;
  const char* ClassName;   // "TZelExportToText", ...
  const char* Extension;   // ".TXT"; empty for targets without a file
  int CaptionId;           // language string of the caption (29 + ordinal)
  bool Built;              // a writer exists in this build
  TZelEWriterFactory Create;  // empty when not built
};

// The table of writers, in TTableTypeExport order (21 entries).
const TZelEWriterInfo& WriterInfo(TTableTypeExport t);
// A new writer of the format; nullptr when the format is not built.
std::unique_ptr<TZelExportBaseComponent> CreateWriter(TTableTypeExport t);
// "Paradox file (*.db)" ...; "|*.DB|All files (*.*)|*.*" is the filter's tail.
std::string FormatCaption(TTableTypeExport t);
std::string FormatFilter(TTableTypeExport t);

class TZelExportMonitor : public TZelExportBaseComponent {
 public:
  TZelExportMonitor();

  std::string FilterName = "MS Word 97";
  TExportFormatTypes Formats = TExportFormatTypes::All();

  // Exports with the current settings; the outcome is Statistic.Result. A format
  // that is not built ends the run as failed with a message saying so.
  void Run();
  // The table name a run uses when TableName is empty: the base name of the
  // data source's table file without its extension.
  std::string DefaultTableName() const;

  void Assign(const TZelECustomBaseComponent& source) override;
  // The writer of the last Run while it lives (tests look at it through events).
  TZelExportBaseComponent* Writer() const { return writer_.get(); }

 private:
  std::unique_ptr<TZelExportBaseComponent> writer_;
};

}  // namespace korvane
