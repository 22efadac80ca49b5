// The list report: one column per field, a title, column headers with a line
// under them, one detail line per record and "Page n" at the foot of every page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/dataset.h"
#include "engine/grid.h"
#include "report/RvoReport.h"

namespace korvane::report {

// A field the list leaves out, and why.
struct TRvoLeftOutField {
  enum Reason : uint8_t { Blob, UnusableName, TooWide };
  std::string Name;
  Reason Why;
};
const char* LeftOutReasonText(TRvoLeftOutField::Reason r);  // "BLOB", "unusable name", "too wide"

class TRvoBuilder {
 public:
  // The report is made with these metrics and screen resolution; `usMeasure` as in TRvoRep.
  explicit TRvoBuilder(TRvoMetrics& metrics, double screenDpi = 96, bool usMeasure = false);
  virtual ~TRvoBuilder();

  TRvoFontSpec Font{"Arial", 8};
  std::string Title;
  TRvoOrientation Orientation = TRvoOrientation::poPortrait;
  // Paper of a report made here (custom width and length for Custom).
  TRvoPaperSize PaperSize;
  double CustomWidth = 2100;
  double CustomLength = 2970;

  bool Active() const { return active_; }
  void SetActive(bool on);
  TRvoRep* Report() const { return report_.get(); }
  // Gives the builder a report to build on (no title or footer is added to it).
  void SetReport(std::unique_ptr<TRvoRep> report) { report_ = std::move(report); }
  // The builder no longer owns or destroys the report.
  std::unique_ptr<TRvoRep> TakeReport() { return std::move(report_); }

 protected:
  virtual void Build() = 0;
  void BuildShell();
  void SwitchOrientation(TRvoOrientation o);

  TRvoMetrics* metrics_;
  double screenDpi_;
  bool usMeasure_;
  std::unique_ptr<TRvoRep> report_;

 private:
  bool active_ = false;
};

class TRvoListBuilder : public TRvoBuilder {
 public:
  using TRvoBuilder::TRvoBuilder;
  TDataSet* DataSet = nullptr;
  // Names of the fields to list, in order; empty: every visible field.
  std::vector<std::string> FieldNames;
  const std::vector<TRvoLeftOutField>& LeftOut() const { return leftOut_; }

 protected:
  void Build() override;

 private:
  void AddField(TField& field, double& h);
  std::vector<TRvoLeftOutField> leftOut_;
};

// Builds the list report of the dataset's fields (all visible ones when names is
// empty). `leftOut`, when given, receives the fields left out.
std::unique_ptr<TRvoRep> BuildListReport(TRvoBuilder& builder, TDataSet& dataSet,
                                         const std::vector<std::string>& names, const std::string& title,
                                         std::vector<TRvoLeftOutField>* leftOut = nullptr);

// Gives each column header label the width of the grid column that shows its
// field, found by the field's name (a moved grid column keeps its field). A
// header never reaches into the next column or past the band.
void ApplyGridWidths(TRvoRep& report, const TDataSet& dataSet, const TGridColumns& grid);

}  // namespace korvane::report
