#include "viewer/DBGrid.h"

#include <QHeaderView>
#include <QPointer>
#include <algorithm>
#include <exception>

namespace korvane {

// ---------------------------------------------------------------------------------------------
// TDBGridModel

TDBGridModel::TDBGridModel(TGridColumns& columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(columns) {}

int TDBGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TDBGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_.Count();
}

void TDBGridModel::Reset() {
  beginResetModel();
  cache_.clear();
  ages_.clear();
  TDataSet* ds = columns_.DataSet();
  rows_ = ds && ds->Active() ? ds->RecordCount() : 0;
  if (rows_ < 0) rows_ = 0;
  endResetModel();
}

void TDBGridModel::Invalidate() {
  TDataSet* ds = columns_.DataSet();
  int rows = ds && ds->Active() ? ds->RecordCount() : 0;
  if (rows != rows_) {
    Reset();
    return;
  }
  cache_.clear();
  ages_.clear();
  if (rows_ > 0 && columns_.Count() > 0)
    emit dataChanged(index(0, 0), index(rows_ - 1, columns_.Count() - 1));
}

const TDBGridModel::TRow& TDBGridModel::RowAt(int row) const {
  auto it = cache_.find(row);
  if (it != cache_.end()) {
    ages_.splice(ages_.begin(), ages_, it->second.Age);
    return it->second;
  }
  if (static_cast<int>(cache_.size()) >= kCachedRows) {
    cache_.erase(ages_.back());
    ages_.pop_back();
  }
  TRow r;
  r.Cells.resize(static_cast<size_t>(columns_.Count()));
  TDataSet* ds = columns_.DataSet();
  if (ds && ds->Active()) {
    try {
      TDataSet::TRecordPeek peek = ds->PeekRecord(row + 1);
      if (peek.Valid()) {
        for (int c = 0; c < columns_.Count(); ++c) {
          TField* f = columns_.FieldOf(c);
          if (!f) continue;
          try {
            r.Cells[static_cast<size_t>(c)] = ValueText(f->DisplayText());
          } catch (const std::exception&) {
            // One unreadable value (a damaged memo block) leaves its cell empty.
          }
        }
      }
    } catch (const std::exception&) {
      // A record that cannot be read paints as an empty row; painting never stops the program.
    }
  }
  for (QString& s : r.Cells) {
    if (s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')))
      s.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  }
  ages_.push_front(row);
  r.Age = ages_.begin();
  return cache_.emplace(row, std::move(r)).first->second;
}

QString TDBGridModel::CellText(int row, int column) const {
  if (row < 0 || row >= rows_ || column < 0 || column >= columns_.Count()) return {};
  const TRow& r = RowAt(row);
  return static_cast<size_t>(column) < r.Cells.size() ? r.Cells[static_cast<size_t>(column)] : QString();
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return CellText(index.row(), index.column());
  if (role == Qt::TextAlignmentRole) {
    TField* f = columns_.FieldOf(index.column());
    TAlignment a = f ? f->Alignment() : taLeftJustify;
    Qt::Alignment h = a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    return QVariant::fromValue(static_cast<int>(h | Qt::AlignVCenter));
  }
  return {};
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columns_.Count()) return {};
    return NameText(columns_[section].Title.Caption);
  }
  return section + 1;
}

// ---------------------------------------------------------------------------------------------
// TDBGrid

TDBGrid::TDBGrid(TGridColumns& columns, QWidget* parent)
    : QTableView(parent),
      columns_(columns),
      model_(new TDBGridModel(columns, this)),
      link_([this](TDataEvent e) { DataEvent(e); }) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setAlternatingRowColors(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 2);
  verticalHeader()->hide();
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TDBGrid::SectionResized);
  connect(horizontalHeader(), &QHeaderView::sectionMoved, this, &TDBGrid::SectionMoved);

  QPointer<TDBGrid> self(this);
  columns_.AddListener([self] {
    if (self) self->ColumnsChanged();
  });
  columns_.TextWidth = [self](const std::string& text) {
    QFont f = self ? self->font() : QFont();
    return QFontMetrics(f).horizontalAdvance(NameText(text));
  };
}

TDBGrid::~TDBGrid() { link_.SetDataSource(nullptr); }

void TDBGrid::SetDataSource(TDataSource* ds) {
  columns_.SetDataSource(ds);
  link_.SetDataSource(ds);
}

TField* TDBGrid::SelectedField() const {
  if (columns_.Count() == 0) return nullptr;
  return columns_.FieldOf(columns_.SelectedIndex());
}

void TDBGrid::DataEvent(TDataEvent e) {
  switch (e) {
    case TDataEvent::ActiveChanged:
    case TDataEvent::LayoutChanged: {
      // Opening a table rebuilds the columns from its fields: all visible, in
      // field order, default widths. Closing leaves no columns and no rows.
      syncing_ = true;
      columns_.RebuildFromFields();
      syncing_ = false;
      shownFields_.clear();
      shownFields_.push_back("\x01");  // forces a rebuild of the model
      ColumnsChanged();
      break;
    }
    case TDataEvent::DataSetChanged:
      model_->Invalidate();
      SyncToCursor();
      break;
    case TDataEvent::DataSetScroll: SyncToCursor(); break;
  }
}

void TDBGrid::ColumnsChanged() {
  if (syncing_) return;
  syncing_ = true;
  std::vector<std::string> fields;
  fields.reserve(static_cast<size_t>(columns_.Count()));
  for (int i = 0; i < columns_.Count(); ++i) fields.push_back(columns_[i].FieldName);
  TDataSet* ds = columns_.DataSet();
  int rows = ds && ds->Active() ? ds->RecordCount() : 0;
  if (fields != shownFields_ || rows != model_->rowCount()) {
    shownFields_ = std::move(fields);
    model_->Reset();
  } else if (columns_.Count() > 0) {
    emit model_->headerDataChanged(Qt::Horizontal, 0, columns_.Count() - 1);
  }
  ApplyColumnLayout();
  syncing_ = false;
  SyncToCursor();
}

void TDBGrid::ApplyColumnLayout() {
  for (int i = 0; i < columns_.Count(); ++i) {
    setColumnHidden(i, !columns_[i].Visible);
    if (columns_[i].Visible && columnWidth(i) != columns_[i].Width) setColumnWidth(i, columns_[i].Width);
  }
}

void TDBGrid::SyncToCursor() {
  TDataSet* ds = link_.DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty() || columns_.Count() == 0) return;
  int row = ds->RecNo() - 1;
  if (row < 0 || row >= model_->rowCount()) return;
  int col = columns_.SelectedIndex();
  if (col < 0 || col >= columns_.Count() || isColumnHidden(col)) {
    col = -1;
    for (int i = 0; i < columns_.Count(); ++i)
      if (!isColumnHidden(i)) {
        col = i;
        break;
      }
    if (col < 0) col = 0;
  }
  QModelIndex target = model_->index(row, col);
  if (currentIndex() == target) return;
  bool was = syncing_;
  syncing_ = true;
  selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
  scrollTo(target, QAbstractItemView::EnsureVisible);
  syncing_ = was;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (syncing_ || !current.isValid()) return;
  TDataSet* ds = link_.DataSet();
  if (current.column() != columns_.SelectedIndex()) {
    syncing_ = true;
    columns_.SetSelectedIndex(current.column());
    syncing_ = false;
  }
  if (ds && ds->Active() && current.row() + 1 != ds->RecNo()) {
    syncing_ = true;
    try {
      ds->SetRecNo(current.row() + 1);
    } catch (const std::exception&) {
      // The record cannot be read: the cursor stays where it was.
    }
    syncing_ = false;
  }
}

void TDBGrid::SectionResized(int logical, int, int newSize) {
  if (syncing_ || logical < 0 || logical >= columns_.Count() || newSize <= 0) return;
  if (columns_[logical].Width == newSize) return;
  syncing_ = true;
  columns_.At(logical).Width = newSize;
  columns_.Changed();
  syncing_ = false;
}

void TDBGrid::SectionMoved(int, int oldVisual, int newVisual) {
  if (syncing_) return;
  // The model's column order is the display order: undo the header's own move
  // and move the column in the columns model instead.
  syncing_ = true;
  horizontalHeader()->moveSection(newVisual, oldVisual);
  syncing_ = false;
  columns_.Move(oldVisual, newVisual);
}

}  // namespace korvane
