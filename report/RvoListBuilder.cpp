#include "report/RvoListBuilder.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace korvane::report {

namespace {

// Rounds halves to even, as the report's arithmetic does.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

bool UnusableName(const std::string& n) { return n.find_first_of(" /\\&%-") != std::string::npos; }

}  // namespace

const char* LeftOutReasonText(TRvoLeftOutField::Reason r) {
  switch (r) {
    case TRvoLeftOutField::Blob: return "BLOB";
    case TRvoLeftOutField::UnusableName: return "unusable name";
    case TRvoLeftOutField::TooWide: return "too wide";
  }
  return "";
}

TRvoBuilder::TRvoBuilder(TRvoMetrics& metrics, double screenDpi, bool usMeasure)
    : PaperSize(usMeasure ? TRvoPaperSize::Letter : TRvoPaperSize::A4),
      metrics_(&metrics),
      screenDpi_(screenDpi),
      usMeasure_(usMeasure) {}

TRvoBuilder::~TRvoBuilder() = default;

void TRvoBuilder::SetActive(bool on) {
  if (on == active_) return;
  if (!on) {
    report_.reset();
    active_ = false;
    return;
  }
  active_ = true;
  Build();
}

void TRvoBuilder::SwitchOrientation(TRvoOrientation o) {
  Orientation = o;
  if (report_) report_->Page.Orientation = o;
}

void TRvoBuilder::BuildShell() {
  if (report_) return;
  report_ = std::make_unique<TRvoRep>(*metrics_, screenDpi_, usMeasure_);
  TRvoRep& r = *report_;
  r.Page.PaperSize = PaperSize;
  r.Page.CustomWidth = CustomWidth;
  r.Page.CustomLength = CustomLength;
  r.Page.Orientation = Orientation;
  r.Font = Font;
  if (!Title.empty()) {
    r.SetHasBand(TRvoBandType::rbTitle, true);
    TRvoBand& band = *r.FindBand(TRvoBandType::rbTitle);
    TRvoLabel& label = band.Add<TRvoLabel>();
    label.Alignment = taCenter;
    label.AlignToBand = true;
    TRvoFontSpec f{"Arial", 14};
    f.Bold = true;
    label.SetFont(f);
    label.SetCaption(Title);
  }
  const bool created = r.SetHasBand(TRvoBandType::rbPageFooter, true);
  TRvoBand& footer = *r.FindBand(TRvoBandType::rbPageFooter);
  TRvoExpr& page = footer.Add<TRvoExpr>();
  page.Alignment = taRightJustify;
  page.AlignToBand = true;
  page.SetExpression("'Page ' + PageNumber");
  if (created) footer.Height = r.PxToNative(RoundEven(r.NativeToPx(page.Height) * 1.5));
}

void TRvoListBuilder::Build() {
  leftOut_.clear();
  if (!DataSet) return;
  BuildShell();
  TRvoRep& r = *report_;
  const bool headerCreated = r.SetHasBand(TRvoBandType::rbColumnHeader, true);
  const bool detailCreated = r.SetHasBand(TRvoBandType::rbDetail, true);
  double h = RoundEven(r.NativeToPx(r.FindBand(TRvoBandType::rbDetail)->Height) / 1.5);
  r.DataSet = DataSet;
  if (!DataSet->Active()) DataSet->Open();
  if (FieldNames.empty()) {
    for (int i = 0; i < DataSet->FieldCount(); ++i)
      if (DataSet->Fields(i).Visible()) AddField(DataSet->Fields(i), h);
  } else {
    for (const std::string& name : FieldNames)
      if (TField* f = DataSet->FindField(name)) AddField(*f, h);
  }
  const double rowHeight = r.PxToNative(RoundEven(1.5 * h));
  if (detailCreated) r.FindBand(TRvoBandType::rbDetail)->Height = rowHeight;
  if (headerCreated) r.FindBand(TRvoBandType::rbColumnHeader)->Height = rowHeight;

  // Unnamed printables get their class name without the "T" and a unique number.
  std::set<std::string> names;
  for (TRvoPrintable* p : r.AllPrintables())
    if (!p->Name.empty()) names.insert(p->Name);
  for (TRvoPrintable* p : r.AllPrintables()) {
    if (!p->Name.empty()) continue;
    const std::string base = std::string(p->ClassName()).substr(1);
    int n = 1;
    while (names.count(base + std::to_string(n))) ++n;
    p->Name = base + std::to_string(n);
    names.insert(p->Name);
  }
}

void TRvoListBuilder::AddField(TField& field, double& h) {
  if (field.IsBlob()) {
    leftOut_.push_back({field.DisplayName(), TRvoLeftOutField::Blob});
    return;
  }
  if (UnusableName(field.FieldName())) {
    leftOut_.push_back({field.DisplayName(), TRvoLeftOutField::UnusableName});
    return;
  }
  TRvoRep& r = *report_;
  TRvoBand& header = *r.FindBand(TRvoBandType::rbColumnHeader);
  TRvoBand& detail = *r.FindBand(TRvoBandType::rbDetail);
  TRvoLabel& label = header.Add<TRvoLabel>();
  h = r.NativeToPx(label.Height);
  label.SetAutoSize(true);
  label.SetCaption(std::string(static_cast<size_t>(std::max(0, field.DisplayWidth())), 'X'));
  label.SetAutoSize(false);
  label.SetCaption(field.DisplayName());
  label.Frame.DrawBottom = true;

  TRvoExpr& cell = detail.Add<TRvoExpr>();
  cell.SetAutoSize(false);
  cell.SetExpression("[" + field.FieldName() + "]");
  cell.Left = label.Left;
  cell.Width = label.Width;
  cell.Alignment = field.Alignment();

  constexpr double kEps = 1e-6;
  if (detail.Width() + kEps < cell.Left + cell.Width && Orientation == TRvoOrientation::poPortrait)
    SwitchOrientation(TRvoOrientation::poLandscape);
  if (detail.Width() + kEps < cell.Left + cell.Width) {
    // Left out; a later, narrower field is tried at the same place.
    header.Remove(label);
    detail.Remove(cell);
    leftOut_.push_back({field.DisplayName(), TRvoLeftOutField::TooWide});
  }
}

std::unique_ptr<TRvoRep> BuildListReport(TRvoBuilder& builder, TDataSet& dataSet,
                                         const std::vector<std::string>& names, const std::string& title,
                                         std::vector<TRvoLeftOutField>* leftOut) {
  auto* list = dynamic_cast<TRvoListBuilder*>(&builder);
  if (!list) return nullptr;
  list->DataSet = &dataSet;
  list->FieldNames = names;
  list->Title = title;
  list->SetActive(true);
  if (leftOut) *leftOut = list->LeftOut();
  std::unique_ptr<TRvoRep> rep = list->Active() ? list->TakeReport() : nullptr;
  list->SetActive(false);
  return rep;
}

void ApplyGridWidths(TRvoRep& report, const TDataSet& dataSet, const TGridColumns& grid) {
  TRvoBand* header = report.FindBand(TRvoBandType::rbColumnHeader);
  if (!header) return;
  for (const auto& p : header->Printables()) {
    auto* label = dynamic_cast<TRvoLabel*>(p.get());
    if (!label) continue;
    const TField* field = nullptr;
    for (int i = 0; i < dataSet.FieldCount() && !field; ++i)
      if (dataSet.Fields(i).DisplayName() == label->Caption()) field = &dataSet.Fields(i);
    if (!field) field = dataSet.FindField(label->Caption());
    if (!field) continue;
    const int col = grid.IndexOfField(field->FieldName());
    if (col < 0) continue;
    label->Width = report.PxToNative(grid[col].Width);
  }
  // A header wider than its column stops short of the next one (and of the band's
  // edge): headers written into each other read as neither.
  std::vector<TRvoPrintable*> byLeft;
  for (const auto& p : header->Printables()) byLeft.push_back(p.get());
  std::stable_sort(byLeft.begin(), byLeft.end(), [](auto* a, auto* b) { return a->Left < b->Left; });
  const double gap = report.PxToNative(4);
  for (size_t i = 0; i < byLeft.size(); ++i) {
    const double limit = i + 1 < byLeft.size() ? byLeft[i + 1]->Left - gap : header->Width();
    byLeft[i]->Width = std::max(0.0, std::min(byLeft[i]->Width, limit - byLeft[i]->Left));
  }
}

}  // namespace korvane::report
