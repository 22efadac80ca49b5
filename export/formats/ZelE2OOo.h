#pragma once
// The office-suite text document: a Writer document stored with the suite
// filter FilterName names ("MS Word 97" unless another is chosen). Only filters
// that store a text document can be used; the run refuses others before it
// writes anything.

#include <string>
#include <vector>

#include "export/formats/ZelE2Word.h"

namespace korvane {

class TZelExportToOpenOffice : public TZelEOfficeTextWriter {
 public:
  TZelExportToOpenOffice();

  bool UseCurrentInstance = false;
  std::string FilterName = "MS Word 97";

  void GetDefaultExt(std::string& ext) const override;
  // Takes FilterName from another such writer or from the export monitor.
  void Assign(const TZelECustomBaseComponent& source) override;

  // The filter names the wizard lists, in its order (98 names).
  static void ListFilterNames(std::vector<std::string>& names);
  // The filters of those and of the suite's own text filters that store a text
  // document in LibreOffice: the usable choices.
  static const std::vector<std::string>& TextDocumentFilters();
  // The extension a filter's files have (".doc" for "MS Word 97"); ".odt" for
  // one it does not know.
  static std::string FilterExtension(const std::string& filter);

 protected:
  void StoreFilter(const std::string& fileName, std::string& filter, std::string& extension) override;
  void CheckFilter(office::TSuite& suite, const std::string& filter) override;
};

}  // namespace korvane
