#include "viewer/frSearch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace korvane {

TfrmSearch::TfrmSearch(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSearch"));
  setWindowTitle(QStringLiteral("Search"));
  setModal(false);
  QFont f(QStringLiteral("Tahoma"));
  f.setPixelSize(11);
  setFont(f);
  setFixedSize(496, 135);
  auto* l1 = new QLabel(QStringLiteral("Field"), this);
  l1->move(8, 16);
  auto* combo = new QComboBox(this);
  combo->setObjectName(QStringLiteral("ComboBox1"));
  combo->setEditable(true);
  combo->setGeometry(8, 32, 185, 21);
  auto* l2 = new QLabel(QStringLiteral("Value"), this);
  l2->move(200, 16);
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QStringLiteral("Edit1"));
  edit->setGeometry(200, 32, 185, 21);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(397, 32, 75, 25);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setGeometry(397, 64, 75, 25);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* c1 = new QCheckBox(QStringLiteral("Case Insensitve"), this);
  c1->setChecked(true);
  c1->move(16, 72);
  auto* c2 = new QCheckBox(QStringLiteral("Partial Search"), this);
  c2->setChecked(true);
  c2->move(144, 72);
}

}  // namespace korvane
