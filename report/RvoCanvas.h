// The page a report run draws on, and the text measures it lays out with.
//
// The report engine knows nothing of Qt: it measures text through TRvoMetrics and
// draws through TRvoCanvas. Every position and size here is in tenths of a
// millimetre from the paper's top-left corner; font sizes are in points. At
// output a canvas records the page into a page image (the preview and the saved
// report file) or draws it straight onto a device.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::report {

// 0xRRGGBB.
using TRvoRGB = uint32_t;
inline constexpr TRvoRGB kRvoWhite = 0xFFFFFF;
inline constexpr TRvoRGB kRvoBlack = 0x000000;

struct TRvoFontSpec {
  std::string Name = "Arial";
  double Size = 10;  // points
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  TRvoRGB Color = kRvoBlack;
  bool operator==(const TRvoFontSpec&) const = default;
};

enum class TRvoPenStyle : uint8_t { Solid = 0, Dash, Dot, DashDot, DashDotDot, Clear };

// Text measures in tenths of a millimetre, for text in UTF-8.
class TRvoMetrics {
 public:
  virtual ~TRvoMetrics() = default;
  virtual double TextWidth(const TRvoFontSpec& font, std::string_view utf8) = 0;
  // Height of one line (ascent + descent + leading).
  virtual double LineHeight(const TRvoFontSpec& font) = 0;
  virtual double Ascent(const TRvoFontSpec& font) = 0;
};

class TRvoCanvas {
 public:
  virtual ~TRvoCanvas() = default;
  // A page begins by filling the whole paper white; its size is the page's own.
  virtual void BeginPage(double paperWidth, double paperHeight) = 0;
  virtual void EndPage() = 0;
  virtual void FillRect(double x, double y, double w, double h, TRvoRGB color) = 0;
  virtual void Line(double x1, double y1, double x2, double y2, TRvoRGB color, double width,
                    TRvoPenStyle style) = 0;
  // One run of text with its top-left corner at (x, y) (the baseline is at y +
  // the font's ascent), drawn inside the clip rectangle (cx, cy, cw, ch).
  virtual void Text(double x, double y, const TRvoFontSpec& font, std::string_view utf8,
                    double cx, double cy, double cw, double ch) = 0;
  // A picture scaled into the rectangle; `encoded` is PNG, JPEG or BMP bytes.
  virtual void Image(double x, double y, double w, double h, std::string_view encoded) = 0;
};

}  // namespace korvane::report
