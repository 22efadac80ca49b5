#include "export/formats/ZelE2BDE.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/language.h"
#include "engine/pdx.h"
#include "engine/sysutils.h"
#include "export/ZelECodePage.h"
#include "export/formats/ZelE2DBF.h"

namespace korvane {

// One exported column of a run: where its values come from and which field of
// the table it fills.
struct TZelExportToBDE::TColumnPlan {
  int Column = -1;
  const TZelEColumn* Source = nullptr;
  TField* Field = nullptr;  // the source field of a field column, if the engine has it
  int Target = -1;          // index in fields_
};

namespace {

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return AsciiUpper(path.substr(dot + 1));
}

// The code page the reader takes a table's text to be in.
int ReadCodePage(const TPdx& t) {
  const int v = t.Header().FileVersion();
  const int cp = t.Header().DosCodePage();
  return v >= 5 && cp != 0 ? cp : 437;
}

uint8_t PdxTypeOf(TFieldType t) {
  switch (t) {
    case ftString: return pdxtype::kAlpha;
    case ftSmallint: return pdxtype::kShort;
    case ftInteger:
    case ftWord: return pdxtype::kLong;  // Largeint and Word become Integer fields
    case ftBoolean: return pdxtype::kLogical;
    case ftFloat: return pdxtype::kNumber;
    case ftCurrency: return pdxtype::kCurrency;
    case ftBCD: return pdxtype::kBcd;
    case ftDate: return pdxtype::kDate;
    case ftTime: return pdxtype::kTime;
    case ftDateTime: return pdxtype::kTimestamp;
    case ftBytes:
    case ftVarBytes: return pdxtype::kBytes;
    case ftAutoInc: return pdxtype::kAutoInc;
    case ftBlob: return pdxtype::kBlob;
    case ftMemo: return pdxtype::kMemo;
    case ftGraphic: return pdxtype::kGraphic;
    case ftFmtMemo: return pdxtype::kFmtMemo;
    case ftParadoxOle: return pdxtype::kOle;
    default: return pdxtype::kAlpha;  // text of the value
  }
}

// Bytes a field takes in the record.
int SlotOf(const TPdxWriterField& f) {
  switch (f.Type) {
    case pdxtype::kAlpha:
    case pdxtype::kBytes: return f.Size;
    case pdxtype::kBcd: return 17;
    case pdxtype::kDate:
    case pdxtype::kLong:
    case pdxtype::kTime:
    case pdxtype::kAutoInc: return 4;
    case pdxtype::kShort: return 2;
    case pdxtype::kCurrency:
    case pdxtype::kNumber:
    case pdxtype::kTimestamp: return 8;
    case pdxtype::kLogical: return 1;
    default: return pdxtype::IsBlob(f.Type) ? std::max(f.Size, 10) : f.Size;
  }
}

// The first file version that has the type: BLOB kinds 4.x, the types of 5.x after that.
int VersionFor(uint8_t t) {
  switch (t) {
    case pdxtype::kAlpha:
    case pdxtype::kDate:
    case pdxtype::kShort:
    case pdxtype::kCurrency:
    case pdxtype::kNumber: return 3;
    default: return pdxtype::IsBlob(t) ? 9 : 10;
  }
}

const char* FieldKindName(uint8_t t) {
  switch (t) {
    case pdxtype::kAlpha: return "alpha";
    case pdxtype::kDate: return "date";
    case pdxtype::kShort: return "short";
    case pdxtype::kLong: return "long integer";
    case pdxtype::kCurrency: return "money";
    case pdxtype::kNumber: return "number";
    case pdxtype::kLogical: return "logical";
    case pdxtype::kMemo: return "memo";
    case pdxtype::kBlob: return "binary";
    case pdxtype::kFmtMemo: return "formatted memo";
    case pdxtype::kOle: return "OLE";
    case pdxtype::kGraphic: return "graphic";
    case pdxtype::kTime: return "time";
    case pdxtype::kTimestamp: return "timestamp";
    case pdxtype::kAutoInc: return "auto-increment";
    case pdxtype::kBcd: return "BCD";
    case pdxtype::kBytes: return "bytes";
    default: return "unknown";
  }
}

const char* CellKindName(TZelECellValue::Kind k) {
  switch (k) {
    case TZelECellValue::cvInteger: return "an integer";
    case TZelECellValue::cvDouble: return "a number";
    case TZelECellValue::cvCurrency: return "a money";
    case TZelECellValue::cvBCD: return "a decimal";
    case TZelECellValue::cvDate: return "a date";
    case TZelECellValue::cvTime: return "a time";
    case TZelECellValue::cvDateTime: return "a time stamp";
    case TZelECellValue::cvBoolean: return "a boolean";
    case TZelECellValue::cvBlob: return "a binary";
    case TZelECellValue::cvText:
    default: return "a text";
  }
}

// The value as text, as dump writes it (for an alpha or memo field).
std::string CellText(const TZelECellValue& v) {
  std::string s;
  switch (v.kind) {
    case TZelECellValue::cvInteger: return std::to_string(v.Integer);
    case TZelECellValue::cvDouble:
    case TZelECellValue::cvCurrency: {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, v.Double);
      return std::string(buf, r.ptr);
    }
    case TZelECellValue::cvDate: AppendDayNumber(s, static_cast<int32_t>(v.Integer)); return s;
    case TZelECellValue::cvTime: AppendTimeOfDay(s, static_cast<int32_t>(v.Integer)); return s;
    case TZelECellValue::cvDateTime: AppendTimestamp(s, static_cast<double>(v.Integer)); return s;
    case TZelECellValue::cvBoolean: return v.Boolean ? "True" : "False";
    default: return v.Text;
  }
}

bool ParseInteger(const std::string& text, int64_t& out) {
  size_t a = text.find_first_not_of(' '), b = text.find_last_not_of(' ');
  if (a == std::string::npos) return false;
  const char* first = text.data() + a;
  if (*first == '+') ++first;
  auto r = std::from_chars(first, text.data() + b + 1, out);
  return r.ec == std::errc() && r.ptr == text.data() + b + 1;
}

bool ParseNumber(const std::string& text, double& out) {
  size_t a = text.find_first_not_of(' '), b = text.find_last_not_of(' ');
  if (a == std::string::npos) return false;
  const char* first = text.data() + a;
  if (*first == '+') ++first;
  auto r = std::from_chars(first, text.data() + b + 1, out);
  return r.ec == std::errc() && r.ptr == text.data() + b + 1 && std::isfinite(out);
}

// The value of a field in the active record of a Paradox table, as the file stores it.
std::optional<TWriterValue> StoredValue(TPdx& t, const TField& f, uint8_t type) {
  if (type == pdxtype::kAlpha) {
    std::string s = t.RawAlpha(f);
    if (s.empty()) return std::nullopt;
    return TWriterValue(std::move(s));
  }
  if (pdxtype::IsBlob(type)) {
    std::string data;
    t.ReadBlobRaw(f, [&](const char* p, size_t n) { data.append(p, n); });
    if (data.empty()) return std::nullopt;
    return TWriterValue(std::move(data));
  }
  alignas(8) char buf[kMaxNativeSize + 256];
  if (!f.GetData(buf)) return std::nullopt;
  switch (type) {
    case pdxtype::kShort: {
      int16_t v;
      std::memcpy(&v, buf, sizeof v);
      return TWriterValue(v);
    }
    case pdxtype::kLong:
    case pdxtype::kAutoInc:
    case pdxtype::kDate:
    case pdxtype::kTime: {
      int32_t v;
      std::memcpy(&v, buf, sizeof v);
      return TWriterValue(v);
    }
    case pdxtype::kNumber:
    case pdxtype::kCurrency:
    case pdxtype::kTimestamp: {
      double v;
      std::memcpy(&v, buf, sizeof v);
      return TWriterValue(v);
    }
    case pdxtype::kLogical: {
      int16_t v;
      std::memcpy(&v, buf, sizeof v);
      return TWriterValue(v != 0);
    }
    case pdxtype::kBcd: {
      TBcdValue v;
      std::memcpy(&v, buf, sizeof v);
      return TWriterValue(v);
    }
    case pdxtype::kBytes: return TWriterValue(std::string(buf, static_cast<size_t>(f.Size())));
    default: return std::nullopt;
  }
}

bool SameNameNoCase(const std::string& a, const std::string& b) { return SameTextAscii(a, b); }

}  // namespace

// ---------------------------------------------------------------------------

TZelExportToBDE::TZelExportToBDE() {
  FileName = "ZelExport.DB";
  SetTableType(teParadox);
}

TZelExportToBDE::~TZelExportToBDE() = default;

TBDETableType TZelExportToBDE::BDETableType() const {
  if (auto* s = dynamic_cast<const TZelESettingsOf<TZelEBDESettings>*>(FormatSettings.Find(teParadox)))
    return s->Value.TableType;
  return ttDefault;
}

void TZelExportToBDE::SetBDETableType(TBDETableType t) {
  FormatSettings.Get<TZelEBDESettings>(teParadox).TableType = t;
}

TBDETableType TZelExportToBDE::ResolveTableType(TBDETableType t, const std::string& fileName) {
  if (t != ttDefault) return t;
  const std::string ext = Extension(fileName);
  if (ext == "DBF") return ttDBase;
  if (ext == "TXT") return ttASCII;
  return ttParadox;
}

void TZelExportToBDE::GetDefaultExt(std::string& ext) const {
  switch (BDETableType()) {
    case ttParadox: ext = ".DB"; break;
    case ttDBase: ext = ".DBF"; break;
    case ttASCII: ext = ".TXT"; break;
    default: ext.clear(); break;
  }
}

std::vector<std::string> TZelExportToBDE::TableSideFiles(const std::string& dbPath) {
  const size_t slash = dbPath.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dbPath.substr(0, slash));
  std::string base = slash == std::string::npos ? dbPath : dbPath.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  std::vector<std::string> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  auto alnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); };
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    const size_t ndot = name.find_last_of('.');
    if (ndot == std::string::npos || !SameNameNoCase(name.substr(0, ndot), base)) continue;
    const std::string ext = AsciiUpper(name.substr(ndot + 1));
    const bool index = ext.size() == 3 && (ext[0] == 'X' || ext[0] == 'Y') && alnum(ext[1]) && alnum(ext[2]);
    if (ext == "PX" || ext == "VAL" || index) out.push_back(dir + "/" + name);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

void TZelExportToBDE::Changed(int& counter) {
  ++counter;
  ++Statistic.TotalErrors;
}

// ---------------------------------------------------------------------------
// The run

void TZelExportToBDE::BeginExecute() {
  written_ = false;
  rows_ = 0;
  replacedTexts_ = formattedMemos_ = unreadBlobs_ = 0;
  viaDBF_ = false;
  dbf_.reset();
  writer_.reset();
  existing_.reset();
  fields_.clear();
  plans_.clear();
  codePageText_.reset();
  merging_ = false;
  maxAutoInc_ = nextAutoInc_ = 0;
  if (ResolveTableType(BDETableType(), FileName) == ttDBase) {
    // The dBase writer runs the whole export itself.
    viaDBF_ = true;
    Statistic.Result = erInProgress;
    Statistic.Message.clear();
    Statistic.Notes.clear();
    Statistic.TotalErrors = 0;
    Statistic.FilesWritten.clear();
    return;
  }
  TZelExportBaseComponent::BeginExecute();
}

void TZelExportToBDE::ExportData() {
  if (viaDBF_) {
    std::string name = FileName;
    if (OnGetFileName) OnGetFileName(*this, 0, name);
    if (Options.Has(soMergeData) && FileExists(name))
      throw EZelExportError("Records cannot be appended to the dBase table " + name +
                            ": export to a new dBase table, or append to a Paradox table.");
    dbf_ = std::make_unique<TZelExportToDBF>();
    dbf_->Assign(*this);
    dbf_->SetTableType(teDBase);
    dbf_->FileName = name;
    dbf_->OnGetFileName = nullptr;
    dbf_->Options.Exclude(soMergeData);
    dbf_->Execute();
    return;
  }
  std::string name = FileName;
  if (OnGetFileName) OnGetFileName(*this, 0, name);
  switch (ResolveTableType(BDETableType(), name)) {
    case ttFoxPro:
      throw EZelExportError("FoxPro tables cannot be written: export to a Paradox or dBase table instead.");
    case ttASCII:
      throw EZelExportError("ASCII tables cannot be written by this target: export to a text file (the Text "
                            "format) instead.");
    case ttDBase:
      throw EZelExportError("The file name " + name + " names a dBase table: choose the dBase table type.");
    default: break;
  }
  if (!DetailSources.empty())
    throw EZelExportError("A Paradox table holds the records of one table: detail levels cannot be exported to it.");
  if (!ExportIfEmpty && RecordCount() == 0) return;
  ExportParadox(name);
}

void TZelExportToBDE::EndExecute() {
  if (viaDBF_) {
    // The dBase writer's run is the run; a refusal before it keeps this one's failure.
    if (dbf_) Statistic = dbf_->Statistic;
    dbf_.reset();
    viaDBF_ = false;
    return;
  }
  if (replacedTexts_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d texts held characters that code page %d lacks: they were written as "
                                         "\"?\".",
                                         {std::to_string(replacedTexts_), std::to_string(codePage_)}));
  if (formattedMemos_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d formatted memos were copied as they are stored: their text is in the "
                                         "source table's code page, not in code page %d.",
                                         {std::to_string(formattedMemos_), std::to_string(codePage_)}));
  if (unreadBlobs_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d BLOB values of the source table are damaged and could not be read: "
                                         "they were left empty.",
                                         {std::to_string(unreadBlobs_)}));
  TZelExportBaseComponent::EndExecute();
}

void TZelExportToBDE::ExportParadox(const std::string& path) {
  path_ = path;
  TZelECustomDataEngine& engine = *Engine();
  for (int i = 0; i < Columns.Count(); ++i) {
    const TZelEColumn& c = Columns[i];
    if (!IsExported(c)) continue;
    TColumnPlan p;
    p.Column = i;
    p.Source = &c;
    p.Field = c.ColumnKind == ckField ? engine.FindField(c) : nullptr;
    plans_.push_back(p);
  }
  if (plans_.empty()) throw EZelExportError("This export has no columns: a table needs at least one field.");

  TPdxWriterOptions options;
  merging_ = Options.Has(soMergeData) && FileExists(path);
  if (merging_)
    OpenExistingTable(path, options);
  else
    PlanNewTable(path, options);
  MapColumns();

  std::vector<TPdxWriterField> defs;
  for (const TTargetField& f : fields_) defs.push_back(f.Def);
  writer_ = std::make_unique<TPdxWriter>(path, std::move(defs), options);
  if (merging_) CopyExistingRecords();
  WriteRecords();
}

void TZelExportToBDE::PlanNewTable(const std::string& path, TPdxWriterOptions& options) {
  (void)path;
  auto* source = dynamic_cast<TPdx*>(GetDataset());
  int version = 12, blockKB = 2;
  if (source) {
    const int v = source->Header().FileVersion();
    if (v == 3 || v == 4 || (v >= 9 && v <= 12)) version = v;
    const int b = source->Header().BlockSizeKB();
    if (b == 1 || b == 2 || b == 4 || b == 8 || b == 16 || b == 32) blockKB = b;
  }
  // Text: the source's bytes in the source's language driver, or converted into the
  // code page the user asked for.
  const int sourceCp = source ? ReadCodePage(*source) : 0;
  rawText_ = source && (CodePage == 0 || CodePage == sourceCp);
  if (rawText_) {
    codePage_ = sourceCp;
    options.Language.SortOrder = source->Header().SortOrder();
    options.Language.CodePage = static_cast<uint16_t>(sourceCp);
    options.Language.SortOrderName = source->SortOrderName();
  } else {
    codePage_ = CodePage != 0 ? CodePage : 1252;
    // The usual Paradox driver of the code page, else the first Paradox one, else any.
    static const char* const kPreferred[] = {"ANSIINTL", "ancyrr", "cyrr", "intl850", "ascii"};
    const TLanguageDriver* found = nullptr;
    for (const char* want : kPreferred)
      for (int i = 1; i <= kLanguageDriverCount && !found; ++i)
        if (LanguageDrivers[i].CodePageNumber == codePage_ && std::strcmp(LanguageDrivers[i].DriverName, want) == 0)
          found = &LanguageDrivers[i];
    for (int pass = 0; pass < 2 && !found; ++pass)
      for (int i = 1; i <= kLanguageDriverCount && !found; ++i) {
        const std::string n = LanguageDrivers[i].Name;
        if (LanguageDrivers[i].CodePageNumber == codePage_ &&
            (pass == 1 || n.rfind("Pdox", 0) == 0 || n.rfind("Paradox", 0) == 0))
          found = &LanguageDrivers[i];
      }
    if (!found)
      throw EZelExportError("No Paradox language driver holds text in code page " + std::to_string(codePage_) +
                            ": choose another code page.");
    options.Language.SortOrder = found->SortOrder;
    options.Language.CodePage = found->CodePageNumber;
    options.Language.SortOrderName = found->DriverName;
    codePageText_ = std::make_unique<TZelECodePageText>(codePage_);
    // Tables before 4.x do not say which code page their text is in.
    version = std::max(version, 9);
  }

  const bool captions = Options.Has(soUseFieldNameAsCaption);
  int recordLength = 0;
  for (size_t k = 0; k < plans_.size(); ++k) {
    const TColumnPlan& p = plans_[k];
    const TZelEColumn& c = *p.Source;
    TTargetField t;
    t.Column = p.Column;
    // Name: the field name as the table stores it, or a text converted into the table's code page.
    if (!captions && p.Field && rawText_) {
      t.Def.Name = c.FieldName;
    } else {
      std::string name = captions ? c.Title.Caption : c.FieldName;
      if (!captions && p.Field && source && &p.Field->DataSet() == source) name = source->EncodeText(name, *p.Field);
      t.Def.Name = TextInTable(name, "name");
    }
    if (t.Def.Name.empty()) t.Def.Name = "Field" + std::to_string(k + 1);
    // Type and size.
    if (p.Field && source && &p.Field->DataSet() == source) {
      const TPdxFieldInfo& fi = source->FieldInfo()[static_cast<size_t>(p.Field->Index())];
      t.Def.Type = fi.Type;
      t.Def.Size = fi.Size;
      if (fi.Type != pdxtype::kAlpha && fi.Type != pdxtype::kBytes && fi.Type != pdxtype::kBcd &&
          !pdxtype::IsBlob(fi.Type))
        t.Def.Size = 0;
    } else {
      TFieldType ft;
      int size;
      if (p.Field) {
        ft = p.Field->DataType();
        size = p.Field->Size();
      } else if (c.ColumnKind == ckField) {
        ft = Engine()->GetFieldType(c);
        size = c.Width;
      } else {
        ft = FieldTypeOfCellType(c.DataType);
        size = c.Width > 0                  ? c.Width
               : c.ColumnKind == ckConstant ? static_cast<int>(c.FieldName.size())
                                            : 20;
      }
      t.Def.Type = PdxTypeOf(ft);
      switch (t.Def.Type) {
        case pdxtype::kAlpha:
        case pdxtype::kBytes: t.Def.Size = std::clamp(size > 0 ? size : 255, 1, 255); break;
        case pdxtype::kBcd: t.Def.Size = std::clamp(size, 0, 32); break;
        default: t.Def.Size = pdxtype::IsBlob(t.Def.Type) ? (size >= 10 && size <= 250 ? size : 10) : 0; break;
      }
    }
    version = std::max(version, VersionFor(t.Def.Type));
    recordLength += SlotOf(t.Def);
    fields_.push_back(std::move(t));
  }
  if (version < 9 && version != 3 && version != 4) version = 9;
  if (version > 12) version = 12;
  // The block size of the source, or the smallest that takes a record.
  while (recordLength + 6 > blockKB * 1024 && blockKB < 32) blockKB *= 2;
  options.FileVersion = version;
  options.BlockSizeKB = blockKB;
  // Auto-increment values are copied: the table goes on after the largest of them
  // and after what the source table had given out.
  if (source) nextAutoInc_ = source->Header().AutoIncValue();
}

void TZelExportToBDE::OpenExistingTable(const std::string& path, TPdxWriterOptions& options) {
  existing_ = std::make_unique<TPdx>("BDETable");
  existing_->SetTableName(path);
  existing_->Open();
  TPdx& t = *existing_;
  if (t.Encrypted())
    throw EZelExportError("The table " + path + " is encrypted: records cannot be appended to it.");
  bool keyed = t.Header().PrimaryKeyFields() > 0;
  for (const std::string& side : TableSideFiles(path))
    if (AsciiUpper(side.substr(side.size() - 3)) == ".PX") keyed = true;
  if (keyed)
    throw EZelExportError("The table " + path + " is keyed (it has a primary index): appending to it would break "
                          "its index. Export to a new table instead.");
  const std::vector<std::string> problems = t.ReadProblems();
  if (!problems.empty())
    throw EZelExportError("The table " + path + " cannot be read whole (" + problems.front() +
                          "): records cannot be appended to it.");
  for (int j = 0; j < t.FieldCount(); ++j) {
    const TPdxFieldInfo& fi = t.FieldInfo()[static_cast<size_t>(j)];
    TTargetField f;
    f.Def.Name = t.FieldDefs()[static_cast<size_t>(j)].Name;
    f.Def.Type = fi.Type;
    f.Def.Size = fi.Size;
    if (fi.Type != pdxtype::kAlpha && fi.Type != pdxtype::kBytes && fi.Type != pdxtype::kBcd &&
        !pdxtype::IsBlob(fi.Type))
      f.Def.Size = 0;
    fields_.push_back(std::move(f));
  }
  const TPdxHeader& h = t.Header();
  options.FileVersion = h.FileVersion();
  options.BlockSizeKB = h.BlockSizeKB();
  codePage_ = ReadCodePage(t);
  options.Language.SortOrder = h.SortOrder();
  options.Language.CodePage = static_cast<uint16_t>(codePage_);
  options.Language.SortOrderName = t.SortOrderName();
  options.HeaderTableName = t.TableNameInHeader();
  nextAutoInc_ = h.AutoIncValue();
  // New text goes in as the table holds its text.
  auto* source = dynamic_cast<TPdx*>(GetDataset());
  rawText_ = source && ReadCodePage(*source) == codePage_;
}

void TZelExportToBDE::MapColumns() {
  // A column fills the field of its own field name, or else the field at its
  // position among the exported columns. A field two columns would fill takes
  // only the first: the run stops before the first record, naming the second.
  std::vector<int> filledBy(fields_.size(), -1);
  if (!merging_)
    for (TTargetField& f : fields_) f.Column = -1;
  auto title = [](const TColumnPlan& p) {
    return p.Source->Title.Caption.empty() ? p.Source->FieldName : p.Source->Title.Caption;
  };
  for (size_t k = 0; k < plans_.size(); ++k) {
    TColumnPlan& p = plans_[k];
    int index = -1;
    for (size_t j = 0; j < fields_.size() && index < 0; ++j)
      if (fields_[j].Def.Name == p.Source->FieldName) index = static_cast<int>(j);
    for (size_t j = 0; j < fields_.size() && index < 0; ++j)
      if (SameNameNoCase(fields_[j].Def.Name, p.Source->FieldName)) index = static_cast<int>(j);
    if (index < 0 && k < fields_.size()) index = static_cast<int>(k);
    if (index < 0)
      throw EZelExportError("The column \"" + EscapeControlBytes(title(p)) + "\" has no field in the table " + path_ +
                            ": no field has its name and the table has only " + std::to_string(fields_.size()) +
                            " fields. No record was written.");
    const size_t at = static_cast<size_t>(index);
    if (filledBy[at] >= 0)
      throw EZelExportError("The columns \"" + EscapeControlBytes(title(plans_[static_cast<size_t>(filledBy[at])])) +
                            "\" and \"" + EscapeControlBytes(title(p)) + "\" would both fill the field \"" +
                            EscapeControlBytes(fields_[at].Def.Name) + "\" of the table " + path_ +
                            ", and the values of the second would be lost. No record was written; choose columns "
                            "that match the table's fields.");
    filledBy[at] = static_cast<int>(k);
    p.Target = index;
    fields_[at].Column = p.Column;
  }
}

void TZelExportToBDE::CopyExistingRecords() {
  TPdx& t = *existing_;
  const int n = t.FieldCount();
  TWriterRow row(static_cast<size_t>(n));
  for (t.First(); !t.Eof(); t.Next()) {
    for (int j = 0; j < n; ++j) {
      const uint8_t type = fields_[static_cast<size_t>(j)].Def.Type;
      row[static_cast<size_t>(j)] = StoredValue(t, t.Fields(j), type);
      if (type == pdxtype::kAutoInc && row[static_cast<size_t>(j)])
        maxAutoInc_ = std::max(maxAutoInc_, row[static_cast<size_t>(j)]->Integer());
    }
    writer_->Append(row);
  }
  nextAutoInc_ = std::max(nextAutoInc_, maxAutoInc_);
  t.Close();
}

std::string TZelExportToBDE::TextInTable(const std::string& utf8, const char* what) {
  (void)what;
  // ASCII is the same in every code page the table can have.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return utf8;
  if (!codePageText_) codePageText_ = std::make_unique<TZelECodePageText>(codePage_);
  std::string out;
  if (codePageText_->Append(out, utf8).Changed()) Changed(replacedTexts_);
  return out;
}

std::optional<TWriterValue> TZelExportToBDE::ColumnValue(const TColumnPlan& plan, const TTargetField& target) {
  const uint8_t type = target.Def.Type;
  const TZelEColumn& c = *plan.Source;
  TZelECellValue v;
  if (plan.Field) {
    const TField& f = *plan.Field;
    auto* table = dynamic_cast<TPdx*>(&f.DataSet());
    const uint8_t sourceType =
        table ? table->FieldInfo()[static_cast<size_t>(f.Index())].Type : PdxTypeOf(f.DataType());
    const bool text = sourceType == pdxtype::kAlpha || sourceType == pdxtype::kMemo;
    if (table && sourceType == type && (rawText_ || !text)) {
      std::optional<TWriterValue> stored;
      try {
        stored = StoredValue(*table, f, type);
      } catch (const EBlobError&) {
        Changed(unreadBlobs_);
        return std::nullopt;
      }
      if (stored && !rawText_ && type == pdxtype::kFmtMemo) Changed(formattedMemos_);
      return stored;
    }
    // Another type, or text into another code page: the value, converted below.
    FieldCellValue(f, v);
    if (v.kind == TZelECellValue::cvText || v.kind == TZelECellValue::cvBlob) {
      if (sourceType == pdxtype::kBytes) {
        alignas(8) char buf[kAlphaBufferSize + 8];
        if (f.GetData(buf)) v.Text.assign(buf, static_cast<size_t>(f.Size()));
      } else if (sourceType == pdxtype::kAlpha) {
        if (table && rawText_) {
          v.Text = table->RawAlpha(f);
        } else {
          alignas(8) char buf[kAlphaBufferSize + 8];
          if (f.GetData(buf)) v.Text = TextInTable(buf, "text");
        }
      } else {
        std::string data;
        try {
          if (table && (rawText_ || sourceType != pdxtype::kMemo))
            table->ReadBlobRaw(f, [&](const char* p, size_t n) { data.append(p, n); });
          else
            f.DataSet().ReadBlob(f, [&](const char* p, size_t n) { data.append(p, n); });
        } catch (const EBlobError&) {
          Changed(unreadBlobs_);
          return std::nullopt;
        }
        v.Text = sourceType == pdxtype::kMemo && !(table && rawText_) ? TextInTable(data, "memo") : std::move(data);
        if (sourceType == pdxtype::kFmtMemo && !rawText_ && !v.Text.empty()) Changed(formattedMemos_);
      }
      if (v.Text.empty()) v.kind = TZelECellValue::cvNull;
    }
  } else if (c.ColumnKind == ckConstant || c.ColumnKind == ckSysVar) {
    v.kind = TZelECellValue::cvText;
    v.Text = TextInTable(c.ColumnKind == ckConstant ? c.FieldName : GetSysVarValue(c.FieldName), "text");
    if (v.Text.empty()) v.kind = TZelECellValue::cvNull;
  } else {
    TVariant value;
    Engine()->GetFieldValue(c, value);
    VariantCellValue(value, Engine()->GetFieldType(c), v);
    if (v.kind == TZelECellValue::cvText) v.Text = TextInTable(v.Text, "text");
  }
  if (v.IsNull()) return std::nullopt;

  // The field takes the value in its own type where it holds it as it is.
  auto refuse = [&]() -> std::optional<TWriterValue> {
    const std::string name = c.Title.Caption.empty() ? c.FieldName : c.Title.Caption;
    throw EZelExportError(ZelEFormat("Record %d: the column \"%s\" holds %s value, which the %s field \"%s\" "
                                     "cannot take. The table was left as it was.",
                                     {std::to_string(Statistic.TotalCount), EscapeControlBytes(name),
                                      CellKindName(v.kind), FieldKindName(type),
                                      EscapeControlBytes(target.Def.Name)}));
  };
  switch (type) {
    case pdxtype::kShort:
    case pdxtype::kLong:
    case pdxtype::kAutoInc: {
      int64_t i = 0;
      double d = 0;
      switch (v.kind) {
        case TZelECellValue::cvInteger: return TWriterValue(v.Integer);
        case TZelECellValue::cvDouble:
        case TZelECellValue::cvCurrency:
          if (v.Double == std::trunc(v.Double) && std::fabs(v.Double) < 9.0e18)
            return TWriterValue(static_cast<int64_t>(v.Double));
          return refuse();
        case TZelECellValue::cvBCD:
        case TZelECellValue::cvText:
          if (ParseInteger(v.Text, i)) return TWriterValue(i);
          if (v.kind == TZelECellValue::cvBCD && ParseNumber(v.Text, d) && d == std::trunc(d) &&
              std::fabs(d) < 9.0e15)
            return TWriterValue(static_cast<int64_t>(d));
          return refuse();
        default: return refuse();
      }
    }
    case pdxtype::kNumber:
    case pdxtype::kCurrency: {
      double d = 0;
      switch (v.kind) {
        case TZelECellValue::cvInteger: return TWriterValue(static_cast<double>(v.Integer));
        case TZelECellValue::cvDouble:
        case TZelECellValue::cvCurrency: return TWriterValue(v.Double);
        case TZelECellValue::cvBCD:
        case TZelECellValue::cvText:
          if (ParseNumber(v.Text, d)) return TWriterValue(d);
          return refuse();
        default: return refuse();
      }
    }
    case pdxtype::kBcd:
      switch (v.kind) {
        case TZelECellValue::cvInteger: return TWriterValue(v.Integer);
        case TZelECellValue::cvDouble:
        case TZelECellValue::cvCurrency: return TWriterValue(v.Double);
        case TZelECellValue::cvBCD: return TWriterValue(v.Text);
        case TZelECellValue::cvText: {
          double d = 0;
          if (ParseNumber(v.Text, d)) return TWriterValue(v.Text);
          return refuse();
        }
        default: return refuse();
      }
    case pdxtype::kDate:
      if (v.kind == TZelECellValue::cvDate) return TWriterValue(v.Integer);
      if (v.kind == TZelECellValue::cvDateTime && v.Integer % 86400000 == 0) return TWriterValue(v.Integer / 86400000);
      return refuse();
    case pdxtype::kTime:
      if (v.kind == TZelECellValue::cvTime) return TWriterValue(v.Integer);
      return refuse();
    case pdxtype::kTimestamp:
      if (v.kind == TZelECellValue::cvDateTime) return TWriterValue(static_cast<double>(v.Integer));
      if (v.kind == TZelECellValue::cvDate) return TWriterValue(static_cast<double>(v.Integer) * 86400000.0);
      return refuse();
    case pdxtype::kLogical:
      if (v.kind == TZelECellValue::cvBoolean) return TWriterValue(v.Boolean);
      return refuse();
    default:
      // Alpha, bytes and the BLOB kinds take the bytes of a text or BLOB, and any
      // other value as dump writes it.
      return TWriterValue(CellText(v));
  }
}

void TZelExportToBDE::WriteRecords() {
  TZelECustomDataEngine& engine = *Engine();
  engine.BeforeExecute();
  engine.First();
  Statistic.TotalCount = 0;
  Statistic.CurrentRow = 0;
  Statistic.Section = 3;
  std::vector<size_t> autoInc;
  for (size_t j = 0; j < fields_.size(); ++j)
    if (fields_[j].Def.Type == pdxtype::kAutoInc) autoInc.push_back(j);
  TWriterRow row(fields_.size());
  try {
    while (!Cancelled()) {
      if (engine.Eof()) break;
      if (AnimatedStatus) UpdateProgress(TitleStatus, Statistic.TotalCount);
      bool accept = true;
      if (OnBeforeRecord) OnBeforeRecord(*this, accept);
      if (accept) {
        if (OnProgress) {
          bool abort = false;
          OnProgress(*this, Statistic.TotalCount, engine.GetRecordCount(), abort);
          if (abort) {
            SetCancelled(true);
            break;
          }
        }
        ++Statistic.TotalCount;
        sysRowNo_ = Statistic.TotalCount;
        Statistic.CurrentCol = -1;
        std::fill(row.begin(), row.end(), std::nullopt);
        for (const TColumnPlan& p : plans_) {
          ++Statistic.CurrentCol;
          sysColNo_ = Statistic.CurrentCol + 1;
          const TTargetField& target = fields_[static_cast<size_t>(p.Target)];
          // Appended records are numbered by the table.
          if (merging_ && target.Def.Type == pdxtype::kAutoInc) continue;
          row[static_cast<size_t>(p.Target)] = ColumnValue(p, target);
        }
        for (size_t j : autoInc) {
          if (merging_) row[j] = TWriterValue(++nextAutoInc_);
          if (row[j]) maxAutoInc_ = std::max(maxAutoInc_, row[j]->Integer());
        }
        writer_->Append(row);
        ++rows_;
      }
      engine.Next();
      ++Statistic.CurrentRow;
      bool abort = false;
      if (OnAfterRecord) OnAfterRecord(*this, abort);
      if (abort) SetCancelled(true);
    }
  } catch (...) {
    engine.AfterExecute();
    throw;
  }
  engine.AfterExecute();
  Statistic.RecordsExported = rows_;
}

void TZelExportToBDE::FinishOutput(bool keep) {
  existing_.reset();
  if (!writer_) return;
  std::unique_ptr<TPdxWriter> writer = std::move(writer_);
  if (!keep) {
    writer->Abandon();
    return;
  }
  if (std::any_of(fields_.begin(), fields_.end(), [](const TTargetField& f) { return f.Def.Type == pdxtype::kAutoInc; })) {
    const int64_t next = std::clamp<int64_t>(std::max(nextAutoInc_, maxAutoInc_), 0, 0x7FFFFFFF);
    writer->SetAutoIncValue(static_cast<uint32_t>(next));
  }
  writer->Finish();
  written_ = true;
  Statistic.FilesWritten.push_back(path_);
  if (!writer->MemoPath().empty()) Statistic.FilesWritten.push_back(writer->MemoPath());
  // The indexes and checks of the table this one replaced describe records that are gone.
  if (!merging_)
    for (const std::string& side : TableSideFiles(path_)) ::unlink(side.c_str());
}

}  // namespace korvane
