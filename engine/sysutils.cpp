#include "engine/sysutils.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "engine/dataset.h"

namespace korvane {

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
// TDateTime values beyond this many days (about 273 million years) are clamped so
// that the millisecond arithmetic below cannot overflow.
constexpr double kMaxDays = 1.0e11;

// Days since 1 January of year 1 (day 0) of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  // 719468 shifts the algorithm's epoch (0000-03-01) to 1970-01-01; 719162 days
  // lie between 0001-01-01 and 1970-01-01.
  return era * 146097 + doe - 719468 + 719162;
}

void CivilFromDays(int64_t days, int64_t& y, int& m, int& d) {
  int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Splits a TDateTime into days since 0001-01-01 (day 0) and milliseconds of the
// day, the classic way: the value is rounded to whole milliseconds, the integral
// part is the day and the absolute value of the fraction the time.
void SplitDateTime(TDateTime dt, int64_t& days, int64_t& msec) {
  if (!std::isfinite(dt)) dt = 0;
  dt = std::clamp(dt, -kMaxDays, kMaxDays);
  const int64_t total = std::llround(dt * static_cast<double>(kMSecsPerDay));
  days = total / kMSecsPerDay + (kDayNumberOf18991230 - 1);
  msec = (total < 0 ? -total : total) % kMSecsPerDay;
}

// Decimal digits of a finite value rounded to `precision` significant digits.
// value = 0.d1d2d3... * 10^exponent; digits carry no trailing zeros; zero gives
// empty digits.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Decimal ToDecimal(double v, int precision) {
  Decimal r;
  precision = std::clamp(precision, 1, 17);
  if (v == 0) return r;
  r.negative = v < 0;
  // Correctly rounded scientific digits, as printf's %.*e gives them. The
  // shortest digits that read back as the value are found much faster; when
  // there are no more of them than the precision and the precision is at most
  // 15 (below the 15.95 digits of a normal double), they are the value rounded
  // to that precision too, since the value lies closer to them than half a step
  // of the precision. Otherwise the rounding is done on the exact value.
  char buf[64];
  const double a = std::fabs(v);
  auto res = std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::scientific);
  int shortest = 0;
  for (const char* q = buf; q < res.ptr && *q != 'e'; ++q) shortest += (*q >= '0' && *q <= '9');
  if (!(precision <= 15 && shortest <= precision && a >= std::numeric_limits<double>::min()))
    res = std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::scientific, precision - 1);
  *res.ptr = '\0';
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') r.digits.push_back(*p);
  }
  int e = *p == 'e' ? std::atoi(p + 1) : 0;
  r.exponent = e + 1;
  while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
  if (r.digits.empty()) r.negative = false;
  return r;
}

// The shortest decimal digits that read back as the value.
Decimal ShortestDecimal(double v) {
  Decimal r;
  if (v == 0 || !std::isfinite(v)) return r;
  r.negative = v < 0;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(v), std::chars_format::scientific);
  *res.ptr = '\0';
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') r.digits.push_back(*p);
  }
  r.exponent = (*p == 'e' ? std::atoi(p + 1) : 0) + 1;
  while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
  if (r.digits.empty()) r.negative = false;
  return r;
}

// Digits after the decimal point that a decimal needs.
int FractionDigits(const Decimal& d) { return std::max(0, static_cast<int>(d.digits.size()) - d.exponent); }

// Rounds a decimal to `keep` digits in front of position (half away from zero).
void RoundDigits(Decimal& d, int keep) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    d.negative = false;
    return;
  }
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
      d.digits[static_cast<size_t>(i)] = '0';
      --i;
    }
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      d.exponent += 1;
    } else {
      d.digits[static_cast<size_t>(i)]++;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.negative = false;
}

// Decimal rounded to `decimals` digits after the point, from its 15-digit form.
Decimal FixedDecimal(double v, int decimals) {
  Decimal d = ToDecimal(v, 15);
  if (!d.digits.empty()) RoundDigits(d, d.exponent + decimals);
  return d;
}

// Integer and fraction digit strings of a decimal (fraction padded to `decimals`).
void SplitFixed(const Decimal& d, int decimals, std::string& intPart, std::string& fracPart) {
  intPart.clear();
  fracPart.clear();
  const int n = static_cast<int>(d.digits.size());
  for (int i = 0; i < d.exponent; ++i) intPart.push_back(i < n ? d.digits[static_cast<size_t>(i)] : '0');
  for (int i = 0; i < decimals; ++i) {
    const int idx = d.exponent + i;
    fracPart.push_back(idx >= 0 && idx < n ? d.digits[static_cast<size_t>(idx)] : '0');
  }
}

std::string GroupThousands(const std::string& intPart, char sep) {
  if (sep == 0) return intPart;
  std::string out;
  const size_t n = intPart.size();
  for (size_t i = 0; i < n; ++i) {
    out.push_back(intPart[i]);
    const size_t rest = n - 1 - i;
    if (rest > 0 && rest % 3 == 0) out.push_back(sep);
  }
  return out;
}

std::string NonFinite(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

// Number text without sign: integer part (optionally grouped) and decimals.
std::string FixedBody(const Decimal& d, int decimals, const TFormatSettings& fs, bool thousands) {
  std::string ip, fp;
  SplitFixed(d, decimals, ip, fp);
  if (ip.empty()) ip = "0";
  std::string out = thousands ? GroupThousands(ip, fs.ThousandSeparator) : ip;
  if (decimals > 0) {
    if (fs.DecimalSeparator) out.push_back(fs.DecimalSeparator);
    out += fp;
  }
  return out;
}

bool StartsWithI(const std::string& s, size_t pos, const char* word) {
  const size_t n = std::strlen(word);
  if (pos + n > s.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = s[pos + i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    char b = word[i];
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

void AppendNumber(std::string& out, int64_t n, int digits) {
  char buf[32];
  const bool negative = n < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude);
  const int len = static_cast<int>(res.ptr - buf);
  // Zero-padded to `digits` characters including the sign, as "%0*lld" pads.
  if (negative) out.push_back('-');
  const int width = digits - (negative ? 1 : 0);
  if (len < width) out.append(static_cast<size_t>(width - len), '0');
  out.append(buf, res.ptr);
}

struct DateParts {
  bool dateDone = false, timeDone = false;
  int64_t year = 0;
  int month = 1, day = 1, dow = 1;
  int hour = 0, min = 0, sec = 0, msec = 0;
};

void FormatInto(std::string& out, const std::string& fmt, TDateTime dt, const TFormatSettings& fs, int level,
                DateParts& parts) {
  auto getDate = [&] {
    if (parts.dateDone) return;
    int64_t days, ms;
    SplitDateTime(dt, days, ms);
    CivilFromDays(days, parts.year, parts.month, parts.day);
    parts.dow = static_cast<int>(((days + 1) % 7 + 7) % 7);  // 0 = Sunday (0001-01-01 was a Monday)
    parts.dateDone = true;
  };
  auto getTime = [&] {
    if (parts.timeDone) return;
    int64_t days, ms;
    SplitDateTime(dt, days, ms);
    parts.hour = static_cast<int>(ms / 3600000);
    parts.min = static_cast<int>(ms / 60000 % 60);
    parts.sec = static_cast<int>(ms / 1000 % 60);
    parts.msec = static_cast<int>(ms % 1000);
    parts.timeDone = true;
  };
  bool use12Hour = false;
  char lastToken = ' ';
  size_t i = 0;
  const size_t n = fmt.size();
  while (i < n) {
    const char starter = fmt[i++];
    char token = starter;
    if (token >= 'a' && token <= 'z') token = static_cast<char>(token - 32);
    if (token >= 'A' && token <= 'Z') {
      if (token == 'M' && lastToken == 'H') token = 'N';
      lastToken = token;
    }
    auto count = [&] {
      int c = 1;
      while (i < n && fmt[i] == starter) {
        ++i;
        ++c;
      }
      return c;
    };
    switch (token) {
      case 'Y': {
        const int c = count();
        getDate();
        if (c <= 2) {
          AppendNumber(out, ((parts.year % 100) + 100) % 100, 2);
        } else {
          AppendNumber(out, parts.year, 4);
        }
        break;
      }
      case 'M': {
        const int c = count();
        getDate();
        if (c <= 2) {
          AppendNumber(out, parts.month, c);
        } else if (c == 3) {
          out += fs.ShortMonthNames[parts.month - 1];
        } else {
          out += fs.LongMonthNames[parts.month - 1];
        }
        break;
      }
      case 'D': {
        const int c = count();
        if (c <= 2) {
          getDate();
          AppendNumber(out, parts.day, c);
        } else if (c == 3) {
          getDate();
          out += fs.ShortDayNames[parts.dow];
        } else if (c == 4) {
          getDate();
          out += fs.LongDayNames[parts.dow];
        } else if (level < 2) {
          FormatInto(out, c == 5 ? fs.ShortDateFormat : fs.LongDateFormat, dt, fs, level + 1, parts);
        }
        break;
      }
      case 'H': {
        int c = count();
        getTime();
        // A 12-hour clock applies when an am/pm marker follows before the next hour.
        bool inQuotes = false;
        for (size_t p = i; p < n; ++p) {
          const char ch = fmt[p];
          if ((ch == 'A' || ch == 'a') && !inQuotes) {
            if (StartsWithI(fmt, p, "AM/PM") || StartsWithI(fmt, p, "A/P") || StartsWithI(fmt, p, "AMPM")) {
              use12Hour = true;
            }
            break;
          }
          if (ch == 'H' || ch == 'h') break;
          if (ch == '\'' || ch == '"') inQuotes = !inQuotes;
        }
        int h = parts.hour;
        if (use12Hour) {
          if (h == 0) {
            h = 12;
          } else if (h > 12) {
            h -= 12;
          }
        }
        AppendNumber(out, h, std::min(c, 2));
        break;
      }
      case 'N': {
        const int c = count();
        getTime();
        AppendNumber(out, parts.min, std::min(c, 2));
        break;
      }
      case 'S': {
        const int c = count();
        getTime();
        AppendNumber(out, parts.sec, std::min(c, 2));
        break;
      }
      case 'T': {
        const int c = count();
        if (level < 2) FormatInto(out, c == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, dt, fs, level + 1, parts);
        break;
      }
      case 'Z': {
        const int c = count();
        getTime();
        // "z" and "zz" without leading zeros, "zzz" always three digits.
        AppendNumber(out, parts.msec, c <= 2 ? 1 : 3);
        break;
      }
      case 'A': {
        getTime();
        const size_t p = i - 1;
        if (StartsWithI(fmt, p, "AM/PM")) {
          out += fmt.substr(parts.hour >= 12 ? p + 3 : p, 2);
          i = p + 5;
          use12Hour = true;
        } else if (StartsWithI(fmt, p, "A/P")) {
          out += fmt.substr(parts.hour >= 12 ? p + 2 : p, 1);
          i = p + 3;
          use12Hour = true;
        } else if (StartsWithI(fmt, p, "AMPM")) {
          out += parts.hour < 12 ? fs.TimeAMString : fs.TimePMString;
          i = p + 4;
          use12Hour = true;
        } else if (StartsWithI(fmt, p, "AAAA")) {
          getDate();
          out += fs.LongDayNames[parts.dow];
          i = p + 4;
        } else if (StartsWithI(fmt, p, "AAA")) {
          getDate();
          out += fs.ShortDayNames[parts.dow];
          i = p + 3;
        } else {
          out.push_back(starter);
        }
        break;
      }
      case 'C': {
        count();
        if (level < 2) {
          FormatInto(out, fs.ShortDateFormat, dt, fs, level + 1, parts);
          getTime();
          if (parts.hour != 0 || parts.min != 0 || parts.sec != 0) {
            out.push_back(' ');
            FormatInto(out, fs.LongTimeFormat, dt, fs, level + 1, parts);
          }
        }
        break;
      }
      case '/':
        if (fs.DateSeparator) out.push_back(fs.DateSeparator);
        break;
      case ':':
        if (fs.TimeSeparator) out.push_back(fs.TimeSeparator);
        break;
      case '\'':
      case '"': {
        const size_t start = i;
        while (i < n && fmt[i] != starter) ++i;
        out.append(fmt, start, i - start);
        if (i < n) ++i;
        break;
      }
      default:
        out.push_back(starter);
        break;
    }
  }
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  out = static_cast<double>(DaysFromCivil(year, month, day) - (kDayNumberOf18991230 - 1));
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw Exception("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) {
    throw Exception("Invalid argument to time encode");
  }
  return (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / static_cast<double>(kMSecsPerDay);
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  int64_t y;
  CivilFromDays(days, y, month, day);
  year = static_cast<int>(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  return static_cast<int>(((days + 1) % 7 + 7) % 7) + 1;
}

TDateTime TimestampToDateTime(double timestamp) {
  if (!std::isfinite(timestamp) || std::fabs(timestamp) > 9.0e18) return timestamp / kMSecsPerDay - kDayNumberOf18991230;
  const int64_t total = std::llround(timestamp);
  const int64_t day = total >= 0 ? total / kMSecsPerDay : -((-total + kMSecsPerDay - 1) / kMSecsPerDay);
  const double fraction = static_cast<double>(total - day * kMSecsPerDay) / kMSecsPerDay;
  const double d = static_cast<double>(day - kDayNumberOf18991230);
  return d < 0 ? d - fraction : d + fraction;
}

double DateTimeToTimestamp(TDateTime dt) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  return static_cast<double>(days + 1) * kMSecsPerDay + static_cast<double>(ms);
}

bool DateInPatternRange(TDateTime dt) {
  int64_t days, ms, y;
  int m, d;
  SplitDateTime(dt, days, ms);
  CivilFromDays(days, y, m, d);
  return y >= 1 && y <= 9999;
}

std::string FormatDateTime(const std::string& format, TDateTime dt, const TFormatSettings& fs) {
  std::string out;
  DateParts parts;
  FormatInto(out, format.empty() ? std::string("c") : format, dt, fs, 0, parts);
  if (parts.dateDone && (parts.year < 1 || parts.year > 9999)) {
    // No pattern holds such a year: the date as dump writes it.
    out.clear();
    if (parts.timeDone) {
      AppendTimestamp(out, DateTimeToTimestamp(dt));
    } else {
      int64_t days, ms;
      SplitDateTime(dt, days, ms);
      AppendDayNumber(out, days + 1);
    }
  }
  return out;
}

std::string WithMilliseconds(const std::string& pattern) {
  // After the last run of "s" outside quoted text.
  size_t insertAt = std::string::npos;
  char quote = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == 's' || c == 'S') {
      size_t j = i;
      while (j < pattern.size() && pattern[j] == c) ++j;
      if (j < pattern.size() && (pattern[j] == 'z' || pattern[j] == 'Z' || pattern[j] == '.')) return pattern;
      insertAt = j;
      i = j - 1;
    }
  }
  if (insertAt == std::string::npos) return pattern;
  return pattern.substr(0, insertAt) + ".zzz" + pattern.substr(insertAt);
}

std::string TimestampToStr(double timestamp, const TFormatSettings& fs) {
  const TDateTime dt = TimestampToDateTime(timestamp);
  if (std::isfinite(timestamp) && std::fabs(timestamp) <= 9.0e18 && DateInPatternRange(dt))
    return DateTimeToStrExact(dt, fs);
  std::string out;
  AppendTimestamp(out, timestamp);
  return out;
}

std::string TimeToStrExact(TDateTime dt, const TFormatSettings& fs) {
  int h, m, sec, ms;
  DecodeTime(dt, h, m, sec, ms);
  return ms ? FormatDateTime(WithMilliseconds(fs.LongTimeFormat), dt, fs) : TimeToStr(dt, fs);
}

std::string DateTimeToStrExact(TDateTime dt, const TFormatSettings& fs) {
  if (!DateInPatternRange(dt)) {
    std::string out;
    AppendTimestamp(out, DateTimeToTimestamp(dt));
    return out;
  }
  std::string out = DateToStr(dt, fs);
  int h, m, sec, ms;
  DecodeTime(dt, h, m, sec, ms);
  if (h || m || sec || ms) {
    out += ' ';
    out += TimeToStrExact(dt, fs);
  }
  return out;
}

std::string DateToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("ddddd", dt, fs); }
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("tt", dt, fs); }
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("c", dt, fs); }

namespace {

// The general format of a decimal: plain digits, or d.dddE+x when the exponent
// lies beyond `precision` digits or below -3.
std::string GeneralText(const Decimal& d, int precision, const TFormatSettings& fs) {
  if (d.digits.empty()) return "0";
  std::string out = d.negative ? "-" : "";
  const int n = static_cast<int>(d.digits.size());
  if (d.exponent > precision || d.exponent < -3) {
    out.push_back(d.digits[0]);
    if (n > 1) {
      if (fs.DecimalSeparator) out.push_back(fs.DecimalSeparator);
      out.append(d.digits, 1, std::string::npos);
    }
    out.push_back('E');
    const int e = d.exponent - 1;
    if (e < 0) out.push_back('-');
    out += std::to_string(e < 0 ? -e : e);
    return out;
  }
  if (d.exponent <= 0) {
    out.push_back('0');
    if (fs.DecimalSeparator) out.push_back(fs.DecimalSeparator);
    out.append(static_cast<size_t>(-d.exponent), '0');
    out += d.digits;
    return out;
  }
  for (int i = 0; i < std::max(n, d.exponent); ++i) {
    if (i == d.exponent && fs.DecimalSeparator) out.push_back(fs.DecimalSeparator);
    out.push_back(i < n ? d.digits[static_cast<size_t>(i)] : '0');
  }
  return out;
}

}  // namespace

std::string FloatToStr(double v, const TFormatSettings& fs, int precision) {
  if (!std::isfinite(v)) return NonFinite(v);
  precision = std::clamp(precision, 1, 17);
  return GeneralText(ToDecimal(v, precision), precision, fs);
}

std::string FloatToStrExact(double v, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return NonFinite(v);
  return GeneralText(ShortestDecimal(v), 15, fs);
}

std::string CurrToStr(double v, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return NonFinite(v);
  const Decimal d = ShortestDecimal(v);
  const int decimals = std::max(std::clamp(fs.CurrencyDecimals, 0, 18), FractionDigits(d));
  // Amounts no fixed-point text holds in reasonable length keep their digits in
  // the general format.
  if (decimals > 18 || d.exponent > 18) return FloatToStrExact(v, fs);
  return (d.negative ? "-" : "") + FixedBody(d, decimals, fs, false);
}

std::string FloatToStrFixed(double v, int decimals, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return NonFinite(v);
  decimals = std::clamp(decimals, 0, 18);
  Decimal d = FixedDecimal(v, decimals);
  if (d.exponent > 15) return FloatToStr(v, fs);
  return (d.negative ? "-" : "") + FixedBody(d, decimals, fs, false);
}

std::string FloatToStrNumber(double v, int decimals, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return NonFinite(v);
  decimals = std::clamp(decimals, 0, 18);
  Decimal d = FixedDecimal(v, decimals);
  if (d.exponent > 15) return FloatToStr(v, fs);
  return (d.negative ? "-" : "") + FixedBody(d, decimals, fs, true);
}

std::string CurrToStrF(double v, const TFormatSettings& fs, int decimals) {
  if (!std::isfinite(v)) return NonFinite(v);
  Decimal d;
  if (decimals < 0) {
    // Every digit the value has, and at least the currency decimals.
    d = ShortestDecimal(v);
    decimals = std::max(std::clamp(fs.CurrencyDecimals, 0, 18), FractionDigits(d));
  } else {
    decimals = std::clamp(decimals, 0, 18);
    d = FixedDecimal(v, decimals);
  }
  // Amounts no fixed-point text holds in reasonable length keep their digits in
  // the general format.
  const std::string num =
      decimals > 18 || d.exponent > 18 ? GeneralText(d, 15, fs) : FixedBody(d, decimals, fs, true);
  const std::string& c = fs.CurrencyString;
  if (!d.negative) {
    switch (fs.CurrencyFormat) {
      case 1: return num + c;
      case 2: return c + " " + num;
      case 3: return num + " " + c;
      default: return c + num;
    }
  }
  switch (fs.NegCurrFormat) {
    case 1: return "-" + c + num;
    case 2: return c + "-" + num;
    case 3: return c + num + "-";
    case 4: return "(" + num + c + ")";
    case 5: return "-" + num + c;
    case 6: return num + "-" + c;
    case 7: return num + c + "-";
    case 8: return "-" + num + " " + c;
    case 9: return "-" + c + " " + num;
    case 10: return num + " " + c + "-";
    case 11: return c + " " + num + "-";
    case 12: return c + " -" + num;
    case 13: return num + "- " + c;
    case 14: return "(" + c + " " + num + ")";
    case 15: return "(" + num + " " + c + ")";
    default: return "(" + c + num + ")";
  }
}

namespace {

// One section of a FormatFloat pattern, analysed.
struct FloatSection {
  std::string text;
  int intPlaces = 0;     // '0' and '#' before the decimal point
  int minInt = 0;        // places from the first '0' of the integer part
  int fracPlaces = 0;    // placeholders after the point
  int minFrac = 0;       // up to the last '0' after the point
  bool thousands = false;
  bool scientific = false;
  bool hasPoint = false;
};

std::vector<std::string> SplitSections(const std::string& fmt) {
  std::vector<std::string> out(1);
  char quote = 0;
  for (char ch : fmt) {
    if (quote) {
      if (ch == quote) quote = 0;
    } else if (ch == '\'' || ch == '"') {
      quote = ch;
    } else if (ch == ';') {
      if (out.size() == 3) break;
      out.emplace_back();
      continue;
    }
    out.back().push_back(ch);
  }
  return out;
}

FloatSection Analyse(const std::string& text) {
  FloatSection s;
  s.text = text;
  char quote = 0;
  int firstZero = -1;
  bool inExponent = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (quote) {
      if (ch == quote) quote = 0;
      continue;
    }
    if (ch == '\'' || ch == '"') {
      quote = ch;
      continue;
    }
    if (inExponent) {
      if (ch == '0') continue;
      inExponent = false;
    }
    if ((ch == 'E' || ch == 'e') && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) {
      if (!s.scientific) {
        s.scientific = true;
        inExponent = true;
        ++i;
      }
      continue;
    }
    if (s.scientific) continue;
    if (ch == '.' && !s.hasPoint) {
      s.hasPoint = true;
    } else if (ch == ',') {
      if (!s.hasPoint) s.thousands = true;
    } else if (ch == '0' || ch == '#') {
      if (s.hasPoint) {
        ++s.fracPlaces;
        if (ch == '0') s.minFrac = s.fracPlaces;
      } else {
        if (ch == '0' && firstZero < 0) firstZero = s.intPlaces;
        ++s.intPlaces;
      }
    }
  }
  s.minInt = firstZero < 0 ? 0 : s.intPlaces - firstZero;
  return s;
}

std::string ApplySection(const FloatSection& s, const Decimal& value, int exponent, bool minus,
                         const TFormatSettings& fs) {
  std::string ip, fp;
  SplitFixed(value, s.fracPlaces, ip, fp);
  while (static_cast<int>(fp.size()) > s.minFrac && !fp.empty() && fp.back() == '0') fp.pop_back();
  size_t lead = 0;
  while (lead < ip.size() && ip[lead] == '0') ++lead;
  ip.erase(0, lead);
  if (static_cast<int>(ip.size()) < s.minInt) ip.insert(0, static_cast<size_t>(s.minInt) - ip.size(), '0');

  std::string out = minus ? "-" : "";
  const int n = static_cast<int>(ip.size());
  int place = 0;      // integer placeholders seen
  int fracIndex = 0;  // fraction placeholders seen
  bool afterPoint = false;
  bool intEmitted = false;
  auto emitIntDigits = [&](int from, int to) {  // ip[from, to)
    for (int j = from; j < to; ++j) {
      out.push_back(ip[static_cast<size_t>(j)]);
      const int rest = n - 1 - j;
      if (s.thousands && rest > 0 && rest % 3 == 0 && fs.ThousandSeparator) out.push_back(fs.ThousandSeparator);
    }
  };
  auto flushInt = [&] {
    if (!intEmitted) {
      emitIntDigits(0, n);
      intEmitted = true;
    }
  };
  char quote = 0;
  bool scientificDone = false;
  const std::string& t = s.text;
  for (size_t i = 0; i < t.size(); ++i) {
    const char ch = t[i];
    if (quote) {
      if (ch == quote) {
        quote = 0;
      } else {
        out.push_back(ch);
      }
      continue;
    }
    if (ch == '\'' || ch == '"') {
      quote = ch;
      continue;
    }
    if (!scientificDone && s.scientific && (ch == 'E' || ch == 'e') && i + 1 < t.size() &&
        (t[i + 1] == '+' || t[i + 1] == '-')) {
      if (!afterPoint) flushInt();
      scientificDone = true;
      out.push_back(ch);
      const bool plus = t[i + 1] == '+';
      i += 2;
      int zeros = 0;
      while (i < t.size() && t[i] == '0') {
        ++zeros;
        ++i;
      }
      --i;
      if (exponent < 0) {
        out.push_back('-');
      } else if (plus) {
        out.push_back('+');
      }
      std::string e = std::to_string(exponent < 0 ? -exponent : exponent);
      if (static_cast<int>(e.size()) < zeros) e.insert(0, static_cast<size_t>(zeros) - e.size(), '0');
      out += e;
      continue;
    }
    if (scientificDone && (ch == '0' || ch == '#' || ch == '.' || ch == ',')) continue;
    if (ch == '0' || ch == '#') {
      if (!afterPoint) {
        // Placeholder k of N stands for digit n - N + k; the first one also takes
        // all the digits that do not fit.
        const int pos = n - s.intPlaces + place;
        if (place == 0) {
          emitIntDigits(0, std::max(0, pos + 1));
        } else if (pos >= 0) {
          emitIntDigits(pos, pos + 1);
        }
        ++place;
        if (place == s.intPlaces) intEmitted = true;
      } else {
        if (fracIndex < static_cast<int>(fp.size())) out.push_back(fp[static_cast<size_t>(fracIndex)]);
        ++fracIndex;
      }
      continue;
    }
    if (ch == '.' && !afterPoint) {
      flushInt();
      afterPoint = true;
      if (!fp.empty() && fs.DecimalSeparator) out.push_back(fs.DecimalSeparator);
      continue;
    }
    if (ch == ',') continue;
    out.push_back(ch);
  }
  return out;
}

}  // namespace

std::string FormatFloat(const std::string& format, double v, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return NonFinite(v);
  if (format.empty()) return FloatToStr(v, fs);
  const std::vector<std::string> sections = SplitSections(format);
  auto section = [&](size_t i) -> const std::string* {
    return i < sections.size() && !sections[i].empty() ? &sections[i] : nullptr;
  };
  // Formats the value with one section; answers false when it rounds to zero.
  auto render = [&](const std::string& text, bool minusSign, std::string& out) {
    const FloatSection s = Analyse(text);
    Decimal d;
    int exponent = 0;
    if (s.scientific) {
      const int digits = std::clamp(s.intPlaces + s.fracPlaces, 1, 15);
      d = ToDecimal(v, digits);
      if (!d.digits.empty()) {
        exponent = d.exponent - s.intPlaces;
        d.exponent = s.intPlaces;
      }
    } else {
      d = FixedDecimal(v, s.fracPlaces);
    }
    const bool zero = d.digits.empty();
    out = ApplySection(s, d, exponent, minusSign && !zero, fs);
    return !zero;
  };
  std::string out;
  if (v == 0) {
    const std::string* z = section(2);
    render(z ? *z : sections[0], false, out);
    return out;
  }
  const std::string* neg = v < 0 ? section(1) : nullptr;
  const bool nonZero = render(neg ? *neg : sections[0], v < 0 && !neg, out);
  if (!nonZero) {
    if (const std::string* z = section(2)) render(*z, false, out);
  }
  return out;
}

std::string ReprDouble(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  std::string sci(buf, res.ptr);
  // sci is "[-]d[.ddd]e[+-]XX".
  std::string out;
  size_t p = 0;
  if (sci[0] == '-') {
    out.push_back('-');
    p = 1;
  }
  const size_t e = sci.find('e');
  std::string digits;
  for (size_t i = p; i < e; ++i) {
    if (sci[i] != '.') digits.push_back(sci[i]);
  }
  const int exp10 = std::atoi(sci.c_str() + e + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exp10 < -4 || exp10 >= 16) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1, std::string::npos);
    }
    char eb[16];
    std::snprintf(eb, sizeof eb, "e%c%02d", exp10 < 0 ? '-' : '+', exp10 < 0 ? -exp10 : exp10);
    out += eb;
    return out;
  }
  if (exp10 < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exp10 - 1), '0');
    out += digits;
    return out;
  }
  const size_t intLen = static_cast<size_t>(exp10) + 1;
  if (digits.size() <= intLen) {
    out += digits;
    out.append(intLen - digits.size(), '0');
    out += ".0";
  } else {
    out.append(digits, 0, intLen);
    out.push_back('.');
    out.append(digits, intLen, std::string::npos);
  }
  return out;
}

std::string AsciiUpper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> SplitText(const std::string& s, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == separator) {
      out.emplace_back(s, start, i - start);
      start = i + 1;
    }
  }
  return out;
}


// ---------------------------------------------------------------------------
// The forms korvane-cli dump writes

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

void AppendHex(std::string& out, const void* data, size_t n) {
  static const char kHexDigits[] = "0123456789abcdef";
  const auto* p = static_cast<const uint8_t*>(data);
  size_t at = out.size();
  out.resize(at + 2 * n);
  char* d = out.data() + at;
  for (size_t i = 0; i < n; ++i) {
    d[2 * i] = kHexDigits[p[i] >> 4];
    d[2 * i + 1] = kHexDigits[p[i] & 15];
  }
}

std::string EscapeControlBytes(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  AppendEscapedText(out, s);
  return out;
}

}  // namespace korvane
