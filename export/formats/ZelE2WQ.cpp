#include "export/formats/ZelE2WQ.h"

#include <algorithm>

namespace korvane {

TZelExportToQuattro::TZelExportToQuattro() {
  FileName = "ZelExport.WQ1";
  SetTableType(teQuattro);
}

void TZelExportToQuattro::WriteColumnWidth(int col, int width) {
  if (width <= 0 || col < 0 || col >= kMaxColumns) return;
  if (width == 10) width = 12;
  std::string body;
  body += static_cast<char>(col & 0xFF);
  body += static_cast<char>((col >> 8) & 0xFF);
  body += static_cast<char>(std::min(width, 255));
  std::string record;
  AppendRecord(record, kColumnWidth, body);
  WriteString(record);
}

void TZelExportToQuattro::AppendLabelText(std::string& body, std::string_view bytes) const {
  const size_t n = std::min<size_t>(bytes.size(), 255);
  body += static_cast<char>(n);
  body.append(bytes.substr(0, n));
}

}  // namespace korvane
