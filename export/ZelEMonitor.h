#pragma once
// The export monitor: holds the settings of every format and, on request,
// creates the writer of its TableType (from the table of formats), hands the
// settings to it and runs it.

#include <memory>
#include <string>

#include "export/ExportDS.h"
#include "export/ZelEFormats.h"

namespace korvane {

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
