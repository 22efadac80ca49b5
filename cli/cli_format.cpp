#include "cli/cli_format.h"

#include <charconv>
#include <cmath>

#include <cstdio>

#include "cli/commands.h"
#include "engine/pdx.h"
#include "engine/sysutils.h"

namespace korvane::cli {

namespace {

const char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, uint8_t b) {
  const char e[4] = {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
  out.append(e, 4);
}

void AppendPadded(std::string& out, int64_t v, int width) {
  char b[24];
  auto r = std::to_chars(b, b + sizeof b, v);
  for (int n = static_cast<int>(r.ptr - b); n < width; ++n) out += '0';
  out.append(b, r.ptr);
}

// Two digits of 0..99.
inline void Put2(char* d, int64_t v) {
  d[0] = static_cast<char>('0' + v / 10);
  d[1] = static_cast<char>('0' + v % 10);
}


}  // namespace

void AppendEscapedText(std::string& out, std::string_view s) {
  const size_t n = s.size();
  size_t run = 0;  // start of the pending run of bytes that need no escape
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = static_cast<uint8_t>(s[i]);
    if (c >= 0x20 && c != '\\' && c != 0x7F && c != 0xED) continue;
    if (c == 0xED) {
      // ED B0..B3 xx is U+DC00 + byte: a byte the code page could not decode.
      if (i + 2 < n && (static_cast<uint8_t>(s[i + 1]) & 0xFC) == 0xB0 &&
          (static_cast<uint8_t>(s[i + 2]) & 0xC0) == 0x80) {
        out.append(s.data() + run, i - run);
        const uint8_t b = static_cast<uint8_t>(((static_cast<uint8_t>(s[i + 1]) & 0x03) << 6) |
                                               (static_cast<uint8_t>(s[i + 2]) & 0x3F));
        AppendHexByte(out, b);
        i += 2;
        run = i + 1;
      }
      continue;
    }
    out.append(s.data() + run, i - run);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: AppendHexByte(out, c); break;
    }
    run = i + 1;
  }
  out.append(s.data() + run, n - run);
}

void AppendDayNumber(std::string& out, int64_t day) {
  // Civil date from a count of days (proleptic Gregorian calendar), shifted so that the
  // era starts on 1 March of year 0.
  int64_t z = day - 1 + 306;  // days since 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  if (y < 0) {
    out += '-';
    y = -y;
  }
  if (y < 10000) {
    char b[10] = {0, 0, 0, 0, '-', 0, 0, '-', 0, 0};
    Put2(b, y / 100);
    Put2(b + 2, y % 100);
    Put2(b + 5, m);
    Put2(b + 8, d);
    out.append(b, 10);
    return;
  }
  AppendPadded(out, y, 4);
  char b[6] = {'-', 0, 0, '-', 0, 0};
  Put2(b + 1, m);
  Put2(b + 4, d);
  out.append(b, 6);
}

void AppendTimeOfDay(std::string& out, int64_t ms) {
  if (ms < 0) {
    out += '-';
    ms = -ms;
  }
  const int64_t h = ms / 3600000;
  char b[12] = {0, 0, ':', 0, 0, ':', 0, 0, '.', 0, 0, 0};
  if (h < 100) {
    Put2(b, h);
  } else {
    AppendPadded(out, h, 2);
  }
  Put2(b + 3, ms / 60000 % 60);
  Put2(b + 6, ms / 1000 % 60);
  const int64_t frac = ms % 1000;
  if (frac) {
    b[9] = static_cast<char>('0' + frac / 100);
    Put2(b + 10, frac % 100);
  }
  const char* from = h < 100 ? b : b + 2;
  out.append(from, static_cast<size_t>((frac ? b + 12 : b + 8) - from));
}

void AppendTimestamp(std::string& out, double value) {
  // Beyond about 290 million years the value is no time stamp at all: show the number.
  if (!std::isfinite(value) || std::fabs(value) > 9.0e18) {
    out += ReprDouble(value);
    return;
  }
  int64_t total = std::llround(value);
  int64_t day = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
  int64_t ms = total - day * 86400000;
  AppendDayNumber(out, day);
  out += ' ';
  AppendTimeOfDay(out, ms);
}

void RefuseEncrypted(const TPdx& table) {
  if (table.Encrypted()) {
    throw Exception("\"" + EscapeControlBytes(table.TableName()) +
                    "\" - the table is encrypted: its records cannot be read");
  }
}

void WarnReadProblems(const TPdx& table) {
  for (const std::string& p : table.ReadProblems()) std::fprintf(stderr, "korvane-cli: warning: %s\n", p.c_str());
}

}  // namespace korvane::cli
