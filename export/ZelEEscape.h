#pragma once
// Text forms shared by the markup and data formats: Base64, escaping for HTML
// and XML, and turning field names into names a reader accepts, unique within
// their set.
//
// Every function takes UTF-8 and writes UTF-8. Those that may have to leave a
// character out or replace it return how many they changed, so that a writer
// can count the value in the run's statistic.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace korvane {

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
void AppendBase64(std::string& out, std::string_view bytes);
std::string Base64(std::string_view bytes);

// Base64 of bytes that come in pieces: the same text AppendBase64 writes for
// the pieces joined. Up to two bytes wait for the next piece; Finish writes
// them with the padding.
class TZelEBase64Stream {
 public:
  void Append(std::string& out, std::string_view bytes);
  void Finish(std::string& out);

 private:
  char carry_[2] = {};
  size_t carried_ = 0;
};

// HTML text: & < > " ' as entities; CR LF, CR and LF as <br>. Nothing else is
// touched (the page declares UTF-8).
void AppendHtmlEscaped(std::string& out, std::string_view text);

// XML character data and attribute values: & < > " ' as entities, CR LF TAB as
// &#13; &#10; &#9; (so that they read back as they are, in attributes too), NUL
// left out, other C0 controls and bytes that are no UTF-8 as U+FFFD. Returns the
// number of characters left out or replaced.
size_t AppendXmlEscaped(std::string& out, std::string_view text);

// Whether text can stand in XML as it is after escaping (no NUL, no other C0
// control but TAB CR LF, valid UTF-8).
bool IsXmlSafe(std::string_view text);

// Decodes the UTF-8 sequence at s[i] into cp and answers its length, or 0 when
// the bytes there are no valid sequence (overlong, a surrogate, cut short).
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& cp);

// What a text lost on its way onto one line of a line-based format.
struct TZelEOneLineChanges {
  bool LineBreaks = false;  // line breaks written as blanks
  bool Nul = false;         // NUL bytes written as blanks
  bool Any() const { return LineBreaks || Nul; }
};
// Appends text as one line holds it: CR LF, CR, LF and NUL each become one
// blank; `doubled` (when not 0) is written twice wherever it stands.
TZelEOneLineChanges AppendOneLine(std::string& out, std::string_view text, char doubled = 0);

// Whether a byte string is valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// An XML name (element or attribute) for a field or table name: every character
// that is no NameChar (":" included) becomes "_", and "_" goes before a first
// character that may not start a name. An empty name becomes "_".
std::string XmlName(std::string_view name);

// Gives every name of a set a form of its own. Add() maps one name through the
// set's sanitizer and appends "_2", "_3", ... (or what the separator says) until
// the result is new; with CaseInsensitive, names differing only in ASCII case
// count as the same.
class TZelENameSet {
 public:
  using TSanitizer = std::function<std::string(std::string_view)>;
  explicit TZelENameSet(TSanitizer sanitize = {}, bool caseInsensitive = false, std::string separator = "_");
  std::string Add(std::string_view name);
  bool Contains(std::string_view name) const;
  void Clear() { used_.clear(); }

 private:
  std::string Key(std::string_view name) const;
  TSanitizer sanitize_;
  bool caseInsensitive_;
  std::string separator_;
  std::unordered_set<std::string> used_;
};

}  // namespace korvane

namespace korvane {

// The text of an XML comment: what AppendXmlEscaped leaves out or replaces is
// left out or replaced here too, but nothing is turned into entities (a comment
// knows none); "--", which would end the comment, becomes "- -", and a last "-"
// gets a blank after it. Returns the number of characters changed.
size_t AppendXmlComment(std::string& out, std::string_view text);

}  // namespace korvane
