#pragma once
// The output code page of the formats that write 8-bit text (dBase tables,
// Excel 2.x sheets, SPSS files): which code page a run writes, and text
// converted into it from UTF-8.
//
// A run writes the code page its CodePage setting names; by default the
// Windows code page of the table's language driver. The file origin "MS-DOS"
// asks for the DOS counterpart of that Windows code page.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/dataset.h"
#include "export/ZelETypes.h"

namespace korvane {

// The Windows code page of a code page: a Windows one (874, 932, 936, 949,
// 950, 1250-1258) is its own; DOS ones give their Windows relative (437, 850,
// 860-865 1252; 852 1250; 855, 866 1251; 737, 869 1253; 857 1254; 862 1255;
// 720, 864 1256; 775 1257); anything else 1252.
int WindowsCodePageOf(int codePage);
// The DOS counterpart of a Windows code page (1252 850, 1250 852, 1251 866,
// 1253 737, 1254 857, 1255 862, 1256 720, 1257 775); others stay as they are.
int DosCodePageOf(int windowsCodePage);
// The code page of a table's text: its language driver's, else the code page
// its header names, else 437. 0 for a dataset that is not a Paradox table.
int TableCodePage(const TDataSet* dataset);
// The code page a run writes: codePage when nonzero, else the Windows code page
// of tableCodePage (1252 when that is 0); with the MS-DOS origin its DOS counterpart.
int OutputCodePage(int codePage, int tableCodePage, TCharacterSet origin);

// UTF-8 text into one code page. Characters the code page lacks (and bytes
// that are not UTF-8) become "?"; a cut text ends between characters.
class TZelECodePageText {
 public:
  // Throws EZelExportError when the system cannot convert into the code page.
  explicit TZelECodePageText(int codePage);
  ~TZelECodePageText();
  TZelECodePageText(const TZelECodePageText&) = delete;
  TZelECodePageText& operator=(const TZelECodePageText&) = delete;

  int CodePage() const { return codePage_; }
  // What a conversion did to its text.
  struct TResult {
    int Replaced = 0;  // characters written as "?"
    bool Cut = false;  // characters left out at the end
    bool Changed() const { return Replaced > 0 || Cut; }
  };
  // Appends the text converted, at most maxBytes bytes of it.
  TResult Append(std::string& out, std::string_view utf8, size_t maxBytes = std::string::npos) const;

 private:
  // One character (a whole UTF-8 sequence) in the code page; false when it lacks it.
  bool Char(std::string_view ch, std::string& bytes) const;

  int codePage_;
  bool singleByte_ = false;
  std::unordered_map<uint32_t, char> bytes_;  // single-byte code pages: code point -> byte
  void* cd_ = nullptr;                          // others: an iconv descriptor
};

}  // namespace korvane
