#include "viewer/Unit9.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/qt/ui.h"
#include "viewer/DataControls.h"
#include "viewer/Icons.h"

namespace korvane {

TfrmColumns::TfrmColumns(TDataSet& table, TGridColumns& columns, QWidget* parent)
    : QDialog(parent), table_(table), columns_(columns) {
  setObjectName(QStringLiteral("frmColumns"));
  setWindowTitle(QStringLiteral("Configure Grid Columns"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                 Qt::WindowTitleHint);
  setModal(false);
  QFont f(QStringLiteral("Tahoma"));
  f.setPixelSize(11);
  setFont(f);
  setFixedSize(423, 356);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  toolBar1_ = new QToolBar(this);
  toolBar1_->setObjectName(QStringLiteral("ToolBar1"));
  toolBar1_->setIconSize(QSize(32, 32));
  toolBar1_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  auto tool = [&](const char* name, const QString& caption, TToolIcon icon, void (TfrmColumns::*slot)()) {
    QAction* a = toolBar1_->addAction(ToolIcon(icon), caption);
    a->setObjectName(QString::fromLatin1(name) + QStringLiteral("Action"));
    connect(a, &QAction::triggered, this, [this, slot] { qtui::Guarded(this, [&] { (this->*slot)(); }); });
    if (auto* b = qobject_cast<QToolButton*>(toolBar1_->widgetForAction(a))) {
      b->setObjectName(QString::fromLatin1(name));
      b->setFixedSize(63, 52);
    }
  };
  tool("ToolButton1", QStringLiteral("Refresh"), TToolIcon::Refresh, &TfrmColumns::RefreshList);
  toolBar1_->addSeparator();
  tool("ToolButton2", QStringLiteral("Hide"), TToolIcon::Hide, &TfrmColumns::HideClick);
  tool("ToolButton3", QStringLiteral("Show"), TToolIcon::Show, &TfrmColumns::ShowClick);
  toolBar1_->addSeparator();
  tool("ToolButton4", QStringLiteral("Move Up"), TToolIcon::MoveUp, &TfrmColumns::MoveUpClick);
  tool("ToolButton5", QStringLiteral("Move Down"), TToolIcon::MoveDown, &TfrmColumns::MoveDownClick);
  tool("ToolButton6", QStringLiteral("Resize"), TToolIcon::Resize, &TfrmColumns::ResizeClick);
  v->addWidget(toolBar1_);

  listView1_ = new QTableWidget(0, 4, this);
  listView1_->setObjectName(QStringLiteral("ListView1"));
  listView1_->setHorizontalHeaderLabels({QStringLiteral("Column Name"), QStringLiteral("Status"),
                                         QStringLiteral("Number"), QStringLiteral("Width")});
  listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView1_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView1_->setShowGrid(true);
  listView1_->verticalHeader()->hide();
  listView1_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  listView1_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  listView1_->horizontalHeader()->setHighlightSections(false);
  listView1_->setColumnWidth(0, 220);
  listView1_->setColumnWidth(1, 80);
  listView1_->setColumnWidth(2, 50);
  listView1_->setColumnWidth(3, 50);
  listView1_->setToolTip(QStringLiteral("Right click to change status."));
  listView1_->setContextMenuPolicy(Qt::CustomContextMenu);
  v->addWidget(listView1_, 1);

  popupMenu1_ = new QMenu(this);
  popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
  auto item = [&](const char* name, const QString& caption, void (TfrmColumns::*slot)()) {
    QAction* a = popupMenu1_->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (slot)
      connect(a, &QAction::triggered, this, [this, slot] { qtui::Guarded(this, [&] { (this->*slot)(); }); });
  };
  item("Show1", QStringLiteral("Show"), &TfrmColumns::ShowClick);
  item("Hide1", QStringLiteral("Hide"), &TfrmColumns::HideClick);
  popupMenu1_->addSeparator();
  item("ShowAll1", QStringLiteral("Show All"), &TfrmColumns::ShowAllClick);
  item("HideAll1", QStringLiteral("Hide All"), &TfrmColumns::HideAllClick);
  popupMenu1_->addSeparator();
  item("MoveUp1", QStringLiteral("Move Up"), &TfrmColumns::MoveUpClick);
  item("MoveDown1", QStringLiteral("Move Down"), &TfrmColumns::MoveDownClick);
  popupMenu1_->addSeparator();
  item("Refresh1", QStringLiteral("Refresh"), &TfrmColumns::RefreshList);
  item("Resize1", QStringLiteral("Resize"), &TfrmColumns::ResizeClick);
  item("AddLookupColumn1", QStringLiteral("Add Lookup Column"), nullptr);
  connect(listView1_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popupMenu1_->popup(listView1_->viewport()->mapToGlobal(pos)); });

  auto* bottom = new QWidget(this);
  bottom->setObjectName(QStringLiteral("Panel1"));
  bottom->setFixedHeight(74);
  auto* bh = new QHBoxLayout(bottom);
  bh->setContentsMargins(10, 8, 10, 8);
  auto* note = new QLabel(
      QStringLiteral("Note: You can choose what columns are printed or exported by hiding."), bottom);
  note->setObjectName(QStringLiteral("Label1"));
  note->setWordWrap(true);
  bh->addWidget(note, 1);
  auto* close = new QPushButton(QStringLiteral("&Close"), bottom);
  close->setObjectName(QStringLiteral("Button1"));
  connect(close, &QPushButton::clicked, this, &QWidget::hide);
  bh->addWidget(close);
  v->addWidget(bottom);
}

void TfrmColumns::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  RefreshList();
}

void TfrmColumns::RefreshList() {
  listView1_->clearContents();
  listView1_->setRowCount(0);
  if (!table_.Active()) return;
  const TGridColumns& cols = columns_;
  listView1_->setRowCount(cols.Count());
  for (int i = 0; i < cols.Count(); ++i) {
    listView1_->setItem(i, 0, new QTableWidgetItem(NameText(cols[i].FieldName)));
    listView1_->setItem(
        i, 1, new QTableWidgetItem(cols[i].Visible ? QStringLiteral("Visible") : QStringLiteral("Hidden")));
    listView1_->setItem(i, 2, new QTableWidgetItem(QString::number(i + 1)));
    listView1_->setItem(i, 3, new QTableWidgetItem(QString::number(cols[i].Width)));
  }
}

int TfrmColumns::SelectedRow() const {
  const QList<QTableWidgetItem*> items = listView1_->selectedItems();
  if (items.isEmpty()) return -1;
  return items.first()->row();
}

void TfrmColumns::SetStatus(int row, bool visible) {
  if (QTableWidgetItem* it = listView1_->item(row, 1))
    it->setText(visible ? QStringLiteral("Visible") : QStringLiteral("Hidden"));
}

void TfrmColumns::HideClick() {
  int row = SelectedRow();
  TGridColumns& cols = columns_;
  if (row < 0 || row >= cols.Count()) return;
  cols.At(row).Visible = false;
  cols.Changed();
  SetStatus(row, false);
}

void TfrmColumns::ShowClick() {
  int row = SelectedRow();
  TGridColumns& cols = columns_;
  if (row < 0 || row >= cols.Count()) return;
  cols.At(row).Visible = true;
  cols.Changed();
  SetStatus(row, true);
}

void TfrmColumns::ShowAllClick() {
  TGridColumns& cols = columns_;
  for (int i = 0; i < cols.Count(); ++i) {
    cols.At(i).Visible = true;
    if (i < listView1_->rowCount()) SetStatus(i, true);
  }
  cols.Changed();
}

void TfrmColumns::HideAllClick() {
  TGridColumns& cols = columns_;
  for (int i = 0; i < cols.Count(); ++i) {
    cols.At(i).Visible = false;
    if (i < listView1_->rowCount()) SetStatus(i, false);
  }
  cols.Changed();
}

void TfrmColumns::MoveColumn(bool up) {
  int from = SelectedRow();
  if (from < 0) return;
  int rows = listView1_->rowCount();
  int to = from;
  if (up) {
    if (from != 0) to = from - 1;
  } else {
    if (from + 1 != rows) to = from + 1;
  }
  TGridColumns& cols = columns_;
  if (from < cols.Count() && to < cols.Count() && from != to) cols.Move(from, to);
  RefreshList();
}

void TfrmColumns::ResizeClick() {
  int row = SelectedRow();
  TGridColumns& cols = columns_;
  if (row < 0) return;
  QTableWidgetItem* widthItem = listView1_->item(row, 3);
  QString preset = widthItem ? widthItem->text() : QString();
  int current = preset.toInt();
  QString answer = qtui::InputBox(this, QStringLiteral("Enter new column display size"),
                                  QStringLiteral("New Size"), preset);
  bool ok = false;
  int width = answer.trimmed().toInt(&ok, 10);
  if (!ok || width <= 0) width = current;  // not a usable width: keep the old one
  if (row < cols.Count()) {
    cols.At(row).Width = width;
    cols.Changed();
  }
  RefreshList();
}

}  // namespace korvane
