#include "export/ZelEEngDB.h"

#include <algorithm>

namespace korvane {

namespace {

int FloatPrecision(const TField& f) {
  if (f.DataType() != ftFloat && f.DataType() != ftCurrency) return 0;
  return f.Precision() == 15 ? 0 : f.Precision();
}

}  // namespace

void TZelECustomDBDataEngine::EnableControls() {
  if (TDataSet* ds = GetDataset()) ds->EnableControls();
}

void TZelECustomDBDataEngine::DisableControls() {
  if (TDataSet* ds = GetDataset()) ds->DisableControls();
}

void TZelECustomDBDataEngine::BeforeExecute() {
  TZelECustomDataEngine::BeforeExecute();
  TDataSet* ds = GetDataset();
  savedBookmark_ = (ds && ds->Active()) ? ds->GetBookmark() : 0;
}

void TZelECustomDBDataEngine::AfterExecute() {
  TDataSet* ds = GetDataset();
  if (ds && ds->Active() && savedBookmark_ != 0 && ds->BookmarkValid(savedBookmark_)) ds->GotoBookmark(savedBookmark_);
  if (ds) ds->FreeBookmark(savedBookmark_);
  savedBookmark_ = 0;
  TZelECustomDataEngine::AfterExecute();
}

bool TZelECustomDBDataEngine::Eof() {
  TDataSet* ds = GetDataset();
  return !ds || !ds->Active() || ds->Eof();
}

void TZelECustomDBDataEngine::First() {
  if (OnFirst) OnFirst(*this);
  TDataSet* ds = GetDataset();
  if (ds && ds->Active()) ds->First();
}

void TZelECustomDBDataEngine::Next() {
  bool abort = false;
  if (OnNext) OnNext(*this, abort);
  TDataSet* ds = GetDataset();
  if (ds && ds->Active()) ds->Next();
}

void TZelECustomDBDataEngine::GetFieldValue(const TZelEColumn& column, TVariant& value) {
  TField* f = FindField(column);
  value = f ? f->AsVariant() : TVariant::Null();
}

int TZelECustomDBDataEngine::GetRecordCount() {
  if (cachedCount_ == 0) {
    TDataSet* ds = GetDataset();
    cachedCount_ = (ds && ds->Active()) ? ds->RecordCount() : 0;
  }
  return cachedCount_;
}

bool TZelECustomDBDataEngine::IsRequired(const TZelEColumn& column) {
  TField* f = FindField(column);
  return f && f->Required();
}

bool TZelECustomDBDataEngine::IsReadOnly(const TZelEColumn& column) {
  TField* f = FindField(column);
  return f && f->ReadOnly();
}

TField* TZelECustomDBDataEngine::FindField(const TZelEColumn& column) {
  TDataSet* ds = GetDataset();
  if (!ds || !ds->Active() || column.FieldName.empty()) return nullptr;
  return ds->FindField(column.FieldName);
}

// ---------------------------------------------------------------------------

void TZelEDatasetDataEngine::FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool rightToLeft) {
  columns.Clear();
  bands.Clear();
  if (!dataset_ || !dataset_->Active()) return;
  int n = dataset_->FieldCount();
  for (int k = 0; k < n; ++k) {
    const TField& f = dataset_->Fields(rightToLeft ? n - 1 - k : k);
    TZelEColumn& c = columns.Add();
    c.Alignment = f.Alignment();
    c.FieldName = f.FieldName();
    c.Color = clWhite;
    c.Width = std::max({f.DisplayWidth(), f.DataSize(), f.Size()});
    c.Visible = f.Visible();
    c.Precision = FloatPrecision(f);
    c.DataType = CellTypeOf(f.DataType(), TVariant::Null(), false);
    c.Title.Caption = f.DisplayLabel();
    c.Title.Alignment = f.Alignment();
    c.Title.Font.Bold = true;
    c.Title.Color = clSilver;
  }
}

bool TZelEDatasetDataEngine::Eof() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::Eof();
  return oneRecordDone_ || !dataset_ || !dataset_->Active() || dataset_->IsEmpty();
}

void TZelEDatasetDataEngine::First() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::First();
  if (OnFirst) OnFirst(*this);
  oneRecordDone_ = false;
}

void TZelEDatasetDataEngine::Next() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::Next();
  bool abort = false;
  if (OnNext) OnNext(*this, abort);
  oneRecordDone_ = true;
}

int TZelEDatasetDataEngine::GetRecordCount() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::GetRecordCount();
  return (dataset_ && dataset_->Active() && !dataset_->IsEmpty()) ? 1 : 0;
}

// ---------------------------------------------------------------------------

void TZelEDBGridDataEngine::FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool rightToLeft) {
  columns.Clear();
  bands.Clear();
  if (!grid_) return;
  int n = grid_->Count();
  for (int k = 0; k < n; ++k) {
    int gi = rightToLeft ? n - 1 - k : k;
    const TGridColumn& g = (*grid_)[gi];
    TField* f = grid_->FieldOf(gi);
    TZelEColumn& c = columns.Add();
    c.FieldName = g.FieldName;
    c.Alignment = g.Alignment;
    c.Width = f ? f->DisplayWidth() : 10;
    if (f) {
      c.Precision = FloatPrecision(*f);
      c.DataType = CellTypeOf(f->DataType(), TVariant::Null(), false);
    }
    c.Color = g.Color;
    c.Font = g.Font;
    c.Visible = g.Visible;
    c.Title.Caption = g.Title.Caption;
    c.Title.Alignment = g.Title.Alignment;
    c.Title.Font = g.Title.Font;
    c.Title.Color = g.Title.Color;
  }
}

std::vector<TBookmark> TZelEDBGridDataEngine::SelectedRows() const {
  if (!grid_) return {};
  if (!grid_->SelectedRows().empty()) return grid_->SelectedRows();
  TDataSet* ds = GetDataset();
  if (!ds || !ds->Active() || ds->IsEmpty()) return {};
  TBookmark current = ds->GetBookmark();
  return current != 0 ? std::vector<TBookmark>{current} : std::vector<TBookmark>{};
}

bool TZelEDBGridDataEngine::Eof() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::Eof();
  return selectedIndex_ > static_cast<int>(rows_.size()) - 1;
}

void TZelEDBGridDataEngine::First() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::First();
  if (OnFirst) OnFirst(*this);
  selectedIndex_ = 0;
  rows_ = SelectedRows();
  TDataSet* ds = GetDataset();
  if (ds && ds->Active() && !rows_.empty()) ds->GotoBookmark(rows_[0]);
}

void TZelEDBGridDataEngine::Next() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::Next();
  bool abort = false;
  if (OnNext) OnNext(*this, abort);
  ++selectedIndex_;
  TDataSet* ds = GetDataset();
  if (!Eof() && ds && ds->Active()) ds->GotoBookmark(rows_[static_cast<size_t>(selectedIndex_)]);
}

int TZelEDBGridDataEngine::GetRecordCount() {
  if (!SelectedOnly) return TZelECustomDBDataEngine::GetRecordCount();
  return static_cast<int>(SelectedRows().size());
}

}  // namespace korvane
