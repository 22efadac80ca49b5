#pragma once
// Quattro Pro worksheet (.WQ1): the Lotus records (ZelE2WKS) with Quattro's
// beginning-of-file value, column widths, a format byte of 0 in blank and label
// cells, and labels stored with a length byte instead of a closing NUL. Its
// reader takes the text to be in code page 437 unless CodePage says otherwise.

#include "export/formats/ZelE2WKS.h"

namespace korvane {

class TZelExportToQuattro : public TZelExportToWKS {
 public:
  TZelExportToQuattro();

  void GetDefaultExt(std::string& ext) const override { ext = ".WQ1"; }
  int DefaultCodePage() const override { return 437; }
  // A width record per column (in characters; 10 is written 12, at most 255).
  void WriteColumnWidth(int col, int width) override;

 protected:
  const char* SheetKind() const override { return "A Quattro worksheet"; }
  uint16_t BeginOfFileValue() const override { return 0x5120; }
  uint8_t BlankFormat() const override { return 0; }
  uint8_t LabelFormat() const override { return 0; }
  size_t MaxLabelBytes() const override { return 255; }
  void AppendLabelText(std::string& body, std::string_view bytes) const override;
};

}  // namespace korvane
