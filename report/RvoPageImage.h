// Page images: one printed page as a small display list of our own (fills, lines,
// fonts, text runs and pictures, with the paper size in the header). The preview
// keeps its pages in this form, the saved report file stores them, and output plays
// them onto any TRvoCanvas. docs/REPORT-FILE.md gives the byte layout.
//
// An image read from a file is untrusted: PlayPageImage walks the whole image first
// and draws nothing unless every record is sound.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "report/RvoCanvas.h"

namespace korvane::report {

inline constexpr uint16_t kPageImageVersion = 1;
inline constexpr size_t kPageImageHeaderSize = 48;
// Limits a sound image stays within (an image is refused beyond them).
inline constexpr size_t kPageImageMaxBytes = 64u << 20;
inline constexpr size_t kPageImageMaxPicture = 16u << 20;  // encoded bytes of one picture
inline constexpr size_t kPageImageMaxText = 65536;         // bytes of one text run
inline constexpr size_t kPageImageMaxFontName = 255;
inline constexpr double kPageImageMaxPaper = 100000;       // 10 m, in tenths of a millimetre
inline constexpr double kPageImageMaxFontSize = 2000;      // points

// Record kinds.
enum class TRvoPageOp : uint16_t { Fill = 1, Line = 2, Font = 3, Text = 4, Picture = 5 };

struct TRvoPageInfo {
  double Width = 0;   // paper, tenths of a millimetre
  double Height = 0;
  uint32_t Records = 0;
};

// A canvas that records every page drawn on it. Values are kept in hundredths of a
// millimetre and clamped to the page, so what it writes always passes the check.
class TRvoPageRecorder : public TRvoCanvas {
 public:
  void BeginPage(double paperWidth, double paperHeight) override;
  void EndPage() override;
  void FillRect(double x, double y, double w, double h, TRvoRGB color) override;
  void Line(double x1, double y1, double x2, double y2, TRvoRGB color, double width,
            TRvoPenStyle style) override;
  void Text(double x, double y, const TRvoFontSpec& font, std::string_view utf8, double cx,
            double cy, double cw, double ch) override;
  void Image(double x, double y, double w, double h, std::string_view encoded) override;

  bool HasPage() const { return open_; }
  // The image of the page ended last (empty before the first EndPage); moves it out.
  std::string TakeImage() { return std::move(done_); }

 private:
  void Head(TRvoPageOp op, size_t payload);
  void Put32(uint32_t v);
  void PutI32(int32_t v) { Put32(static_cast<uint32_t>(v)); }
  void PutBytes(std::string_view bytes);
  int32_t X(double v) const;
  int32_t Y(double v) const;
  bool ClampRect(double& x, double& y, double& w, double& h) const;

  std::string buf_;
  std::string done_;
  bool open_ = false;
  int32_t w_ = 0, h_ = 0;  // hundredths of a millimetre
  uint32_t records_ = 0;
  bool haveFont_ = false;
  TRvoFontSpec font_;
};

// Walks the whole image: signature and version, every record inside the image and
// of a kind the recorder writes, counts that fit their record, coordinates and sizes
// within the page, pictures within their cap. On failure `why` says what is wrong.
bool CheckPageImage(std::string_view image, TRvoPageInfo* info, std::string* why);

// Checks the image, then draws it onto the canvas (BeginPage ... EndPage). Nothing
// is drawn when the check fails.
bool PlayPageImage(std::string_view image, TRvoCanvas& canvas, std::string* why);

}  // namespace korvane::report
