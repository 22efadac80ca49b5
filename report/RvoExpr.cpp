#include "report/RvoExpr.h"

#include <cctype>
#include <vector>

#include "engine/sysutils.h"

namespace korvane::report {

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string Utf8Prefix(std::string_view s, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == n) return std::string(s.substr(0, i));
      ++count;
    }
  }
  return std::string(s);
}

TRvoValue TRvoValue::MakeText(std::string v) {
  TRvoValue r;
  r.kind = Text;
  r.s = Utf8Length(v) > kRvoMaxText ? Utf8Prefix(v, kRvoMaxText) : std::move(v);
  return r;
}

std::string GeneralNumber(double v, int digits) {
  static const TFormatSettings fs;  // "." as the decimal point
  return FloatToStr(v, fs, digits);
}

std::string ValueText(const TRvoValue& v) {
  switch (v.kind) {
    case TRvoValue::Null: return {};
    case TRvoValue::Integer: return std::to_string(v.i);
    case TRvoValue::Float: return GeneralNumber(v.f);
    case TRvoValue::Decimal:
    case TRvoValue::Text:
    case TRvoValue::Error: return v.s;
    case TRvoValue::Boolean: return v.b ? "True" : "False";
  }
  return {};
}

TRvoValue AddValues(const TRvoValue& a, const TRvoValue& b) {
  if (a.kind == TRvoValue::Error) return a;
  if (b.kind == TRvoValue::Error) return b;
  if (a.kind == TRvoValue::Null) return b;
  if (b.kind == TRvoValue::Null) return a;
  auto asFloat = [](const TRvoValue& v) { return v.kind == TRvoValue::Integer ? static_cast<double>(v.i) : v.f; };
  if (a.kind == TRvoValue::Integer && b.kind == TRvoValue::Integer) {
    int64_t r;
    if (!__builtin_add_overflow(a.i, b.i, &r)) return TRvoValue::MakeInteger(r);
    return TRvoValue::MakeFloat(static_cast<double>(a.i) + static_cast<double>(b.i));
  }
  if (a.IsNumber() && b.IsNumber()) return TRvoValue::MakeFloat(asFloat(a) + asFloat(b));
  if (a.kind == TRvoValue::Boolean && b.kind == TRvoValue::Boolean)
    return TRvoValue::MakeError("Cannot add boolean expressions");
  return TRvoValue::MakeText(ValueText(a) + ValueText(b));
}

TRvoValue FieldValue(const TField& field) {
  const TFieldType t = field.DataType();
  if (IsBlobType(t)) return TRvoValue::MakeError("Field " + field.FieldName() + " is of unknown type");
  if (field.IsNull()) return {};
  switch (t) {
    case ftString: return TRvoValue::MakeText(field.AsString());
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: return TRvoValue::MakeInteger(field.AsInteger());
    case ftFloat:
    case ftCurrency: return TRvoValue::MakeFloat(field.AsFloat());
    // The exact decimal text: a double would cut a 20-digit value.
    case ftBCD: return TRvoValue::MakeDecimal(field.AsString(), field.AsFloat());
    case ftBoolean: return TRvoValue::MakeBoolean(field.AsBoolean());
    case ftDate:
    case ftTime:
    case ftDateTime: return TRvoValue::MakeText(field.AsString());
    // As the grid shows them.
    case ftBytes:
    case ftVarBytes: return TRvoValue::MakeText(field.DisplayText());
    default: return TRvoValue::MakeError("Field " + field.FieldName() + " is of unknown type");
  }
}

// --- Expressions -----------------------------------------------------------------

struct TRvoExpression::TNode {
  enum Kind { Field, Constant, Literal, Add } kind;
  std::string name;  // Field: field name; Constant: upper-case name
  TRvoValue literal;
  std::shared_ptr<const TNode> left, right;
};

namespace {

using TNodePtr = std::shared_ptr<const TRvoExpression::TNode>;

class TParser {
 public:
  explicit TParser(const std::string& text) : s_(text) {}

  TNodePtr ParseAll() {
    TNodePtr n = Sum();
    Skip();
    if (p_ < s_.size()) Fail("unexpected \"" + std::string(1, s_[p_]) + "\" at position " + std::to_string(p_ + 1));
    return n;
  }

  struct Failure {
    std::string message;
  };

 private:
  [[noreturn]] void Fail(const std::string& m) { throw Failure{m}; }
  void Skip() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\r' || s_[p_] == '\n')) ++p_;
  }
  TNodePtr Sum() {
    TNodePtr left = Term();
    for (;;) {
      Skip();
      if (p_ >= s_.size() || s_[p_] != '+') return left;
      ++p_;
      auto n = std::make_shared<TRvoExpression::TNode>();
      n->kind = TRvoExpression::TNode::Add;
      n->left = left;
      n->right = Term();
      left = n;
    }
  }
  TNodePtr Term() {
    Skip();
    if (p_ >= s_.size()) Fail("an operand is missing");
    auto n = std::make_shared<TRvoExpression::TNode>();
    const char c = s_[p_];
    if (c == '[') {
      const size_t close = s_.find(']', p_ + 1);
      if (close == std::string::npos) Fail("\"]\" is missing");
      n->kind = TRvoExpression::TNode::Field;
      n->name = s_.substr(p_ + 1, close - p_ - 1);
      if (n->name.find('[') != std::string::npos) Fail("a field name holds \"[\"");
      p_ = close + 1;
      // A name that itself holds "]" leaves the rest of it behind: caught by the
      // caller as an unexpected character.
    } else if (c == '\'') {
      std::string text;
      ++p_;
      for (;;) {
        if (p_ >= s_.size()) Fail("a quoted text is not closed");
        if (s_[p_] == '\'') {
          if (p_ + 1 < s_.size() && s_[p_ + 1] == '\'') {
            text += '\'';
            p_ += 2;
            continue;
          }
          ++p_;
          break;
        }
        text += s_[p_++];
      }
      n->kind = TRvoExpression::TNode::Literal;
      n->literal = TRvoValue::MakeText(std::move(text));
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      int64_t v = 0;
      while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) {
        if (__builtin_mul_overflow(v, 10, &v) || __builtin_add_overflow(v, s_[p_] - '0', &v))
          Fail("a number is too large");
        ++p_;
      }
      n->kind = TRvoExpression::TNode::Literal;
      n->literal = TRvoValue::MakeInteger(v);
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::string name;
      while (p_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[p_])) || s_[p_] == '_'))
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(s_[p_++])));
      n->kind = TRvoExpression::TNode::Constant;
      n->name = name;
    } else {
      Fail("unexpected \"" + std::string(1, c) + "\" at position " + std::to_string(p_ + 1));
    }
    return n;
  }

  const std::string& s_;
  size_t p_ = 0;
};

TRvoValue Eval(const TRvoExpression::TNode& n, const TDataSet* ds, const TRvoConstants& constants) {
  switch (n.kind) {
    case TRvoExpression::TNode::Literal: return n.literal;
    case TRvoExpression::TNode::Constant: {
      auto it = constants.find(n.name);
      if (it == constants.end()) return TRvoValue::MakeError("Unknown identifier " + n.name);
      return it->second;
    }
    case TRvoExpression::TNode::Field: {
      const TField* f = ds && ds->Active() ? ds->FindField(n.name) : nullptr;
      if (!f) return TRvoValue::MakeError("Field " + n.name + " not found");
      try {
        return FieldValue(*f);
      } catch (const std::exception& e) {
        return TRvoValue::MakeError(e.what());
      }
    }
    case TRvoExpression::TNode::Add:
      return AddValues(Eval(*n.left, ds, constants), Eval(*n.right, ds, constants));
  }
  return {};
}

void CollectFields(const TRvoExpression::TNode* n, std::vector<std::string>& out) {
  if (!n) return;
  if (n->kind == TRvoExpression::TNode::Field) out.push_back(n->name);
  CollectFields(n->left.get(), out);
  CollectFields(n->right.get(), out);
}

}  // namespace

void TRvoExpression::Parse(const std::string& text) {
  root_.reset();
  error_.clear();
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    // No expression: an empty value.
    auto n = std::make_shared<TNode>();
    n->kind = TNode::Literal;
    root_ = n;
    return;
  }
  try {
    root_ = TParser(text).ParseAll();
  } catch (const TParser::Failure& f) {
    error_ = "Invalid expression " + text + ": " + f.message;
  }
}

TRvoValue TRvoExpression::Evaluate(const TDataSet* dataSet, const TRvoConstants& constants) const {
  if (!root_) return TRvoValue::MakeError(error_.empty() ? std::string("Invalid expression") : error_);
  return Eval(*root_, dataSet, constants);
}

std::vector<std::string> TRvoExpression::FieldNames() const {
  std::vector<std::string> out;
  CollectFields(root_.get(), out);
  return out;
}

}  // namespace korvane::report
