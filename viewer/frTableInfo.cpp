#include "viewer/frTableInfo.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "viewer/DataControls.h"

namespace korvane {

namespace {
// The header strip with its background picture.
class THeaderStrip : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0xF4, 0xF7, 0xFA));
    g.setColorAt(1, QColor(0xB9, 0xCB, 0xDC));
    p.fillRect(rect(), g);
  }
};
}  // namespace

TfrmTableInfo::TfrmTableInfo(TPdx& table, QWidget* parent) : QWidget(parent, Qt::Window), table_(table) {
  setObjectName(QStringLiteral("frmTableInfo"));
  setWindowTitle(QStringLiteral("frmTableInfo"));
  QFont f(QStringLiteral("Tahoma"));
  f.setPixelSize(11);
  setFont(f);
  resize(636, 356);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  auto* header = new THeaderStrip(this);
  header->setObjectName(QStringLiteral("Panel1"));
  header->setFixedHeight(41);
  QFont bold(QStringLiteral("Verdana"));
  bold.setPixelSize(13);
  bold.setBold(true);
  QPalette boxPalette;
  boxPalette.setColor(QPalette::Base, QColor(0xE1, 0xE1, 0xE1));
  auto* l1 = new QLabel(QStringLiteral("Table Name: "), header);
  l1->setObjectName(QStringLiteral("Label1"));
  l1->setFont(bold);
  l1->move(8, 12);
  l1->adjustSize();
  edit1_ = new QLineEdit(header);
  edit1_->setObjectName(QStringLiteral("Edit1"));
  edit1_->setGeometry(112, 10, 159, 21);
  edit1_->setPalette(boxPalette);
  edit1_->setReadOnly(true);
  auto* l2 = new QLabel(QStringLiteral("Primary Key Field: "), header);
  l2->setObjectName(QStringLiteral("Label2"));
  l2->setFont(bold);
  l2->move(288, 12);
  l2->adjustSize();
  edit2_ = new QLineEdit(header);
  edit2_->setObjectName(QStringLiteral("Edit2"));
  edit2_->setGeometry(432, 10, 159, 21);
  edit2_->setPalette(boxPalette);
  edit2_->setReadOnly(true);
  v->addWidget(header);

  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("LabelNotice"));
  notice_->setTextFormat(Qt::PlainText);
  notice_->setWordWrap(true);
  notice_->setContentsMargins(8, 4, 8, 4);
  notice_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
  notice_->hide();
  v->addWidget(notice_);

  listView1_ = new QTreeWidget(this);
  listView1_->setObjectName(QStringLiteral("ListView1"));
  listView1_->setRootIsDecorated(false);
  listView1_->setUniformRowHeights(true);
  listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView1_->setAllColumnsShowFocus(true);
  listView1_->setStyleSheet(QStringLiteral(
      "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"));
  listView1_->setHeaderLabels({QStringLiteral("Field Name"), QStringLiteral("Field Type"),
                               QStringLiteral("Size"), QStringLiteral("Field No."),
                               QStringLiteral("Required"), QStringLiteral("Precision")});
  const int widths[] = {150, 130, 75, 75, 60, 60};
  for (int i = 0; i < 6; ++i) listView1_->setColumnWidth(i, widths[i]);
  listView1_->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  listView1_->headerItem()->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
  v->addWidget(listView1_, 1);
}

void TfrmTableInfo::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  Fill();
}

void TfrmTableInfo::Fill() {
  listView1_->clear();
  edit1_->clear();
  edit2_->clear();
  TPdx& pdx = table_;
  const QString notice = TableNotice(pdx);
  notice_->setText(notice);
  notice_->setVisible(!notice.isEmpty());
  if (!pdx.Active()) return;
  edit1_->setText(QFileInfo(QFile::decodeName(QByteArray::fromStdString(pdx.TableName()))).fileName());
  edit1_->setCursorPosition(0);

  const std::vector<TPdxFieldInfo>& info = pdx.FieldInfo();
  const std::vector<TFieldDef>& defs = pdx.FieldDefs();
  QStringList keys;
  int keyCount = pdx.Header().PrimaryKeyFields();
  for (int i = 0; i < keyCount && i < pdx.FieldCount(); ++i) keys << NameText(pdx.Fields(i).FieldName());
  edit2_->setText(keys.join(QStringLiteral(", ")));
  edit2_->setCursorPosition(0);

  for (int i = 0; i < pdx.FieldCount(); ++i) {
    const TField& field = pdx.Fields(i);
    auto* item = new QTreeWidgetItem(listView1_);
    item->setText(0, NameText(field.FieldName()));
    bool haveInfo = static_cast<size_t>(i) < info.size();
    item->setText(1, haveInfo ? QString::fromLatin1(ParadoxTypeName(info[static_cast<size_t>(i)].Type))
                              : QString::fromLatin1(FieldTypeName(field.DataType())));
    if (haveInfo) item->setText(2, QString::number(info[static_cast<size_t>(i)].Size));
    item->setText(3, QString::number(field.FieldNo()));
    item->setText(4, QStringLiteral("No"));
    TFieldType t = field.DataType();
    if (t == ftBCD) {
      int precision = static_cast<size_t>(i) < defs.size() ? defs[static_cast<size_t>(i)].Precision : 0;
      item->setText(5, QString::number(precision > 0 ? precision : field.Precision()));
    } else if (t == ftFloat || t == ftCurrency) {
      item->setText(5, QString::number(field.Precision() > 0 ? field.Precision() : 15));
    }
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
  }
}

}  // namespace korvane
