#pragma once
// Text for people: decoding the 8-bit text of a table into UTF-8 by a code page
// number, using the system's iconv. Single-byte code pages decode through a
// 256-entry table built once per code page; multi-byte ones through a cached
// iconv descriptor.
//
// Bytes that the code page cannot decode become U+FFFD (Replace) or, in Escape
// mode, the code point U+DC00 + byte written as the 3-byte sequence ED B0..B3 xx
// (the lone-surrogate escape that Python calls "surrogateescape"). Such a
// sequence never comes out of a successful decode, so NextDecodedPiece can find
// the escaped bytes again and a dump can print them as \xHH.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/pdx.h"

namespace korvane {

enum class DecodeMode { Replace, Escape };

constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageDefault = 437;  // what a table without a code page is read as

// The code page to read a table's text as: the user's choice when nonzero, else
// the header's code page when the file version has one (5 and later) and it is
// nonzero, else 437.
int SourceCodePageFor(int fileVersion, int dosCodePage, int userOverride);
inline int SourceCodePage(const TPdx& table, int userOverride) {
  return SourceCodePageFor(table.Header().FileVersion(), table.Header().DosCodePage(), userOverride);
}

// A code page from its number or name: "1251", "cp1251", "windows-1251",
// "ibm866", "utf-8" (65001), "koi8-r" (20866), "iso-8859-5" (28595), "roman8" (8)...
// Case does not matter. Throws Exception for an unknown name or a code page the
// system cannot decode.
int ParseCodePage(const std::string& name);

// iconv's name of a code page ("CP866", "UTF-8", "HP-ROMAN8", "KOI8-R").
std::string IconvNameOf(int codePage);
// True when text of the code page can be decoded on this system.
bool CodePageSupported(int codePage);

// A decoder of one code page into UTF-8. Get one through For(); it is shared and
// safe to use from several threads.
class TTextDecoder {
 public:
  // The cached decoder of a code page; throws Exception when iconv does not know it.
  static std::shared_ptr<const TTextDecoder> For(int codePage);

  ~TTextDecoder();
  TTextDecoder(const TTextDecoder&) = delete;
  TTextDecoder& operator=(const TTextDecoder&) = delete;

  int CodePage() const { return codePage_; }
  bool SingleByte() const { return singleByte_; }
  std::string Decode(std::string_view bytes, DecodeMode mode = DecodeMode::Replace) const;
  void DecodeAppend(std::string_view bytes, DecodeMode mode, std::string& out) const;

 private:
  explicit TTextDecoder(int codePage);
  void DecodeIconv(std::string_view bytes, DecodeMode mode, std::string& out) const;

  struct TByteEntry {
    uint8_t Length = 0;  // 0: the byte cannot be decoded
    char Utf8[7] = {};
  };
  int codePage_ = 0;
  bool utf8_ = false;
  bool singleByte_ = false;
  bool asciiSame_ = false;  // bytes 00..7F decode to themselves (most code pages)
  TByteEntry table_[256];
  void* cd_ = nullptr;  // iconv descriptor of a multi-byte code page
  mutable std::mutex mutex_;
};

// Decodes with the cached decoder of the code page.
std::string DecodeToUtf8(int codePage, std::string_view bytes, DecodeMode mode = DecodeMode::Replace);

// An OnEncode handler for TPdx that turns alpha and memo text into UTF-8.
TEncodeEvent MakeUtf8Encoder(int codePage, DecodeMode mode = DecodeMode::Replace);

// Appends the escape of an undecodable byte (ED B0..B3 xx).
void AppendEscapedByte(std::string& out, uint8_t byte);

// One piece of decoded text: a run of text (Byte < 0) or one escaped byte.
struct TDecodedPiece {
  std::string_view Text;
  int Byte = -1;
};
// Takes the next piece off the front of `rest`; false when `rest` is empty.
bool NextDecodedPiece(std::string_view& rest, TDecodedPiece& piece);
bool HasEscapedBytes(std::string_view decoded);
// The decoded text with every escaped byte written as \xHH (upper-case digits).
std::string EscapedBytesToHex(std::string_view decoded);

// Code pages for an "Encoding" menu, each with a label such as "DOS US (437)";
// only those this system can decode.
std::vector<std::pair<int, std::string>> CommonCodePages();
// The menu label of a code page ("Code page N" for one not in the list).
std::string CodePageLabel(int codePage);

}  // namespace korvane
