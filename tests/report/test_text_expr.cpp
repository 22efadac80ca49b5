// Line breaking, the number text of a cell, and the expressions of text printables.
#include <gtest/gtest.h>

#include "report/RvoExpr.h"
#include "report/RvoReport.h"

using namespace korvane::report;

namespace {

// One unit per character.
double Chars(std::string_view s) { return static_cast<double>(Utf8Length(s)); }

std::vector<std::string> Break(std::string_view text, double width, bool whole = false) {
  return BreakLines(text, width, whole, Chars);
}

}  // namespace

TEST(RvoBreakLines, WordsEndAfterBlanksAndHyphensAndKeepTheirDelimiter) {
  EXPECT_EQ(Break("one two three", 8), (std::vector<std::string>{"one two ", "three"}));
  EXPECT_EQ(Break("well-known fact", 6), (std::vector<std::string>{"well-", "known ", "fact"}));
  // Line feeds are dropped, carriage returns end lines.
  EXPECT_EQ(Break("ab\r\ncd\nef", 20), (std::vector<std::string>{"ab", "cdef"}));
  EXPECT_EQ(Break("a long line\rkept", 3, true), (std::vector<std::string>{"a long line", "kept"}));
}

TEST(RvoBreakLines, AWordWiderThanTheWidthKeepsOnlyWhatFits) {
  EXPECT_EQ(Break("abcdefgh", 3), (std::vector<std::string>{"abc"}));
  // After other words it goes to a line of its own, shortened.
  EXPECT_EQ(Break("ab abcdefgh", 4), (std::vector<std::string>{"ab ", "abcd"}));
  // UTF-8 characters are never split.
  EXPECT_EQ(Break("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", 2), (std::vector<std::string>{"\xC3\xA4\xC3\xB6"}));
}

TEST(RvoBreakLines, EndsWhenNoCharacterFits) {
  // A zero or negative width (tiny paper, a frame wider than its cell) must not loop.
  EXPECT_EQ(Break("abc def-ghi", 0), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(Break("abc", -5), (std::vector<std::string>{""}));
  EXPECT_EQ(Break("", 10), (std::vector<std::string>{""}));
}

TEST(RvoNumberText, ANumberIsOneWordAndIsRoundedNeverCut) {
  bool changed = false;
  TRvoValue neg = TRvoValue::MakeFloat(-123456789.12);
  EXPECT_EQ(FitNumberText(neg, 13, Chars, changed), "-123456789.12");
  EXPECT_FALSE(changed);
  // Too wide: fewer digits, not "-" and a lost rest.
  std::string t = FitNumberText(neg, 10, Chars, changed);
  EXPECT_TRUE(changed);
  EXPECT_LE(t.size(), 10u);
  EXPECT_NEAR(std::stod(t), -123456789.12, 1.0);

  TRvoValue big = TRvoValue::MakeFloat(1.23456789012346E20);
  EXPECT_EQ(FitNumberText(big, 30, Chars, changed), "1.23456789012346E20");
  t = FitNumberText(big, 10, Chars, changed);
  EXPECT_TRUE(changed);
  EXPECT_LE(t.size(), 10u);
  EXPECT_NE(t.find('E'), std::string::npos) << t;
  EXPECT_NEAR(std::stod(t) / 1.23456789012346E20, 1.0, 1e-3) << t;

  // Integers keep every digit while they fit, and are rounded like any number.
  TRvoValue i = TRvoValue::MakeInteger(-2147483647);
  EXPECT_EQ(FitNumberText(i, 11, Chars, changed), "-2147483647");
  t = FitNumberText(i, 6, Chars, changed);
  EXPECT_NEAR(std::stod(t), -2147483647.0, 2147483647.0 * 0.05) << t;

  // A BCD value prints its exact decimal text (more digits than a double holds).
  TRvoValue bcd = TRvoValue::MakeDecimal("12345678901234567890.12", 12345678901234567890.12);
  EXPECT_EQ(FitNumberText(bcd, 40, Chars, changed), "12345678901234567890.12");
  EXPECT_FALSE(changed);

  // Not one digit fits: marks, never a digit that reads as another number.
  t = FitNumberText(big, 3, Chars, changed);
  EXPECT_EQ(t, "###");
  t = FitNumberText(big, 0, Chars, changed);
  EXPECT_EQ(t, "#");
}

TEST(RvoExpression, FieldsTextsConstantsAndPlus) {
  TRvoConstants c{{"PAGENUMBER", TRvoValue::MakeInteger(3)}, {"REPORTTITLE", TRvoValue::MakeText("T")}};
  TRvoExpression e;
  e.Parse("'Page ' + PageNumber");
  EXPECT_EQ(ValueText(e.Evaluate(nullptr, c)), "Page 3");
  e.Parse("pagenumber + 2");
  EXPECT_EQ(e.Evaluate(nullptr, c).kind, TRvoValue::Integer);
  EXPECT_EQ(ValueText(e.Evaluate(nullptr, c)), "5");
  e.Parse("'it''s' + ReportTitle");
  EXPECT_EQ(ValueText(e.Evaluate(nullptr, c)), "it'sT");
  e.Parse("");
  EXPECT_EQ(e.Evaluate(nullptr, c).kind, TRvoValue::Null);
}

TEST(RvoExpression, PlusFollowsTheKindsOfItsOperands) {
  auto I = TRvoValue::MakeInteger;
  auto F = TRvoValue::MakeFloat;
  auto B = TRvoValue::MakeBoolean;
  auto T = TRvoValue::MakeText;
  EXPECT_EQ(AddValues(I(1), F(0.5)).kind, TRvoValue::Float);
  EXPECT_EQ(ValueText(AddValues(I(1), F(0.5))), "1.5");
  EXPECT_EQ(ValueText(AddValues(T("x"), B(true))), "xTrue");
  EXPECT_EQ(ValueText(AddValues(F(0.25), T("!"))), "0.25!");
  EXPECT_EQ(ValueText(AddValues(B(true), B(false))), "Cannot add boolean expressions");
  // The left error wins; an error beats any value.
  TRvoValue e1 = TRvoValue::MakeError("one"), e2 = TRvoValue::MakeError("two");
  EXPECT_EQ(AddValues(e1, e2).s, "one");
  EXPECT_EQ(AddValues(T("a"), e2).s, "two");
  // A null operand adds nothing: an empty cell stays empty, never "0".
  EXPECT_EQ(AddValues(TRvoValue{}, TRvoValue{}).kind, TRvoValue::Null);
  EXPECT_EQ(ValueText(AddValues(T("a"), TRvoValue{})), "a");
  // Integer overflow does not wrap.
  EXPECT_EQ(AddValues(I(INT64_MAX), I(1)).kind, TRvoValue::Float);
  // Joined texts keep at most 255 characters, counted as characters.
  std::string a(200, 'a');
  std::string u;
  for (int k = 0; k < 100; ++k) u += "\xC3\xA4";
  TRvoValue joined = AddValues(T(a), T(u));
  EXPECT_EQ(Utf8Length(joined.s), 255u);
  EXPECT_EQ(joined.s.size(), 200u + 55u * 2);
}

TEST(RvoExpression, MalformedExpressionsGiveAnErrorValue) {
  for (const char* text : {"[a]b]", "[abc", "'open", "1 +", "+", "[a] [b]", "#", "[x[y]"}) {
    TRvoExpression e;
    e.Parse(text);
    EXPECT_FALSE(e.Valid()) << text;
    TRvoValue v = e.Evaluate(nullptr, {});
    EXPECT_EQ(v.kind, TRvoValue::Error) << text;
    EXPECT_FALSE(v.s.empty()) << text;
  }
  TRvoExpression e;
  e.Parse("Unknown");
  EXPECT_EQ(ValueText(e.Evaluate(nullptr, {})), "Unknown identifier UNKNOWN");
  e.Parse("[X]");
  EXPECT_EQ(e.Evaluate(nullptr, {}).kind, TRvoValue::Error);
}
