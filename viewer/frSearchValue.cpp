#include "viewer/frSearchValue.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "platform/qt/ui.h"
#include "viewer/DataControls.h"
#include "viewer/Icons.h"

namespace korvane {

TfrmSearchValue::TfrmSearchValue(TDataSet& table, TGridColumns& columns, std::function<void()> showFound,
                                 QWidget* parent)
    : QDialog(parent), table_(table), columns_(columns), showFound_(std::move(showFound)) {
  setObjectName(QStringLiteral("frmSearchValue"));
  setWindowTitle(QStringLiteral("Search Field Value"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                 Qt::WindowTitleHint);
  QFont f(QStringLiteral("Tahoma"));
  f.setPixelSize(11);
  setFont(f);
  setFixedSize(496, 135);
  // The designed place, kept on the screen when the screen is smaller.
  QPoint place(841, 323);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect avail = screen->availableGeometry();
    place.setX(std::clamp(place.x(), avail.left(), std::max(avail.left(), avail.right() - width())));
    place.setY(std::clamp(place.y(), avail.top(), std::max(avail.top(), avail.bottom() - height())));
  }
  move(place);

  QFont verdana(QStringLiteral("Verdana"));
  verdana.setPixelSize(11);
  auto label = [&](const QString& text, int x, int y) {
    auto* l = new QLabel(text, this);
    l->setFont(verdana);
    l->move(x, y);
    l->adjustSize();
    return l;
  };
  label(QStringLiteral("Field"), 8, 16)->setObjectName(QStringLiteral("Label1"));
  comboBox1_ = new TDropDownComboBox(this);
  comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
  comboBox1_->setEditable(true);
  comboBox1_->setInsertPolicy(QComboBox::NoInsert);
  comboBox1_->setGeometry(8, 32, 185, 21);
  connect(comboBox1_, &TDropDownComboBox::aboutToShowPopup, this, [this] { FillVisibleColumns(); });

  label(QStringLiteral("Value"), 200, 16)->setObjectName(QStringLiteral("Label2"));
  edit1_ = new QLineEdit(this);
  edit1_->setObjectName(QStringLiteral("Edit1"));
  edit1_->setGeometry(200, 32, 185, 21);

  ok_ = new QPushButton(ToolIcon(TToolIcon::Ok), QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("BitBtn1"));
  ok_->setFont(verdana);
  ok_->setGeometry(397, 32, 75, 25);
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] { qtui::Guarded(this, [&] { Search(); }); });

  auto* cancel = new QPushButton(ToolIcon(TToolIcon::Cancel), QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("BitBtn2"));
  cancel->setFont(verdana);
  cancel->setGeometry(397, 64, 75, 25);
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  checkBox1_ = new QCheckBox(QStringLiteral("Case Insensitve"), this);
  checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
  checkBox1_->setFont(verdana);
  checkBox1_->setChecked(true);
  checkBox1_->move(16, 72);
  checkBox1_->adjustSize();
  checkBox2_ = new QCheckBox(QStringLiteral("Partial Search"), this);
  checkBox2_->setObjectName(QStringLiteral("CheckBox2"));
  checkBox2_->setFont(verdana);
  checkBox2_->setChecked(true);
  checkBox2_->move(144, 72);
  checkBox2_->adjustSize();
}

void TfrmSearchValue::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, 0, height());
  g.setColorAt(0, QColor(0xF4, 0xF7, 0xFA));
  g.setColorAt(1, QColor(0xC9, 0xD7, 0xE4));
  p.fillRect(rect(), g);
}

void TfrmSearchValue::AddSorted(const std::string& rawName) {
  QString shown = NameText(rawName);
  int i = 0;
  while (i < comboBox1_->count() &&
         QString::compare(comboBox1_->itemText(i), shown, Qt::CaseInsensitive) <= 0)
    ++i;
  comboBox1_->insertItem(i, shown, QByteArray::fromStdString(rawName));
}

void TfrmSearchValue::FillAllFields() {
  QString keep = comboBox1_->currentText();
  QSignalBlocker block(comboBox1_);
  comboBox1_->clear();
  TDataSet& pdx = table_;
  if (pdx.Active())
    for (int i = 0; i < pdx.FieldCount(); ++i) AddSorted(pdx.Fields(i).FieldName());
  comboBox1_->setEditText(keep);
}

void TfrmSearchValue::FillVisibleColumns() {
  QString keep = comboBox1_->currentText();
  QSignalBlocker block(comboBox1_);
  comboBox1_->clear();
  const TGridColumns& cols = columns_;
  for (int i = 0; i < cols.Count(); ++i)
    if (cols[i].Visible) AddSorted(cols[i].FieldName);
  comboBox1_->setEditText(keep);
}

void TfrmSearchValue::Execute() {
  FillAllFields();
  exec();
}

std::string TfrmSearchValue::FieldNameOf(const QString& text) const {
  int exact = comboBox1_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (exact >= 0) return comboBox1_->itemData(exact).toByteArray().toStdString();
  TDataSet& pdx = table_;
  if (pdx.Active()) {
    for (int i = 0; i < pdx.FieldCount(); ++i)
      if (NameText(pdx.Fields(i).FieldName()) == text) return pdx.Fields(i).FieldName();
    for (int i = 0; i < pdx.FieldCount(); ++i)
      if (NameText(pdx.Fields(i).FieldName()).compare(text, Qt::CaseInsensitive) == 0)
        return pdx.Fields(i).FieldName();
  }
  return text.toStdString();
}

bool TfrmSearchValue::Search() {
  qtui::THourglass hourglass;
  TLocateOptions options;
  options.CaseInsensitive = checkBox1_->isChecked();
  options.PartialKey = checkBox2_->isChecked();
  std::string typed = comboBox1_->currentText().toStdString();
  std::string field = FieldNameOf(comboBox1_->currentText());
  bool found = table_.Locate(field, edit1_->text().toStdString(), options);
  if (found) {
    TGridColumns& cols = columns_;
    int selected = -1;
    for (int i = 0; i < cols.Count(); ++i) {
      std::string title = AsciiUpper(cols[i].Title.Caption);
      if (title == AsciiUpper(typed) || title == AsciiUpper(field)) selected = i;
    }
    if (selected >= 0) cols.SetSelectedIndex(selected);
    if (showFound_) showFound_();
  } else {
    qtui::ShowMessage(this, QStringLiteral("Not Found"));
  }
  return found;
}

}  // namespace korvane
