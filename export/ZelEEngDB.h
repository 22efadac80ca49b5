#pragma once
// Data engines bound to a dataset or to a grid's columns model. Both put the
// dataset back on the record that was current before the run.

#include "engine/dataset.h"
#include "engine/grid.h"
#include "export/ZelEEngine.h"

namespace korvane {

class TZelECustomDBDataEngine : public TZelECustomDataEngine {
 public:
  bool SupportsSelection() const override { return true; }
  void EnableControls() override;
  void DisableControls() override;
  void BeforeExecute() override;
  void AfterExecute() override;
  bool Eof() override;
  void First() override;
  void Next() override;
  void GetFieldValue(const TZelEColumn& column, TVariant& value) override;
  // The dataset's record count, read once (a cached 0 is read again).
  int GetRecordCount() override;
  bool IsRequired(const TZelEColumn& column) override;
  bool IsReadOnly(const TZelEColumn& column) override;
  TField* FindField(const TZelEColumn& column) override;

 protected:
  TBookmark savedBookmark_ = 0;
  int cachedCount_ = 0;
};

// Every record of a dataset, or only the current one when SelectedOnly.
class TZelEDatasetDataEngine : public TZelECustomDBDataEngine {
 public:
  explicit TZelEDatasetDataEngine(TDataSet* dataset = nullptr) : dataset_(dataset) {}
  TDataSet* Dataset() const { return dataset_; }
  void SetDataset(TDataSet* ds) { dataset_ = ds; }
  TDataSet* GetDataset() const override { return dataset_; }

  void FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool rightToLeft) override;
  bool Eof() override;
  void First() override;
  void Next() override;
  int GetRecordCount() override;

 private:
  TDataSet* dataset_;
  bool oneRecordDone_ = false;
};

// The records of a grid's dataset in the grid's column order, or the grid's
// selected rows (by bookmark, in the order of the grid's list) when SelectedOnly.
// A grid with no selected row has its current record selected.
class TZelEDBGridDataEngine : public TZelECustomDBDataEngine {
 public:
  explicit TZelEDBGridDataEngine(TGridColumns* grid = nullptr) : grid_(grid) {}
  TGridColumns* DBGrid() const { return grid_; }
  void SetDBGrid(TGridColumns* g) { grid_ = g; }
  TDataSet* GetDataset() const override { return grid_ ? grid_->DataSet() : nullptr; }

  void FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool rightToLeft) override;
  bool Eof() override;
  void First() override;
  void Next() override;
  int GetRecordCount() override;

 private:
  // The bookmarks a selected-only run walks.
  std::vector<TBookmark> SelectedRows() const;

  TGridColumns* grid_;
  std::vector<TBookmark> rows_;
  int selectedIndex_ = 0;
};

}  // namespace korvane
