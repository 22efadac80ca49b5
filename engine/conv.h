#pragma once
// Conversion of 8-bit texts between the encodings used for Cyrillic text: UCS-4,
// UTF-8, KOI8-R, ISO 8859-5, code page 1251 and code page 866. Every conversion
// goes through UCS-4 (four bytes per character, big-endian). Texts are byte
// strings in and out; a UCS-4 text has a length that is a multiple of 4.

#include <string>

#include "engine/dataset.h"

namespace korvane {

enum TTextEncoding : int {
  encUcs4 = 0,
  encUtf8 = 1,
  encKoi8r = 2,
  encIso8859_5 = 3,
  encCp1251 = 4,
  encCp866 = 5,
};

// The name an encoding carries in error messages: "UCS4", "Utf8", "Koi8r",
// "ISO 8859-5", "Cp1251", "Cp866" ("" for values outside the enumeration).
const char* TextEncodingName(TTextEncoding enc);

// A character that has no counterpart in the target encoding, or malformed input.
// Message: "Can't convert from <FromName> to <ToName> symbol <Symbol>".
class eConvException : public Exception {
 public:
  eConvException(std::string fromName, std::string toName, std::string symbol);
  std::string FromName;
  std::string ToName;
  std::string Symbol;  // "$" and hexadecimal digits, or empty
};

// The exception the converters raise (returned, so the caller throws it).
eConvException NewConvError(const std::string& fromName, const std::string& toName,
                            const std::string& symbol);

// Converts text from one encoding into another through UCS-4. Converting an
// encoding into itself returns the text unchanged; values outside the
// enumeration raise Exception.
std::string ConvertText(TTextEncoding source, TTextEncoding target, const std::string& text);

std::string Utf8ToUcs4(const std::string& text);
std::string Ucs4ToUtf8(const std::string& text);
std::string Cp1251ToUcs4(const std::string& text);
std::string Ucs4ToCp1251(const std::string& text);
std::string Cp866ToUcs4(const std::string& text);
std::string Ucs4ToCp866(const std::string& text);
std::string Koi8rToUcs4(const std::string& text);
std::string Ucs4ToKoi8r(const std::string& text);
std::string Iso8859_5ToUcs4(const std::string& text);
std::string Ucs4ToIso8859_5(const std::string& text);

// Initial target encoding of a table's recoding: the empty text (no recoding).
std::string DefaultCodepage();

}  // namespace korvane
