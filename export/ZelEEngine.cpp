#include "export/ZelEEngine.h"

#include <cstdlib>

namespace korvane {

int FontStyleBits(const TFontSpec& f) {
  return (f.Bold ? kFontBold : 0) | (f.Italic ? kFontItalic : 0) | (f.Underline ? kFontUnderline : 0) |
         (f.StrikeOut ? kFontStrikeOut : 0);
}

void SetFontStyleBits(TFontSpec& f, int bits) {
  f.Bold = bits & kFontBold;
  f.Italic = bits & kFontItalic;
  f.Underline = bits & kFontUnderline;
  f.StrikeOut = bits & kFontStrikeOut;
}

std::string TZelEColumn::DisplayName(TZelEFieldDisplayFormat f) const {
  switch (f) {
    case dfFieldCaption:
      return Title.Caption;
    case dfFieldName:
      return FieldName;
    case dfFull:
    default:
      return FieldName != Title.Caption ? FieldName + "  :  " + Title.Caption : FieldName;
  }
}

TZelEColumn& TZelEColumns::Add() { return items_.emplace_back(); }

TZelEColumn& TZelEColumns::Insert(int index) {
  if (index < 0 || index > Count()) index = Count();
  return *items_.emplace(items_.begin() + index);
}

void TZelEColumns::Delete(int index) {
  if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

int TZelEColumns::IndexOfFieldName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].FieldName == name) return i;
  return -1;
}

int TZelEColumns::BandSpan(int band, int start) const {
  int n = 0;
  for (int i = start < 0 ? 0 : start; i < Count(); ++i) {
    const TZelEColumn& c = items_[static_cast<size_t>(i)];
    if (!c.Visible || c.BandIndex != band) break;
    ++n;
  }
  return n;
}

TZelEDataLevel& AddDataLevel(TZelEDataLevels& levels) {
  size_t n = levels.size();
  TZelEDataLevel& l = levels.emplace_back();
  l.Caption = "Detail" + std::to_string(n);
  return l;
}

namespace {

// The value compares equal to the text "0" (a numeric 0, a zero date, the text "0").
bool EqualsZeroText(const TVariant& v) {
  switch (v.kind) {
    case TVariant::vInteger:
      return v.i == 0;
    case TVariant::vFloat:
    case TVariant::vCurrency:
    case TVariant::vDateTime:
      return v.f == 0;
    case TVariant::vBCD:
      return std::strtod(v.s.c_str(), nullptr) == 0;
    case TVariant::vString:
      return v.s == "0";
    case TVariant::vBoolean:
      return !v.b;
    default:
      return false;
  }
}

bool IsEmptyValue(const TVariant& v) { return v.IsNull() || (v.kind == TVariant::vString && v.s.empty()); }

TCellType TypedCellType(TFieldType t) {
  switch (t) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return ctInteger;
    case ftFloat:
    case ftBCD:
      return ctDouble;
    case ftCurrency:
      return ctCurrency;
    case ftDate:
      return ctDate;
    case ftTime:
      return ctTime;
    case ftDateTime:
      return ctDateTime;
    case ftBoolean:
      return ctBoolean;
    case ftBlob:
    case ftMemo:
    case ftFmtMemo:
    case ftParadoxOle:
      return ctMEMO;
    case ftGraphic:
      return ctGraphic;
    default:
      return ctString;
  }
}

bool BlankableType(TCellType ct) {
  return ct == ctInteger || ct == ctDouble || ct == ctCurrency || ct == ctDate || ct == ctTime || ct == ctDateTime;
}

}  // namespace

TCellType CellTypeOf(TFieldType type, const TVariant& value, bool blankIfZero) {
  TCellType ct = TypedCellType(type);
  if (!blankIfZero || !BlankableType(ct)) return ct;
  return (IsEmptyValue(value) || EqualsZeroText(value)) ? ctBlank : ctString;
}

TCellType CellTypeOfField(const TField& field, bool blankIfZero) {
  TCellType ct = TypedCellType(field.DataType());
  if (!blankIfZero || !BlankableType(ct)) return ct;
  if (field.IsNull()) return ctBlank;
  return CellTypeOf(field.DataType(), field.AsVariant(), true);
}

TFieldType FieldTypeOfCellType(TCellType ct) {
  switch (ct) {
    case ctInteger:
      return ftInteger;
    case ctDouble:
      return ftFloat;
    case ctDateTime:
      return ftDateTime;
    case ctDate:
      return ftDate;
    case ctCurrency:
      return ftCurrency;
    case ctTime:
      return ftTime;
    case ctMEMO:
      return ftMemo;
    case ctGraphic:
      return ftGraphic;
    case ctBoolean:
      return ftBoolean;
    default:
      return ftString;
  }
}

void TZelECustomDataEngine::BeforeExecute() {
  if (OnBeforeExecute) OnBeforeExecute(*this);
}

void TZelECustomDataEngine::AfterExecute() {
  if (OnAfterExecute) OnAfterExecute(*this);
}

void TZelECustomDataEngine::FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool) {
  columns.Clear();
  bands.Clear();
  if (OnFillColumns) OnFillColumns(columns);
}

bool TZelECustomDataEngine::Eof() { return eventEof_; }

void TZelECustomDataEngine::First() {
  eventEof_ = !OnNext;
  if (OnFirst) OnFirst(*this);
}

void TZelECustomDataEngine::Next() {
  bool abort = true;
  if (OnNext) OnNext(*this, abort);
  eventEof_ = abort;
}

void TZelECustomDataEngine::GetFieldValue(const TZelEColumn& column, TVariant& value) {
  value = TVariant::Null();
  if (OnGetValue) OnGetValue(*this, column, value);
}

int TZelECustomDataEngine::GetRecordCount() {
  int count = 0;
  if (OnCount) OnCount(*this, count);
  return count;
}

TFieldType TZelECustomDataEngine::GetFieldType(const TZelEColumn& column) {
  return FieldTypeOfCellType(column.DataType);
}

}  // namespace korvane
