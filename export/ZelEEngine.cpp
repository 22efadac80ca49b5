#include "export/ZelEEngine.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

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
  if (v.kind == TVariant::vBCD) {
    // Zero in every digit, whatever the sign and the decimals.
    for (char c : v.s)
      if (c >= '1' && c <= '9') return false;
    return true;
  }
  switch (v.kind) {
    case TVariant::vInteger:
      return v.i == 0;
    case TVariant::vFloat:
    case TVariant::vCurrency:
    case TVariant::vDateTime:
      return v.f == 0;
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
  return (IsEmptyValue(value) || EqualsZeroText(value)) ? ctBlank : ct;
}

TCellType CellTypeOfField(const TField& field, bool blankIfZero) {
  TCellType ct = TypedCellType(field.DataType());
  if (!blankIfZero || !BlankableType(ct)) return ct;
  if (field.IsNull()) return ctBlank;
  return CellTypeOf(field.DataType(), field.AsVariant(), true);
}

void FieldCellValue(const TField& field, TZelECellValue& out) {
  out.Text.clear();
  const TFieldType t = field.DataType();
  if (IsBlobType(t)) {
    out.kind = TZelECellValue::cvBlob;
    return;
  }
  alignas(8) unsigned char buf[kMaxNativeSize];
  if (t == ftString || t == ftBytes || t == ftVarBytes || !field.GetData(buf)) {
    out.kind = field.IsNull() ? TZelECellValue::cvNull : TZelECellValue::cvText;
    return;
  }
  switch (t) {
    case ftSmallint:
    case ftWord: {
      int16_t v;
      std::memcpy(&v, buf, sizeof v);
      out.kind = TZelECellValue::cvInteger;
      out.Integer = t == ftWord ? static_cast<uint16_t>(v) : v;
      break;
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t v;
      std::memcpy(&v, buf, sizeof v);
      out.kind = TZelECellValue::cvInteger;
      out.Integer = v;
      break;
    }
    case ftBoolean: {
      int16_t v;
      std::memcpy(&v, buf, sizeof v);
      out.kind = TZelECellValue::cvBoolean;
      out.Boolean = v != 0;
      break;
    }
    case ftFloat:
    case ftCurrency: {
      std::memcpy(&out.Double, buf, sizeof(double));
      out.kind = t == ftFloat ? TZelECellValue::cvDouble : TZelECellValue::cvCurrency;
      break;
    }
    case ftBCD: {
      TBcdValue b;
      std::memcpy(static_cast<void*>(&b), buf, sizeof b);
      out.kind = TZelECellValue::cvBCD;
      out.Text = b.ToString('.');
      break;
    }
    case ftDate:
    case ftTime: {
      int32_t v;
      std::memcpy(&v, buf, sizeof v);
      out.kind = t == ftDate ? TZelECellValue::cvDate : TZelECellValue::cvTime;
      out.Integer = v;
      break;
    }
    case ftDateTime: {
      double v;
      std::memcpy(&v, buf, sizeof v);
      out.kind = TZelECellValue::cvDateTime;
      out.Integer = std::isfinite(v) ? std::llround(v) : 0;
      break;
    }
    default:
      out.kind = TZelECellValue::cvText;
      break;
  }
}

void VariantCellValue(const TVariant& v, TFieldType type, TZelECellValue& out) {
  out.Text.clear();
  switch (v.kind) {
    case TVariant::vNull:
      out.kind = TZelECellValue::cvNull;
      return;
    case TVariant::vInteger:
      out.kind = TZelECellValue::cvInteger;
      out.Integer = v.i;
      return;
    case TVariant::vFloat:
      out.kind = TZelECellValue::cvDouble;
      out.Double = v.f;
      return;
    case TVariant::vCurrency:
      out.kind = TZelECellValue::cvCurrency;
      out.Double = v.f;
      return;
    case TVariant::vBoolean:
      out.kind = TZelECellValue::cvBoolean;
      out.Boolean = v.b;
      return;
    case TVariant::vBCD:
      out.kind = TZelECellValue::cvBCD;
      out.Text = v.s;
      return;
    case TVariant::vDateTime: {
      const double stamp = DateTimeToTimestamp(v.f);
      const int64_t ms = std::isfinite(stamp) ? std::llround(stamp) : 0;
      const int64_t day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
      if (type == ftDate) {
        out.kind = TZelECellValue::cvDate;
        out.Integer = day;
      } else if (type == ftTime) {
        out.kind = TZelECellValue::cvTime;
        out.Integer = ms - day * 86400000;
      } else {
        out.kind = TZelECellValue::cvDateTime;
        out.Integer = ms;
      }
      return;
    }
    case TVariant::vString:
    default:
      out.kind = TZelECellValue::cvText;
      return;
  }
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
