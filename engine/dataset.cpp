// The dataset base: field objects, value conversions, cursor movement and change
// notifications over the primitives a table supplies. The window holds the active
// record; views that show many rows read them through PeekRecord.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/dataset.h"
#include "engine/grid.h"

namespace korvane {
const char* FieldTypeName(TFieldType t) {
  static const char* n[] = {"Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float",
                            "Currency", "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes",
                            "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo", "ParadoxOle"};
  return (t >= 0 && t <= 19) ? n[t] : "Unknown";
}
bool IsBlobType(TFieldType t) { return t >= ftBlob && t <= ftParadoxOle; }
bool IsNumericType(TFieldType t) { return (t >= ftSmallint && t <= ftBCD && t != ftBoolean) || t == ftAutoInc; }
bool IsDateTimeType(TFieldType t) { return t >= ftDate && t <= ftDateTime; }
size_t TMemoryStream::Read(void* d, size_t n) {
  size_t a = pos_ < (int64_t)data_.size() ? data_.size() - pos_ : 0;
  n = std::min(n, a);
  memcpy(d, data_.data() + pos_, n);
  pos_ += n;
  return n;
}
void TMemoryStream::Write(const void* s, size_t n) {
  if ((size_t)pos_ > data_.size()) data_.resize(pos_);
  data_.replace(pos_, std::min<size_t>(n, data_.size() - pos_), (const char*)s, n);
  pos_ += n;
}
std::string TBcdValue::ToString(char sep) const {
  std::string d = Digits;
  if (d.empty()) d = "0";
  if ((int)d.size() <= Decimals) d.insert(0, Decimals - d.size() + 1, '0');
  std::string r = Negative ? "-" : "";
  if (Decimals == 0) return r + d;
  return r + d.substr(0, d.size() - Decimals) + sep + d.substr(d.size() - Decimals);
}
double TBcdValue::ToDouble() const { return std::stod(ToString('.')); }

TField::TField(TDataSet& o, const TFieldDef& d, int i)
    : dataSet_(&o), name_(d.Name), dataType_(d.DataType), size_(d.Size), index_(i) {
  if (IsNumericType(dataType_)) alignment_ = taRightJustify;
  precision_ = dataType_ == ftBCD ? d.Precision : 15;
}
TField::~TField() {}
int TField::DataSize() const {
  switch (dataType_) {
    case ftString: return size_ + 1;
    case ftSmallint: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: return 4;
    case ftBCD: return 34;
    default: return IsBlobType(dataType_) ? 0 : 8;
  }
}
const TFormatSettings& TField::Settings() const { return dataSet_->FormatSettings(); }
bool TField::IsNull() const { return !dataSet_->GetFieldValue(*this, nullptr); }
std::string TField::AsString() const {
  if (IsBlob()) return BlobData();
  alignas(8) char buf[kAlphaBufferSize] = {};
  if (!dataSet_->GetFieldValue(*this, buf)) return "";
  switch (dataType_) {
    case ftString: return std::string(buf);
    case ftSmallint: { int16_t v; memcpy(&v, buf, 2); return std::to_string(v); }
    case ftBoolean: { int16_t v; memcpy(&v, buf, 2); return v ? "True" : "False"; }
    case ftInteger: case ftAutoInc: { int32_t v; memcpy(&v, buf, 4); return std::to_string(v); }
    case ftFloat: case ftCurrency: { double v; memcpy(&v, buf, 8); return FloatToStr(v, Settings()); }
    case ftBCD: { TBcdValue v; memcpy((void*)&v, buf, sizeof v); return v.ToString(Settings().DecimalSeparator); }
    case ftDate: { int32_t v; memcpy(&v, buf, 4); return DateToStr(DayNumberToDateTime(v), Settings()); }
    case ftTime: { int32_t v; memcpy(&v, buf, 4); return TimeToStr(MillisecondsToTime(v), Settings()); }
    case ftDateTime: { double v; memcpy(&v, buf, 8); return DateTimeToStr(v / 86400000.0 - kDayNumberOf18991230, Settings()); }
    case ftBytes: return std::string(buf, static_cast<size_t>(std::min<int>(size_, static_cast<int>(sizeof buf))));
    default: return "";
  }
}
std::string TField::DisplayText() const {
  if (IsBlob()) return "(" + std::string(FieldTypeName(dataType_)) + ")";
  if (dataType_ == ftBytes) return "(Bytes)";
  if (dataType_ == ftCurrency) return IsNull() ? std::string() : CurrToStrF(AsFloat(), Settings());
  return AsString();
}
namespace {
template <class T>
T Native(const char* buf) {
  T v;
  memcpy(&v, buf, sizeof v);
  return v;
}
}  // namespace

int64_t TField::AsInteger() const {
  alignas(8) char buf[kMaxNativeSize + 8] = {};
  if (IsBlob() || dataType_ == ftString || dataType_ == ftBytes) {
    try { return std::stoll(AsString()); } catch (...) { return 0; }
  }
  if (!dataSet_->GetFieldValue(*this, buf)) return 0;
  switch (dataType_) {
    case ftSmallint: case ftBoolean: return Native<int16_t>(buf);
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return Native<int32_t>(buf);
    case ftFloat: case ftCurrency: case ftDateTime: return static_cast<int64_t>(std::llround(Native<double>(buf)));
    case ftBCD: return static_cast<int64_t>(std::llround(Native<TBcdValue>(buf).ToDouble()));
    default: return 0;
  }
}
double TField::AsFloat() const {
  alignas(8) char buf[kMaxNativeSize + 8] = {};
  if (IsBlob() || dataType_ == ftString || dataType_ == ftBytes) {
    try { return std::stod(AsString()); } catch (...) { return 0; }
  }
  if (!dataSet_->GetFieldValue(*this, buf)) return 0;
  switch (dataType_) {
    case ftFloat: case ftCurrency: return Native<double>(buf);
    case ftBCD: return Native<TBcdValue>(buf).ToDouble();
    case ftDate: case ftTime: case ftDateTime: return AsDateTime();
    default: return static_cast<double>(AsInteger());
  }
}
TDateTime TField::AsDateTime() const {
  alignas(8) char buf[kMaxNativeSize + 8] = {};
  if (!IsDateTimeType(dataType_) || !dataSet_->GetFieldValue(*this, buf)) return 0;
  switch (dataType_) {
    case ftDate: return DayNumberToDateTime(Native<int32_t>(buf));
    case ftTime: return MillisecondsToTime(Native<int32_t>(buf));
    default: return Native<double>(buf) / 86400000.0 - kDayNumberOf18991230;
  }
}
bool TField::AsBoolean() const {
  if (dataType_ == ftBoolean) {
    alignas(8) char buf[8] = {};
    return dataSet_->GetFieldValue(*this, buf) && Native<int16_t>(buf) != 0;
  }
  return AsInteger() != 0;
}
TVariant TField::AsVariant() const {
  if (IsBlob()) return TVariant::String(BlobData());
  if (IsNull()) return TVariant::Null();
  switch (dataType_) {
    case ftSmallint: case ftInteger: case ftAutoInc: return TVariant::Integer(AsInteger());
    case ftBoolean: return TVariant::Boolean(AsBoolean());
    case ftFloat: return TVariant::Float(AsFloat());
    case ftCurrency: return TVariant::Currency(AsFloat());
    case ftBCD: return TVariant::BCD(AsString());
    case ftDate: case ftTime: case ftDateTime: return TVariant::DateTime(AsDateTime());
    default: return TVariant::String(AsString());
  }
}
bool TField::GetData(void* d) const { return dataSet_->GetFieldValue(*this, d); }
std::string TField::BlobData() const { auto s = dataSet_->CreateBlobStream(*this, bmRead); return s ? s->Data() : ""; }
void TField::SaveToStream(TMemoryStream& s) const { s.Write(BlobData()); }
int TField::DefaultDisplayWidth() const {
  switch (dataType_) {
    case ftString: return size_;
    case ftSmallint: return 6;
    case ftInteger: case ftAutoInc: return 11;
    case ftBoolean: return 5;
    case ftDate: case ftTime: return 10;
    case ftDateTime: return 18;
    default: return 10;
  }
}

TDataSet::TDataSet(std::string n) : name_(std::move(n)) {}
TDataSet::~TDataSet() {}
void TDataSet::DatabaseError(const std::string& m) const { throw EDatabaseError(name_.empty() ? m : name_ + ": " + m); }
void TDataSet::CheckActive() const { if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset"); }
void TDataSet::Notify(TDataEvent e) {
  if (disableCount_ > 0) { changedWhileDisabled_ = true; return; }
  auto obs = observers_;
  for (auto* o : obs) o->DataSetEvent(*this, e);
}
void TDataSet::AddObserver(TDataSetObserver* o) { if (std::find(observers_.begin(), observers_.end(), o) == observers_.end()) observers_.push_back(o); }
void TDataSet::RemoveObserver(TDataSetObserver* o) { observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end()); }
void TDataSet::DisableControls() { ++disableCount_; }
void TDataSet::EnableControls() {
  if (disableCount_ > 0 && --disableCount_ == 0 && changedWhileDisabled_) { changedWhileDisabled_ = false; Notify(TDataEvent::DataSetChanged); }
}
void TDataSet::CreateFields() {
  fields_.clear();
  for (size_t i = 0; i < fieldDefs_.size(); ++i) {
    if (fieldDefs_[i].DataType == ftUnknown) DatabaseError("Field '" + fieldDefs_[i].Name + "' is of an unknown type");
    fields_.push_back(std::make_unique<TField>(*this, fieldDefs_[i], (int)i));
  }
}
void TDataSet::DestroyFields() { fields_.clear(); }
void TDataSet::Open() {
  if (Active()) return;
  try {
    InternalOpen();
    CreateFields();
  } catch (...) {
    DestroyFields();
    InternalClose();
    throw;
  }
  // buffers_[0] is the active record, buffers_[1] a scratch buffer for moves.
  buffers_.assign(2, std::vector<uint8_t>(RecordBufferSize()));
  peekBuffer_.assign(RecordBufferSize(), 0);
  state_ = dsBrowse;
  try {
    InternalFirst();
    windowCount_ = GetRecord(buffers_[0].data(), gmNext, true) == grOK ? 1 : 0;
  } catch (...) {
    state_ = dsInactive;
    windowCount_ = 0;
    DestroyFields();
    InternalClose();
    throw;
  }
  bof_ = true;
  eof_ = windowCount_ == 0;
  Notify(TDataEvent::ActiveChanged);
}
void TDataSet::Close() {
  if (!Active()) return;
  state_ = dsInactive;
  DestroyFields();
  InternalClose();
  windowCount_ = 0;
  Notify(TDataEvent::ActiveChanged);
}
TField& TDataSet::Fields(int i) const { return *fields_.at((size_t)i); }
TField* TDataSet::FindField(const std::string& n) const {
  for (auto& f : fields_) if (f->FieldName() == n) return f.get();
  for (auto& f : fields_) if (SameTextAscii(f->FieldName(), n)) return f.get();
  return nullptr;
}
TField& TDataSet::FieldByName(const std::string& n) const {
  TField* f = FindField(n);
  if (!f) DatabaseError("Field '" + n + "' not found");
  return *f;
}
std::vector<std::string> TDataSet::GetFieldNames() const { std::vector<std::string> v; for (auto& f : fields_) v.push_back(f->FieldName()); return v; }
const uint8_t* TDataSet::ActiveBuffer() const { return peekDepth_ ? peekBuffer_.data() : buffers_.empty() ? nullptr : buffers_[0].data(); }
void TDataSet::First() {
  CheckActive();
  InternalFirst();
  windowCount_ = GetRecord(buffers_[0].data(), gmNext, true) == grOK ? 1 : 0;
  bof_ = true; eof_ = windowCount_ == 0;
  Notify(TDataEvent::DataSetChanged);
}
void TDataSet::Last() {
  CheckActive();
  InternalLast();
  windowCount_ = GetRecord(buffers_[0].data(), gmPrior, true) == grOK ? 1 : 0;
  eof_ = true; bof_ = windowCount_ == 0;
  Notify(TDataEvent::DataSetChanged);
}
void TDataSet::Next() {
  CheckActive();
  if (eof_ || windowCount_ == 0) { eof_ = true; return; }
  InternalSetToRecord(buffers_[0].data());
  if (GetRecord(buffers_[1].data(), gmNext, true) == grOK) { std::swap(buffers_[0], buffers_[1]); bof_ = false; Notify(TDataEvent::DataSetScroll); }
  else eof_ = true;
}
void TDataSet::Prior() {
  CheckActive();
  if (bof_ || windowCount_ == 0) { bof_ = true; return; }
  InternalSetToRecord(buffers_[0].data());
  if (GetRecord(buffers_[1].data(), gmPrior, true) == grOK) { std::swap(buffers_[0], buffers_[1]); eof_ = false; Notify(TDataEvent::DataSetScroll); }
  else bof_ = true;
}
int TDataSet::MoveBy(int d) { int n = 0; while (d > 0 && !eof_) { Next(); --d; ++n; } while (d < 0 && !bof_) { Prior(); ++d; --n; } return n; }
bool TDataSet::IsEmpty() const { return !Active() || windowCount_ == 0; }
int TDataSet::RecNo() const { return Active() && windowCount_ ? GetRecNoFromBuffer(buffers_[0].data()) : 0; }
int TDataSet::RecordCount() const { CheckActive(); return GetRecordCount(); }
void TDataSet::SetRecNo(int n) {
  CheckActive();
  if (n < 1 || n > GetRecordCount()) return;
  SetRecNoPrimitive(n);
  if (GetRecord(buffers_[0].data(), gmCurrent, true) == grOK) { windowCount_ = 1; bof_ = eof_ = false; }
  Notify(TDataEvent::DataSetChanged);
}
void TDataSet::Resync() {
  CheckActive();
  if (windowCount_) { InternalSetToRecord(buffers_[0].data()); GetRecord(buffers_[0].data(), gmCurrent, true); }
  Notify(TDataEvent::DataSetChanged);
}
void TDataSet::Refresh() { Resync(); }
TBookmark TDataSet::GetBookmark() const { return RecNo(); }
void TDataSet::GotoBookmark(TBookmark b) { SetRecNo(b); }
bool TDataSet::BookmarkValid(TBookmark b) const { return Active() && b >= 1 && b <= GetRecordCount(); }
bool TDataSet::Locate(const std::string& fn, const std::string& value, TLocateOptions o) {
  CheckActive();
  TField& f = FieldByName(fn);
  std::string v = o.CaseInsensitive ? AsciiLower(value) : value;
  for (int r = 1; r <= GetRecordCount(); ++r) {
    std::string s;
    { auto p = PeekRecord(r); if (!p.Valid()) continue; s = f.AsString(); }
    if (o.CaseInsensitive) s = AsciiLower(s);
    if (o.PartialKey ? s.compare(0, v.size(), v) == 0 : s == v) { SetRecNo(r); return true; }
  }
  return false;
}
void TDataSet::Edit() { DatabaseError("Cannot modify a read-only dataset"); }
void TDataSet::Insert() { Edit(); }
void TDataSet::Append() { Edit(); }
void TDataSet::Delete() { CheckActive(); if (IsEmpty()) DatabaseError("Cannot perform this operation on an empty dataset"); Resync(); }
void TDataSet::SetBufferCount(int n) { bufferCount_ = n; }
int TDataSet::WindowRecNo(int) const { return RecNo(); }
int TDataSet::SetActiveRecord(int r) { return r; }
TDataSet::TRecordPeek::TRecordPeek(TRecordPeek&& o) noexcept : ds_(o.ds_) { o.ds_ = nullptr; }
TDataSet::TRecordPeek& TDataSet::TRecordPeek::operator=(TRecordPeek&& o) noexcept { std::swap(ds_, o.ds_); return *this; }
TDataSet::TRecordPeek::~TRecordPeek() { if (ds_) --ds_->peekDepth_; }
TDataSet::TRecordPeek TDataSet::PeekRecord(int n) {
  TRecordPeek p;
  if (!Active() || n < 1 || n > GetRecordCount()) return p;
  // The table's cursor goes back to the active record whatever the read did.
  SetRecNoPrimitive(n);
  TGetResult r = grError;
  try {
    r = GetRecord(peekBuffer_.data(), gmCurrent, true);
  } catch (...) {
    if (windowCount_) InternalSetToRecord(buffers_[0].data());
    throw;
  }
  if (windowCount_) InternalSetToRecord(buffers_[0].data());
  if (r != grOK) return p;
  ++peekDepth_;
  p.ds_ = this;
  return p;
}
std::unique_ptr<TMemoryStream> TDataSet::CreateBlobStream(const TField& f, TBlobStreamMode m) {
  if (IsEmpty()) return std::make_unique<TMemoryStream>();
  return InternalCreateBlobStream(f, ActiveBuffer(), m);
}
bool TDataSet::GetFieldValue(const TField& f, void* d) const { if (IsEmpty()) return false; return GetFieldData(f, ActiveBuffer(), d); }

// grid
TDataSource::~TDataSource() { if (dataSet_) dataSet_->RemoveObserver(this); }
void TDataSource::SetDataSet(TDataSet* ds) {
  if (dataSet_) dataSet_->RemoveObserver(this);
  dataSet_ = ds;
  if (ds) ds->AddObserver(this);
  if (ds) DataSetEvent(*ds, TDataEvent::ActiveChanged);
}
void TDataSource::SetEnabled(bool e) { enabled_ = e; }
void TDataSource::AddObserver(TDataSetObserver* o) { observers_.push_back(o); }
void TDataSource::RemoveObserver(TDataSetObserver* o) { observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end()); }
void TDataSource::DataSetEvent(TDataSet& ds, TDataEvent e) { if (!enabled_) return; auto obs = observers_; for (auto* o : obs) o->DataSetEvent(ds, e); }
int TGridColumns::MeasureText(const std::string& t) const { return TextWidth ? TextWidth(t) : 6 * (int)t.size(); }
int TGridColumns::DefaultWidth(const TField& f) const {
  int w = MeasureText(std::string((size_t)std::max(1, f.DisplayWidth()), '0')) + 4;
  return std::max(w, MeasureText(f.FieldName()) + 4);
}
void TGridColumns::RebuildFromFields() {
  columns_.clear();
  TDataSet* ds = DataSet();
  if (ds && ds->Active())
    for (int i = 0; i < ds->FieldCount(); ++i) {
      TGridColumn c; c.FieldName = ds->Fields(i).FieldName(); c.Title.Caption = c.FieldName; c.Width = DefaultWidth(ds->Fields(i));
      c.Alignment = ds->Fields(i).Alignment();
      columns_.push_back(c);
    }
  selectedIndex_ = 0;
  selectedRows_.clear();
  Changed();
}
void TGridColumns::SetColumns(std::vector<TGridColumn> c) { columns_ = std::move(c); Changed(); }
void TGridColumns::Move(int from, int to) {
  if (from < 0 || to < 0 || from >= Count() || to >= Count() || from == to) return;
  TGridColumn c = columns_[from]; columns_.erase(columns_.begin() + from); columns_.insert(columns_.begin() + to, c);
  Changed();
}
int TGridColumns::IndexOfField(const std::string& n) const { for (int i = 0; i < Count(); ++i) if (columns_[i].FieldName == n) return i; return -1; }
TField* TGridColumns::FieldOf(int c) const { TDataSet* ds = DataSet(); if (!ds || !ds->Active() || c < 0 || c >= Count()) return nullptr; return ds->FindField(columns_[c].FieldName); }
void TGridColumns::Changed() { auto l = listeners_; for (auto& f : l) f(); }
void TGridColumns::SetSelectedIndex(int i) { selectedIndex_ = i; Changed(); }
void TGridColumns::SetSelectedRows(std::vector<TBookmark> r) { selectedRows_ = std::move(r); Changed(); }
void TGridColumns::ToggleSelected(TBookmark b) { auto it = std::find(selectedRows_.begin(), selectedRows_.end(), b); if (it == selectedRows_.end()) selectedRows_.push_back(b); else selectedRows_.erase(it); Changed(); }
}  // namespace korvane
