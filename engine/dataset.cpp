// The dataset base: field objects, value conversions, cursor movement and change
// notifications over the primitives a table supplies. The window holds as many
// consecutive records as its views asked for; views that paint arbitrary rows
// read them through PeekRecord.
#include <algorithm>
#include <charconv>
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
  if (pos_ >= static_cast<int64_t>(data_.size())) return 0;
  n = std::min(n, data_.size() - static_cast<size_t>(pos_));
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

namespace {

template <class T>
T Native(const char* buf) {
  T v;
  std::memcpy(&v, buf, sizeof v);
  return v;
}

std::string TrimSpaces(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Decimal integer text with an optional sign and surrounding blanks; empty text is 0.
int64_t ParseInteger(const std::string& text) {
  const std::string t = TrimSpaces(text);
  if (t.empty()) return 0;
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+' && e - b > 1 && b[1] != '-') ++b;
  int64_t v = 0;
  auto r = std::from_chars(b, e, v);
  if (r.ec != std::errc() || r.ptr != e) throw EConvertError("'" + text + "' is not a valid integer value");
  return v;
}

// Decimal number text with the given decimal separator, in plain or exponent form;
// empty text is 0. Independent of the process locale.
double ParseFloat(const std::string& text, char decimalSeparator) {
  std::string t = TrimSpaces(text);
  if (t.empty()) return 0;
  for (char& c : t) {
    if (c == decimalSeparator) {
      c = '.';
    } else if (c == '.' && decimalSeparator != '.') {
      c = 'x';  // a point is no decimal separator here
    }
  }
  const bool plain = std::all_of(t.begin(), t.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
  });
  const char* b = t.data();
  const char* e = b + t.size();
  if (plain && *b == '+' && e - b > 1 && b[1] != '-') ++b;
  double v = 0;
  auto r = plain ? std::from_chars(b, e, v) : std::from_chars_result{b, std::errc::invalid_argument};
  if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) {
    throw EConvertError("'" + text + "' is not a valid floating point value");
  }
  return v;
}

// Text in which upper-case letters are replaced by their lower-case forms: ASCII, and
// in UTF-8 text the Latin-1, Latin Extended-A, Greek and Cyrillic capitals (each
// keeps its byte length). Bytes that are no UTF-8 stay as they are.
std::string FoldCase(const std::string& s) {
  std::string out = s;
  const size_t n = out.size();
  for (size_t i = 0; i < n;) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c < 0x80) {
      if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
      ++i;
      continue;
    }
    if ((c & 0xE0) != 0xC0 || i + 1 >= n || (static_cast<unsigned char>(out[i + 1]) & 0xC0) != 0x80) {
      ++i;
      continue;
    }
    uint32_t cp = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(out[i + 1]) & 0x3Fu);
    uint32_t lower = cp;
    if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) ||
        (cp >= 0x410 && cp <= 0x42F)) {
      lower = cp + 0x20;
    } else if (cp >= 0x400 && cp <= 0x40F) {
      lower = cp + 0x50;
    } else if ((cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177)) {
      lower = cp | 1;
    } else if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) {
      lower = cp + (cp & 1);
    } else if (cp == 0x178) {
      lower = 0xFF;
    }
    if (lower != cp && lower >= 0x80 && lower < 0x800) {
      out[i] = static_cast<char>(0xC0 | (lower >> 6));
      out[i + 1] = static_cast<char>(0x80 | (lower & 0x3F));
    }
    i += 2;
  }
  return out;
}

int64_t RoundToInteger(double v) {
  if (!(v > -9.2e18 && v < 9.2e18)) throw EConvertError("'" + ReprDouble(v) + "' is not a valid integer value");
  return static_cast<int64_t>(std::llround(v));
}

}  // namespace

double TBcdValue::ToDouble() const {
  const std::string s = ToString('.');
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

TField::TField(TDataSet& o, const TFieldDef& d, int i)
    : dataSet_(&o), name_(d.Name), dataType_(d.DataType), size_(d.Size), index_(i) {
  if (IsNumericType(dataType_)) alignment_ = taRightJustify;
  precision_ = dataType_ == ftBCD ? d.Precision : 15;
}

TField::~TField() = default;

int TField::DataSize() const {
  switch (dataType_) {
    case ftString: return size_ + 1;
    case ftSmallint:
    case ftBoolean:
    case ftWord: return 2;
    case ftInteger:
    case ftAutoInc: return 4;
    case ftBCD: return 34;
    case ftBytes:
    case ftVarBytes: return size_;
    default: return IsBlobType(dataType_) ? 0 : 8;
  }
}

const TFormatSettings& TField::Settings() const { return dataSet_->FormatSettings(); }

void TField::AccessError(const char* typeName) const {
  throw EDatabaseError("Cannot access field '" + name_ + "' as type " + typeName);
}

bool TField::IsNull() const { return !dataSet_->GetFieldValue(*this, nullptr); }

std::string TField::AsString() const {
  if (IsBlob()) {
    // Memo text as it is; binary data as lower-case hex, as dump writes it.
    if (dataType_ == ftMemo || dataType_ == ftFmtMemo) return BlobData();
    const std::string data = BlobData();
    std::string hex;
    AppendHex(hex, data.data(), data.size());
    return hex;
  }
  alignas(8) char buf[kAlphaBufferSize] = {};
  if (!dataSet_->GetFieldValue(*this, buf)) return "";
  const TFormatSettings& fs = Settings();
  switch (dataType_) {
    case ftString: return std::string(buf);
    case ftSmallint:
    case ftWord: return std::to_string(Native<int16_t>(buf));
    case ftBoolean: return Native<int16_t>(buf) ? "True" : "False";
    case ftInteger:
    case ftAutoInc: return std::to_string(Native<int32_t>(buf));
    case ftFloat: return FloatToStr(Native<double>(buf), fs, precision_ > 0 ? precision_ : 15);
    case ftCurrency: return CurrToStr(Native<double>(buf), fs);
    case ftBCD: return Native<TBcdValue>(buf).ToString(fs.DecimalSeparator);
    case ftDate: return DateToStr(DayNumberToDateTime(Native<int32_t>(buf)), fs);
    case ftTime: {
      const int32_t ms = Native<int32_t>(buf);
      if (ms >= 0 && ms < 86400000) return TimeToStrExact(MillisecondsToTime(ms), fs);
      std::string out;  // no time of day: as dump writes it
      AppendTimeOfDay(out, ms);
      return out;
    }
    case ftDateTime: return TimestampToStr(Native<double>(buf), fs);
    case ftBytes:
    case ftVarBytes: {
      std::string hex;
      AppendHex(hex, buf, static_cast<size_t>(std::clamp<int>(size_, 0, static_cast<int>(sizeof buf))));
      return hex;
    }
    default: return "";
  }
}

std::string TField::DisplayText() const {
  if (IsBlob()) return "(" + std::string(FieldTypeName(dataType_)) + ")";
  if (dataType_ == ftBytes) return "(Bytes)";
  if (dataType_ == ftCurrency) return IsNull() ? std::string() : CurrToStrF(AsFloat(), Settings());
  return AsString();
}

int64_t TField::AsInteger() const {
  if (dataType_ == ftString) return ParseInteger(AsString());
  if (IsBlob() || IsDateTimeType(dataType_) || dataType_ == ftBytes || dataType_ == ftVarBytes) {
    AccessError("Integer");
  }
  alignas(8) char buf[kMaxNativeSize + 8] = {};
  if (!dataSet_->GetFieldValue(*this, buf)) return 0;
  switch (dataType_) {
    case ftBoolean: return Native<int16_t>(buf) != 0 ? 1 : 0;
    case ftSmallint:
    case ftWord: return Native<int16_t>(buf);
    case ftInteger:
    case ftAutoInc: return Native<int32_t>(buf);
    case ftFloat:
    case ftCurrency: return RoundToInteger(Native<double>(buf));
    case ftBCD: return RoundToInteger(Native<TBcdValue>(buf).ToDouble());
    default: AccessError("Integer");
  }
}

double TField::AsFloat() const {
  if (dataType_ == ftString) return ParseFloat(AsString(), Settings().DecimalSeparator);
  if (IsBlob() || dataType_ == ftBytes || dataType_ == ftVarBytes) AccessError("Float");
  if (IsDateTimeType(dataType_)) return AsDateTime();
  alignas(8) char buf[kMaxNativeSize + 8] = {};
  if (!dataSet_->GetFieldValue(*this, buf)) return 0;
  switch (dataType_) {
    case ftFloat:
    case ftCurrency: return Native<double>(buf);
    case ftBCD: return Native<TBcdValue>(buf).ToDouble();
    default: return static_cast<double>(AsInteger());
  }
}

TDateTime TField::AsDateTime() const {
  if (!IsDateTimeType(dataType_)) AccessError("DateTime");
  alignas(8) char buf[kMaxNativeSize + 8] = {};
  if (!dataSet_->GetFieldValue(*this, buf)) return 0;
  switch (dataType_) {
    case ftDate: return DayNumberToDateTime(Native<int32_t>(buf));
    case ftTime: return MillisecondsToTime(Native<int32_t>(buf));
    default: return TimestampToDateTime(Native<double>(buf));
  }
}

bool TField::AsBoolean() const {
  switch (dataType_) {
    case ftBoolean: {
      alignas(8) char buf[8] = {};
      return dataSet_->GetFieldValue(*this, buf) && Native<int16_t>(buf) != 0;
    }
    case ftString: {
      // "True", "Yes" and the like: the first letter decides.
      const std::string s = AsString();
      return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
    }
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc: return AsInteger() != 0;
    default: AccessError("Boolean");
  }
}

TVariant TField::AsVariant() const {
  if (IsBlob()) return TVariant::String(BlobData());
  if (IsNull()) return TVariant::Null();
  switch (dataType_) {
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc: return TVariant::Integer(AsInteger());
    case ftBoolean: return TVariant::Boolean(AsBoolean());
    case ftFloat: return TVariant::Float(AsFloat());
    case ftCurrency: return TVariant::Currency(AsFloat());
    case ftBCD: {
      alignas(8) char buf[kMaxNativeSize + 8] = {};
      dataSet_->GetFieldValue(*this, buf);
      return TVariant::BCD(Native<TBcdValue>(buf).ToString('.'));
    }
    case ftDate:
    case ftTime:
    case ftDateTime: return TVariant::DateTime(AsDateTime());
    default: return TVariant::String(AsString());
  }
}

bool TField::GetData(void* d) const { return dataSet_->GetFieldValue(*this, d); }

std::string TField::BlobData() const {
  auto s = dataSet_->CreateBlobStream(*this, bmRead);
  return s ? s->Data() : std::string();
}

void TField::SaveToStream(TMemoryStream& s) const { s.Write(BlobData()); }

int TField::DefaultDisplayWidth() const {
  switch (dataType_) {
    case ftString: return size_;
    case ftSmallint: return 6;
    case ftWord: return 5;
    case ftInteger:
    case ftAutoInc: return 11;
    case ftBoolean: return 5;
    case ftDate:
    case ftTime: return 10;
    case ftDateTime: return 18;
    default: return 10;
  }
}

// ---------------------------------------------------------------------------------------------
// TDataSet: lifecycle, fields and notifications

TDataSet::TDataSet(std::string n) : name_(std::move(n)) {}

TDataSet::~TDataSet() {
  auto obs = observers_;
  observers_.clear();
  for (auto* o : obs) o->DataSetDestroyed(*this);
}

void TDataSet::DatabaseError(const std::string& m) const {
  throw EDatabaseError(name_.empty() ? m : name_ + ": " + m);
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::Notify(TDataEvent e) {
  if (disableCount_ > 0) {
    switch (e) {
      case TDataEvent::ActiveChanged: pendingActive_ = true; break;
      case TDataEvent::LayoutChanged: pendingLayout_ = true; break;
      default: pendingData_ = true; break;
    }
    return;
  }
  Send(e);
}

void TDataSet::Send(TDataEvent e) {
  // An observer may detach itself or others while it is told.
  auto obs = observers_;
  for (auto* o : obs) {
    if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) o->DataSetEvent(*this, e);
  }
}

void TDataSet::AddObserver(TDataSetObserver* o) {
  if (o && std::find(observers_.begin(), observers_.end(), o) == observers_.end()) observers_.push_back(o);
}

void TDataSet::RemoveObserver(TDataSetObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void TDataSet::DisableControls() {
  if (disableCount_ == 0) pendingActive_ = pendingLayout_ = pendingData_ = false;
  ++disableCount_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0 || --disableCount_ > 0) return;
  // What happened meanwhile, told once: a state change first, then the data.
  const bool active = pendingActive_, layout = pendingLayout_, data = pendingData_;
  pendingActive_ = pendingLayout_ = pendingData_ = false;
  if (active) {
    Send(TDataEvent::ActiveChanged);
  } else if (layout) {
    Send(TDataEvent::LayoutChanged);
  }
  if (data && Active()) Send(TDataEvent::DataSetChanged);
}

void TDataSet::CreateFields() {
  fields_.clear();
  for (size_t i = 0; i < fieldDefs_.size(); ++i) {
    if (fieldDefs_[i].DataType == ftUnknown) DatabaseError("Field '" + fieldDefs_[i].Name + "' is of an unknown type");
    fields_.push_back(std::make_unique<TField>(*this, fieldDefs_[i], static_cast<int>(i)));
  }
}

void TDataSet::DestroyFields() { fields_.clear(); }

void TDataSet::AllocateBuffers() {
  buffers_.assign(static_cast<size_t>(bufferCount_) + 1, std::vector<uint8_t>(RecordBufferSize()));
  windowCount_ = 0;
  activeRecord_ = 0;
}

void TDataSet::Open() {
  if (Active()) return;
  try {
    InternalOpen();
    CreateFields();
    AllocateBuffers();
    state_ = dsBrowse;
    FillFromFirst();
  } catch (...) {
    state_ = dsInactive;
    windowCount_ = 0;
    activeRecord_ = 0;
    eof_ = bof_ = true;
    DestroyFields();
    InternalClose();
    throw;
  }
  Notify(TDataEvent::ActiveChanged);
}

void TDataSet::Close() {
  if (!Active()) return;
  state_ = dsInactive;
  peekCount_ = 0;
  DestroyFields();
  windowCount_ = 0;
  activeRecord_ = 0;
  eof_ = bof_ = true;
  InternalClose();
  Notify(TDataEvent::ActiveChanged);
}

TField& TDataSet::Fields(int i) const { return *fields_.at(static_cast<size_t>(i)); }

TField* TDataSet::FindField(const std::string& n) const {
  for (auto& f : fields_)
    if (f->FieldName() == n) return f.get();
  for (auto& f : fields_)
    if (SameTextAscii(f->FieldName(), n)) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(const std::string& n) const {
  TField* f = FindField(n);
  if (!f) DatabaseError("Field '" + n + "' not found");
  return *f;
}

std::vector<std::string> TDataSet::GetFieldNames() const {
  std::vector<std::string> v;
  for (auto& f : fields_) v.push_back(f->FieldName());
  return v;
}

const uint8_t* TDataSet::ActiveBuffer() const {
  if (peekCount_ > 0) return peeks_[peekCount_ - 1].Data.data();
  if (buffers_.empty() || windowCount_ == 0) return nullptr;
  return buffers_[static_cast<size_t>(activeRecord_)].data();
}

// ---------------------------------------------------------------------------------------------
// The buffer window

bool TDataSet::Fetch(TGetMode mode) { return GetRecord(buffers_.back().data(), mode, true) == grOK; }

void TDataSet::AppendScratch() {
  if (windowCount_ < bufferCount_) {
    std::swap(buffers_[static_cast<size_t>(windowCount_)], buffers_.back());
    ++windowCount_;
  } else {
    std::swap(buffers_[0], buffers_.back());
    std::rotate(buffers_.begin(), buffers_.begin() + 1, buffers_.begin() + windowCount_);
  }
}

void TDataSet::PrependScratch() {
  if (windowCount_ < bufferCount_) {
    std::swap(buffers_[static_cast<size_t>(windowCount_)], buffers_.back());
    ++windowCount_;
  } else {
    std::swap(buffers_[static_cast<size_t>(windowCount_ - 1)], buffers_.back());
  }
  std::rotate(buffers_.begin(), buffers_.begin() + windowCount_ - 1, buffers_.begin() + windowCount_);
}

void TDataSet::FillFromFirst() {
  windowCount_ = 0;
  activeRecord_ = 0;
  bof_ = eof_ = true;
  InternalFirst();
  try {
    while (windowCount_ < bufferCount_ && Fetch(gmNext)) AppendScratch();
  } catch (...) {
    eof_ = windowCount_ == 0;
    throw;
  }
  eof_ = windowCount_ == 0;
}

void TDataSet::FillFromLast() {
  windowCount_ = 0;
  activeRecord_ = 0;
  bof_ = eof_ = true;
  InternalLast();
  try {
    while (windowCount_ < bufferCount_ && Fetch(gmPrior)) PrependScratch();
  } catch (...) {
    activeRecord_ = windowCount_ ? windowCount_ - 1 : 0;
    bof_ = windowCount_ == 0;
    throw;
  }
  activeRecord_ = windowCount_ ? windowCount_ - 1 : 0;
  bof_ = windowCount_ == 0;
}

bool TDataSet::RefillAround(int wantRow) {
  if (!Fetch(gmCurrent)) return false;
  // The new active record alone, then the rows before and after it.
  std::swap(buffers_[0], buffers_.back());
  windowCount_ = 1;
  activeRecord_ = 0;
  wantRow = std::clamp(wantRow, 0, bufferCount_ - 1);
  InternalSetToRecord(Row(0));
  while (activeRecord_ < wantRow && Fetch(gmPrior)) {
    PrependScratch();
    ++activeRecord_;
  }
  InternalSetToRecord(Row(windowCount_ - 1));
  while (windowCount_ < bufferCount_ && Fetch(gmNext)) AppendScratch();
  if (windowCount_ < bufferCount_) {
    // Near the end of the table: the rows before fill the rest.
    InternalSetToRecord(Row(0));
    while (windowCount_ < bufferCount_ && Fetch(gmPrior)) {
      PrependScratch();
      ++activeRecord_;
    }
  }
  return true;
}

void TDataSet::SetBufferCount(int n) {
  n = std::max(1, n);
  if (n == bufferCount_) return;
  if (!Active() || buffers_.empty()) {
    bufferCount_ = n;
    return;
  }
  std::vector<uint8_t> active = std::move(buffers_[static_cast<size_t>(activeRecord_)]);
  const bool hadRecord = windowCount_ > 0;
  const int row = activeRecord_;
  bufferCount_ = n;
  AllocateBuffers();
  if (!hadRecord) return;
  buffers_[0] = std::move(active);
  windowCount_ = 1;
  InternalSetToRecord(Row(0));
  RefillAround(row);
  Notify(TDataEvent::DataSetChanged);
}

int TDataSet::WindowRecNo(int row) const {
  if (row < 0 || row >= windowCount_) return 0;
  return GetRecNoFromBuffer(buffers_[static_cast<size_t>(row)].data());
}

int TDataSet::SetActiveRecord(int row) {
  const int previous = activeRecord_;
  if (row >= 0 && row < windowCount_) activeRecord_ = row;
  return previous;
}

// ---------------------------------------------------------------------------------------------
// Cursor movement

void TDataSet::First() {
  CheckActive();
  FillFromFirst();
  Notify(TDataEvent::DataSetChanged);
}

void TDataSet::Last() {
  CheckActive();
  FillFromLast();
  Notify(TDataEvent::DataSetChanged);
}

bool TDataSet::StepNext() {
  if (eof_ || windowCount_ == 0) {
    eof_ = true;
    return false;
  }
  // A move forward leaves the start whether or not it finds a record.
  bof_ = false;
  if (activeRecord_ < windowCount_ - 1) {
    ++activeRecord_;
  } else {
    InternalSetToRecord(Row(windowCount_ - 1));
    if (!Fetch(gmNext)) {
      eof_ = true;
      return false;
    }
    AppendScratch();
    activeRecord_ = windowCount_ - 1;
  }
  return true;
}

bool TDataSet::StepPrior() {
  if (bof_ || windowCount_ == 0) {
    bof_ = true;
    return false;
  }
  eof_ = false;
  if (activeRecord_ > 0) {
    --activeRecord_;
  } else {
    InternalSetToRecord(Row(0));
    if (!Fetch(gmPrior)) {
      bof_ = true;
      return false;
    }
    PrependScratch();
    activeRecord_ = 0;
  }
  return true;
}

void TDataSet::Next() {
  CheckActive();
  if (StepNext()) Notify(TDataEvent::DataSetScroll);
}

void TDataSet::Prior() {
  CheckActive();
  if (StepPrior()) Notify(TDataEvent::DataSetScroll);
}

int TDataSet::MoveBy(int d) {
  CheckActive();
  int moved = 0;
  try {
    while (d > 0 && StepNext()) {
      --d;
      ++moved;
    }
    while (d < 0 && StepPrior()) {
      ++d;
      --moved;
    }
  } catch (...) {
    if (moved) Notify(TDataEvent::DataSetScroll);
    throw;
  }
  if (moved) Notify(TDataEvent::DataSetScroll);
  return moved;
}

bool TDataSet::IsEmpty() const { return !Active() || windowCount_ == 0; }

int TDataSet::RecNo() const {
  if (!Active() || windowCount_ == 0) return 0;
  return GetRecNoFromBuffer(buffers_[static_cast<size_t>(activeRecord_)].data());
}

int TDataSet::RecordCount() const {
  CheckActive();
  return GetRecordCount();
}

void TDataSet::SetRecNo(int n) {
  CheckActive();
  if (n < 1 || n > GetRecordCount()) return;
  SetRecNoPrimitive(n);
  if (!RefillAround(activeRecord_)) return;
  bof_ = eof_ = false;
  Notify(TDataEvent::DataSetChanged);
}

void TDataSet::Resync() {
  CheckActive();
  if (windowCount_ > 0) {
    InternalSetToRecord(Row(activeRecord_));
    RefillAround(activeRecord_);
  }
  Notify(TDataEvent::DataSetChanged);
}

void TDataSet::Refresh() { Resync(); }

TBookmark TDataSet::GetBookmark() const { return RecNo(); }

void TDataSet::GotoBookmark(TBookmark b) { SetRecNo(b); }

bool TDataSet::BookmarkValid(TBookmark b) const { return Active() && b >= 1 && b <= GetRecordCount(); }

bool TDataSet::Locate(const std::string& fn, const std::string& value, TLocateOptions o) {
  CheckActive();
  TField& f = FieldByName(fn);
  const std::string v = o.CaseInsensitive ? FoldCase(value) : value;
  // A numeric field also matches a number by its value ("12.5" finds 12.50).
  std::optional<double> number;
  const TFieldType kind = f.DataType();
  if (!o.PartialKey && IsNumericType(kind)) {
    try {
      if (!TrimSpaces(value).empty()) number = ParseFloat(value, formatSettings_.DecimalSeparator);
    } catch (const EConvertError&) {
    }
  }
  const int count = GetRecordCount();
  for (int r = 1; r <= count; ++r) {
    bool match = false;
    {
      TRecordPeek p = PeekRecord(r);
      if (!p.Valid()) continue;
      match = number && !f.IsNull() && f.AsFloat() == *number;
      if (!match) {
        std::string s = f.AsString();
        if (o.CaseInsensitive) s = FoldCase(s);
        match = o.PartialKey ? s.compare(0, v.size(), v) == 0 : s == v;
      }
    }
    if (match) {
      SetRecNo(r);
      return true;
    }
  }
  return false;
}

void TDataSet::Edit() { DatabaseError("Cannot modify a read-only dataset"); }
void TDataSet::Insert() { Edit(); }
void TDataSet::Append() { Edit(); }

void TDataSet::Delete() {
  CheckActive();
  if (IsEmpty()) DatabaseError("Cannot perform this operation on an empty dataset");
  Resync();
}

// ---------------------------------------------------------------------------------------------
// Record peeks

TDataSet::TRecordPeek::TRecordPeek(TRecordPeek&& o) noexcept : ds_(o.ds_), id_(o.id_) { o.ds_ = nullptr; }

TDataSet::TRecordPeek& TDataSet::TRecordPeek::operator=(TRecordPeek&& o) noexcept {
  std::swap(ds_, o.ds_);
  std::swap(id_, o.id_);
  return *this;
}

TDataSet::TRecordPeek::~TRecordPeek() {
  if (ds_) ds_->EndPeek(id_);
}

void TDataSet::EndPeek(uint64_t id) {
  for (size_t i = peekCount_; i-- > 0;) {
    if (peeks_[i].Id != id) continue;
    // Keep the buffer for reuse behind the live ones.
    std::rotate(peeks_.begin() + static_cast<std::ptrdiff_t>(i), peeks_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                peeks_.begin() + static_cast<std::ptrdiff_t>(peekCount_));
    --peekCount_;
    return;
  }
}

TDataSet::TRecordPeek TDataSet::PeekRecord(int n) {
  TRecordPeek p;
  if (!Active() || n < 1 || n > GetRecordCount()) return p;
  if (peekCount_ == peeks_.size()) peeks_.emplace_back();
  TPeekBuffer& b = peeks_[peekCount_];
  b.Data.resize(RecordBufferSize());
  // The table's cursor goes back to the active record whatever the read did.
  auto restore = [&] {
    if (windowCount_) InternalSetToRecord(Row(activeRecord_));
  };
  SetRecNoPrimitive(n);
  TGetResult r = grError;
  try {
    r = GetRecord(b.Data.data(), gmCurrent, true);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  if (r != grOK) return p;
  b.Id = ++nextPeekId_;
  ++peekCount_;
  p.ds_ = this;
  p.id_ = b.Id;
  return p;
}

std::unique_ptr<TMemoryStream> TDataSet::CreateBlobStream(const TField& f, TBlobStreamMode m) {
  if (IsEmpty() || &f.DataSet() != this) return std::make_unique<TMemoryStream>();
  return InternalCreateBlobStream(f, ActiveBuffer(), m);
}

void TDataSet::ReadBlob(const TField& f, const TBlobSink& sink) {
  if (IsEmpty() || &f.DataSet() != this) return;
  InternalReadBlob(f, ActiveBuffer(), sink);
}

int64_t TDataSet::BlobSize(const TField& f) {
  if (IsEmpty() || &f.DataSet() != this) return 0;
  return InternalBlobSize(f, ActiveBuffer());
}

void TDataSet::InternalReadBlob(const TField& f, const uint8_t* activeBuffer, const TBlobSink& sink) {
  std::unique_ptr<TMemoryStream> s = InternalCreateBlobStream(f, activeBuffer, bmRead);
  if (s && !s->Data().empty()) sink(s->Data().data(), s->Data().size());
}

bool TDataSet::GetFieldValue(const TField& f, void* d) const {
  if (IsEmpty() || &f.DataSet() != this) return false;
  return GetFieldData(f, ActiveBuffer(), d);
}

// ---------------------------------------------------------------------------------------------
// TDataSource

TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->RemoveObserver(this);
}

void TDataSource::SetDataSet(TDataSet* ds) {
  if (dataSet_) dataSet_->RemoveObserver(this);
  TDataSet* old = dataSet_;
  dataSet_ = ds;
  if (ds) ds->AddObserver(this);
  // The views see the change as a change of state; with no dataset left they are
  // told about the one they lose.
  if (ds) {
    DataSetEvent(*ds, TDataEvent::ActiveChanged);
  } else if (old) {
    DataSetEvent(*old, TDataEvent::ActiveChanged);
  }
}

void TDataSource::SetEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  // Switching the link on or off makes the views look at the data again (they
  // missed every event while it was off).
  if (!dataSet_) return;
  auto obs = observers_;
  for (auto* o : obs) {
    if (std::find(observers_.begin(), observers_.end(), o) != observers_.end())
      o->DataSetEvent(*dataSet_, TDataEvent::ActiveChanged);
  }
}

void TDataSource::AddObserver(TDataSetObserver* o) {
  if (o && std::find(observers_.begin(), observers_.end(), o) == observers_.end()) observers_.push_back(o);
}

void TDataSource::RemoveObserver(TDataSetObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void TDataSource::DataSetEvent(TDataSet& ds, TDataEvent e) {
  if (!enabled_) return;
  auto obs = observers_;
  for (auto* o : obs) {
    if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) o->DataSetEvent(ds, e);
  }
}

void TDataSource::DataSetDestroyed(TDataSet& ds) {
  if (dataSet_ == &ds) dataSet_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TGridColumns

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
void AppendValueText(std::string& out, const TField& field, const char* native) {
  auto appendInt = [&out](int64_t v) {
    char b[24];
    auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
  };
  switch (field.DataType()) {
    case ftString: AppendEscapedText(out, std::string_view(native, std::strlen(native))); break;
    case ftSmallint:
    case ftBoolean: {
      int16_t v;
      std::memcpy(&v, native, 2);
      if (field.DataType() == ftBoolean) out += v ? "true" : "false";
      else appendInt(v);
      break;
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t v;
      std::memcpy(&v, native, 4);
      appendInt(v);
      break;
    }
    case ftFloat:
    case ftCurrency: {
      double v;
      std::memcpy(&v, native, 8);
      out += ReprDouble(v);
      break;
    }
    case ftDate:
    case ftTime: {
      int32_t v;
      std::memcpy(&v, native, 4);
      if (field.DataType() == ftDate) AppendDayNumber(out, v);
      else AppendTimeOfDay(out, v);
      break;
    }
    case ftDateTime: {
      double v;
      std::memcpy(&v, native, 8);
      AppendTimestamp(out, v);
      break;
    }
    case ftBCD: {
      TBcdValue v;
      std::memcpy(static_cast<void*>(&v), native, sizeof v);
      out += v.ToString('.');
      break;
    }
    case ftBytes: AppendHex(out, native, static_cast<size_t>(field.Size())); break;
    default: break;
  }
}

}  // namespace korvane
