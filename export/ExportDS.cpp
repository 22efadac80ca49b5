#include "export/ExportDS.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>

#include "engine/pdx.h"
#include "export/ZelEEngDB.h"
#include "export/ZelEFormats.h"
#include "export/ZelEOutput.h"

namespace korvane {

namespace {

std::string IntText(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// Quotes a separator so that FormatDateTime takes it literally ("/" and ":" stand
// for the run's own separators, which are the same characters).
void AppendSeparator(std::string& pattern, char sep, char placeholder) {
  if (sep == 0) return;
  if (sep == placeholder) {
    pattern += sep;
  } else if (sep == '"') {
    pattern += "'\"'";
  } else {
    pattern += '"';
    pattern += sep;
    pattern += '"';
  }
}

// The date pattern with separators ready for FormatDateTime.
std::string DatePatternFor(const TZelEDataFormats& df) {
  std::string day = df.LeadingZerosInDate ? "DD" : "D";
  std::string month = df.LeadingZerosInDate ? "MM" : "M";
  std::string year = df.LeadingZerosInDate ? "YY" : "Y";
  if (df.FourDigitYear) year = "YYYY";
  const std::string* parts[3];
  switch (df.DateOrder) {
    case doDMY: parts[0] = &day; parts[1] = &month; parts[2] = &year; break;
    case doYMD: parts[0] = &year; parts[1] = &month; parts[2] = &day; break;
    case doYDM: parts[0] = &year; parts[1] = &day; parts[2] = &month; break;
    case doDYM: parts[0] = &day; parts[1] = &year; parts[2] = &month; break;
    case doMYD: parts[0] = &month; parts[1] = &year; parts[2] = &day; break;
    case doMDY:
    default: parts[0] = &month; parts[1] = &day; parts[2] = &year; break;
  }
  std::string p;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) AppendSeparator(p, df.DateSeparator, '/');
    // FormatDateTime reads "y" and "yy" as a two-digit year.
    p += (parts[i] == &year && *parts[i] == "Y") ? "YY" : *parts[i];
  }
  return p;
}

std::string TimePatternFor(const TZelEDataFormats& df) {
  std::string p = "HH";
  AppendSeparator(p, df.TimeSeparator, ':');
  p += "NN";
  AppendSeparator(p, df.TimeSeparator, ':');
  p += "SS";
  return p;
}

bool IsNumericField(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftFloat || t == ftCurrency ||
         t == ftBCD;
}

// An existing file that is neither a regular file nor a folder.
bool IsSpecialFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool HasExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos) return false;
  if (slash != std::string::npos && dot < slash) return false;
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  return dot > nameStart && dot + 1 < path.size();
}

std::string ChangeExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot != std::string::npos && dot > nameStart) return path.substr(0, dot) + ext;
  return path + ext;
}

std::vector<std::string> SplitAddresses(const std::string& list) {
  std::vector<std::string> out;
  std::string cur;
  auto flush = [&] {
    size_t a = cur.find_first_not_of(" \t");
    size_t b = cur.find_last_not_of(" \t");
    if (a != std::string::npos) out.push_back(cur.substr(a, b - a + 1));
    cur.clear();
  };
  for (char c : list) {
    if (c == ';') flush();
    else cur += c;
  }
  flush();
  return out;
}

}  // namespace

const char kZelENothingExported[] = "There were no records to export: the %s file was not written.";
const char kZelENoRecordWritten[] = "No record was exported: the %s file holds no records.";
const char kZelEWrittenWithChanges[] = "The %s file was written, but not every value as it was read:";

// ---------------------------------------------------------------------------
// Data formats

TZelEDataFormats TZelEDataFormats::MainWindowDefaults() {
  TZelEDataFormats f;
  f.DateOrder = doDMY;
  f.DateSeparator = '/';
  f.TimeSeparator = ':';
  // A two-digit year loses every date outside 1950-2049 for any reader.
  f.FourDigitYear = true;
  f.LeadingZerosInDate = true;
  f.ThousandSeparator = ',';
  f.DecimalSeparator = '.';
  f.CurrencyString = "\xC2\xA3";  // the pound sign
  f.BooleanTrue = "True";
  f.BooleanFalse = "False";
  f.UseRegionalSettings = false;
  return f;
}

void TZelEDataFormats::LoadRegionalSettings(const TFormatSettings& regional) {
  DateSeparator = regional.DateSeparator;
  TimeSeparator = regional.TimeSeparator;
  DateOrder = doMDY;
  std::string fmt = AsciiUpper(regional.ShortDateFormat);
  auto split = [&](char sep) {
    std::vector<std::string> parts(1);
    int seps = 0;
    for (char c : fmt) {
      if (c == sep && sep != 0 && seps < 2) {
        parts.emplace_back();
        ++seps;
      } else {
        parts.back() += c;
      }
    }
    return parts;
  };
  std::vector<std::string> parts = split(DateSeparator);
  if (parts.size() < 3) parts = split('/');
  if (parts.size() >= 3) {
    auto first = [](const std::string& s) {
      for (char c : s)
        if (c >= 'A' && c <= 'Z') return c;
      return '\0';
    };
    std::string key{first(parts[0]), first(parts[1]), first(parts[2])};
    if (key == "DMY") DateOrder = doDMY;
    else if (key == "DYM") DateOrder = doDYM;
    else if (key == "MDY") DateOrder = doMDY;
    else if (key == "MYD") DateOrder = doMYD;
    else if (key == "YMD") DateOrder = doYMD;
    else if (key == "YDM") DateOrder = doYDM;
  }
  DecimalSeparator = regional.DecimalSeparator;
  ThousandSeparator = regional.ThousandSeparator;
  CurrencyString = regional.CurrencyString;
  FourDigitYear = fmt.find("YYYY") != std::string::npos;
  LeadingZerosInDate = fmt.find("DD") != std::string::npos;
  CustomDateTimeFormat.clear();
}

std::string TZelEDataFormats::GetDateFormat() const {
  if (!CustomDateTimeFormat.empty()) return AsciiUpper(CustomDateTimeFormat);
  std::string day = LeadingZerosInDate ? "DD" : "D";
  std::string month = LeadingZerosInDate ? "MM" : "M";
  std::string year = LeadingZerosInDate ? "YY" : "Y";
  if (FourDigitYear) year = "YYYY";
  std::string a, b, c;
  switch (DateOrder) {
    case doDMY: a = day; b = month; c = year; break;
    case doYMD: a = year; b = month; c = day; break;
    case doYDM: a = year; b = day; c = month; break;
    case doDYM: a = day; b = year; c = month; break;
    case doMYD: a = month; b = year; c = day; break;
    case doMDY:
    default: a = month; b = day; c = year; break;
  }
  std::string sep = DateSeparator ? std::string(1, DateSeparator) : std::string();
  return a + sep + b + sep + c;
}

std::string TZelEDataFormats::GetTimeFormat() const {
  std::string sep = TimeSeparator ? std::string(1, TimeSeparator) : std::string();
  return "HH" + sep + "NN" + sep + "SS";
}

std::string TZelEDataFormats::GetDateTimeFormat() const {
  if (!CustomDateTimeFormat.empty()) return AsciiUpper(CustomDateTimeFormat);
  return GetDateFormat() + " " + GetTimeFormat();
}

// ---------------------------------------------------------------------------
// Date formatter

TZelEDateFormatter::TZelEDateFormatter(const std::string& pattern, const TFormatSettings& settings,
                                       const std::string& fallback)
    : pattern_(fallback.empty() ? pattern : fallback), fs_(&settings) {
  // The token rules of FormatDateTime: a run of one letter is one token, "m"
  // after an hour means minutes, "/" and ":" are the separators, quoted text is
  // literal, anything else is copied.
  if (pattern.empty()) return;  // FormatDateTime reads it as "c"
  std::vector<TPiece> pieces;
  auto literal = [&](const std::string& t) {
    if (t.empty()) return;
    if (!pieces.empty() && pieces.back().Kind == 'L') pieces.back().Text += t;
    else pieces.push_back({'L', 0, t});
  };
  char lastToken = ' ';
  size_t i = 0;
  const size_t n = pattern.size();
  while (i < n) {
    const char starter = pattern[i++];
    char token = starter;
    if (token >= 'a' && token <= 'z') token = static_cast<char>(token - 32);
    if (token >= 'A' && token <= 'Z') {
      if (token == 'M' && lastToken == 'H') token = 'N';
      lastToken = token;
    }
    int c = 1;
    auto count = [&] {
      while (i < n && pattern[i] == starter) {
        ++i;
        ++c;
      }
    };
    switch (token) {
      case 'Y': count(); pieces.push_back({'Y', c <= 2 ? 2 : 4, {}}); needDate_ = true; break;
      case 'M':
        count();
        if (c > 2) return;
        pieces.push_back({'M', c, {}});
        needDate_ = true;
        break;
      case 'D':
        count();
        if (c > 2) return;
        pieces.push_back({'D', c, {}});
        needDate_ = true;
        break;
      case 'H': count(); pieces.push_back({'H', std::min(c, 2), {}}); needTime_ = true; break;
      case 'N': count(); pieces.push_back({'N', std::min(c, 2), {}}); needTime_ = true; break;
      case 'S': count(); pieces.push_back({'S', std::min(c, 2), {}}); needTime_ = true; break;
      case 'Z': count(); pieces.push_back({'Z', std::min(c, 3), {}}); needTime_ = true; break;
      case '/': literal(settings.DateSeparator ? std::string(1, settings.DateSeparator) : std::string()); break;
      case ':': literal(settings.TimeSeparator ? std::string(1, settings.TimeSeparator) : std::string()); break;
      case '\'':
      case '"': {
        const size_t start = i;
        while (i < n && pattern[i] != starter) ++i;
        literal(pattern.substr(start, i - start));
        if (i < n) ++i;
        break;
      }
      default:
        // Other letters (names, nested formats, am/pm markers) are left to FormatDateTime.
        if (token >= 'A' && token <= 'Z') return;
        literal(std::string(1, starter));
        break;
    }
  }
  pieces_ = std::move(pieces);
  compiled_ = true;
}

void TZelEDateFormatter::Append(std::string& out, TDateTime dt) const {
  if (!fs_) return;
  int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0, msec = 0;
  if (compiled_ && needDate_) DecodeDate(dt, year, month, day);
  if (!compiled_ || (needDate_ && (year < 1 || year > 9999))) {
    out += korvane::FormatDateTime(pattern_, dt, *fs_);
    return;
  }
  if (needTime_) DecodeTime(dt, hour, minute, second, msec);
  auto number = [&out](int v, int width) {
    char buf[12];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    const int len = static_cast<int>(r.ptr - buf);
    if (len < width) out.append(static_cast<size_t>(width - len), '0');
    out.append(buf, r.ptr);
  };
  for (const TPiece& p : pieces_) {
    switch (p.Kind) {
      case 'Y': number(p.Width == 2 ? year % 100 : year, p.Width); break;
      case 'M': number(month, p.Width); break;
      case 'D': number(day, p.Width); break;
      case 'H': number(hour, p.Width); break;
      case 'N': number(minute, p.Width); break;
      case 'S': number(second, p.Width); break;
      case 'Z': number(msec, p.Width); break;
      default: out += p.Text; break;
    }
  }
}

// ---------------------------------------------------------------------------
// The run's format settings

TZelERunFormat::TZelERunFormat(const TZelEDataFormats& formats, const TFormatSettings& regional)
    : df_(formats), fs_(regional), plain_(regional) {
  fs_.DecimalSeparator = formats.DecimalSeparator ? formats.DecimalSeparator : '.';
  fs_.ThousandSeparator = formats.ThousandSeparator;
  fs_.DateSeparator = formats.DateSeparator;
  fs_.TimeSeparator = formats.TimeSeparator;
  fs_.CurrencyString = formats.CurrencyString;
  timePattern_ = TimePatternFor(formats);
  if (!formats.CustomDateTimeFormat.empty()) {
    datePattern_ = AsciiUpper(formats.CustomDateTimeFormat);
    // A pattern without a time of day never cuts a time stamp's time.
    dateTimePattern_ = PatternShowsTime(datePattern_) ? datePattern_ : datePattern_ + " " + timePattern_;
  } else {
    datePattern_ = DatePatternFor(formats);
    dateTimePattern_ = datePattern_ + " " + timePattern_;
  }
  date_ = TZelEDateFormatter(datePattern_, fs_);
  time_ = TZelEDateFormatter(timePattern_, fs_);
  timeMs_ = TZelEDateFormatter(WithMilliseconds(timePattern_), fs_);
  dateTime_ = TZelEDateFormatter(dateTimePattern_, fs_);
  dateTimeMs_ = TZelEDateFormatter(WithMilliseconds(dateTimePattern_), fs_);
  shortDate_ = TZelEDateFormatter(plain_.ShortDateFormat, plain_, "ddddd");
  longTime_ = TZelEDateFormatter(plain_.LongTimeFormat, plain_, "tt");
  longTimeMs_ = TZelEDateFormatter(WithMilliseconds(plain_.LongTimeFormat), plain_);
}

bool TZelERunFormat::PatternShowsTime(const std::string& pattern) {
  // Letters of the time of day outside quoted text: h, n, s, z, t, c, am/pm.
  char quote = 0;
  for (char c : pattern) {
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') quote = c;
    const char u = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (u == 'H' || u == 'N' || u == 'S' || u == 'Z' || u == 'T' || u == 'C' || u == 'A') return true;
  }
  return false;
}

namespace {

// Native value of a date, time or time stamp field as TDateTime (and the stored
// time stamp, day number or milliseconds); false for null.
bool NativeDateTime(const TField& field, TFieldType t, TDateTime& dt, double& timestamp) {
  alignas(8) unsigned char native[kMaxNativeSize];
  if (!field.GetData(native)) return false;
  if (t == ftDateTime) {
    std::memcpy(&timestamp, native, sizeof timestamp);
    dt = TimestampToDateTime(timestamp);
  } else {
    int32_t v;
    std::memcpy(&v, native, sizeof v);
    dt = t == ftDate ? DayNumberToDateTime(v) : MillisecondsToTime(v);
    timestamp = v;
  }
  return true;
}

int Milliseconds(TDateTime dt) {
  int h, m, s, ms;
  DecodeTime(dt, h, m, s, ms);
  return ms;
}

}  // namespace

void TZelERunFormat::BlobText(const TField& field, std::string& out) const {
  // The BLOB's bytes (memo text as the table's encoder gives it), taken over
  // from the stream rather than copied.
  std::unique_ptr<TMemoryStream> s = field.DataSet().CreateBlobStream(field, bmRead);
  std::string data;
  if (s) data.swap(s->Data());
  const TFieldType t = field.DataType();
  if (t == ftMemo) {
    // Memo text as it is (a text writer leaves NUL bytes out and counts them).
    out.swap(data);
  } else if (t == ftFmtMemo) {
    // Formatting records around the text: decoded like memo text and written as
    // dump writes it, control bytes escaped.
    out.clear();
    if (auto* table = dynamic_cast<TPdx*>(&field.DataSet()); table && !data.empty())
      data = table->EncodeText(data, field);
    AppendEscapedText(out, data);
  } else {
    // Pictures, OLE objects and other binary data: lower-case hex.
    out.clear();
    AppendHex(out, data.data(), data.size());
  }
}

void TZelERunFormat::PlainText(const TField& field, std::string& out) const { FieldText(field, out, false); }

void TZelERunFormat::DisplayText(const TField& field, std::string& out) const { FieldText(field, out, true); }

void TZelERunFormat::FieldText(const TField& field, std::string& out, bool display) const {
  TFieldType t = field.DataType();
  if (IsBlobType(t)) {
    BlobText(field, out);
    return;
  }
  // Plain texts follow the regional settings, display texts DataFormats.
  const TFormatSettings& fs = display ? fs_ : plain_;
  // Native values are read once; the field's own conversions are used where the
  // dataset decides the meaning.
  alignas(8) unsigned char native[kMaxNativeSize];
  switch (t) {
    case ftString: {
      alpha_.resize(kAlphaBufferSize);
      if (!field.GetData(alpha_.data())) {
        out.clear();
        return;
      }
      alpha_[kAlphaBufferSize - 1] = '\0';
      out.assign(alpha_.data());
      return;
    }
    case ftSmallint:
    case ftBoolean: {
      if (!field.GetData(native)) {
        out.clear();
        return;
      }
      int16_t v;
      std::memcpy(&v, native, sizeof v);
      if (t == ftBoolean) {
        out = v ? "True" : "False";
      } else {
        char buf[8];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.assign(buf, r.ptr);
      }
      return;
    }
    case ftInteger:
    case ftAutoInc: {
      if (!field.GetData(native)) {
        out.clear();
        return;
      }
      int32_t v;
      std::memcpy(&v, native, sizeof v);
      char buf[16];
      auto r = std::to_chars(buf, buf + sizeof buf, v);
      out.assign(buf, r.ptr);
      return;
    }
    case ftFloat:
    case ftCurrency: {
      if (!field.GetData(native)) {
        out.clear();
        return;
      }
      double v;
      std::memcpy(&v, native, sizeof v);
      // Every stored digit: the shortest digits that read back as the value, a
      // currency value with at least its decimals.
      if (t == ftCurrency) out = display ? CurrToStrF(v, fs) : CurrToStr(v, fs);
      else if (field.Precision() > 0 && field.Precision() < 15) out = FloatToStr(v, fs, field.Precision());
      else out = FloatToStrExact(v, fs);
      return;
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
      out.clear();
      TDateTime dt;
      double timestamp = 0;
      if (!NativeDateTime(field, t, dt, timestamp)) return;
      const bool ms = t != ftDate && Milliseconds(dt) != 0;
      if (t == ftDateTime &&
          (!std::isfinite(timestamp) || std::fabs(timestamp) > 9.0e18 || !DateInPatternRange(dt))) {
        AppendTimestamp(out, timestamp);
      } else if (t == ftTime && (timestamp < 0 || timestamp >= 86400000)) {
        // No time of day: as dump writes it.
        AppendTimeOfDay(out, static_cast<int64_t>(timestamp));
      } else if (display) {
        // The patterns of DataFormats; a time stamp at midnight as a date.
        if (t == ftDate) date_.Append(out, dt);
        else if (t == ftTime) (ms ? timeMs_ : time_).Append(out, dt);
        else if (HasTime(dt)) (ms ? dateTimeMs_ : dateTime_).Append(out, dt);
        else date_.Append(out, dt);
      } else {
        // As DateToStr, TimeToStr and DateTimeToStr, milliseconds kept.
        if (t == ftTime) {
          (ms ? longTimeMs_ : longTime_).Append(out, dt);
        } else {
          shortDate_.Append(out, dt);
          if (t == ftDateTime && HasTime(dt)) {
            out += ' ';
            (ms ? longTimeMs_ : longTime_).Append(out, dt);
          }
        }
      }
      return;
    }
    case ftBCD: {
      TBcdValue bcd;
      if (field.GetData(&bcd)) out = bcd.ToString(fs.DecimalSeparator);
      else out.clear();
      return;
    }
    default:
      break;
  }
  if (field.IsNull()) {
    out.clear();
    return;
  }
  switch (t) {
    case ftWord: {
      char buf[24];
      auto r = std::to_chars(buf, buf + sizeof buf, field.AsInteger());
      out.assign(buf, r.ptr);
      return;
    }
    case ftBytes:
    case ftVarBytes: {
      out.clear();
      const size_t n = static_cast<size_t>(std::max(0, field.DataSize()));
      std::string bytes(std::max<size_t>(n, 1), '\0');
      if (field.GetData(bytes.data())) AppendHex(out, bytes.data(), n);
      return;
    }
    default:
      out = field.AsString();
      return;
  }
}

bool TZelERunFormat::HasTime(TDateTime dt) {
  int h, m, s, ms;
  DecodeTime(dt, h, m, s, ms);
  return h != 0 || m != 0 || s != 0 || ms != 0;
}

std::string TZelERunFormat::FormatDate(TDateTime dt) const {
  std::string s;
  date_.Append(s, dt);
  return s;
}
std::string TZelERunFormat::FormatTime(TDateTime dt) const {
  std::string s;
  (Milliseconds(dt) ? timeMs_ : time_).Append(s, dt);
  return s;
}
std::string TZelERunFormat::FormatDateTime(TDateTime dt) const {
  std::string s;
  (Milliseconds(dt) ? dateTimeMs_ : dateTime_).Append(s, dt);
  return s;
}

std::string TZelERunFormat::VariantText(const TVariant& v, bool display) const {
  // As the field texts: plain texts regional, display texts by DataFormats.
  const TFormatSettings& fs = display ? fs_ : plain_;
  switch (v.kind) {
    case TVariant::vNull: return {};
    case TVariant::vInteger: return IntText(v.i);
    case TVariant::vFloat: return FloatToStrExact(v.f, fs);
    case TVariant::vCurrency: return display ? CurrToStrF(v.f, fs) : CurrToStr(v.f, fs);
    case TVariant::vBoolean: return v.b ? "True" : "False";
    case TVariant::vDateTime:
      if (!display) return DateTimeToStrExact(v.f, fs);
      return HasTime(v.f) ? FormatDateTime(v.f) : FormatDate(v.f);
    case TVariant::vBCD: {
      std::string s = v.s;
      if (fs.DecimalSeparator != '.')
        for (char& c : s)
          if (c == '.') c = fs.DecimalSeparator;
      return s;
    }
    case TVariant::vString:
    default: return v.s;
  }
}

// ---------------------------------------------------------------------------

void TZelExportStyle::SetStyle(TZelEStyle s) {
  static const TColor kColors[kZelEStyleCount][2] = {
      {0xFF000005, 0xFF000005}, {0xFF000016, 0xFF000005}, {0x00FFFBF0, 0xFF000005}, {0x00CFDFDF, 0x00A0BFBF},
      {0x00B8CCD8, 0x00688CA0}, {0x00A8B090, 0x00788058}, {0x00D8A8B0, 0x00B05058}, {0x00A8D8EB, 0x0048A8C8},
      {0x00B8C088, 0x00889048}, {0x00B8B0D0, 0x007060A0}, {0x00A8C8A0, 0x00689858}, {0x00A0E0E0, 0x0040BCC0}};
  if (s < 0 || s >= kZelEStyleCount || s == style_) return;
  style_ = s;
  OddColor = kColors[s][0];
  EvenColor = kColors[s][1];
}

// ---------------------------------------------------------------------------
// TZelECustomBaseComponent

TZelECustomBaseComponent::TZelECustomBaseComponent() : services_(&SilentServices()) {}
TZelECustomBaseComponent::~TZelECustomBaseComponent() = default;

void TZelECustomBaseComponent::SetTableType(TTableTypeExport t) {
  // Standard output has no extension to change, nor has a connection string.
  const bool connection = ExportFormat(t).Can(faConnection) || ExportFormat(tableType_).Can(faConnection);
  if (!FileName.empty() && !TZelEFileStream::IsStandardOutputName(FileName) && !connection) {
    std::string ext = TableTypeExtension(t);
    if (ext.empty()) {
      if (HasExtension(FileName)) FileName = FileName.substr(0, FileName.find_last_of('.'));
    } else {
      FileName = ChangeExtension(FileName, ext);
    }
  }
  tableType_ = t;
}

const TZelERunFormat& TZelECustomBaseComponent::RunFormat() const {
  if (!runFormat_) {
    auto* self = const_cast<TZelECustomBaseComponent*>(this);
    self->runFormat_.emplace(DataFormats, services_->RegionalSettings());
  }
  return *runFormat_;
}

void TZelECustomBaseComponent::GetFieldStr(const TField* field, std::string& text) {
  text.clear();
  if (!field) return;
  const TZelERunFormat& rf = RunFormat();
  TFieldType t = field->DataType();
  if (!Options.Has(soFieldMask)) {
    rf.PlainText(*field, text);
  } else if (t == ftBoolean) {
    if (!field->IsNull()) text = field->AsBoolean() ? DataFormats.BooleanTrue : DataFormats.BooleanFalse;
  } else {
    rf.DisplayText(*field, text);
  }
  if (BlankIfZero) {
    if (IsNumericField(t)) {
      if (field->IsNull() || field->AsFloat() == 0) text.clear();
    } else if (IsDateTimeType(t)) {
      if (field->IsNull() || field->AsDateTime() == 0) text.clear();
    } else if (!IsBlobType(t) && field->IsNull()) {
      text.clear();
    }
  }
}

std::string TZelECustomBaseComponent::GetLanguageString(int id) {
  std::string text = ZelELanguageText(id);
  if (OnGetLanguageString) OnGetLanguageString(*this, id, text);
  return text;
}

std::string TZelECustomBaseComponent::GetSysVarValue(const std::string& name) {
  std::string n = AsciiUpper(name);
  if (n == "ROWNO") return IntText(sysRowNo_);
  if (n == "COLNO") return IntText(sysColNo_);
  if (n == "COUNT") return IntText(Statistic.TotalCount);
  if (n == "ERRCOUNT") return IntText(Statistic.TotalErrors);
  if (n == "GENERATOR") return KeyGenerator;
  return {};
}

void TZelECustomBaseComponent::Assign(const TZelECustomBaseComponent& s) {
  if (&s == this) return;
  services_ = s.services_;
  Header = s.Header;
  Footer = s.Footer;
  RowsPerFile = s.RowsPerFile;
  SetTableType(s.tableType_);
  AnimatedStatus = s.AnimatedStatus;
  DataFormats = s.DataFormats;
  KeyGenerator = s.KeyGenerator;
  SelectedRecord = s.SelectedRecord;
  BlankIfZero = s.BlankIfZero;
  Options = s.Options;
  RightToLeft = s.RightToLeft;
  SendTo = s.SendTo;
  Statistic = s.Statistic;
  TitleStatus = s.TitleStatus;
  OnGetLanguageString = s.OnGetLanguageString;
  OnBeforeRecord = s.OnBeforeRecord;
  OnAfterRecord = s.OnAfterRecord;
  OnBeforeExecute = s.OnBeforeExecute;
  OnAfterExecute = s.OnAfterExecute;
  OnGetFileName = s.OnGetFileName;
  OnProgress = s.OnProgress;
  OnGetCellParams = s.OnGetCellParams;
  AddTitle = s.AddTitle;
  CharacterSet = s.CharacterSet;
  CodePage = s.CodePage;
  ExportStyle = s.ExportStyle;
  TableName = s.TableName;
  TextQualifier = s.TextQualifier;
  FormatSettings.Merge(s.FormatSettings);
  Separator = s.Separator;
  RecordSeparator = s.RecordSeparator;
  Fixed = s.Fixed;
  AutoFitColumns = s.AutoFitColumns;
  PageSetup = s.PageSetup;
}

// ---------------------------------------------------------------------------
// TZelExportBaseComponent

TZelExportBaseComponent::TZelExportBaseComponent() = default;
TZelExportBaseComponent::~TZelExportBaseComponent() = default;

void TZelExportBaseComponent::Assign(const TZelECustomBaseComponent& source) {
  TZelECustomBaseComponent::Assign(source);
  auto* s = dynamic_cast<const TZelExportBaseComponent*>(&source);
  if (!s || s == this) return;
  ActionAfterExport = s->ActionAfterExport;
  FileName = s->FileName;
  Columns = s->Columns;
  Bands = s->Bands;
  DBGrid = s->DBGrid;
  DataSet = s->DataSet;
  DataEngine = s->DataEngine;
  ColumnSource = s->ColumnSource;
  SelectedRecord = s->SelectedRecord;
  OnBeforeLoadSpecification = s->OnBeforeLoadSpecification;
  OnAfterLoadSpecification = s->OnAfterLoadSpecification;
  OnBeforeSaveSpecification = s->OnBeforeSaveSpecification;
  OnAfterSaveSpecification = s->OnAfterSaveSpecification;
  Layout = s->Layout;
  ExportIfEmpty = s->ExportIfEmpty;
  SpecificationDir = s->SpecificationDir;
  DetailSources = s->DetailSources;
}

TDataSet* TZelExportBaseComponent::GetDataset() const {
  if (engine_) {
    if (TDataSet* ds = engine_->GetDataset()) return ds;
  }
  if (ColumnSource == csDataSet) return DataSet;
  if (DBGrid && DBGrid->DataSet()) return DBGrid->DataSet();
  return DataSet;
}

std::string TZelExportBaseComponent::FieldNameText(const TZelEColumn& c) const {
  if (c.ColumnKind != ckField || !engine_) return c.FieldName;
  TField* field = engine_->FindField(c);
  if (!field) return c.FieldName;
  if (auto* table = dynamic_cast<TPdx*>(&field->DataSet())) return table->EncodeText(c.FieldName, *field);
  return c.FieldName;
}

void TZelExportBaseComponent::RunFailed(const std::string& message) {
  Statistic.Result = erFailed;
  if (AnimatedStatus) HideProgress();
  Statistic.Message = GetLanguageString(3) + ": " + message;
  if (Options.Has(soShowMessage)) Services().ShowMessage(TZelEMessageKind::Error, Statistic.Message);
}

void TZelExportBaseComponent::Execute() {
  try {
    BeginExecute();
    ExportData();
  } catch (const std::exception& e) {
    RunFailed(e.what());
  }
  try {
    EndExecute();
  } catch (const std::exception& e) {
    RunFailed(e.what());
  }
}

void TZelExportBaseComponent::CreateDataEngine() {
  FreeDataEngine();
  switch (ColumnSource) {
    case csDBGrid:
      if (!DBGrid) throw EZelExportError(ZelEFormat(GetLanguageString(0), {"DBGrid"}));
      ownedEngine_ = std::make_unique<TZelEDBGridDataEngine>(DBGrid);
      engine_ = ownedEngine_.get();
      break;
    case csDataSet:
      if (!DataSet) throw EZelExportError(ZelEFormat(GetLanguageString(0), {"Dataset"}));
      ownedEngine_ = std::make_unique<TZelEDatasetDataEngine>(DataSet);
      engine_ = ownedEngine_.get();
      break;
    case csDataEngine:
    default:
      if (!DataEngine) throw EZelExportError(ZelEFormat(GetLanguageString(0), {"DataEngine"}));
      engine_ = DataEngine;
      break;
  }
  engine_->SelectedOnly = SelectedRecord;
  engine_->LevelNumber = 0;
}

void TZelExportBaseComponent::FreeDataEngine() {
  ownedEngine_.reset();
  engine_ = nullptr;
}

void TZelExportBaseComponent::BeginExecute() {
  Statistic.Result = erInProgress;
  Statistic.CurrentRow = 0;
  Statistic.CurrentCol = 0;
  Statistic.Section = 0;
  Statistic.LevelNumber = 0;
  Statistic.CurrentLevel = nullptr;
  Statistic.RecordsExported = 0;
  Statistic.FilesWritten.clear();
  Statistic.Message.clear();
  Statistic.TotalErrors = 0;
  Statistic.Notes.clear();
  columnsFilled_ = false;
  controlsDisabled_ = false;
  cursorBusy_ = false;
  userColumns_ = Columns.Count() > 0;
  runFormat_.reset();
  if (OnBeforeExecute) OnBeforeExecute(*this);

  CreateDataEngine();
  recordCount_ = engine_->GetRecordCount();
  if (TDataSet* ds = engine_->GetDataset()) unreadAtStart_ = ds->UnreadValueCount();
  Statistic.LevelNumber = engine_->LevelNumber;

  TFormatSettings regional = Services().RegionalSettings();
  if (DataFormats.UseRegionalSettings) DataFormats.LoadRegionalSettings(regional);
  runFormat_.emplace(DataFormats, regional);

  if (Options.Has(soDisableControls)) {
    engine_->DisableControls();
    controlsDisabled_ = true;
  }
  if (Options.Has(soWaitCursor)) {
    Services().SetBusyCursor(true);
    cursorBusy_ = true;
  }
  SetCancelled(false);
  if (AnimatedStatus) {
    int max = recordCount_ < 0 ? 0 : recordCount_;
    ShowProgress(KeyGenerator, TitleStatus, 0, max, 0, GetLanguageString(12));
  }
  if (Columns.Count() == 0) {
    engine_->FillColumns(Columns, Bands, RightToLeft);
    columnsFilled_ = true;
  }
  userColumns_ = !columnsFilled_;
  Statistic.TotalCount = 0;
  exportedColumns_ = 0;
  for (const TZelEColumn& c : Columns.Items())
    if (IsExported(c)) ++exportedColumns_;
  // Standard output ("-", /dev/stdout), a device or a pipe is written as named.
  if (!FileName.empty() && !HasExtension(FileName) && !IsSpecialFile(FileName) &&
      !TZelEFileStream::IsStandardOutputName(FileName) && !ExportFormat(tableType_).Can(faConnection))
    FileName += TableTypeExtension(tableType_);
}

void TZelExportBaseComponent::EndExecute() {
  if (columnsFilled_) {
    Columns.Clear();
    Bands.Clear();
    columnsFilled_ = false;
  }
  std::string finalText;
  if (Statistic.Result != erFailed) {
    if (Cancelled()) {
      Statistic.Result = erCanceled;
      finalText = GetLanguageString(16);
    } else {
      Statistic.Result = erCompleted;
      // Values the table could not deliver (BLOB data in a memo file it has not got)
      // went out empty: the run says how many.
      TDataSet* ds = engine_ ? engine_->GetDataset() : nullptr;
      const int64_t unread = ds ? ds->UnreadValueCount() - unreadAtStart_ : 0;
      if (unread > 0) {
        Statistic.TotalErrors += static_cast<int>(unread);
        Statistic.Notes.push_back(std::to_string(unread) + (unread == 1 ? " value" : " values") +
                                  " could not be read from the table and were left empty.");
      }
      if (!OutputWritten())
        finalText = ZelEFormat(kZelENothingExported, {FileName});
      else if (RecordsWritten() == 0)
        finalText = ZelEFormat(kZelENoRecordWritten, {FileName});
      else if (Statistic.TotalErrors > 0)
        finalText = ZelEFormat(kZelEWrittenWithChanges, {FileName});
      else
        finalText = ZelEFormat(GetLanguageString(2), {FileName});
      for (const std::string& note : Statistic.Notes) finalText += " " + note;
    }
  }
  // Keep the output of a completed run, throw away any other.
  try {
    FinishOutput(Statistic.Result == erCompleted);
  } catch (const std::exception& e) {
    finalText.clear();
    RunFailed(e.what());
  }
  if (Statistic.Result != erFailed) Statistic.Message = finalText;

  if (OnProgress) {
    bool abort = false;
    OnProgress(*this, recordCount_, recordCount_, abort);
  }
  if (AnimatedStatus) {
    UpdateProgress(finalText, recordCount_);
    HideProgress();
  }
  if (Options.Has(soShowMessage) && !finalText.empty() && (!AnimatedStatus || Statistic.Result == erFailed))
    Services().ShowMessage(TZelEMessageKind::Information, finalText);
  // Only a file that exists can be opened or mailed.
  if (Statistic.Result == erCompleted && OutputWritten()) {
    try {
      DoActionAfterExport();
    } catch (const std::exception& e) {
      if (Options.Has(soShowMessage)) Services().ShowMessage(TZelEMessageKind::Error, e.what());
    }
  }
  if (cursorBusy_) {
    Services().SetBusyCursor(false);
    cursorBusy_ = false;
  }
  if (controlsDisabled_ && engine_) engine_->EnableControls();
  controlsDisabled_ = false;
  FreeDataEngine();
  runFormat_.reset();
  if (OnAfterExecute) OnAfterExecute(*this);
}

void TZelExportBaseComponent::DoActionAfterExport() {
  switch (ActionAfterExport) {
    case aeOpenView:
      if (!Services().ShellOpen(FileName) && Options.Has(soShowMessage))
        Services().ShowMessage(TZelEMessageKind::Error, "Could not open " + FileName);
      break;
    case aeEMail:
      SendMail(FileName, {});
      break;
    case aeNone:
    default:
      break;
  }
}

int TZelExportBaseComponent::SendMail(const std::string& attachmentName, const std::string& bodyText) {
  TZelEMailMessage m;
  m.Subject = SendTo.EMailSubject.empty() ? KeyGenerator : SendTo.EMailSubject;
  if (!bodyText.empty()) {
    m.Body = SendTo.EMailBody + "\r\n" + bodyText;
  } else {
    m.Body = SendTo.EMailBody;
    m.Attachment = attachmentName;
  }
  std::vector<std::string> entries = SplitAddresses(SendTo.EMailRecipient);
  for (const std::string& e : SplitAddresses(SendTo.EMailCC)) entries.push_back("CC:" + e);
  for (const std::string& e : SplitAddresses(SendTo.EMailBCC)) entries.push_back("BCC:" + e);
  for (const std::string& e : entries) {
    TZelEMailRecipient r;
    if (e.size() >= 4 && SameTextAscii(e.substr(0, 4), "BCC:")) {
      r.Class = TZelEMailRecipient::Bcc;
      r.Address = e.substr(4);
    } else if (e.size() >= 3 && SameTextAscii(e.substr(0, 3), "CC:")) {
      r.Class = TZelEMailRecipient::Cc;
      r.Address = e.substr(3);
    } else {
      r.Address = e;
    }
    m.Recipients.push_back(r);
  }
  m.ShowDialog = SendTo.EMailOpenBeforeSend || SplitAddresses(SendTo.EMailRecipient).empty();
  int rc = Services().SendMail(m);
  if (rc != 0 && Options.Has(soShowMessage))
    Services().ShowMessage(TZelEMessageKind::Error, "Error sending mail (" + IntText(rc) + ")");
  return rc;
}

bool TZelExportBaseComponent::ShowProgress(const std::string& caption, const std::string& status, int position,
                                           int maximum, int minimum, const std::string& cancelCaption) {
  return progress_.Show(Services(), caption, status, position, maximum, minimum, cancelCaption,
                        GetLanguageString(9));
}

bool TZelExportBaseComponent::UpdateProgress(const std::string& text, int position) {
  return progress_.Update(text, position, Statistic.UpdateStep);
}

bool TZelExportBaseComponent::HideProgress() { return progress_.Hide(); }

}  // namespace korvane
