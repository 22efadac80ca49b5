#include "export/wizard/ZelEWizStepColumns.h"

#include <QComboBox>
#include <QRadioButton>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

namespace {

QString FontDescription(const TFontSpec& f) {
  QString d = QString("%1, %2 pt").arg(Q(f.Name)).arg(f.Size);
  if (f.Bold) d += ", bold";
  if (f.Italic) d += ", italic";
  if (f.Underline) d += ", underline";
  if (f.StrikeOut) d += ", strikeout";
  return d;
}

void FromQFont(const QFont& q, TFontSpec& f) {
  f.Name = S(q.family());
  f.Size = q.pointSize() > 0 ? q.pointSize() : f.Size;
  f.Bold = q.bold();
  f.Italic = q.italic();
  f.Underline = q.underline();
  f.StrikeOut = q.strikeOut();
}

void FillSwatches(QComboBox* c) {
  for (TColor col : WizardSwatchColors()) {
    QPixmap px(24, 12);
    px.fill(ToQColor(col));
    c->addItem(QIcon(px), QString("$%1").arg(col, 8, 16, QChar('0')).toUpper().replace("$", "$"));
  }
}

}  // namespace

void TZelEWizStepColumns::Build(QWidget* page) {
  auto* lay = new QHBoxLayout(page);
  w_.lstColumns = new QListWidget(page);
  w_.lstColumns->setObjectName("lstColumns");
  w_.lstColumns->setDragDropMode(QAbstractItemView::InternalMove);
  w_.lstColumns->setDefaultDropAction(Qt::MoveAction);
  w_.lstColumns->setContextMenuPolicy(Qt::CustomContextMenu);
  w_.lstColumns->setMinimumWidth(200);
  lay->addWidget(w_.lstColumns, 1);
  w_.mnuColumns = new QMenu(&w_);
  w_.mnuColumns->addAction(Text(txSelectAll), &w_, [this] { CheckAllColumns(0); });
  w_.mnuColumns->addAction(Text(txUnselectAll), &w_, [this] { CheckAllColumns(1); });
  w_.mnuColumns->addAction(Text(txRevertSelection), &w_, [this] { CheckAllColumns(2); });
  QMenu* sys = w_.mnuColumns->addMenu(Text(txInsertSysVar));
  for (int k = 0; k < 5; ++k) sys->addAction(Text(txFirstSysVar + k), &w_, [this, k] { InsertSysVar(k); });
  QObject::connect(w_.lstColumns, &QListWidget::customContextMenuRequested, &w_,
          [this](const QPoint& p) { w_.mnuColumns->popup(w_.lstColumns->viewport()->mapToGlobal(p)); });
  QObject::connect(w_.lstColumns, &QListWidget::currentItemChanged, &w_, [this] { ColumnSelected(); });

  auto* props = new QVBoxLayout;
  auto alignCombo = [&](QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->addItems({Text(txAlignLeft), Text(txAlignRight), Text(txAlignCenter)});
    return c;
  };
  auto* grpTitle = new QGroupBox(Text(txTitleGroup), page);
  auto* gt = new QGridLayout(grpTitle);
  w_.edtTitleCaption = new QLineEdit(grpTitle);
  w_.edtTitleCaption->setObjectName("edtTitleCaption");
  w_.cmbTitleAlign = alignCombo(grpTitle);
  w_.cmbTitleColor = new QComboBox(grpTitle);
  FillSwatches(w_.cmbTitleColor);
  w_.btnTitleFont = new QPushButton("...", grpTitle);
  w_.btnTitleFont->setFixedWidth(30);
  w_.lblTitleFont = new QLabel(grpTitle);
  gt->addWidget(new QLabel(Text(txCaption), grpTitle), 0, 0);
  gt->addWidget(w_.edtTitleCaption, 0, 1, 1, 2);
  gt->addWidget(new QLabel(Text(txAlignment), grpTitle), 1, 0);
  gt->addWidget(w_.cmbTitleAlign, 1, 1, 1, 2);
  gt->addWidget(new QLabel(Text(txBackground), grpTitle), 2, 0);
  gt->addWidget(w_.cmbTitleColor, 2, 1, 1, 2);
  gt->addWidget(new QLabel(Text(txFont), grpTitle), 3, 0);
  gt->addWidget(w_.lblTitleFont, 3, 1);
  gt->addWidget(w_.btnTitleFont, 3, 2);
  auto* grpData = new QGroupBox(Text(txDataGroup), page);
  auto* gd = new QGridLayout(grpData);
  w_.cmbDataAlign = alignCombo(grpData);
  w_.cmbDataColor = new QComboBox(grpData);
  FillSwatches(w_.cmbDataColor);
  w_.btnDataFont = new QPushButton("...", grpData);
  w_.btnDataFont->setFixedWidth(30);
  w_.lblDataFont = new QLabel(grpData);
  w_.lblWidth = new QLabel(Text(txWidth), grpData);
  w_.spnWidth = new QSpinBox(grpData);
  w_.spnWidth->setRange(0, 9999);
  w_.lblWidthUnit = new QLabel(Text(txCharacters), grpData);
  gd->addWidget(new QLabel(Text(txAlignment), grpData), 0, 0);
  gd->addWidget(w_.cmbDataAlign, 0, 1, 1, 2);
  gd->addWidget(new QLabel(Text(txBackground), grpData), 1, 0);
  gd->addWidget(w_.cmbDataColor, 1, 1, 1, 2);
  gd->addWidget(new QLabel(Text(txFont), grpData), 2, 0);
  gd->addWidget(w_.lblDataFont, 2, 1);
  gd->addWidget(w_.btnDataFont, 2, 2);
  gd->addWidget(w_.lblWidth, 3, 0);
  gd->addWidget(w_.spnWidth, 3, 1);
  gd->addWidget(w_.lblWidthUnit, 3, 2);
  props->addWidget(grpTitle);
  props->addWidget(grpData);
  props->addStretch(1);
  lay->addLayout(props, 1);
  QObject::connect(w_.edtTitleCaption, &QLineEdit::textEdited, &w_, [this] { StoreColumnEdits(); });
  for (QComboBox* c : {w_.cmbTitleAlign, w_.cmbDataAlign})
    QObject::connect(c, &QComboBox::activated, &w_, [this] { StoreColumnEdits(); });
  // A colour that is not among the swatches shows as the first one and is
  // kept until the user picks a swatch.
  for (QComboBox* c : {w_.cmbTitleColor, w_.cmbDataColor})
    QObject::connect(c, &QComboBox::activated, &w_, [this, c](int i) {
      TZelEColumn* col = CurrentColumn();
      if (!col || i < 0) return;
      (c == w_.cmbTitleColor ? col->Title.Color : col->Color) = WizardSwatchColors()[static_cast<size_t>(i)];
    });
  QObject::connect(w_.spnWidth, &QSpinBox::valueChanged, &w_, [this] { StoreColumnEdits(); });
  QObject::connect(w_.btnTitleFont, &QPushButton::clicked, &w_, [this] { ChooseFont(true); });
  QObject::connect(w_.btnDataFont, &QPushButton::clicked, &w_, [this] { ChooseFont(false); });
}

void TZelEWizStepColumns::Load(const TZelEWizardDlg& o) {
  store_.clear();
  w_.lstColumns->clear();
  for (const TZelEColumn& c : o.Columns.Items()) {
    if (o.VisibleColumnsOnly && !c.Visible) continue;
    store_.push_back(c);
    auto* item = new QListWidgetItem(w_.lstColumns);
    item->setData(Qt::UserRole, static_cast<int>(store_.size() - 1));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
    item->setCheckState(c.Visible ? Qt::Checked : Qt::Unchecked);
    UpdateColumnItemText(item);
  }
  if (w_.lstColumns->count() > 0) w_.lstColumns->setCurrentRow(0);
}

void TZelEWizStepColumns::Store(TZelEWizardDlg& o) {
  StoreColumnEdits();
  o.Columns.Clear();
  for (const TZelEColumn& c : ListColumns()) o.Columns.Add() = c;
}

void TZelEWizStepColumns::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.lstColumns, ua.FieldMapping);
}

void TZelEWizStepColumns::UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) {
  w_.lstColumns->setEnabled(ReadWrite(ua.FieldMapping));
  bool noTitleAlign = !Can(t, faTitleAlignment);
  bool noColors = !Can(t, faFontsColors);
  w_.cmbTitleAlign->setEnabled(!noTitleAlign);
  for (QWidget* w : std::initializer_list<QWidget*>{w_.cmbTitleColor, w_.cmbDataColor, w_.btnTitleFont, w_.btnDataFont,
                                                    w_.lblTitleFont, w_.lblDataFont})
    w->setEnabled(!noColors);
  bool fixedText = t == teText && w_.rbFixed->isChecked();
  bool width = fixedText || Can(t, faColumnWidth);
  for (QWidget* w : std::initializer_list<QWidget*>{w_.lblWidth, w_.spnWidth, w_.lblWidthUnit}) w->setVisible(width);
}

bool TZelEWizStepColumns::Visited(TTableTypeExport, const TZelEUserAccess& ua) const {
  return ReadWrite(ua.FieldMapping);
}

std::vector<TZelEColumn> TZelEWizStepColumns::ListColumns() const {
  std::vector<TZelEColumn> out;
  for (int r = 0; r < w_.lstColumns->count(); ++r) {
    QListWidgetItem* item = w_.lstColumns->item(r);
    TZelEColumn c = store_.at(static_cast<size_t>(item->data(Qt::UserRole).toInt()));
    c.Visible = item->checkState() == Qt::Checked;
    out.push_back(c);
  }
  return out;
}

TZelEColumn* TZelEWizStepColumns::CurrentColumn() {
  QListWidgetItem* item = w_.lstColumns->currentItem();
  if (!item) return nullptr;
  return &store_.at(static_cast<size_t>(item->data(Qt::UserRole).toInt()));
}

void TZelEWizStepColumns::UpdateColumnItemText(QListWidgetItem* item) {
  TZelEColumn c = store_.at(static_cast<size_t>(item->data(Qt::UserRole).toInt()));
  if (Owner().DecodeName && c.ColumnKind != ckSysVar) c.FieldName = Owner().DecodeName(c.FieldName);
  item->setText(Q(c.DisplayName(Owner().FieldDisplayFormat)));
}

void TZelEWizStepColumns::ColumnSelected() {
  TZelEColumn* c = CurrentColumn();
  bool was = Filling();
  SetFilling(true);
  if (c) {
    w_.edtTitleCaption->setText(Q(c->Title.Caption));
    w_.cmbTitleAlign->setCurrentIndex(c->Title.Alignment);
    w_.cmbTitleColor->setCurrentIndex(WizardSwatchIndex(c->Title.Color));
    w_.lblTitleFont->setText(FontDescription(c->Title.Font));
    w_.cmbDataAlign->setCurrentIndex(c->Alignment);
    w_.cmbDataColor->setCurrentIndex(WizardSwatchIndex(c->Color));
    w_.lblDataFont->setText(FontDescription(c->Font));
    w_.spnWidth->setValue(c->Width);
  }
  SetFilling(was);
}

void TZelEWizStepColumns::StoreColumnEdits() {
  if (Filling()) return;
  TZelEColumn* c = CurrentColumn();
  if (!c) return;
  c->Title.Caption = S(w_.edtTitleCaption->text());
  c->Title.Alignment = static_cast<TAlignment>(std::max(0, w_.cmbTitleAlign->currentIndex()));
  c->Alignment = static_cast<TAlignment>(std::max(0, w_.cmbDataAlign->currentIndex()));
  c->Width = w_.spnWidth->value();
  UpdateColumnItemText(w_.lstColumns->currentItem());
}

void TZelEWizStepColumns::ChooseFont(bool title) {
  TZelEColumn* c = CurrentColumn();
  if (!c) return;
  TFontSpec& f = title ? c->Title.Font : c->Font;
  bool ok = false;
  QFont chosen = QFontDialog::getFont(&ok, ToQFont(f), &w_);
  if (!ok) return;
  FromQFont(chosen, f);
  (title ? w_.lblTitleFont : w_.lblDataFont)->setText(FontDescription(f));
}

void TZelEWizStepColumns::CheckAllColumns(int how) {
  for (int r = 0; r < w_.lstColumns->count(); ++r) {
    QListWidgetItem* item = w_.lstColumns->item(r);
    bool on = how == 0 ? true : how == 1 ? false : item->checkState() != Qt::Checked;
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
}

void TZelEWizStepColumns::InsertSysVar(int kind) {
  static const char* const kNames[] = {"ROWNO", "COLNO", "COUNT", "ERRCOUNT", "GENERATOR"};
  if (kind < 0 || kind > 4) return;
  StoreColumnEdits();
  TZelEColumn c;
  c.ColumnKind = ckSysVar;
  c.FieldName = kNames[kind];
  c.Title.Caption = Owner().GetLanguageString(txFirstSysVar + kind);
  c.Title.Color = 0xFF00000F;
  c.Color = clWhite;
  c.Width = 10;
  TAlignment a = kind < 4 ? taRightJustify : taLeftJustify;
  c.Alignment = a;
  c.Title.Alignment = a;
  c.DataType = kind < 4 ? ctInteger : ctString;
  c.Visible = true;
  store_.push_back(c);
  int row = w_.lstColumns->currentRow();
  if (row < 0) row = w_.lstColumns->count();
  auto* item = new QListWidgetItem;
  item->setData(Qt::UserRole, static_cast<int>(store_.size() - 1));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
  item->setCheckState(Qt::Checked);
  w_.lstColumns->insertItem(row, item);
  UpdateColumnItemText(item);
  w_.lstColumns->setCurrentItem(item);
}

void TZelEWizStepColumns::MoveColumnItem(int from, int to) {
  if (from < 0 || from >= w_.lstColumns->count() || to < 0 || to >= w_.lstColumns->count() || from == to) return;
  QListWidgetItem* item = w_.lstColumns->takeItem(from);
  w_.lstColumns->insertItem(to, item);
  w_.lstColumns->setCurrentItem(item);
}

}  // namespace korvane
