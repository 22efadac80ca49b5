#include "viewer/DBGrid.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <exception>

namespace korvane {

// ---------------------------------------------------------------------------------------------
// TDBGridModel

TDBGridModel::TDBGridModel(TGridColumns& columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(columns) {}

int TDBGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Rows(); }

int TDBGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_.Count();
}

void TDBGridModel::ClearCache() {
  cache_.clear();
  ages_.clear();
}

void TDBGridModel::Reset() {
  beginResetModel();
  ClearCache();
  TDataSet* ds = columns_.DataSet();
  records_ = ds && ds->Active() ? std::max(0, ds->RecordCount()) : 0;
  top_ = std::clamp(top_, 0, std::max(0, records_ - 1));
  if (records_ == 0) top_ = 0;
  endResetModel();
}

void TDBGridModel::Invalidate() {
  TDataSet* ds = columns_.DataSet();
  int records = ds && ds->Active() ? std::max(0, ds->RecordCount()) : 0;
  if (records != records_) {
    Reset();
    return;
  }
  ClearCache();
  if (Rows() > 0 && columns_.Count() > 0)
    emit dataChanged(index(0, 0), index(Rows() - 1, columns_.Count() - 1));
}

void TDBGridModel::SetWindowRows(int rows) {
  rows = std::max(1, rows);
  if (rows == windowRows_) return;
  int before = Rows();
  int after = std::min(rows, std::max(0, records_ - top_));
  if (after > before) {
    beginInsertRows(QModelIndex(), before, after - 1);
    windowRows_ = rows;
    endInsertRows();
  } else if (after < before) {
    beginRemoveRows(QModelIndex(), after, before - 1);
    windowRows_ = rows;
    endRemoveRows();
  } else {
    windowRows_ = rows;
  }
}

bool TDBGridModel::SetTop(int top) {
  top = std::clamp(top, 0, std::max(0, records_ - 1));
  if (top == top_) return false;
  int before = Rows();
  int after = std::min(windowRows_, std::max(0, records_ - top));
  if (after > before) {
    beginInsertRows(QModelIndex(), before, after - 1);
    top_ = top;
    endInsertRows();
  } else if (after < before) {
    beginRemoveRows(QModelIndex(), after, before - 1);
    top_ = top;
    endRemoveRows();
  } else {
    top_ = top;
  }
  if (Rows() > 0 && columns_.Count() > 0)
    emit dataChanged(index(0, 0), index(Rows() - 1, columns_.Count() - 1));
  if (Rows() > 0) emit headerDataChanged(Qt::Vertical, 0, Rows() - 1);
  return true;
}

const TDBGridModel::TRow& TDBGridModel::RowAt(int record) const {
  auto it = cache_.find(record);
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
      TDataSet::TRecordPeek peek = ds->PeekRecord(record + 1);
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
  ages_.push_front(record);
  r.Age = ages_.begin();
  return cache_.emplace(record, std::move(r)).first->second;
}

QString TDBGridModel::CellText(int record, int column) const {
  if (record < 0 || record >= records_ || column < 0 || column >= columns_.Count()) return {};
  const TRow& r = RowAt(record);
  return static_cast<size_t>(column) < r.Cells.size() ? r.Cells[static_cast<size_t>(column)] : QString();
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return CellText(top_ + index.row(), index.column());
  if (role == Qt::TextAlignmentRole) {
    TField* f = columns_.FieldOf(index.column());
    TAlignment a = f ? f->Alignment() : taLeftJustify;
    Qt::Alignment h = a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    return QVariant::fromValue(static_cast<int>(h | Qt::AlignVCenter));
  }
  if (role == Qt::BackgroundRole || role == Qt::ForegroundRole) {
    // Selected records are painted like a selection (the grid keeps them sorted).
    const std::vector<TBookmark>& rows = columns_.SelectedRows();
    if (rows.empty() || !std::binary_search(rows.begin(), rows.end(), top_ + index.row() + 1)) return {};
    QPalette pal = QGuiApplication::palette();
    return pal.brush(role == Qt::BackgroundRole ? QPalette::Highlight : QPalette::HighlightedText);
  }
  return {};
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columns_.Count()) return {};
    return NameText(columns_[section].Title.Caption);
  }
  return top_ + section + 1;
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
  setAutoScroll(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 2);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->hide();
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TDBGrid::SectionResized);
  connect(horizontalHeader(), &QHeaderView::sectionMoved, this, &TDBGrid::SectionMoved);

  QPointer<TDBGrid> self(this);
  columns_.AddListener([self] {
    if (!self) return;
    self->ColumnsChanged();
    self->viewport()->update();
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

QScrollBar* TDBGrid::RecordScrollBar() const { return verticalScrollBar(); }

TField* TDBGrid::SelectedField() const {
  if (columns_.Count() == 0) return nullptr;
  return columns_.FieldOf(columns_.SelectedIndex());
}

int TDBGrid::CurrentRecord() const {
  QModelIndex i = currentIndex();
  return i.isValid() ? model_->Top() + i.row() : -1;
}

int TDBGrid::VisibleRows() const {
  int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
  return std::max(1, viewport()->height() / rowHeight);
}

void TDBGrid::DataEvent(TDataEvent e) {
  switch (e) {
    case TDataEvent::ActiveChanged:
    case TDataEvent::LayoutChanged: {
      // Opening a table rebuilds the columns from its fields: all visible, in
      // field order, default widths. Closing leaves no columns and no rows.
      syncing_ = true;
      columns_.RebuildFromFields();
      // A selection belongs to the table it was made in.
      anchor_ = -1;
      if (!columns_.SelectedRows().empty()) columns_.SetSelectedRows({});
      syncing_ = false;
      shownFields_.assign(1, std::string("\x01"));  // forces a rebuild of the model
      model_->SetTop(0);
      ColumnsChanged();
      break;
    }
    case TDataEvent::DataSetChanged:
      model_->Invalidate();
      UpdateWindow();
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
  int records = ds && ds->Active() ? ds->RecordCount() : 0;
  if (fields != shownFields_ || records != model_->RecordCount()) {
    shownFields_ = std::move(fields);
    model_->Reset();
  } else if (columns_.Count() > 0) {
    emit model_->headerDataChanged(Qt::Horizontal, 0, columns_.Count() - 1);
  }
  ApplyColumnLayout();
  syncing_ = false;
  UpdateWindow();
  SyncToCursor();
}

void TDBGrid::ApplyColumnLayout() {
  for (int i = 0; i < columns_.Count(); ++i) {
    setColumnHidden(i, !columns_[i].Visible);
    if (columns_[i].Visible && columnWidth(i) != columns_[i].Width) setColumnWidth(i, columns_[i].Width);
  }
}

void TDBGrid::UpdateWindow() {
  // The window holds the rows that fit, the last one perhaps cut off.
  model_->SetWindowRows(VisibleRows() + 1);
  updateGeometries();
}

void TDBGrid::updateGeometries() {
  geometry_ = true;
  QTableView::updateGeometries();
  geometry_ = false;
  int records = model_->RecordCount();
  int visible = VisibleRows();
  int maxTop = std::max(0, records - visible);
  QScrollBar* bar = verticalScrollBar();
  QSignalBlocker block(bar);
  bar->setRange(0, maxTop);
  bar->setPageStep(visible);
  bar->setSingleStep(1);
  bar->setValue(std::min(model_->Top(), maxTop));
}

void TDBGrid::scrollContentsBy(int dx, int dy) {
  // The view's own vertical scrolling is replaced by moving the window.
  QTableView::scrollContentsBy(dx, 0);
  if (dy != 0 && !geometry_) ScrollTo(verticalScrollBar()->value());
}

void TDBGrid::resizeEvent(QResizeEvent* e) {
  QTableView::resizeEvent(e);
  UpdateWindow();
  SyncToCursor();
}

void TDBGrid::wheelEvent(QWheelEvent* e) {
  int steps = e->angleDelta().y() / 40;  // three rows a notch
  if (steps == 0) {
    QTableView::wheelEvent(e);
    return;
  }
  ScrollTo(model_->Top() - steps);
  e->accept();
}

void TDBGrid::ScrollTo(int top) {
  int maxTop = std::max(0, model_->RecordCount() - VisibleRows());
  top = std::clamp(top, 0, maxTop);
  if (model_->SetTop(top)) {
    QSignalBlocker block(verticalScrollBar());
    verticalScrollBar()->setValue(top);
  }
  ShowCursorCell();
}

int TDBGrid::CursorColumn() const {
  int col = columns_.SelectedIndex();
  if (col >= 0 && col < columns_.Count() && !isColumnHidden(col)) return col;
  for (int i = 0; i < columns_.Count(); ++i)
    if (!isColumnHidden(i)) return i;
  return 0;
}

void TDBGrid::ShowCursorCell() {
  TDataSet* ds = link_.DataSet();
  bool was = syncing_;
  syncing_ = true;
  if (ds && ds->Active() && !ds->IsEmpty() && columns_.Count() > 0) {
    int rel = ds->RecNo() - 1 - model_->Top();
    if (rel >= 0 && rel < model_->rowCount()) {
      QModelIndex target = model_->index(rel, CursorColumn());
      if (currentIndex() != target)
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    } else if (currentIndex().isValid()) {
      // The cursor's record is scrolled out of sight: no cell is current.
      selectionModel()->clear();
    }
  }
  syncing_ = was;
}

void TDBGrid::SyncToCursor() {
  TDataSet* ds = link_.DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty() || columns_.Count() == 0) return;
  int record = ds->RecNo() - 1;
  if (record < 0 || record >= model_->RecordCount()) return;
  int top = model_->Top();
  int visible = VisibleRows();
  if (record < top)
    top = record;
  else if (record >= top + visible)
    top = record - visible + 1;
  ScrollTo(top);
  if (currentIndex().isValid()) QTableView::scrollTo(currentIndex(), EnsureVisible);
}

void TDBGrid::scrollTo(const QModelIndex& index, ScrollHint) {
  if (!index.isValid()) return;
  // Rows: bring the record into the window; columns: as the view does.
  int record = model_->Top() + index.row();
  int top = model_->Top();
  int visible = VisibleRows();
  int column = index.column();
  if (record >= top + visible) {
    ScrollTo(record - visible + 1);
    QModelIndex moved = model_->index(record - model_->Top(), column);
    QTableView::scrollTo(moved, EnsureVisible);
    return;
  }
  QTableView::scrollTo(index, EnsureVisible);
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  int records = model_->RecordCount();
  if (records == 0 || columns_.Count() == 0) return QTableView::moveCursor(action, modifiers);
  TDataSet* ds = link_.DataSet();
  int current = CurrentRecord();
  if (current < 0) current = ds && ds->Active() ? std::max(0, ds->RecNo() - 1) : model_->Top();
  int column = currentIndex().isValid() ? currentIndex().column() : CursorColumn();
  int visible = VisibleRows();
  int target = current;
  bool ctrl = modifiers & Qt::ControlModifier;
  switch (action) {
    case MoveUp: target = current - 1; break;
    case MoveDown: target = current + 1; break;
    case MovePageUp: target = current - visible; break;
    case MovePageDown: target = current + visible; break;
    case MoveHome:
      if (!ctrl) return QTableView::moveCursor(action, modifiers);
      target = 0;
      break;
    case MoveEnd:
      if (!ctrl) return QTableView::moveCursor(action, modifiers);
      target = records - 1;
      break;
    default:
      if (!currentIndex().isValid()) ShowCursorCell();
      return QTableView::moveCursor(action, modifiers);
  }
  target = std::clamp(target, 0, records - 1);
  int top = model_->Top();
  if (target < top)
    top = target;
  else if (target >= top + visible)
    top = target - visible + 1;
  ScrollTo(top);
  return model_->index(target - model_->Top(), column);
}

void TDBGrid::SetSelectedRecords(std::vector<TBookmark> bookmarks) {
  std::sort(bookmarks.begin(), bookmarks.end());
  bookmarks.erase(std::unique(bookmarks.begin(), bookmarks.end()), bookmarks.end());
  if (bookmarks == columns_.SelectedRows()) return;
  columns_.SetSelectedRows(std::move(bookmarks));
}

bool TDBGrid::IsRecordSelected(int record) const {
  const std::vector<TBookmark>& rows = columns_.SelectedRows();
  return std::binary_search(rows.begin(), rows.end(), record + 1);
}

void TDBGrid::ClearSelectedRecords() {
  if (!columns_.SelectedRows().empty()) columns_.SetSelectedRows({});
}

void TDBGrid::SelectAllRecords() {
  int records = model_->RecordCount();
  std::vector<TBookmark> all(static_cast<size_t>(std::max(0, records)));
  for (int r = 0; r < records; ++r) all[static_cast<size_t>(r)] = r + 1;
  SetSelectedRecords(std::move(all));
}

void TDBGrid::SelectRange(int from, int to, bool add) {
  if (from > to) std::swap(from, to);
  from = std::max(from, 0);
  to = std::min(to, model_->RecordCount() - 1);
  std::vector<TBookmark> rows = add ? columns_.SelectedRows() : std::vector<TBookmark>();
  for (int r = from; r <= to; ++r) rows.push_back(r + 1);
  SetSelectedRecords(std::move(rows));
}

void TDBGrid::ClickRecord(int record, Qt::KeyboardModifiers modifiers) {
  if (record < 0 || record >= model_->RecordCount()) return;
  bool ctrl = modifiers & Qt::ControlModifier;
  bool shift = modifiers & Qt::ShiftModifier;
  if (shift) {
    if (anchor_ < 0 || anchor_ >= model_->RecordCount()) {
      TDataSet* ds = link_.DataSet();
      anchor_ = ds && ds->Active() && ds->RecNo() > 0 ? ds->RecNo() - 1 : record;
    }
    SelectRange(anchor_, record, ctrl);
    return;
  }
  anchor_ = record;
  if (ctrl) {
    std::vector<TBookmark> rows = columns_.SelectedRows();
    auto it = std::lower_bound(rows.begin(), rows.end(), record + 1);
    if (it != rows.end() && *it == record + 1)
      rows.erase(it);
    else
      rows.insert(it, record + 1);
    SetSelectedRecords(std::move(rows));
    return;
  }
  ClearSelectedRecords();
}

void TDBGrid::mousePressEvent(QMouseEvent* e) {
  QModelIndex index = indexAt(e->position().toPoint());
  if (e->button() == Qt::LeftButton && index.isValid()) ClickRecord(model_->Top() + index.row(), e->modifiers());
  QTableView::mousePressEvent(e);
}

void TDBGrid::keyPressEvent(QKeyEvent* e) {
  if (e == QKeySequence::SelectAll) {
    SelectAllRecords();
    e->accept();
    return;
  }
  TDataSet* ds = link_.DataSet();
  auto cursorRecord = [ds] { return ds && ds->Active() ? ds->RecNo() - 1 : -1; };
  int before = cursorRecord();
  QTableView::keyPressEvent(e);
  int after = cursorRecord();
  if (after == before || after < 0) return;
  // A move with Shift selects from the anchor; a plain move starts afresh.
  if (e->modifiers() & Qt::ShiftModifier) {
    if (anchor_ < 0) anchor_ = before;
    SelectRange(anchor_, after, false);
  } else {
    anchor_ = after;
    ClearSelectedRecords();
  }
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
  int record = model_->Top() + current.row();
  if (ds && ds->Active() && record + 1 != ds->RecNo()) {
    syncing_ = true;
    try {
      ds->SetRecNo(record + 1);
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
