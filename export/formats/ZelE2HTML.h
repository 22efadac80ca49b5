#pragma once
// HTML page: header lines as paragraphs, titles and records as one table, footer
// lines as paragraphs, all put into a page template where its body ends. The
// page is UTF-8 whatever CharacterSet says. Colours, fonts and alignment become
// attributes and font markup (with soColorsFonts); pictures of graphic fields
// become image files beside the page.
//
// Values: & < > " ' become entities, CR LF, CR and LF a <br>, an empty value
// "&nbsp;". Characters no HTML page holds (NUL, other control characters,
// non-characters, bytes that are no UTF-8) are left out (NUL) or written as
// U+FFFD; the run counts those values. Binary values are written as lower-case
// hex, as dump writes them.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

// Settings of the HTML format.
struct TZelEHTMLSettings {
  // Header and footer lines are HTML of the user's own: written as they are,
  // without escaping or font markup. Table cells are always escaped.
  bool HeaderFooterWithHTML = false;
  // The page template, lines separated by LF (CR LF also read); empty: the
  // built-in page. The export goes where the template's "</body>" is.
  std::string HTMLPattern;
  bool operator==(const TZelEHTMLSettings&) const = default;

  static constexpr const char* kSection = "HTML";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TZelEHTMLSettings>>& Keys() {
    using S = TZelEHTMLSettings;
    static const std::vector<TZelESettingKey<S>> keys = {
        BoolKey("HeaderFooterWithHTML", &S::HeaderFooterWithHTML),
        HexTextKey("HTMLPattern", &S::HTMLPattern),
    };
    return keys;
  }
};

// What a picture's bytes are, by their signature.
struct TZelEPictureInfo {
  std::string Extension;  // ".bmp", ".png", ...; empty: not a picture this writer knows
  int Width = 0;          // from the picture's header; 0 when it does not say
  int Height = 0;
};
// Looks at image bytes (without the graphic leader).
TZelEPictureInfo InspectPicture(std::string_view bytes);
// The image of a graphic BLOB: the bytes after the 8-byte leader when they start
// with a known signature (a BLOB that starts with one directly is taken whole).
// Answers false when no picture is found.
bool GraphicImage(std::string_view blob, std::string_view& image, TZelEPictureInfo& info);

class TZelExportToHTML : public TZelExportToCellFile {
 public:
  TZelExportToHTML();
  ~TZelExportToHTML() override;

  TZelEHTMLSettings& Settings() { return FormatSettings.Get<TZelEHTMLSettings>(teHTML); }
  const TZelEHTMLSettings& Settings() const;

  // May change the attribute text of a cell; column is the cell's exported
  // column (nullptr for cells outside the columns, such as header lines).
  std::function<void(TZelExportToHTML&, const TZelEColumn* column, std::string& attributes)>
      OnGetExtHTMLCellParamsEvent;
  // May change the attribute text of the table element.
  std::function<void(TZelExportToHTML&, std::string& attributes)> OnGetExtHTMLTableParamsEvent;
  // May supply the attribute text of a row element.
  std::function<void(TZelExportToHTML&, std::string& attributes)> OnGetExtHTMLRowParamsEvent;

  void GetDefaultExt(std::string& ext) const override { ext = ".HTM"; }
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void BeginTable() override;
  void EndTable() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                       TAlignment alignment, const TFontSpec* font, TColor color) override;
  void BeginExecute() override;
  void EndExecute() override;

  // Values of the last run that held characters an HTML page cannot hold.
  int ChangedValues() const { return changedValues_; }
  // Pictures the last run wrote (their paths).
  const std::vector<std::string>& Pictures() const { return pictures_; }

  // Building blocks, open for tests.
  // "color=\"#rrggbb\"" (prefixed "bg" for a background); empty for black.
  static std::string ColorAttribute(TColor color, bool background);
  // The HTML font size of a point size ("1" to "6"), empty for other sizes.
  static std::string HtmlFontSize(int points);
  // text wrapped in <u> <i> <b> and the <font> element.
  static std::string FontMarkup(const std::string& text, const TFontSpec& font);
  // The markup FontMarkup puts before and after a text.
  static void FontMarkupAround(const TFontSpec& font, std::string& before, std::string& after);
  // Text as it may stand in an HTML page: & < > " ' as entities, line ends as
  // <br>, NUL left out, other characters an HTML page cannot hold as U+FFFD.
  // Answers how many characters were left out or replaced.
  static size_t AppendHtmlText(std::string& out, std::string_view text);
  // A file name as a relative URL (every byte but letters, digits and - . _ ~
  // percent-encoded).
  static std::string UrlOfName(const std::string& name);

 protected:
  void FinishOutput(bool keep) override;
  bool StreamsBlobs() const override { return true; }

 private:
  void TemplateLines(std::vector<std::string>& lines) const;
  // Writes the picture of a graphic cell into a file of its own; answers the
  // img element, or false when the BLOB holds no picture.
  bool WritePicture(const TField& field, std::string& img);
  // The same for a long BLOB, read in pieces.
  bool StreamPicture(const TField& field, std::string& img);
  // A new picture file for the run (its URL as the page names it), and the
  // file kept once written.
  std::unique_ptr<TZelEFileStream> CreatePictureFile(const TZelEPictureInfo& info, std::string& url);
  void KeepPicture(std::unique_ptr<TZelEFileStream> file);
  static std::string ImgElement(const std::string& url, const TZelEPictureInfo& info);
  // Writes a long BLOB's text into the page piece by piece, escaped; false when
  // it has none.
  bool StreamHtmlText(const TField& field);
  void CommitPictures();
  void RemovePictures() noexcept;

  TZelEHTMLSettings run_;
  std::vector<std::string> template_;
  size_t templateLine_ = 0;
  std::vector<int> widths_;
  std::string pendingSpan_;
  int lastColumn_ = -1;
  bool rowOpen_ = false;
  int tablesOpen_ = 0;
  int pictureCounter_ = 1;
  std::string pictureFolder_;  // for runs without a file name
  std::vector<std::unique_ptr<TZelEFileStream>> picturesPending_;
  std::vector<std::string> pictures_;  // committed
  int changedValues_ = 0;
  std::string cell_;
  std::string content_;
};

}  // namespace korvane
