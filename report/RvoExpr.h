// Values and expressions of the report's text printables.
//
// The language: "[" field name "]", a text in single quotes ('it''s'), a whole
// number, a report constant (PageNumber, ColumnNumber, ReportTitle; any case) and
// "+". A field that is null gives the null value, which prints as an empty cell
// and leaves the other operand of "+" as it is.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "engine/dataset.h"

namespace korvane::report {

// Texts longer than this many characters are cut to it.
inline constexpr size_t kRvoMaxText = 255;

struct TRvoValue {
  enum Kind : uint8_t { Null, Integer, Float, Decimal, Text, Boolean, Error };
  Kind kind = Null;
  int64_t i = 0;
  double f = 0;
  bool b = false;
  std::string s;  // Text, the error message, or Decimal's exact decimal text

  static TRvoValue MakeInteger(int64_t v) { TRvoValue r; r.kind = Integer; r.i = v; return r; }
  static TRvoValue MakeFloat(double v) { TRvoValue r; r.kind = Float; r.f = v; return r; }
  static TRvoValue MakeDecimal(std::string text, double v) {
    TRvoValue r; r.kind = Decimal; r.s = std::move(text); r.f = v; return r;
  }
  static TRvoValue MakeText(std::string v);
  static TRvoValue MakeBoolean(bool v) { TRvoValue r; r.kind = Boolean; r.b = v; return r; }
  static TRvoValue MakeError(std::string message) { TRvoValue r; r.kind = Error; r.s = std::move(message); return r; }
  bool IsNumber() const { return kind == Integer || kind == Float || kind == Decimal; }
};

// The general number format: the shortest form with up to `digits` significant
// digits ("1.5", "-123456789.12", "1.23456789012346E20").
std::string GeneralNumber(double v, int digits = 15);
// The value's text: numbers in the general format (a BCD value as its exact
// decimal text), Booleans "True"/"False", errors as their message, null empty.
std::string ValueText(const TRvoValue& v);
// "+" of two values.
TRvoValue AddValues(const TRvoValue& a, const TRvoValue& b);

// The first n characters of UTF-8 text (never splitting a character).
std::string Utf8Prefix(std::string_view s, size_t n);
size_t Utf8Length(std::string_view s);

// Named report constants ("PAGENUMBER" ...), keys in upper case.
using TRvoConstants = std::map<std::string, TRvoValue>;

class TRvoExpression {
 public:
  // Parses the text; a text that does not parse evaluates to an error value.
  void Parse(const std::string& text);
  TRvoValue Evaluate(const TDataSet* dataSet, const TRvoConstants& constants) const;
  bool Valid() const { return error_.empty(); }
  const std::string& ParseError() const { return error_; }
  // The field names the expression refers to.
  std::vector<std::string> FieldNames() const;

  struct TNode;

 private:
  std::shared_ptr<const TNode> root_;
  std::string error_;
};

// The value of a dataset field for an expression.
TRvoValue FieldValue(const TField& field);

}  // namespace korvane::report
