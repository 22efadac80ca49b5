#pragma once
// The clipboard: the delimited or fixed-width text of the text writer, collected
// in memory and put on the clipboard as plain text when the run completes. The
// text is UTF-8 whatever CharacterSet says. Header and footer lines are part of
// it (no end-of-file byte); split output (RowsPerFile) still makes one text of
// every row, and no file is written. With soMergeData the new rows follow the
// clipboard's text. A failed or cancelled run leaves the clipboard as it was.

#include <string>

#include "export/formats/ZelE2TXT.h"

namespace korvane {

// Text up to this size is mailed as the message body, longer text as a file.
constexpr size_t kZelEClipboardMailBodyLimit = 128 * 1024;

class TZelExportToClipboard : public TZelExportToText {
 public:
  TZelExportToClipboard();

  void GetDefaultExt(std::string& ext) const override { ext.clear(); }
  bool CanAppend() const override { return false; }
  bool UsesCharacterSet() const override { return false; }
  void BeginExecute() override;
  void EndExecute() override;
  void CreateFileStream(const std::string& fileName) override;
  void CreateFile(const std::string& fileName, int fileNumber) override;
  void CloseFile() override;
  void WriteFileBegin() override;
  void WriteFooter() override;
  void WriteString(std::string_view text) override;
  void DoActionAfterExport() override;

 protected:
  void FinishOutput(bool keep) override;

 private:
  // A new file in the temporary folder holding text; answers its path.
  std::string WriteTemporaryText(const std::string& text) const;

  std::string buffer_;     // the text of the run being written
  std::string clipboard_;  // the clipboard's text after the run
  bool began_ = false;
  bool ended_ = false;
  TCharacterSet savedCharacterSet_ = csANSI_WINDOWS;
};

}  // namespace korvane
