#include "support/fixtures.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "engine/pdx.h"
#include "support/paths.h"

namespace korvane::test {

std::string OpenError(TPdx& t) {
  try {
    t.Open();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}


std::string MakeTable(const std::vector<TPdxWriterField>& fields, const std::vector<TWriterRow>& rows,
                      const TPdxWriterOptions& options, const std::string& fileName) {
  std::string path = TempDir() + "/" + fileName;
  TPdxWriter::Write(path, fields, rows, options);
  return path;
}

std::string MakeTable(const std::string& fieldSpec, const std::vector<TWriterRow>& rows,
                      const TPdxWriterOptions& options, const std::string& fileName) {
  return MakeTable(ParsePdxFieldSpec(fieldSpec), rows, options, fileName);
}

std::string MakeGeneratedTable(const std::string& fieldSpec, uint32_t records, uint64_t seed,
                               const TPdxWriterOptions& options, const std::string& fileName) {
  std::vector<TPdxWriterField> fields = ParsePdxFieldSpec(fieldSpec);
  std::string path = TempDir() + "/" + fileName;
  TPdxWriter w(path, fields, options);
  TPdxRowGenerator gen(fields, seed);
  TWriterRow row;
  for (uint32_t i = 0; i < records; ++i) {
    gen.Next(row);
    w.Append(row);
  }
  w.Finish();
  return path;
}

TAllTypes AllTypesFixture() {
  TAllTypes t;
  t.Fields = {
      {"Alpha", pdxtype::kAlpha, 20},    {"Date", pdxtype::kDate, 0},
      {"Short", pdxtype::kShort, 0},     {"Long", pdxtype::kLong, 0},
      {"Money", pdxtype::kCurrency, 0},  {"Number", pdxtype::kNumber, 0},
      {"Logical", pdxtype::kLogical, 0}, {"Memo", pdxtype::kMemo, 20},
      {"Blob", pdxtype::kBlob, 10},      {"FmtMemo", pdxtype::kFmtMemo, 10},
      {"Ole", pdxtype::kOle, 10},        {"Graphic", pdxtype::kGraphic, 10},
      {"Time", pdxtype::kTime, 0},       {"Timestamp", pdxtype::kTimestamp, 0},
      {"AutoInc", pdxtype::kAutoInc, 0}, {"Bcd", pdxtype::kBcd, 2},
      {"Bytes", pdxtype::kBytes, 4},
  };
  std::string longMemo;
  for (int i = 0; longMemo.size() < 5000; ++i)
    longMemo += "Zeile " + std::to_string(i) + ": Gr\374\337e aus K\366ln.\r\n";
  std::string blob(3000, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7 + 3);
  t.Rows = {
      {"Erste Zeile", PdxDayNumber(2000, 1, 1), 1, 100000, 12.5, 3.25, true, "kurz",
       std::string("\x01\x02\x03", 3), "{\\rtf1 x}", "OLE-Daten", PdxGraphicBmp(4, 3, 1),
       PdxTimeOfDay(12, 0, 0), PdxTimestamp(2020, 2, 1, 1, 0, 1), 1, "1.23",
       std::string("\x00\x31\x00\x32", 4)},
      {"K\366ln \304rger \337", PdxDayNumber(1, 1, 1), -1, -1, -40.0, -1.0, false,
       "Ein Memo, das nicht in den Datensatz passt.", blob, longMemo, std::string(300, 'o'),
       PdxGraphicBmp(40, 30, 2), PdxTimeOfDay(23, 59, 59, 999), PdxTimestamp(1, 1, 1, 0, 0, 0), 2, "-1.23",
       std::string("\377\376\375\374", 4)},
      {std::string(20, 'Z'), PdxDayNumber(9999, 12, 31), 32767, 2147483647, 0.0, -0.0, std::nullopt, longMemo,
       std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, std::nullopt, 3, "0.00", std::nullopt},
      {"", std::nullopt, -32767, -2147483647, std::nullopt, 1e308, true, std::nullopt, std::nullopt, "",
       std::nullopt, std::nullopt, std::nullopt, -1.5, 4, std::nullopt, std::string("\x01", 1)},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, -1e-300, 5e-324, std::nullopt, std::nullopt,
       std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 5, "-99999999.99",
       std::nullopt},
  };
  return t;
}

std::string MakeAllTypesTable(int fileVersion, int blockSizeKB) {
  TAllTypes t = AllTypesFixture();
  TPdxWriterOptions opt;
  opt.FileVersion = fileVersion;
  opt.BlockSizeKB = blockSizeKB;
  opt.Language = TPdxLanguageDriver::AnsiIntl();
  return MakeTable(t.Fields, t.Rows, opt, "alltypes.db");
}

void PatchBytes(const std::string& path, uint64_t offset, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  ssize_t w = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
  ::close(fd);
  if (w != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("cannot patch " + path);
}

void PatchLe16(const std::string& path, uint64_t offset, uint16_t value) {
  std::string b{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
  PatchBytes(path, offset, b);
}

void PatchLe32(const std::string& path, uint64_t offset, uint32_t value) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(value >> (8 * i));
  PatchBytes(path, offset, b);
}

void TruncateFile(const std::string& path, uint64_t size) {
  if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0)
    throw std::runtime_error("cannot truncate " + path);
}

namespace {
struct THeaderInfo {
  uint16_t RecordLength, HeaderLength;
  uint8_t BlockSizeKB;
};
THeaderInfo ReadHeaderInfo(const std::string& path) {
  std::string h = ReadFile(path).substr(0, 6);
  if (h.size() < 6) throw std::runtime_error("short table " + path);
  auto u = [&](int i) { return static_cast<uint8_t>(h[static_cast<size_t>(i)]); };
  return THeaderInfo{static_cast<uint16_t>(u(0) | u(1) << 8), static_cast<uint16_t>(u(2) | u(3) << 8), u(5)};
}
}  // namespace

uint64_t BlockOffset(const std::string& dbPath, int block) {
  THeaderInfo h = ReadHeaderInfo(dbPath);
  return h.HeaderLength + static_cast<uint64_t>(block - 1) * h.BlockSizeKB * 1024u;
}

uint64_t RecordOffset(const std::string& dbPath, int block, int record) {
  THeaderInfo h = ReadHeaderInfo(dbPath);
  return BlockOffset(dbPath, block) + 6 + static_cast<uint64_t>(record) * h.RecordLength;
}

}  // namespace korvane::test
