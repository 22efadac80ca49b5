#include "export/ZelE2Cell.h"

#include <iconv.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <chrono>
#include <cerrno>
#include <exception>
#include <map>

#include "engine/pdx.h"
#include "export/ZelEEngDB.h"
#include "export/ZelEFormats.h"

namespace korvane {

namespace {

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// iconv descriptors from UTF-8, opened once per character set.
class TIconvCache {
 public:
  ~TIconvCache() {
    for (auto& [name, cd] : cds_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  iconv_t Get(const std::string& to) {
    auto it = cds_.find(to);
    if (it != cds_.end()) return it->second;
    iconv_t cd = iconv_open(to.c_str(), "UTF-8");
    cds_[to] = cd;
    return cd;
  }

 private:
  std::map<std::string, iconv_t> cds_;
};

size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

std::string ToOem(const std::string& utf8, const std::string& codePage) {
  thread_local TIconvCache cache;
  iconv_t cd = cache.Get(codePage);
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // No such character set here: keep ASCII, replace the rest.
    for (size_t i = 0; i < utf8.size(); i += Utf8Length(static_cast<unsigned char>(utf8[i])))
      out += static_cast<unsigned char>(utf8[i]) < 0x80 ? utf8[i] : '?';
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(utf8.size() + 8);
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* dst = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2 + 16);
      dst = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    // A character the code page lacks, or bytes that are not UTF-8: one "?".
    if (outLeft == 0) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2 + 16);
      dst = out.data() + used;
      outLeft = out.size() - used;
    }
    *dst++ = '?';
    --outLeft;
    size_t skip = std::min(inLeft, Utf8Length(static_cast<unsigned char>(*in)));
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

std::string ToEbcdic(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(AsciiToEbcdic(c));
      ++i;
      continue;
    }
    // One character outside ASCII: one byte.
    out += static_cast<char>(0x4B);
    size_t n = Utf8Length(c);
    size_t j = i + 1;
    while (j < utf8.size() && j < i + n && (static_cast<unsigned char>(utf8[j]) & 0xC0) == 0x80) ++j;
    i = j;
  }
  return out;
}

}  // namespace

uint8_t AsciiToEbcdic(uint8_t c) {
  static const uint8_t kTable[95] = {
      0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,  // ' '../
      0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9,                                      // 0..9
      0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F, 0x7C,                                                        // :..@
      0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9,                                            // A..I
      0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9,                                            // J..R
      0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9,                                                  // S..Z
      0xAD, 0xE0, 0xBD, 0x5F, 0x6D, 0x7D,                                                              // [..`
      0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,                                            // a..i
      0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,                                            // j..r
      0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9,                                                  // s..z
      0xC0, 0x6A, 0xD0, 0xA1};                                                                         // {..~
  if (c < 32) return c;
  if (c >= 127) return 0x4B;
  return kTable[c - 32];
}

std::string ConvertCharacterSet(const std::string& utf8, TCharacterSet cs, const std::string& oemCodePage) {
  switch (cs) {
    case csASCII_MSDOS:
      return ToOem(utf8, oemCodePage.empty() ? "CP437" : oemCodePage);
    case csEBCDIC:
      return ToEbcdic(utf8);
    case csANSI_WINDOWS:
    default:
      return utf8;
  }
}

// ---------------------------------------------------------------------------

TZelExportToCellFile::TZelExportToCellFile() { FileName = "ZelExport.EXP"; }

TZelExportToCellFile::~TZelExportToCellFile() {
  // Output of a run that never ended is thrown away by the streams' destructors.
}

std::string TZelExportToCellFile::SplitFileName(const std::string& fileName, int fileNumber) {
  if (fileNumber <= 0) return fileName;
  std::string digits = std::to_string(fileNumber);
  if (fileNumber < 100) digits.insert(0, 3 - digits.size(), '0');
  size_t slash = fileName.find_last_of('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot <= nameStart) return fileName + digits;
  return fileName.substr(0, dot) + digits + fileName.substr(dot);
}

const TZelEColumns& TZelExportToCellFile::CurrentColumns() const {
  return Statistic.CurrentLevel ? Statistic.CurrentLevel->Columns : Columns;
}

void TZelExportToCellFile::ConvertText(std::string& text) const {
  if (!UsesCharacterSet() || CharacterSet == csANSI_WINDOWS || text.empty()) return;
  text = ConvertCharacterSet(text, CharacterSet, oemCodePage_);
}

size_t WholeUtf8Prefix(std::string_view s) {
  const size_t n = s.size();
  for (size_t back = 1; back <= 3 && back <= n; ++back) {
    const uint8_t c = static_cast<uint8_t>(s[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return len > back ? n - back : n;
  }
  return n;
}

void TZelExportToCellFile::ReadBlobText(const TField& field,
                                        const std::function<void(std::string_view)>& sink) const {
  TDataSet& ds = field.DataSet();
  const TFieldType t = field.DataType();
  std::string piece;
  auto emit = [&] {
    ConvertText(piece);
    if (!piece.empty()) sink(piece);
  };
  if (t != ftMemo && t != ftFmtMemo) {
    // Pictures, OLE objects and other binary data: lower-case hex.
    ds.ReadBlob(field, [&](const char* p, size_t n) {
      piece.clear();
      AppendHex(piece, p, n);
      emit();
    });
    return;
  }
  std::string carry;
  auto text = [&](size_t upTo) {
    piece.clear();
    if (t == ftFmtMemo)
      AppendEscapedText(piece, std::string_view(carry.data(), upTo));
    else
      piece.assign(carry, 0, upTo);
    carry.erase(0, upTo);
    emit();
  };
  auto take = [&](const char* p, size_t n) {
    carry.append(p, n);
    text(WholeUtf8Prefix(carry));
  };
  if (auto* table = dynamic_cast<TPdx*>(&ds))
    table->ReadBlobText(field, take);
  else
    ds.ReadBlob(field, take);
  if (!carry.empty()) text(carry.size());
}

void TZelExportToCellFile::ReadBlobBytes(const TField& field,
                                         const std::function<void(std::string_view)>& sink) const {
  field.DataSet().ReadBlob(field, [&](const char* p, size_t n) {
    if (n > 0) sink(std::string_view(p, n));
  });
}

EZelExportError TZelExportToCellFile::PictureError(const TField* field, int col, const std::string& why) const {
  const std::string where = field ? "record " + std::to_string(Statistic.RecordsExported) + ", field \"" +
                                        field->FieldName() + "\","
                                  : "column " + std::to_string(col + 1);
  return EZelExportError("The picture in " + where + " cannot be drawn: " + why + ".");
}

bool TZelExportToCellFile::ReadCellNumber(const std::string& text, double& value) const {
  const TZelEDataFormats& f = RunFormat().Formats();
  std::string s;
  for (char c : text) {
    if (c == ' ' || (f.ThousandSeparator != 0 && c == f.ThousandSeparator && c != f.DecimalSeparator)) continue;
    s += c == f.DecimalSeparator ? '.' : c;
  }
  if (!f.CurrencyString.empty()) {
    const size_t at = s.find(f.CurrencyString);
    if (at != std::string::npos) s.erase(at, f.CurrencyString.size());
  }
  if (s.empty()) return false;
  const char* begin = s.data() + (s[0] == '+' ? 1 : 0);
  auto r = std::from_chars(begin, s.data() + s.size(), value);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(value);
}

void TZelExportToCellFile::ExportData() {
  fileMode_ = true;
  try {
    ExportToStream(nullptr);
  } catch (...) {
    fileMode_ = false;
    throw;
  }
  fileMode_ = false;
}

void TZelExportToCellFile::PrepareLevels(TZelEDataLevels& levels) {
  for (TZelEDataLevel& l : levels) {
    l.RunEngine.reset();
    l.RunColumnsFilled = false;
    switch (l.ColumnSource) {
      case csDBGrid:
        if (l.DBGrid) l.RunEngine = std::make_shared<TZelEDBGridDataEngine>(l.DBGrid);
        break;
      case csDataSet:
        if (l.DataSet) l.RunEngine = std::make_shared<TZelEDatasetDataEngine>(l.DataSet);
        break;
      case csDataEngine:
        if (l.DataEngine) l.RunEngine = std::shared_ptr<TZelECustomDataEngine>(l.DataEngine, [](auto*) {});
        break;
    }
    if (!l.RunEngine) continue;
    l.RunEngine->LevelNumber = 1;
    if (l.Columns.Count() == 0) {
      l.RunEngine->FillColumns(l.Columns, l.Bands, RightToLeft);
      l.RunColumnsFilled = true;
    }
    PrepareLevels(l.DetailSources);
  }
}

void TZelExportToCellFile::ReleaseLevels(TZelEDataLevels& levels) {
  for (TZelEDataLevel& l : levels) {
    ReleaseLevels(l.DetailSources);
    if (l.RunColumnsFilled) {
      l.Columns.Clear();
      l.Bands.Clear();
      l.RunColumnsFilled = false;
    }
    l.RunEngine.reset();
  }
}

std::vector<TZelExportToCellFile::TCellSource> TZelExportToCellFile::ResolveColumns(TZelECustomDataEngine& engine,
                                                                                    const TZelEColumns& columns) {
  std::vector<TCellSource> out;
  for (int i = 0; i < columns.Count(); ++i) {
    const TZelEColumn& c = columns[i];
    if (!IsExported(c)) continue;
    out.push_back({i, &c, c.ColumnKind == ckField ? engine.FindField(c) : nullptr});
  }
  return out;
}

void TZelExportToCellFile::ExportToStream(TZelEOutputStream* stream) {
  const bool ownRun = stream != nullptr;
  if (ownRun) {
    fileMode_ = false;
    try {
      BeginExecute();
    } catch (const std::exception& e) {
      RunFailed(e.what());
      EndExecute();
      return;
    }
  }
  runFailed_ = false;
  outputWritten_ = false;
  fileNumber_ = 0;
  stream_ = stream;
  merged_ = false;
  inTable_ = false;
  inBlankRow_ = false;
  recordInFile_ = 0;
  font_ = TFontSpec{};
  oemCodePage_ = Services().OemCodePage();
  sideMemory_.clear();
  runCodePage_ = 0;
  codePageText_.reset();
  codePageReplaced_ = codePageCut_ = 0;
  bool levelsPrepared = false;
  bool engineStarted = false;
  TZelECustomDataEngine* engine = Engine();
  try {
    if (!engine) throw EZelExportError(ZelEFormat(GetLanguageString(0), {"DataEngine"}));
    if (UsesCodePage()) {
      runCodePage_ = CodePage == 0 && DefaultCodePage() != 0
                         ? DefaultCodePage()
                         : OutputCodePage(CodePage, TableCodePage(GetDataset()), CharacterSet);
      codePageText_ = std::make_unique<TZelECodePageText>(runCodePage_);
    }
    PrepareLevels(DetailSources);
    levelsPrepared = true;
    engine->BeforeExecute();
    engineStarted = true;
    engine->First();
    recordCount_ = engine->GetRecordCount();
    bool noRecords = recordCount_ == 0 || engine->Eof();
    if (!(noRecords && !ExportIfEmpty)) {
      titleRows_ = 0;
      if (AddTitle && CanWriteTitle()) {
        titleRows_ = Options.Has(soBlankRowAfterCaptions) ? 2 : 1;
        if (Options.Has(soExportBands) && Bands.Count() > 0) ++titleRows_;
      }
      Statistic.TotalCount = static_cast<int>(Header.size()) + titleRows_ + recordCount_ +
                             static_cast<int>(Footer.size());
      mainSources_ = ResolveColumns(*engine, Columns);
      CreateFile(FileName, 0);
      Statistic.Section = 3;
      rowCounter_ = Statistic.CurrentRow;
      TZelEDataLevels* levels = DetailSources.empty() ? nullptr : &DetailSources;
      int i = 0;
      while (!Cancelled() && !engine->Eof()) {
        if (AnimatedStatus) UpdateProgress(TitleStatus, i);
        bool accept = true;
        if (OnBeforeRecord) OnBeforeRecord(*this, accept);
        if (accept) {
          if (OnProgress) {
            bool abort = false;
            OnProgress(*this, i, engine->GetRecordCount(), abort);
            if (abort) {
              SetCancelled(true);
              break;
            }
          }
          if (RowsPerFile > 0 && i > 0 && i % RowsPerFile == 0) {
            ++fileNumber_;
            if (fileMode_) CreateFile(FileName, fileNumber_);
          }
          ++i;
          ++recordInFile_;
          Statistic.RecordsExported = i;
          WriteRecord(*engine, Columns, rowCounter_, recordInFile_, levels);
          Statistic.Section = 3;
        }
        bool abort = false;
        if (OnAfterRecord) OnAfterRecord(*this, abort);
        if (abort) SetCancelled(true);
        engine->Next();
        if (Layout != elTabularForm) ++rowCounter_;
      }
      outputWritten_ = true;
    }
    engineStarted = false;
    engine->AfterExecute();
    CloseFile();
  } catch (const std::exception& e) {
    runFailed_ = true;
    std::string message = e.what();
    try {
      CloseFile();
    } catch (const std::exception&) {
    }
    if (engineStarted) {
      try {
        engine->AfterExecute();
      } catch (const std::exception&) {
      }
    }
    if (levelsPrepared) ReleaseLevels(DetailSources);
    stream_ = nullptr;
    mainSources_.clear();
    if (!ownRun) throw;
    RunFailed(message);
    EndExecute();
    return;
  }
  ReleaseLevels(DetailSources);
  stream_ = nullptr;
  mainSources_.clear();
  if (ownRun) EndExecute();
}

void TZelExportToCellFile::WriteFileLayout() {
  int records = recordCount_;
  if (RowsPerFile > 0 && fileMode_) {
    int rest = recordCount_ - fileNumber_ * RowsPerFile;
    records = std::clamp(rest, 0, RowsPerFile);
  }
  int r = titleRows_ + records;
  int v = exportedColumns_;
  int widest = 0;
  for (const TZelEColumn& c : Columns.Items())
    if (IsExported(c)) widest = std::max(widest, c.Width);
  switch (Layout) {
    case elReversedColumnar:
      WriteDimension(v, r + 1);
      for (int k = 0; k <= r; ++k) WriteColumnWidth(k, widest);
      break;
    case elTabularForm:
      WriteDimension(r * v, titleRows_ + 2);
      for (int k = 0; k <= titleRows_; ++k) WriteColumnWidth(k, widest);
      break;
    case elColumnar:
    default: {
      WriteDimension(r, v + 1);
      int k = 0;
      for (const TZelEColumn& c : Columns.Items())
        if (IsExported(c)) WriteColumnWidth(k++, c.Width);
      break;
    }
  }
}

void TZelExportToCellFile::CreateFile(const std::string& fileName, int fileNumber) {
  if (fileNumber > 0) {
    // The previous part is finished when the next one begins: complete, then on
    // disk and under its name. Parts are put in place in small batches (one
    // flush to disk for many small parts), at the latest a second after they
    // were finished. A run that ends early keeps the parts it finished and
    // throws away only the one it was writing.
    CloseFile();
    if (!finishedFiles_.empty()) {
      if (partsPending_.empty()) pendingSince_ = std::chrono::steady_clock::now();
      for (auto& f : finishedFiles_) partsPending_.push_back(std::move(f));
      finishedFiles_.clear();
    }
    if (partsPending_.size() >= 32 || std::chrono::steady_clock::now() - pendingSince_ >= std::chrono::seconds(1))
      CommitFinishedFiles();
  }
  std::string name = SplitFileName(fileName, fileNumber);
  if (OnGetFileName) OnGetFileName(*this, fileNumber, name);
  currentFileName_ = fileMode_ ? name : std::string();
  CreateFileStream(name);
  WriteFileBegin();
  recordInFile_ = 0;
  WriteFileLayout();
  WriteHeader();
  WriteTitles(*Engine(), Columns);
  // Rows of a new file are counted from its own first row.
  rowCounter_ = Statistic.CurrentRow;
}

void TZelExportToCellFile::CreateFileStream(const std::string& fileName) {
  if (!fileMode_ || fileName.empty()) return;
  // The table being read is never the output.
  if (auto* pdx = dynamic_cast<TPdx*>(GetDataset())) {
    if (SameFile(fileName, pdx->TableName()) || (pdx->HasMemoFile() && SameFile(fileName, pdx->MemoFileName())))
      throw EZelExportError("The " + fileName + " file is the table being exported; choose another output file.");
  }
  // Standard output is written as it comes, never appended to as a file.
  if (Options.Has(soMergeData) && CanAppend() && !TZelEFileStream::IsStandardOutputName(fileName) &&
      FileExists(fileName)) {
    // While another run appends to the file, the progress window says so and
    // Cancel ends the wait.
    const std::string waiting = "Waiting for another export to finish appending to " + fileName;
    currentFile_ = TZelEFileStream::OpenForAppend(fileName, [this, &waiting] {
      if (AnimatedStatus) UpdateProgress(waiting, 0);
      return !Cancelled();
    });
    merged_ = true;
    if (currentFile_->RepairedAppend())
      Statistic.Notes.push_back("An earlier export that was stopped outright had appended part of its rows to " +
                                fileName + ": they were taken back first.");
  } else {
    currentFile_ = TZelEFileStream::Create(fileName);
    merged_ = false;
  }
  stream_ = currentFile_.get();
}

void TZelExportToCellFile::CloseFile() {
  if (!stream_) return;
  if (!runFailed_) {
    EndTable();
    WriteFooter();
  }
  if (fileMode_ && currentFile_) {
    stream_ = nullptr;
    currentFile_->Flush();
    finishedFiles_.push_back(std::move(currentFile_));
    // Files beside this part (its memo file) are kept or thrown away with it.
    for (auto& f : sideFiles_) {
      f->Flush();
      finishedFiles_.push_back(std::move(f));
    }
    sideFiles_.clear();
  }
}

bool TZelExportToCellFile::AppendInCodePage(std::string& out, std::string_view utf8, size_t maxBytes) {
  if (!codePageText_) {
    // Outside a run of a code-page writer: the text as it is.
    const size_t n = std::min(utf8.size(), maxBytes);
    out.append(utf8.substr(0, n));
    return n < utf8.size();
  }
  const TZelECodePageText::TResult r = codePageText_->Append(out, utf8, maxBytes);
  CountCodePageChange(r);
  return r.Changed();
}

void TZelExportToCellFile::CountCodePageChange(const TZelECodePageText::TResult& r) {
  if (!r.Changed()) return;
  if (r.Replaced > 0) ++codePageReplaced_;
  if (r.Cut) ++codePageCut_;
  ++Statistic.TotalErrors;
}

void TZelExportToCellFile::EndExecute() {
  if (codePageReplaced_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held characters that code page %d lacks: they were written "
                                         "with \"?\" in their place.",
                                         {std::to_string(codePageReplaced_), std::to_string(runCodePage_)}));
  if (codePageCut_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d texts were longer than their field holds and were cut.",
                                         {std::to_string(codePageCut_)}));
  codePageReplaced_ = codePageCut_ = 0;
  TZelExportBaseComponent::EndExecute();
}

void TZelExportToCellFile::CommitFinishedFiles() {
  std::vector<std::unique_ptr<TZelEFileStream>> files;
  files.swap(partsPending_);
  std::vector<TZelEFileStream*> list;
  for (auto& f : files) list.push_back(f.get());
  TZelEFileStream::CommitAll(list);
  for (auto& f : files) Statistic.FilesWritten.push_back(f->Path());
}

TZelEOutputStream& TZelExportToCellFile::CreateSideFile(const std::string& path) {
  if (fileMode_) {
    sideFiles_.push_back(TZelEFileStream::Create(path));
    return *sideFiles_.back();
  }
  sideMemory_.push_back(std::make_unique<TZelEStringStream>());
  return *sideMemory_.back();
}

void TZelExportToCellFile::FinishOutput(bool keep) {
  // Parts finished before the end are kept whatever the outcome.
  if (!partsPending_.empty()) {
    try {
      CommitFinishedFiles();
    } catch (...) {
      FinishOutput(false);
      throw;
    }
  }
  std::vector<std::unique_ptr<TZelEFileStream>> files;
  for (auto& f : finishedFiles_) files.push_back(std::move(f));
  if (currentFile_) files.push_back(std::move(currentFile_));
  for (auto& f : sideFiles_) files.push_back(std::move(f));
  finishedFiles_.clear();
  sideFiles_.clear();
  sideMemory_.clear();
  stream_ = nullptr;
  if (!keep) {
    for (auto& f : files) f->Discard();
    return;
  }
  for (size_t i = 0; i < files.size(); ++i) {
    try {
      files[i]->Commit();
      Statistic.FilesWritten.push_back(files[i]->Path());
    } catch (...) {
      for (size_t j = i + 1; j < files.size(); ++j) files[j]->Discard();
      throw;
    }
  }
}

void TZelExportToCellFile::WriteString(std::string_view text) {
  if (stream_) stream_->Write(text);
}

void TZelExportToCellFile::WriteFileBegin() {
  rowsSinceFlush_ = 0;
  Statistic.CurrentRow = 0;
}

void TZelExportToCellFile::BeginTable() { inTable_ = true; }

void TZelExportToCellFile::EndTable() {
  if (Statistic.LevelNumber == 0) inTable_ = false;
}

void TZelExportToCellFile::TextCellValue() {
  cellValue_.kind = TZelECellValue::cvText;
  cellValue_.Text.clear();
}

void TZelExportToCellFile::StartRow() {
  Statistic.CurrentCol = 0;
  BeginRow();
}

void TZelExportToCellFile::FinishRow() {
  EndRow();
  ++rowsSinceFlush_;
  if (fileMode_ && currentFile_ && rowsSinceFlush_ > 1024) {
    currentFile_->Flush();
    rowsSinceFlush_ = 0;
  }
  ++Statistic.CurrentRow;
}

void TZelExportToCellFile::PutData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                   TAlignment alignment, const TFontSpec* font, TColor color) {
  Statistic.CurrentCol = col;
  WriteData(field, cellType, row, col, text, alignment, font, color);
}

void TZelExportToCellFile::PutMergedData(TCellType cellType, int row, int col, int mergeCount,
                                         const std::string& text, TAlignment alignment, const TFontSpec* font,
                                         TColor color) {
  Statistic.CurrentCol = col;
  WriteMergedData(cellType, row, col, mergeCount, text, alignment, font, color);
}

void TZelExportToCellFile::WriteMergedData(TCellType cellType, int row, int col, int, const std::string& text,
                                           TAlignment alignment, const TFontSpec* font, TColor color) {
  WriteData(nullptr, cellType, row, col, text, alignment, font, color);
}

void TZelExportToCellFile::WriteHeader() {
  Statistic.Section = 0;
  TextCellValue();
  for (size_t i = 0; i < Header.size(); ++i) {
    StartRow();
    TColor color = clWhite;
    TAlignment align = taLeftJustify;
    TCellType ct = ctString;
    cellText_ = Header[i];
    if (ExportStyle.Style() != esNormal) color = ExportStyle.RowColor(static_cast<int>(i));
    if (OnGetCellParams) OnGetCellParams(*this, nullptr, cellText_, font_, align, color, ct);
    ConvertText(cellText_);
    PutData(nullptr, ct, static_cast<int>(i), 1, cellText_, align, &font_, color);
    FinishRow();
  }
}

void TZelExportToCellFile::WriteFooter() {
  TextCellValue();
  Statistic.Section = 4;
  for (const std::string& line : Footer) {
    StartRow();
    TColor color = clWhite;
    TAlignment align = taLeftJustify;
    TCellType ct = ctString;
    cellText_ = line;
    if (OnGetCellParams) OnGetCellParams(*this, nullptr, cellText_, font_, align, color, ct);
    ConvertText(cellText_);
    PutData(nullptr, ct, Statistic.CurrentRow, 1, cellText_, align, &font_, color);
    FinishRow();
  }
  WriteFileEnd();
}

void TZelExportToCellFile::WriteTitles(TZelECustomDataEngine&, const TZelEColumns& columns) {
  TextCellValue();
  BeginTable();
  if (!AddTitle || !CanWriteTitle() || Layout == elTabularForm) return;
  const bool reversed = Layout == elReversedColumnar;
  const bool styled = ExportStyle.Style() != esNormal;
  int r = Statistic.CurrentRow;
  auto write = [&](const TField* field, TCellType ct, int k, int row, TAlignment align, const TFontSpec* font,
                   TColor color) {
    if (reversed) PutData(field, ct, k, row, cellText_, align, font, color);
    else PutData(field, ct, row, k, cellText_, align, font, color);
  };

  if (Statistic.LevelNumber == 0 && Options.Has(soExportBands) && Bands.Count() > 0) {
    Statistic.Section = 1;
    StartRow();
    int k = 0;
    for (int ci = 0; ci < columns.Count();) {
      const TZelEColumn& c = columns[ci];
      if (!IsExported(c)) {
        ++ci;
        continue;
      }
      if (c.BandIndex >= 0 && c.BandIndex < Bands.Count() && Bands[c.BandIndex].Visible) {
        const TZelEColumnBand& b = Bands[c.BandIndex];
        int span = std::max(1, columns.BandSpan(c.BandIndex, ci));
        TColor color = styled ? ExportStyle.RowColor(r + 1) : b.Color;
        TAlignment align = b.Alignment;
        TCellType ct = ctString;
        font_ = b.Font;
        cellText_ = b.Caption;
        if (OnGetCellParams) OnGetCellParams(*this, nullptr, cellText_, font_, align, color, ct);
        ConvertText(cellText_);
        if (reversed) PutData(nullptr, ct, k, r, cellText_, align, &font_, color);
        else PutMergedData(ct, r, k, span, cellText_, align, &font_, color);
        ci += span;
        k += span;
      } else {
        cellText_.clear();
        write(nullptr, ctBlank, k, r, c.Alignment, &c.Font, c.Color);
        ++ci;
        ++k;
      }
    }
    FinishRow();
    ++r;
  }

  Statistic.Section = 2;
  StartRow();
  TColor lastColor = clSilver;
  int k = 0;
  for (int ci = 0; ci < columns.Count(); ++ci) {
    const TZelEColumn& c = columns[ci];
    if (!IsExported(c)) continue;
    TColor color = styled ? ExportStyle.RowColor(r + 1) : c.Title.Color;
    TAlignment align = c.Title.Alignment;
    TCellType ct = ctString;
    font_ = c.Title.Font;
    cellText_ = Options.Has(soUseFieldNameAsCaption) ? FieldNameText(c) : c.Title.Caption;
    Statistic.CurrentCol = ci;
    if (OnGetCellParams) OnGetCellParams(*this, nullptr, cellText_, font_, align, color, ct);
    ConvertText(cellText_);
    write(nullptr, ct, k, r, align, &font_, color);
    lastColor = color;
    ++k;
  }
  FinishRow();
  ++r;

  if (Options.Has(soBlankRowAfterCaptions)) {
    inBlankRow_ = true;
    StartRow();
    TColor color = styled ? ExportStyle.RowColor(r + 1) : lastColor;
    cellText_.clear();
    int row = Statistic.CurrentRow;
    k = 0;
    for (int ci = 0; ci < columns.Count(); ++ci) {
      if (!IsExported(columns[ci])) continue;
      write(nullptr, ctBlank, k, row, taCenter, nullptr, color);
      ++k;
    }
    FinishRow();
    inBlankRow_ = false;
  }
}

void TZelExportToCellFile::CellValue(TZelECustomDataEngine& engine, const TCellSource& src, int recNo) {
  const TZelEColumn& c = *src.column;
  switch (c.ColumnKind) {
    case ckConstant:
      cellText_ = c.FieldName;
      cellType_ = c.DataType;
      cellValue_.kind = TZelECellValue::cvText;
      return;
    case ckSysVar:
      cellText_ = GetSysVarValue(c.FieldName);
      cellType_ = c.DataType;
      cellValue_.kind = TZelECellValue::cvText;
      return;
    case ckField:
    default:
      break;
  }
  cellText_.clear();
  cellType_ = ctString;
  cellValue_.kind = TZelECellValue::cvNull;
  streamedBlob_ = nullptr;
  if (!engine.HasRecord(recNo - 1)) return;
  // A long BLOB is left where it is until the writer asks for it piece by piece
  // (an OnGetCellParams handler sees every text whole).
  if (src.field && StreamsBlobs() && !OnGetCellParams && IsBlobType(src.field->DataType()) &&
      src.field->DataSet().BlobSize(*src.field) > StreamBlobsAbove) {
    streamedBlob_ = src.field;
    cellType_ = CellTypeOfField(*src.field, BlankIfZero);
    cellValue_.kind = TZelECellValue::cvBlob;
    return;
  }
  if (src.field) {
    GetFieldStr(src.field, cellText_);
    cellType_ = CellTypeOfField(*src.field, BlankIfZero);
    FieldCellValue(*src.field, cellValue_);
  } else if (!engine.GetDataset()) {
    TVariant v;
    engine.GetFieldValue(c, v);
    cellText_ = RunFormat().VariantText(v, Options.Has(soFieldMask));
    const TFieldType type = engine.GetFieldType(c);
    cellType_ = CellTypeOf(type, v, BlankIfZero);
    VariantCellValue(v, type, cellValue_);
  }
}

void TZelExportToCellFile::WriteRecord(TZelECustomDataEngine& engine, const TZelEColumns& columns, int& rowCounter,
                                       int recNo, TZelEDataLevels* detailLevels) {
  std::vector<TCellSource> local;
  const std::vector<TCellSource>* sources = &mainSources_;
  if (&columns != &Columns || Statistic.LevelNumber != 0) {
    local = ResolveColumns(engine, columns);
    sources = &local;
  }
  const bool styled = ExportStyle.Style() != esNormal;
  const int styleRow = static_cast<int>(Header.size()) + titleRows_ + recNo;
  sysRowNo_ = recNo;
  if (Layout != elTabularForm) StartRow();
  int k = 0;
  for (const TCellSource& src : *sources) {
    const TZelEColumn& c = *src.column;
    font_ = c.Font;
    TColor color = c.Color;
    TAlignment align = c.Alignment;
    sysColNo_ = k + 1;
    Statistic.CurrentCol = src.index;
    CellValue(engine, src, recNo);
    if (styled) color = ExportStyle.RowColor(styleRow);
    cellTextReplaced_ = false;
    if (OnGetCellParams) {
      const std::string before = cellText_;
      OnGetCellParams(*this, src.field, cellText_, font_, align, color, cellType_);
      cellTextReplaced_ = src.field && cellText_ != before;
    }
    ConvertText(cellText_);
    switch (Layout) {
      case elReversedColumnar:
        PutData(src.field, cellType_, k, Statistic.CurrentRow, cellText_, align, &font_, color);
        break;
      case elTabularForm: {
        StartRow();
        if (titleRows_ > 0) {
          std::string title = Options.Has(soUseFieldNameAsCaption) ? FieldNameText(c) : c.Title.Caption;
          ConvertText(title);
          PutData(nullptr, ctString, rowCounter, 0, title, c.Title.Alignment, &c.Title.Font, c.Title.Color);
          if (titleRows_ > 1 && Options.Has(soBlankRowAfterCaptions))
            PutData(nullptr, ctBlank, rowCounter, 1, std::string(), c.Title.Alignment, &c.Title.Font,
                      c.Title.Color);
        }
        PutData(src.field, cellType_, rowCounter, titleRows_, cellText_, align, &font_, color);
        FinishRow();
        ++rowCounter;
        break;
      }
      case elColumnar:
      default:
        engine.GetCellParams(recNo - 1, k, align, font_, color);
        PutData(src.field, cellType_, Statistic.CurrentRow, k, cellText_, align, &font_, color);
        break;
    }
    ++k;
  }
  if (detailLevels && !detailLevels->empty()) ExportDetailLevels(engine, *detailLevels, rowCounter);
  if (Layout != elTabularForm) {
    FinishRow();
  } else if (Options.Has(soBlankRowAfterCaptions) && ExportFormat(TableType()).Can(faBlankRowPerRecord)) {
    StartRow();
    FinishRow();
    ++rowCounter;
  }
}

void TZelExportToCellFile::ExportDetailLevels(TZelECustomDataEngine&, TZelEDataLevels& levels, int& rowCounter) {
  int savedNumber = Statistic.LevelNumber;
  const TZelEDataLevel* savedLevel = Statistic.CurrentLevel;
  Statistic.Section = 5;
  for (TZelEDataLevel& level : levels) {
    if (!level.RunEngine) continue;
    TZelECustomDataEngine& eng = *level.RunEngine;
    Statistic.LevelNumber = 1;
    Statistic.CurrentLevel = &level;
    eng.First();
    WriteTitles(eng, level.Columns);
    int j = 0;
    while (!eng.Eof()) {
      ++j;
      WriteRecord(eng, level.Columns, rowCounter, j, nullptr);
      if (!level.DetailSources.empty()) ExportDetailLevels(eng, level.DetailSources, rowCounter);
      eng.Next();
      ++rowCounter;
    }
    EndTable();
  }
  Statistic.LevelNumber = savedNumber;
  Statistic.CurrentLevel = savedLevel;
}

}  // namespace korvane
