#include "report/RvoPageImage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace korvane::report {
namespace {

constexpr char kSignature[4] = {'K', 'R', 'P', 'G'};
constexpr int32_t kMaxPaper = static_cast<int32_t>(kPageImageMaxPaper * 10);
constexpr uint32_t kMaxFontSize = static_cast<uint32_t>(kPageImageMaxFontSize * 100);
constexpr uint32_t kMaxLineWidth = 10000;  // 10 cm
constexpr size_t kRecordHead = 8;
// Fixed payload bytes of each kind (after the 8-byte record head).
constexpr size_t kFillBody = 20;
constexpr size_t kLineBody = 28;
constexpr size_t kFontBody = 16;
constexpr size_t kTextBody = 28;
constexpr size_t kPictureBody = 20;
constexpr uint8_t kFontFlags = 0x0F;  // bold, italic, underline, strike-out

size_t Pad4(size_t n) { return (4 - n % 4) % 4; }

uint32_t Get32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t Get16(const char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
int32_t GetI32(const char* p) { return static_cast<int32_t>(Get32(p)); }

static_assert(std::endian::native == std::endian::little, "page images are little-endian");

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int n;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) n = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) n = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) n = 3, cp = c & 0x07;
    else return false;
    if (s.size() - i <= static_cast<size_t>(n)) return false;
    for (int k = 1; k <= n; ++k) {
      uint8_t t = static_cast<uint8_t>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

// Well-formed UTF-8 with every bad sequence replaced by U+FFFD.
std::string CleanUtf8(std::string_view s) {
  if (ValidUtf8(s)) return std::string(s);
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    size_t len = 1;
    uint8_t c = static_cast<uint8_t>(s[i]);
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3;
    else if (c >= 0xF0 && c <= 0xF4) len = 4;
    if (i + len <= s.size() && ValidUtf8(s.substr(i, len))) {
      out.append(s.substr(i, len));
      i += len;
    } else {
      out.append("\xEF\xBF\xBD");
      ++i;
    }
  }
  return out;
}

// Cut to at most `max` bytes without splitting a character.
std::string_view CutUtf8(std::string_view s, size_t max) {
  if (s.size() <= max) return s;
  size_t n = max;
  while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

int32_t Hundredths(double tenths, int32_t lo, int32_t hi) {
  if (!std::isfinite(tenths)) return lo;
  double v = std::round(tenths * 10);
  return static_cast<int32_t>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}

// One pass over an image; `canvas` null checks only.
bool Walk(std::string_view img, TRvoCanvas* canvas, TRvoPageInfo* info, std::string* why) {
  auto fail = [&](std::string text) {
    if (why) *why = std::move(text);
    return false;
  };
  if (img.size() < kPageImageHeaderSize) return fail("the page image is too short");
  const char* p = img.data();
  if (std::memcmp(p, kSignature, 4) != 0) return fail("the page image has no page image signature");
  if (Get16(p + 4) != kPageImageVersion)
    return fail("the page image has version " + std::to_string(Get16(p + 4)) + ", not " +
                std::to_string(kPageImageVersion));
  if (Get16(p + 6) != kPageImageHeaderSize) return fail("the page image header has a wrong size");
  if (img.size() > kPageImageMaxBytes) return fail("the page image is larger than allowed");
  if (Get32(p + 8) != img.size()) return fail("the page image length does not match its record");
  uint32_t count = Get32(p + 12);
  int32_t W = GetI32(p + 16), H = GetI32(p + 20);
  if (W <= 0 || H <= 0 || W > kMaxPaper || H > kMaxPaper) return fail("the paper size is not sound");
  for (size_t i = 24; i < kPageImageHeaderSize; ++i)
    if (p[i] != 0) return fail("the page image header has data in its reserved bytes");
  if (count > (img.size() - kPageImageHeaderSize) / kRecordHead)
    return fail("the page image counts more records than it can hold");
  if (info) *info = TRvoPageInfo{W / 10.0, H / 10.0, count};

  auto inX = [&](int64_t v) { return v >= 0 && v <= W; };
  auto inY = [&](int64_t v) { return v >= 0 && v <= H; };
  auto rectIn = [&](int32_t x, int32_t y, int32_t w, int32_t h) {
    return inX(x) && inY(y) && w >= 0 && h >= 0 && int64_t{x} + w <= W && int64_t{y} + h <= H;
  };
  auto t = [](int32_t v) { return v / 10.0; };

  if (canvas) canvas->BeginPage(W / 10.0, H / 10.0);
  bool haveFont = false;
  TRvoFontSpec font;
  size_t pos = kPageImageHeaderSize;
  for (uint32_t r = 1; r <= count; ++r) {
    std::string where = "record " + std::to_string(r) + ": ";
    if (img.size() - pos < kRecordHead) return fail(where + "runs past the end of the page image");
    const char* q = img.data() + pos;
    uint16_t kind = Get16(q);
    uint32_t len = Get32(q + 4);
    if (Get16(q + 2) != 0) return fail(where + "has data in its reserved bytes");
    if (len < kRecordHead || len % 4 != 0 || len > img.size() - pos)
      return fail(where + "runs past the end of the page image");
    const char* b = q + kRecordHead;
    size_t body = len - kRecordHead;
    auto variable = [&](size_t fixed, size_t n, size_t cap, const char* what) -> std::string {
      if (n > cap) return std::string(what) + " is longer than allowed";
      if (body != fixed + n + Pad4(n)) return std::string(what) + " length does not fit its record";
      for (size_t i = fixed + n; i < body; ++i)
        if (b[i] != 0) return "has data in its padding";
      return {};
    };
    if (r == 1) {
      // Every page begins by filling the whole paper white.
      if (kind != static_cast<uint16_t>(TRvoPageOp::Fill) || body != kFillBody || GetI32(b) != 0 ||
          GetI32(b + 4) != 0 || GetI32(b + 8) != W || GetI32(b + 12) != H || Get32(b + 16) != kRvoWhite)
        return fail("the page image does not begin by filling the paper white");
    }
    switch (static_cast<TRvoPageOp>(kind)) {
      case TRvoPageOp::Fill: {
        if (body != kFillBody) return fail(where + "a fill has a wrong length");
        int32_t x = GetI32(b), y = GetI32(b + 4), w = GetI32(b + 8), h = GetI32(b + 12);
        uint32_t color = Get32(b + 16);
        if (!rectIn(x, y, w, h)) return fail(where + "a fill lies outside the page");
        if (color > 0xFFFFFF) return fail(where + "a fill has an unknown colour");
        if (canvas && r > 1) canvas->FillRect(t(x), t(y), t(w), t(h), color);
        break;
      }
      case TRvoPageOp::Line: {
        if (body != kLineBody) return fail(where + "a line has a wrong length");
        int32_t x1 = GetI32(b), y1 = GetI32(b + 4), x2 = GetI32(b + 8), y2 = GetI32(b + 12);
        uint32_t color = Get32(b + 16);
        uint32_t width = Get32(b + 20);
        uint8_t style = static_cast<uint8_t>(b[24]);
        if (!inX(x1) || !inX(x2) || !inY(y1) || !inY(y2)) return fail(where + "a line lies outside the page");
        if (color > 0xFFFFFF) return fail(where + "a line has an unknown colour");
        if (width > kMaxLineWidth) return fail(where + "a line is wider than allowed");
        if (style > static_cast<uint8_t>(TRvoPenStyle::Clear) || b[25] || b[26] || b[27])
          return fail(where + "a line has an unknown style");
        if (canvas)
          canvas->Line(t(x1), t(y1), t(x2), t(y2), color, t(static_cast<int32_t>(width)),
                       static_cast<TRvoPenStyle>(style));
        break;
      }
      case TRvoPageOp::Font: {
        if (body < kFontBody) return fail(where + "a font has a wrong length");
        uint32_t size = Get32(b);
        uint8_t flags = static_cast<uint8_t>(b[4]);
        uint32_t color = Get32(b + 8);
        uint32_t n = Get32(b + 12);
        if (std::string e = variable(kFontBody, n, kPageImageMaxFontName, "a font name"); !e.empty())
          return fail(where + e);
        if (size == 0 || size > kMaxFontSize) return fail(where + "a font size is out of range");
        if ((flags & ~kFontFlags) || b[5] || b[6] || b[7]) return fail(where + "a font has unknown flags");
        if (color > 0xFFFFFF) return fail(where + "a font has an unknown colour");
        std::string_view name(b + kFontBody, n);
        if (n == 0 || !ValidUtf8(name)) return fail(where + "a font name is not sound text");
        if (canvas) {
          font.Name = std::string(name);
          font.Size = size / 100.0;
          font.Bold = flags & 1;
          font.Italic = flags & 2;
          font.Underline = flags & 4;
          font.StrikeOut = flags & 8;
          font.Color = color;
        }
        haveFont = true;
        break;
      }
      case TRvoPageOp::Text: {
        if (body < kTextBody) return fail(where + "a text run has a wrong length");
        int32_t x = GetI32(b), y = GetI32(b + 4);
        int32_t cx = GetI32(b + 8), cy = GetI32(b + 12), cw = GetI32(b + 16), ch = GetI32(b + 20);
        uint32_t n = Get32(b + 24);
        if (std::string e = variable(kTextBody, n, kPageImageMaxText, "a text run"); !e.empty())
          return fail(where + e);
        if (!haveFont) return fail(where + "a text run comes before any font");
        if (x < -int64_t{W} || x > 2 * int64_t{W} || y < -int64_t{H} || y > 2 * int64_t{H})
          return fail(where + "a text run starts too far outside the page");
        if (!rectIn(cx, cy, cw, ch)) return fail(where + "a text run is clipped outside the page");
        std::string_view text(b + kTextBody, n);
        if (!ValidUtf8(text)) return fail(where + "a text run is not sound UTF-8");
        if (canvas) canvas->Text(t(x), t(y), font, text, t(cx), t(cy), t(cw), t(ch));
        break;
      }
      case TRvoPageOp::Picture: {
        if (body < kPictureBody) return fail(where + "a picture has a wrong length");
        int32_t x = GetI32(b), y = GetI32(b + 4), w = GetI32(b + 8), h = GetI32(b + 12);
        uint32_t n = Get32(b + 16);
        if (std::string e = variable(kPictureBody, n, kPageImageMaxPicture, "a picture"); !e.empty())
          return fail(where + e);
        if (!rectIn(x, y, w, h) || w == 0 || h == 0) return fail(where + "a picture lies outside the page");
        if (canvas) canvas->Image(t(x), t(y), t(w), t(h), std::string_view(b + kPictureBody, n));
        break;
      }
      default:
        return fail(where + "has the unknown kind " + std::to_string(kind));
    }
    pos += len;
  }
  if (pos != img.size()) return fail("the page image has bytes after its last record");
  if (canvas) canvas->EndPage();
  return true;
}

}  // namespace

// ---- Recorder -------------------------------------------------------------

void TRvoPageRecorder::Put32(uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);
  buf_.append(b, 4);
}

void TRvoPageRecorder::PutBytes(std::string_view bytes) {
  buf_.append(bytes);
  buf_.append(Pad4(bytes.size()), '\0');
}

void TRvoPageRecorder::Head(TRvoPageOp op, size_t payload) {
  uint16_t kind = static_cast<uint16_t>(op);
  char b[4];
  std::memcpy(b, &kind, 2);
  b[2] = b[3] = 0;
  buf_.append(b, 4);
  Put32(static_cast<uint32_t>(kRecordHead + payload + Pad4(payload)));
  ++records_;
}

int32_t TRvoPageRecorder::X(double v) const { return Hundredths(v, 0, w_); }
int32_t TRvoPageRecorder::Y(double v) const { return Hundredths(v, 0, h_); }

// Intersects the rectangle with the page; false when nothing of it is left.
bool TRvoPageRecorder::ClampRect(double& x, double& y, double& w, double& h) const {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) return false;
  double x2 = std::min(x + w, w_ / 10.0), y2 = std::min(y + h, h_ / 10.0);
  x = std::max(x, 0.0);
  y = std::max(y, 0.0);
  w = x2 - x;
  h = y2 - y;
  return w > 0 && h > 0;
}

void TRvoPageRecorder::BeginPage(double paperWidth, double paperHeight) {
  buf_.clear();
  records_ = 0;
  haveFont_ = false;
  open_ = true;
  w_ = Hundredths(paperWidth, 10, static_cast<int32_t>(kMaxPaper));
  h_ = Hundredths(paperHeight, 10, static_cast<int32_t>(kMaxPaper));
  buf_.append(kSignature, 4);
  uint16_t v[2] = {kPageImageVersion, static_cast<uint16_t>(kPageImageHeaderSize)};
  buf_.append(reinterpret_cast<const char*>(v), 4);
  Put32(0);  // length, set at EndPage
  Put32(0);  // records, set at EndPage
  PutI32(w_);
  PutI32(h_);
  buf_.append(kPageImageHeaderSize - buf_.size(), '\0');
  Head(TRvoPageOp::Fill, kFillBody);
  PutI32(0);
  PutI32(0);
  PutI32(w_);
  PutI32(h_);
  Put32(kRvoWhite);
}

void TRvoPageRecorder::EndPage() {
  if (!open_) return;
  uint32_t len = static_cast<uint32_t>(buf_.size());
  std::memcpy(buf_.data() + 8, &len, 4);
  std::memcpy(buf_.data() + 12, &records_, 4);
  done_ = std::move(buf_);
  buf_.clear();
  open_ = false;
}

void TRvoPageRecorder::FillRect(double x, double y, double w, double h, TRvoRGB color) {
  if (!open_ || !ClampRect(x, y, w, h)) return;
  int32_t x0 = X(x), y0 = Y(y);
  int32_t x1 = X(x + w), y1 = Y(y + h);
  if (x1 <= x0 || y1 <= y0) return;
  Head(TRvoPageOp::Fill, kFillBody);
  PutI32(x0);
  PutI32(y0);
  PutI32(x1 - x0);
  PutI32(y1 - y0);
  Put32(color & 0xFFFFFF);
}

void TRvoPageRecorder::Line(double x1, double y1, double x2, double y2, TRvoRGB color, double width,
                            TRvoPenStyle style) {
  if (!open_) return;
  Head(TRvoPageOp::Line, kLineBody);
  PutI32(X(x1));
  PutI32(Y(y1));
  PutI32(X(x2));
  PutI32(Y(y2));
  Put32(color & 0xFFFFFF);
  Put32(static_cast<uint32_t>(Hundredths(width, 0, static_cast<int32_t>(kMaxLineWidth))));
  uint8_t s = static_cast<uint8_t>(style) <= static_cast<uint8_t>(TRvoPenStyle::Clear)
                  ? static_cast<uint8_t>(style)
                  : 0;
  buf_.push_back(static_cast<char>(s));
  buf_.append(3, '\0');
}

void TRvoPageRecorder::Text(double x, double y, const TRvoFontSpec& font, std::string_view utf8,
                            double cx, double cy, double cw, double ch) {
  if (!open_ || utf8.empty() || !ClampRect(cx, cy, cw, ch)) return;
  int32_t c0 = X(cx), c1 = Y(cy), c2 = X(cx + cw), c3 = Y(cy + ch);
  if (c2 <= c0 || c3 <= c1) return;
  if (!haveFont_ || !(font == font_)) {
    font_ = font;
    haveFont_ = true;
    std::string name = CleanUtf8(CutUtf8(font.Name, kPageImageMaxFontName));
    if (name.empty() || name.size() > kPageImageMaxFontName) name = "Arial";
    Head(TRvoPageOp::Font, kFontBody + name.size());
    double size = std::isfinite(font.Size) ? std::round(font.Size * 100) : 1000;
    Put32(static_cast<uint32_t>(std::clamp(size, 1.0, static_cast<double>(kMaxFontSize))));
    uint8_t flags = (font.Bold ? 1 : 0) | (font.Italic ? 2 : 0) | (font.Underline ? 4 : 0) |
                    (font.StrikeOut ? 8 : 0);
    buf_.push_back(static_cast<char>(flags));
    buf_.append(3, '\0');
    Put32(font.Color & 0xFFFFFF);
    Put32(static_cast<uint32_t>(name.size()));
    PutBytes(name);
  }
  std::string text = CleanUtf8(CutUtf8(utf8, kPageImageMaxText));
  if (text.size() > kPageImageMaxText) text = std::string(CutUtf8(text, kPageImageMaxText));
  Head(TRvoPageOp::Text, kTextBody + text.size());
  PutI32(Hundredths(x, -w_, 2 * w_));
  PutI32(Hundredths(y, -h_, 2 * h_));
  PutI32(c0);
  PutI32(c1);
  PutI32(c2 - c0);
  PutI32(c3 - c1);
  Put32(static_cast<uint32_t>(text.size()));
  PutBytes(text);
}

void TRvoPageRecorder::Image(double x, double y, double w, double h, std::string_view encoded) {
  if (!open_ || encoded.empty() || encoded.size() > kPageImageMaxPicture) return;
  // A picture is never squeezed to fit: one reaching off the paper is left out.
  double ox = x, oy = y, ow = w, oh = h;
  if (!ClampRect(x, y, w, h) || std::abs(x - ox) > 0.05 || std::abs(y - oy) > 0.05 ||
      std::abs(w - ow) > 0.1 || std::abs(h - oh) > 0.1)
    return;
  int32_t x0 = X(x), y0 = Y(y), x1 = X(x + w), y1 = Y(y + h);
  if (x1 <= x0 || y1 <= y0) return;
  Head(TRvoPageOp::Picture, kPictureBody + encoded.size());
  PutI32(x0);
  PutI32(y0);
  PutI32(x1 - x0);
  PutI32(y1 - y0);
  Put32(static_cast<uint32_t>(encoded.size()));
  PutBytes(encoded);
}

// ---- Check and play ---------------------------------------------------------

bool CheckPageImage(std::string_view image, TRvoPageInfo* info, std::string* why) {
  return Walk(image, nullptr, info, why);
}

bool PlayPageImage(std::string_view image, TRvoCanvas& canvas, std::string* why) {
  if (!Walk(image, nullptr, nullptr, why)) return false;
  return Walk(image, &canvas, nullptr, why);
}

}  // namespace korvane::report
