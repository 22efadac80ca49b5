#include "export/wizard/ZelEWizStepFormat.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

namespace {

// The 24 x 24 pictures of the format categories: a page, a sheet, a database
// drum, a globe and a box of parts, drawn in white on the category view.
QPixmap CategoryPicture(int category) {
  QPixmap px(24, 24);
  px.fill(Qt::transparent);
  QPainter p(&px);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(Qt::white, 1.5);
  p.setPen(pen);
  switch (category) {
    case 0: {  // document
      QPolygonF page({QPointF(5, 2), QPointF(15, 2), QPointF(20, 7), QPointF(20, 22), QPointF(5, 22)});
      p.drawPolygon(page);
      p.drawPolyline(QPolygonF({QPointF(15, 2), QPointF(15, 7), QPointF(20, 7)}));
      for (int y = 11; y <= 19; y += 4) p.drawLine(QPointF(8, y), QPointF(17, y));
      break;
    }
    case 1:  // spreadsheet
      p.drawRect(QRectF(2.5, 4.5, 19, 15));
      for (int y = 9; y < 19; y += 5) p.drawLine(QPointF(2.5, y + 0.5), QPointF(21.5, y + 0.5));
      p.drawLine(QPointF(8.5, 4.5), QPointF(8.5, 19.5));
      p.drawLine(QPointF(15.5, 4.5), QPointF(15.5, 19.5));
      break;
    case 2:  // database
      p.drawEllipse(QRectF(4, 2.5, 16, 6));
      p.drawLine(QPointF(4, 5.5), QPointF(4, 18.5));
      p.drawLine(QPointF(20, 5.5), QPointF(20, 18.5));
      p.drawArc(QRectF(4, 15.5, 16, 6), 180 * 16, 180 * 16);
      p.drawArc(QRectF(4, 9.5, 16, 6), 180 * 16, 180 * 16);
      break;
    case 3:  // web
      p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
      p.drawEllipse(QRectF(8, 2.5, 8, 19));
      p.drawLine(QPointF(2.5, 12), QPointF(21.5, 12));
      p.drawLine(QPointF(4.5, 7), QPointF(19.5, 7));
      p.drawLine(QPointF(4.5, 17), QPointF(19.5, 17));
      break;
    default:  // other
      p.drawRect(QRectF(2.5, 2.5, 8, 8));
      p.drawRect(QRectF(13.5, 2.5, 8, 8));
      p.drawRect(QRectF(2.5, 13.5, 8, 8));
      p.drawEllipse(QRectF(13.5, 13.5, 8, 8));
      break;
  }
  return px;
}

}  // namespace

void TZelEWizStepFormat::Build(QWidget* page) {
  auto* lay = new QVBoxLayout(page);
  lay->setContentsMargins(0, 0, 0, 0);
  w_.scrCategories = new QScrollArea(page);
  w_.scrCategories->setObjectName("scrCategories");
  w_.grpTableType = new QGroupBox(Text(txTableType), page);
  lay->addWidget(w_.scrCategories);
  lay->addWidget(w_.grpTableType);
  w_.FormatGroup = new QButtonGroup(&w_);
  w_.FormatGroup->setExclusive(true);
  QObject::connect(w_.FormatGroup, &QButtonGroup::idToggled, &w_, [this](int id, bool on) {
    if (on && !Filling()) ApplyFormat(static_cast<TTableTypeExport>(id), true);
  });
}

void TZelEWizStepFormat::BuildView() {
  int checked = w_.FormatGroup->checkedId();
  for (QAbstractButton* b : w_.FormatGroup->buttons()) {
    w_.FormatGroup->removeButton(b);
    delete b;
  }
  delete w_.scrCategories->takeWidget();
  delete w_.grpTableType->layout();
  const TExportFormatTypes& offered = Owner().Formats;
  auto makeButton = [&](TTableTypeExport t, QWidget* parent) {
    auto* b = new QRadioButton(Text(ExportFormat(t).CaptionId()), parent);
    b->setObjectName(QString("rbFormat%1").arg(TableTypeName(t)));
    // A format without a writer in this build, or whose writer needs what is not
    // installed, is listed but cannot be chosen; its tooltip says why.
    const std::string why = FormatUnavailableReason(t);
    b->setEnabled(why.empty());
    if (!why.empty()) b->setToolTip(QString::fromStdString(why));
    w_.FormatGroup->addButton(b, t);
    return b;
  };
  const TZelECategories& cat = Owner().Categories;
  w_.scrCategories->setVisible(cat.ShowCategories);
  w_.grpTableType->setVisible(!cat.ShowCategories);
  if (cat.ShowCategories) {
    auto* view = new QWidget;
    view->setAutoFillBackground(true);
    QPalette pal = view->palette();
    pal.setColor(QPalette::Window, ToQColor(cat.BackColor));
    pal.setColor(QPalette::WindowText, ToQColor(cat.TextFont.Color));
    {
      // Formats that cannot be chosen: the text half way to the background.
      QColor text = ToQColor(cat.TextFont.Color), back = ToQColor(cat.BackColor);
      pal.setColor(QPalette::Disabled, QPalette::WindowText,
                   QColor((text.red() + back.red()) / 2, (text.green() + back.green()) / 2,
                          (text.blue() + back.blue()) / 2));
    }
    view->setPalette(pal);
    QFont textFont = ToQFont(cat.TextFont);
    textFont.setPointSize(std::max(9, QApplication::font().pointSize()));
    struct Block {
      const char* name;
      const TExportFormatTypes* formats;
    };
    const Block blocks[] = {{"Documents", &cat.DocumentFormats},
                            {"Spreadsheets/Workbooks", &cat.SpreadsheetFormats},
                            {"Databases", &cat.DatabaseFormats},
                            {"WEB publishing", &cat.WEBFormats},
                            {"Other", &cat.OtherFormats}};
    const int viewHeight = w_.Pages->minimumHeight() - 8;
    int x = 6, y = 6, columnWidth = 0;
    for (int bi = 0; bi < 5; ++bi) {
      std::vector<TTableTypeExport> list;
      for (int t = 0; t < kTableTypeCount; ++t) {
        auto tt = static_cast<TTableTypeExport>(t);
        if (blocks[bi].formats->Has(tt) && offered.Has(tt)) list.push_back(tt);
      }
      if (list.empty()) continue;
      int blockHeight = 22 + std::max(24, static_cast<int>(list.size()) * 20) + 10;
      if (y > 6 && y + blockHeight > viewHeight) {
        x += columnWidth + 27;
        y = 6;
        columnWidth = 0;
      }
      auto* header = new QLabel(" " + QString(blocks[bi].name), view);
      header->setAutoFillBackground(true);
      QPalette hp = header->palette();
      hp.setColor(QPalette::Window, QColor(0x31, 0x6A, 0xC5));
      hp.setColor(QPalette::WindowText, Qt::white);
      header->setPalette(hp);
      QFont hf = header->font();
      hf.setBold(true);
      header->setFont(hf);
      header->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
      header->setGeometry(x, y, 175, 18);
      auto* pic = new QLabel(view);
      pic->setPixmap(CategoryPicture(bi));
      pic->setGeometry(x, y + 22, 24, 24);
      int width = 175;
      int ry = y + 22;
      for (TTableTypeExport t : list) {
        QRadioButton* b = makeButton(t, view);
        b->setFont(textFont);
        b->setPalette(pal);
        b->adjustSize();
        b->move(x + 30, ry);
        width = std::max(width, 30 + b->width());
        ry += 20;
      }
      columnWidth = std::max(columnWidth, width);
      y += blockHeight;
    }
    view->resize(x + columnWidth + 10, viewHeight);
    view->setMinimumSize(view->size());
    w_.scrCategories->setWidget(view);
    w_.scrCategories->setWidgetResizable(true);
    // The page is as wide as the blocks (up to a limit), so that no format is cut off.
    const int frame = 2 * w_.scrCategories->frameWidth();
    w_.scrCategories->setMinimumWidth(std::min(view->width() + frame, 900));
  } else {
    std::vector<TTableTypeExport> list;
    for (int t = 0; t < kTableTypeCount; ++t)
      if (offered.Has(static_cast<TTableTypeExport>(t))) list.push_back(static_cast<TTableTypeExport>(t));
    auto* g = new QGridLayout(w_.grpTableType);
    int columns = list.size() < 6 ? 1 : 2;
    int rows = (static_cast<int>(list.size()) + columns - 1) / columns;
    for (size_t k = 0; k < list.size(); ++k)
      g->addWidget(makeButton(list[k], w_.grpTableType), static_cast<int>(k) % rows, static_cast<int>(k) / rows);
  }
  if (checked >= 0 && w_.FormatGroup->button(checked)) {
    SetFilling(true);
    w_.FormatGroup->button(checked)->setChecked(true);
    SetFilling(false);
  }
}

void TZelEWizStepFormat::Load(const TZelEWizardDlg& o) {
  if (QRadioButton* b = w_.FormatButton(o.TableType())) b->setChecked(true);
}

void TZelEWizStepFormat::Store(TZelEWizardDlg& o) { o.SetTableType(SelectedFormat()); }

void TZelEWizStepFormat::ApplyAccess(const TZelEUserAccess& ua) {
  const bool categories = Owner().Categories.ShowCategories;
  w_.scrCategories->setVisible(ua.TableType != erDisabled && categories);
  w_.grpTableType->setVisible(ua.TableType != erDisabled && !categories);
  w_.scrCategories->setEnabled(ReadWrite(ua.TableType));
  w_.grpTableType->setEnabled(ReadWrite(ua.TableType));
}

// The format buttons are enabled by what the build has, not by the chosen format.
void TZelEWizStepFormat::UpdateEnabled(TTableTypeExport, const TZelEUserAccess&) {}

bool TZelEWizStepFormat::Visited(TTableTypeExport, const TZelEUserAccess& ua) const {
  return ReadWrite(ua.TableType);
}

}  // namespace korvane
