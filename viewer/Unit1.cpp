#include "viewer/Unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "platform/qt/ZelEQtServices.h"
#include "export/wizard/ZelEWiz.h"
#include "platform/qt/ui.h"
#include "engine/language.h"
#include "platform/cpdetect.h"
#include "platform/textcodec.h"
#include "report/RvoListBuilder.h"
#include "report/qt/RvoPreview.h"
#include "report/qt/RvoQtCanvas.h"
#include "report/qt/RvoQtPrinter.h"
#include "viewer/DBGrid.h"
#include "viewer/DataControls.h"
#include "viewer/Icons.h"
#include "viewer/Unit9.h"
#include "viewer/frRecordView.h"
#include "viewer/frSearch.h"
#include "viewer/frSearchValue.h"
#include "viewer/frTableInfo.h"

#ifndef KORVANE_SOURCE_DIR
#define KORVANE_SOURCE_DIR ""
#endif

namespace korvane {

namespace {

const char kCaption[] = "Korvane (beta)";

// Bytes as lower-case hexadecimal digits, two per byte, as `dump` writes binary values.
std::string BytesToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(bytes.size() * 2, '0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[2 * i] = kDigits[b >> 4];
    out[2 * i + 1] = kDigits[b & 15];
  }
  return out;
}

// Local 8-bit file names: what the file system and the table engine take.
std::string ToFileName(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromFileName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

// A label that opens a document when clicked: bold underlined Verdana, 13 pixels,
// RGB (0x41, 0x66, 0x85), transparent, hand cursor.
class TLinkLabel : public QLabel {
 public:
  TLinkLabel(const QString& text, std::function<void()> onClick, QWidget* parent)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    QFont f(QStringLiteral("Verdana"));
    f.setPixelSize(13);
    f.setBold(true);
    f.setUnderline(true);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0x41, 0x66, 0x85));
    setPalette(pal);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick_) onClick_();
  }

 private:
  std::function<void()> onClick_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowIcon(AppIcon());
  QFont f(QStringLiteral("Tahoma"));
  f.setPixelSize(11);
  setFont(f);

  pdx1_.SetEncodingMemo(true);
  // A table whose block chain is broken opens with what can be found (a banner says so).
  pdx1_.SetSalvage(true);
  pdx1_.FilterOptions.CaseInsensitive = true;
  pdx1_.FilterOptions.NoPartialCompare = true;
  // Table text reaches the windows as UTF-8, decoded from the table's code page
  // (or the one chosen in View > Encoding).
  pdx1_.OnEncode = [this](TDataSet&, const TField&, const std::string& text) {
    int cp = EffectiveCodePage();
    return cp ? DecodeToUtf8(cp, text) : text;
  };
  SetNameDecoder([this](const std::string& raw) {
    int cp = EffectiveCodePage();
    return cp ? DecodeToUtf8(cp, raw) : raw;
  });
  dataSource1_.SetDataSet(&pdx1_);

  BuildMenus();
  BuildToolBar();
  BuildCentral();
  SetupExportWizard();
  resize(957, 522);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(width() / 2, height() / 2));
  }

  // The secondary windows, created once in this order and hidden until used.
  // Each gets the table, the data source and the grid's columns it works on;
  // the value search brings the found record into the grid's view.
  frmSearch_ = new TfrmSearch(this);
  frmTableInfo_ = new TfrmTableInfo(pdx1_, this);
  frmColumns_ = new TfrmColumns(pdx1_, gridColumns_, this);
  frmRecordView_ = new TfrmRecordView(pdx1_, dataSource1_, gridColumns_, this);
  frmSearchValue_ = new TfrmSearchValue(pdx1_, gridColumns_, [this] {
    dbGrid1_->FollowCursor();
    dbGrid1_->setFocus();
  }, this);
}

TForm1::~TForm1() {
  zelEWizardDlg1_.reset();
  // The windows and controls bound to DataSource1 go before it does.
  delete frmSearchValue_;
  delete frmRecordView_;
  delete frmColumns_;
  delete frmTableInfo_;
  delete frmSearch_;
  delete takeCentralWidget();
  SetNameDecoder(nullptr);
  pdx1_.Close();
}

QAction* TForm1::AddAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                           void (TForm1::*slot)()) {
  auto* a = new QAction(caption, this);
  a->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) a->setShortcut(key);
  if (slot)
    connect(a, &QAction::triggered, this, [this, slot] { qtui::Guarded(this, [&] { (this->*slot)(); }); });
  if (menu) menu->addAction(a);
  return a;
}

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  AddAction(file, "Open1", QStringLiteral("Open"), QKeySequence(Qt::Key_F2), &TForm1::Open1Click);
  AddAction(file, "CloseDatabase1", QStringLiteral("Close Database"), {}, nullptr);
  file->addSeparator();
  AddAction(file, "Print1", QStringLiteral("Print"), QKeySequence(Qt::CTRL | Qt::Key_P), &TForm1::ToolButton4Click);
  AddAction(file, "PrintPreview1", QStringLiteral("Print Preview"), {}, nullptr)->setVisible(false);
  AddAction(file, "PrintTable1", QStringLiteral("Print Table"), {}, nullptr)->setVisible(false);
  // The toolbar's commands, also reachable from the keyboard and without the toolbar (/FULL).
  AddAction(file, "Export1", QStringLiteral("Export"), {}, &TForm1::ToolButton5Click)
      ->setToolTip(QStringLiteral("Export Data"));
  file->addSeparator();
  AddAction(file, "Exit1", QStringLiteral("Exit"), QKeySequence(Qt::Key_F10), &TForm1::Exit1Click);

  QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("Edit1"));
  // The command object the first entry executes.
  AddAction(nullptr, "CopyColToClip1", QStringLiteral("CopyColToClip"), {}, &TForm1::CopyColToClip1Execute);
  AddAction(edit, "Copycolumntoclipboard1", QStringLiteral("Copy column to clipboard"), {},
            &TForm1::CopyColToClip1Execute);
  AddAction(edit, "Copyrowtoclipboard1", QStringLiteral("Copy row to clipboard"), {},
            &TForm1::CopyRowToClip1Click);
  AddAction(edit, "Copyfieldvaluetoclipboard1", QStringLiteral("Copy field value to clipboard"), {},
            &TForm1::CopyFieldToClip1Click);
  edit->addSeparator();

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("View1"));
  AddAction(view, "Refresh1", QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5), &TForm1::Refresh1Click);
  AddAction(view, "ShowHideColumns1", QStringLiteral("Show / Hide Columns"), QKeySequence(Qt::Key_F8),
            &TForm1::ShowHideColumns1Click);
  AddAction(view, "AdjustALLcolumnwidths1", QStringLiteral("Adjust ALL column widths"),
            QKeySequence(Qt::Key_F11), &TForm1::ToolButton13Click);
  AddAction(view, "GotoColumn1", QStringLiteral("Goto Column"), QKeySequence(Qt::Key_F6), nullptr)
      ->setVisible(false);
  AddAction(view, "FormView1", QStringLiteral("Form"), {}, &TForm1::ToolButton7Click)
      ->setToolTip(QStringLiteral("Form View"));
  view->addSeparator();
  QMenu* encoding = view->addMenu(QStringLiteral("Encoding"));
  encoding->setObjectName(QStringLiteral("Encoding1"));
  BuildEncodingMenu(encoding);

  QMenu* search = bar->addMenu(QStringLiteral("&Search"));
  search->setObjectName(QStringLiteral("Search1"));
  AddAction(search, "SearchValue1", QStringLiteral("Search Value"), QKeySequence(Qt::CTRL | Qt::Key_F),
            &TForm1::SearchValue1Click);

  QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
  tools->setObjectName(QStringLiteral("Tools1"));
  AddAction(tools, "RecordCount1", QStringLiteral("Record Count"), {}, &TForm1::RecordCount1Click);
  AddAction(tools, "RecordSize1", QStringLiteral("Record Size"), {}, &TForm1::RecordSize1Click);
  AddAction(tools, "TblInfo1", QStringLiteral("Tbl Info"), {}, &TForm1::TblInfoClick)
      ->setToolTip(QStringLiteral("Table Info"));
  tools->addSeparator();
  AddAction(tools, "ShowProgramLocation1", QStringLiteral("Show Program Location"), {},
            &TForm1::ShowProgramLocation1Click);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  AddAction(help, "Homepage1", QStringLiteral("Homepage"), {}, &TForm1::Homepage1Click);
  AddAction(help, "Donations1", QStringLiteral("Donations"), {}, &TForm1::Donations1Click);
  AddAction(help, "About1", QStringLiteral("About"), {}, nullptr)->setVisible(false);
}

void TForm1::BuildEncodingMenu(QMenu* menu) {
  encodingGroup_ = new QActionGroup(this);
  encodingGroup_->setExclusive(true);
  auto add = [&](int cp, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QStringLiteral("Encoding_%1").arg(cp));
    a->setCheckable(true);
    a->setData(cp);
    a->setChecked(cp == codePageOverride_);
    encodingGroup_->addAction(a);
    connect(a, &QAction::triggered, this,
            [this, cp] { qtui::Guarded(this, [&] { SetSourceCodePage(cp); }); });
  };
  add(0, QStringLiteral("Automatic (from the table)"));
  menu->addSeparator();
  for (const auto& [cp, label] : CommonCodePages()) add(cp, QString::fromStdString(label));
  SyncEncodingMenu();
}

void TForm1::SyncEncodingMenu() {
  if (!encodingGroup_) return;
  // The menu shows the choice of the open table and has nothing to act on without one.
  const bool open = pdx1_.Active();
  const QList<QAction*> actions = encodingGroup_->actions();
  for (QAction* a : actions) {
    a->setChecked(a->data().toInt() == codePageOverride_);
    a->setEnabled(open);
  }
}

void TForm1::BuildToolBar() {
  coolBar1_ = new QToolBar(QStringLiteral("CoolBar1"), this);
  coolBar1_->setObjectName(QStringLiteral("CoolBar1"));
  coolBar1_->setMovable(false);
  coolBar1_->setFloatable(false);
  coolBar1_->setIconSize(QSize(32, 32));
  coolBar1_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  coolBar1_->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, coolBar1_);

  struct TButton {
    const char* name;
    const char* caption;
    const char* hint;
    TToolIcon icon;
    void (TForm1::*slot)();
    bool visible;
    bool enabled;
  };
  const TButton buttons[] = {
      {"ToolButton1", "Open", "Open Database", TToolIcon::Open, &TForm1::Open1Click, true, true},
      {"ToolButton2", "Close", "Close", TToolIcon::Close, &TForm1::CloseTabClick, true, true},
      {"ToolButton3", "Refresh", "Refresh", TToolIcon::Refresh, &TForm1::Refresh1Click, true, true},
      {nullptr, nullptr, nullptr, TToolIcon::Open, nullptr, true, true},
      {"ToolButton4", "Print", "Print", TToolIcon::Print, &TForm1::ToolButton4Click, true, true},
      {"ToolButton5", "Export", "Export Data", TToolIcon::Export, &TForm1::ToolButton5Click, true, true},
      {nullptr, nullptr, nullptr, TToolIcon::Open, nullptr, true, true},
      {"ToolButton7", "Form", "Form View", TToolIcon::Form, &TForm1::ToolButton7Click, true, true},
      {"ToolButton8", "Columns", "Columns", TToolIcon::Columns, &TForm1::ShowHideColumns1Click, true, true},
      {"ToolButton13", "Resize All", "Resize All", TToolIcon::ResizeAll, &TForm1::ToolButton13Click, true,
       true},
      {"ToolButton9", "Tbl Info", "Table Info", TToolIcon::TableInfo, &TForm1::TblInfoClick, false, true},
      {"ToolButton10", "Search", "Search", TToolIcon::Search, &TForm1::SearchClick, false, true},
      {"ToolButton11", "+Table", "+Table", TToolIcon::Open, nullptr, false, true},
      {"ToolButton12", "Import", "Import", TToolIcon::Open, nullptr, false, true},
      {nullptr, nullptr, nullptr, TToolIcon::Open, nullptr, true, true},
      {"ToolButton6", "Exit", "Exit", TToolIcon::Exit, &TForm1::Exit1Click, true, true},
  };
  for (const TButton& b : buttons) {
    if (!b.name) {
      coolBar1_->addSeparator();
      continue;
    }
    auto* a = new QAction(ToolIcon(b.icon), QString::fromLatin1(b.caption), this);
    a->setObjectName(QString::fromLatin1(b.name) + QStringLiteral("Action"));
    a->setToolTip(QString::fromLatin1(b.hint));
    a->setEnabled(b.enabled);
    if (b.slot) {
      auto slot = b.slot;
      connect(a, &QAction::triggered, this, [this, slot] { qtui::Guarded(this, [&] { (this->*slot)(); }); });
    }
    coolBar1_->addAction(a);
    if (auto* tb = qobject_cast<QToolButton*>(coolBar1_->widgetForAction(a))) {
      tb->setObjectName(QString::fromLatin1(b.name));
      tb->setFixedSize(52, 52);
    }
    a->setVisible(b.visible);
  }
}

void TForm1::BuildCentral() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("Panel1"));
  auto* v = new QVBoxLayout(central);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  tabControl1_ = new QTabBar(central);
  tabControl1_->setObjectName(QStringLiteral("TabControl1"));
  tabControl1_->setExpanding(false);
  tabControl1_->setDrawBase(true);
  tabControl1_->setUsesScrollButtons(true);
  tabControl1_->setStyleSheet(QStringLiteral("QTabBar::tab { height: 21px; padding: 0 8px; }"));
  connect(tabControl1_, &QTabBar::currentChanged, this, [this](int) {
    if (!selectingTab_) qtui::Guarded(this, [&] { TabControl1Change(); });
  });
  // Clicking the tab that is already selected while its table is not open (after
  // closing another tab) opens it: the strip always shows one tab as selected.
  connect(tabControl1_, &QTabBar::tabBarClicked, this, [this](int index) {
    if (index >= 0 && index == tabControl1_->currentIndex() && index != openTab_)
      qtui::Guarded(this, [&] { TabControl1Change(); });
  });
  v->addWidget(tabControl1_);

  // Title strip: product name, navigator, Delete, "Show Field Panel".
  auto* top = new QWidget(central);
  top->setObjectName(QStringLiteral("Panel2"));
  top->setFixedHeight(34);
  top->setAutoFillBackground(true);
  QPalette tp = top->palette();
  tp.setColor(QPalette::Window, QColor(0xE4, 0xEA, 0xF0));
  top->setPalette(tp);
  auto* th = new QHBoxLayout(top);
  th->setContentsMargins(8, 3, 8, 3);
  auto* product = new QLabel(QStringLiteral("Korvane"), top);
  product->setObjectName(QStringLiteral("Label3"));
  QFont pf(QStringLiteral("Verdana"));
  pf.setPixelSize(16);
  pf.setBold(true);
  product->setFont(pf);
  QPalette pp = product->palette();
  pp.setColor(QPalette::WindowText, QColor(0x41, 0x66, 0x85));
  product->setPalette(pp);
  th->addWidget(product);
  th->addSpacing(16);
  dbNavigator1_ = new TDBNavigator(top);
  dbNavigator1_->setObjectName(QStringLiteral("DBNavigator1"));
  dbNavigator1_->setFixedSize(120, 26);
  dbNavigator1_->SetDataSource(&dataSource1_);
  th->addWidget(dbNavigator1_);
  th->addSpacing(8);
  button8_ = new QPushButton(QStringLiteral("Delete"), top);
  button8_->setObjectName(QStringLiteral("Button8"));
  button8_->setEnabled(false);
  connect(button8_, &QPushButton::clicked, this, [this] { qtui::Guarded(this, [&] { Button8Click(); }); });
  th->addWidget(button8_);
  th->addStretch(1);
  checkBox1_ = new QCheckBox(QStringLiteral("Show Field Panel"), top);
  checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
  connect(checkBox1_, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
  th->addWidget(checkBox1_);
  v->addWidget(top);

  // The grid with the field panel at its right behind a splitter.
  splitter2_ = new QSplitter(Qt::Horizontal, central);
  splitter2_->setObjectName(QStringLiteral("Splitter2"));
  splitter2_->setHandleWidth(4);
  splitter2_->setChildrenCollapsible(false);
  splitter2_->setStyleSheet(QStringLiteral("QSplitter#Splitter2::handle { background: #A5BDD3; }"));
  dbGrid1_ = new TDBGrid(gridColumns_, splitter2_);
  dbGrid1_->setObjectName(QStringLiteral("DBGrid1"));
  QFont gf(QStringLiteral("Tahoma"));
  gf.setPixelSize(11);
  dbGrid1_->setFont(gf);
  dbGrid1_->SetDataSource(&dataSource1_);
  splitter2_->addWidget(dbGrid1_);

  memoPanel_ = new QWidget(splitter2_);
  memoPanel_->setObjectName(QStringLiteral("MemoPanel"));
  auto* mv = new QVBoxLayout(memoPanel_);
  mv->setContentsMargins(0, 0, 0, 0);
  pageControl1_ = new QTabWidget(memoPanel_);
  pageControl1_->setObjectName(QStringLiteral("PageControl1"));
  mv->addWidget(pageControl1_);

  auto* memoPage = new QWidget;
  memoPage->setObjectName(QStringLiteral("TabSheet1"));
  auto* mpv = new QVBoxLayout(memoPage);
  mpv->setContentsMargins(0, 0, 0, 0);
  mpv->setSpacing(0);
  auto* memoStrip = new QWidget(memoPage);
  memoStrip->setFixedHeight(35);
  auto* msh = new QHBoxLayout(memoStrip);
  msh->setContentsMargins(6, 4, 6, 4);
  msh->addWidget(new QLabel(QStringLiteral("Memo Field"), memoStrip));
  comboBox1_ = new TDropDownComboBox(memoStrip);
  comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
  comboBox1_->setEditable(false);
  comboBox1_->setFixedWidth(145);
  connect(comboBox1_, &TDropDownComboBox::aboutToShowPopup, this, [this] { ComboBox1DropDown(); });
  connect(comboBox1_, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
  msh->addWidget(comboBox1_);
  msh->addStretch(1);
  mpv->addWidget(memoStrip);
  dbMemo1_ = new TDBMemo(memoPage);
  dbMemo1_->setObjectName(QStringLiteral("DBMemo1"));
  dbMemo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  dbMemo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  dbMemo1_->SetDataSource(&dataSource1_);
  mpv->addWidget(dbMemo1_, 1);
  pageControl1_->addTab(memoPage, QStringLiteral("Memo Field"));

  auto* bitmapPage = new QWidget;
  bitmapPage->setObjectName(QStringLiteral("TabSheet2"));
  auto* bpv = new QVBoxLayout(bitmapPage);
  bpv->setContentsMargins(0, 0, 0, 0);
  bpv->setSpacing(0);
  auto* bitmapStrip = new QWidget(bitmapPage);
  bitmapStrip->setFixedHeight(41);
  auto* bsh = new QHBoxLayout(bitmapStrip);
  bsh->setContentsMargins(6, 4, 6, 4);
  bsh->addWidget(new QLabel(QStringLiteral("Bitmap Field"), bitmapStrip));
  comboBox3_ = new TDropDownComboBox(bitmapStrip);
  comboBox3_->setObjectName(QStringLiteral("ComboBox3"));
  comboBox3_->setEditable(true);
  comboBox3_->setInsertPolicy(QComboBox::NoInsert);
  comboBox3_->setFixedWidth(145);
  connect(comboBox3_, &TDropDownComboBox::aboutToShowPopup, this, [this] { ComboBox3DropDown(); });
  connect(comboBox3_, &QComboBox::currentTextChanged, this, [this](const QString&) { ComboBox3Change(); });
  bsh->addWidget(comboBox3_);
  bsh->addStretch(1);
  bpv->addWidget(bitmapStrip);
  dbImage1_ = new TDBImage(bitmapPage);
  dbImage1_->setObjectName(QStringLiteral("DBImage1"));
  dbImage1_->SetDataSource(&dataSource1_);
  bpv->addWidget(dbImage1_, 1);
  auto* buttonStrip = new QWidget(bitmapPage);
  buttonStrip->setFixedHeight(41);
  auto* bbh = new QHBoxLayout(buttonStrip);
  bbh->setContentsMargins(6, 6, 6, 6);
  auto* load = new QPushButton(QStringLiteral("Load Bitmap"), buttonStrip);
  load->setObjectName(QStringLiteral("Button1"));
  load->setEnabled(false);  // tables are read-only
  auto* save = new QPushButton(QStringLiteral("Save Bitmap"), buttonStrip);
  save->setObjectName(QStringLiteral("Button2"));
  connect(save, &QPushButton::clicked, this, [this] { qtui::Guarded(this, [&] { SaveBitmapClick(); }); });
  bbh->addWidget(load);
  bbh->addWidget(save);
  bbh->addStretch(1);
  bpv->addWidget(buttonStrip);
  pageControl1_->addTab(bitmapPage, QStringLiteral("Bitmap Field"));

  auto* jpgPage = new QWidget;
  jpgPage->setObjectName(QStringLiteral("TabSheet3"));
  pageControl1_->addTab(jpgPage, QStringLiteral("JPG"));
  pageControl1_->setTabVisible(2, false);
  pageControl1_->setCurrentIndex(0);

  splitter2_->addWidget(memoPanel_);
  splitter2_->setStretchFactor(0, 1);
  splitter2_->setStretchFactor(1, 0);
  memoPanel_->hide();
  splitter2_->setSizes({957 - 269, 269});
  damageBanner_ = new QLabel(central);
  damageBanner_->setObjectName(QStringLiteral("DamageBanner"));
  damageBanner_->setTextFormat(Qt::PlainText);
  damageBanner_->setWordWrap(true);
  damageBanner_->setStyleSheet(
      QStringLiteral("background: #fff3cd; color: #664d03; border-bottom: 1px solid #e0c36a; padding: 4px 8px;"));
  damageBanner_->hide();
  v->addWidget(damageBanner_);
  codePageBar_ = new QWidget(central);
  codePageBar_->setObjectName(QStringLiteral("CodePageBar"));
  codePageBar_->setStyleSheet(QStringLiteral("#CodePageBar { background: #e7f1ff; border-bottom: 1px solid #9ec5fe; }"));
  {
    auto* h = new QHBoxLayout(codePageBar_);
    h->setContentsMargins(8, 3, 8, 3);
    codePageText_ = new QLabel(codePageBar_);
    codePageText_->setTextFormat(Qt::PlainText);
    codePageUse_ = new QPushButton(codePageBar_);
    codePageUse_->setObjectName(QStringLiteral("CodePageUse"));
    codePageKeep_ = new QPushButton(QStringLiteral("Keep"), codePageBar_);
    codePageKeep_->setObjectName(QStringLiteral("CodePageKeep"));
    h->addWidget(codePageText_, 1);
    h->addWidget(codePageUse_);
    h->addWidget(codePageKeep_);
    connect(codePageUse_, &QPushButton::clicked, this, [this] {
      qtui::Guarded(this, [&] {
        if (openTab_ < 0 || openTab_ >= static_cast<int>(openTables_.size())) return;
        const TPDXInfo& info = openTables_[static_cast<size_t>(openTab_)];
        RememberCodePage(info.FullPath, info.Guess);
        SetSourceCodePage(info.Guess);
      });
    });
    connect(codePageKeep_, &QPushButton::clicked, this, [this] {
      if (openTab_ < 0 || openTab_ >= static_cast<int>(openTables_.size())) return;
      RememberCodePage(openTables_[static_cast<size_t>(openTab_)].FullPath, -1);
      codePageBar_->hide();
    });
  }
  codePageBar_->hide();
  v->addWidget(codePageBar_);
  v->addWidget(splitter2_, 1);

  // Status strip: file name, record count and the two link labels.
  auto* bottom = new QWidget(central);
  bottom->setObjectName(QStringLiteral("Panel3"));
  bottom->setFixedHeight(24);
  auto* bh = new QHBoxLayout(bottom);
  bh->setContentsMargins(8, 2, 8, 2);
  bh->setSpacing(16);
  label2_ = new QLabel(QStringLiteral("Filename:"), bottom);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label5_ = new QLabel(QStringLiteral("Record Count:"), bottom);
  label5_->setObjectName(QStringLiteral("Label5"));
  auto* label1 = new TLinkLabel(
      QStringLiteral("VIEWER.md"), [this] { OpenDocument(QStringLiteral("VIEWER.md")); }, bottom);
  label1->setObjectName(QStringLiteral("Label1"));
  label1->setToolTip(QStringLiteral("Open the user guide"));
  auto* label6 = new TLinkLabel(
      QStringLiteral("README.md"), [this] { OpenDocument(QStringLiteral("README.md")); }, bottom);
  label6->setObjectName(QStringLiteral("Label6"));
  label6->setToolTip(QStringLiteral("Open the project's read-me"));
  bh->addWidget(label1);
  bh->addWidget(label6);
  labelNotice_ = new QLabel(bottom);
  labelNotice_->setObjectName(QStringLiteral("LabelNotice"));
  labelNotice_->setTextFormat(Qt::PlainText);
  labelNotice_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
  labelNotice_->hide();
  bh->addWidget(label2_, 1);
  bh->addWidget(labelNotice_);
  bh->addWidget(label5_);
  v->addWidget(bottom);

  setCentralWidget(central);
}

// ---------------------------------------------------------------------------------------------
// Opening, tabs, closing

void TForm1::OpenFromCommandLine(const QStringList& args) {
  if (args.isEmpty()) return;
  QString given = args[0];
  QString path = given;
  // The desktop may hand over a file:// address.
  if (given.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
    path = QUrl(given).toLocalFile();
    given = path;
  }
  if (path.isEmpty() || !QFileInfo(path).isFile()) return;
  codePageOverride_ = 0;
  try {
    pdx1_.Close();
    pdx1_.SetTableName(ToFileName(path));
    pdx1_.Open();
  } catch (const std::exception& e) {
    // The window stays usable: no tab, no table, an empty grid.
    try {
      pdx1_.Close();
    } catch (const std::exception&) {
    }
    qtui::ShowException(this, QString::fromUtf8(e.what()));
    return;
  }
  openTables_.push_back({path, QFileInfo(path).fileName()});
  AddTab(given);
  openTab_ = tabControl1_->count() - 1;
  setWindowTitle(QStringLiteral("Korvane - ") + given);
  UpdateTableLabels();
  button8_->setEnabled(true);
  if (args.size() > 1 && args[1].toUpper() == QStringLiteral("/FULL")) {
    coolBar1_->hide();
    setWindowState(windowState() | Qt::WindowMaximized);
  }
}

void TForm1::AddTab(const QString& caption) {
  selectingTab_ = true;
  int index = tabControl1_->addTab(caption);
  tabControl1_->setTabToolTip(index, caption);
  tabControl1_->setCurrentIndex(index);
  selectingTab_ = false;
}

bool TForm1::OpenPDX(const QString& path) {
  bool ok = false;
  pdx1_.Close();
  pdx1_.SetTableName(ToFileName(path));
  try {
    pdx1_.Open();
    ok = true;
    button8_->setEnabled(true);
  } catch (const std::exception& e) {
    try {
      pdx1_.Close();
    } catch (const std::exception&) {
    }
    qtui::ShowMessage(this, QStringLiteral("Error openning DBF File with: ") + QString::fromUtf8(e.what()));
  }
  setWindowTitle(pdx1_.Active() ? QString::fromLatin1(kCaption) + QStringLiteral(" - ") + path
                                : QString::fromLatin1(kCaption));
  UpdateTableLabels();
  if (pdx1_.Active()) pdx1_.Resync();
  return ok;
}

void TForm1::UpdateTableLabels() {
  label2_->setText(QStringLiteral("Filename: ") + FromFileName(pdx1_.TableName()));
  label5_->setText(QStringLiteral("Count: ") + QString::number(pdx1_.Active() ? pdx1_.RecordCount() : 0));
  const QString notice = TableNotice(pdx1_);
  labelNotice_->setText(notice);
  labelNotice_->setToolTip(notice);
  labelNotice_->setVisible(!notice.isEmpty());
  UpdateBars();
  if (encodingGroup_) {
    const QList<QAction*> actions = encodingGroup_->actions();
    for (QAction* a : actions) {
      if (a->data().toInt() != 0) continue;
      QString caption = QStringLiteral("Automatic (from the table)");
      if (pdx1_.Active())
        caption = QStringLiteral("Automatic (from the table: %1)")
                      .arg(QString::fromStdString(CodePageLabel(SourceCodePage(pdx1_, 0))));
      a->setText(caption);
    }
  }
  SyncEncodingMenu();
}

void TForm1::UpdateBars() {
  if (!damageBanner_) return;
  const std::string damage = pdx1_.Active() ? pdx1_.SalvageSummary() : std::string();
  damageBanner_->setText(QString::fromStdString(damage));
  damageBanner_->setVisible(!damage.empty());
  codePageBar_->hide();
  if (!pdx1_.Active() || pdx1_.Encrypted() || openTab_ < 0 || openTab_ >= static_cast<int>(openTables_.size())) return;
  TPDXInfo& info = openTables_[static_cast<size_t>(openTab_)];
  if (info.CodePage != 0) return;  // chosen in View > Encoding
  const int remembered = RememberedCodePage(info.FullPath);
  if (remembered != 0) {
    if (remembered > 0 && codePageOverride_ != remembered) {
      info.CodePage = remembered;
      codePageOverride_ = remembered;
      pdx1_.Resync();
      SyncEncodingMenu();
    }
    return;
  }
  const int header = SourceCodePage(pdx1_, 0);
  if (info.Guess < 0) {
    info.Guess = 0;
    try {
      const int driver = pdx1_.LanguageIndex() >= 1 ? LanguageDrivers[pdx1_.LanguageIndex()].CodePageNumber : 0;
      const TCodePageGuess g = GuessCodePage(pdx1_.TableName(), header, driver);
      if (g.Verdict == TCodePageGuess::cgBetter) info.Guess = g.CodePage;
    } catch (const std::exception&) {
    }
  }
  if (info.Guess <= 0) return;
  codePageText_->setText(QStringLiteral("This table's text looks like %1, not %2: use %3?")
                             .arg(QString::fromStdString(CodePageLabel(info.Guess)),
                                  QString::fromStdString(CodePageLabel(header)), QString::number(info.Guess)));
  codePageUse_->setText(QStringLiteral("Use %1").arg(info.Guess));
  codePageBar_->show();
}

namespace {
QString CodePageStateFile() {
  QString dir = qEnvironmentVariable("XDG_STATE_HOME");
  if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.local/state");
  return dir + QStringLiteral("/korvane/codepages");
}
}  // namespace

int RememberedCodePage(const QString& path) {
  QFile f(CodePageStateFile());
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QString key = QFileInfo(path).absoluteFilePath();
  int found = 0;
  QTextStream in(&f);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    const int tab = line.indexOf(QLatin1Char('\t'));
    if (tab > 0 && line.mid(tab + 1) == key) found = line.left(tab).toInt();
  }
  return found;
}

void RememberCodePage(const QString& path, int codePage) {
  const QString file = CodePageStateFile();
  QDir().mkpath(QFileInfo(file).path());
  const QString key = QFileInfo(path).absoluteFilePath();
  QStringList lines;
  {
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
      QTextStream in(&f);
      while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.mid(line.indexOf(QLatin1Char('\t')) + 1) != key) lines << line;
      }
    }
  }
  lines << QString::number(codePage) + QLatin1Char('\t') + key;
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly)) return;
  out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
  out.commit();
}

void TForm1::ShowDesignLabels() {
  if (damageBanner_) damageBanner_->hide();
  if (codePageBar_) codePageBar_->hide();
  setWindowTitle(QString::fromLatin1(kCaption));
  label2_->setText(QStringLiteral("Filename:"));
  label5_->setText(QStringLiteral("Record Count:"));
  labelNotice_->hide();
}

void TForm1::ResetMemoSide() {
  dbMemo1_->SetDataField({});
  dbMemo1_->SetDataSource(nullptr);
  dbMemo1_->SetDataSource(&dataSource1_);
  comboBox1_->clear();
}

void TForm1::Open1Click() {
  QString path = qtui::GetOpenFileName(this, QStringLiteral("Open"), QStringLiteral("Paradox Tables (*.db)"));
  if (path.isEmpty()) return;
  ResetMemoSide();
  openTables_.push_back({path, QFileInfo(path).fileName()});
  codePageOverride_ = 0;
  AddTab(openTables_.back().ShortName);
  openTab_ = tabControl1_->count() - 1;
  if (!OpenPDX(path)) {
    // A table that does not open leaves no tab, no record and an empty grid.
    selectingTab_ = true;
    tabControl1_->removeTab(tabControl1_->count() - 1);
    selectingTab_ = false;
    openTables_.pop_back();
    openTab_ = -1;
    ShowDesignLabels();
  }
}

void TForm1::TabControl1Change() {
  int index = tabControl1_->currentIndex();
  ResetMemoSide();
  if (index < 0 || index >= static_cast<int>(openTables_.size())) return;
  // Each table is read with its own choice from View > Encoding.
  codePageOverride_ = openTables_[static_cast<size_t>(index)].CodePage;
  openTab_ = OpenPDX(openTables_[static_cast<size_t>(index)].FullPath) ? index : -1;
}

void TForm1::CloseTabClick() {
  int index = tabControl1_->currentIndex();
  // Nothing to close: nothing happens, as for the other commands without a table.
  if (index < 0 || index >= static_cast<int>(openTables_.size())) return;
  openTables_.erase(openTables_.begin() + index);
  selectingTab_ = true;
  tabControl1_->removeTab(index);
  selectingTab_ = false;
  openTab_ = -1;
  ResetMemoSide();
  pdx1_.Close();
  codePageOverride_ = 0;
  ShowDesignLabels();
  SyncEncodingMenu();
}

void TForm1::Refresh1Click() {
  if (!pdx1_.Active()) return;
  pdx1_.Resync();
  pdx1_.Refresh();
}

void TForm1::Exit1Click() { close(); }

// ---------------------------------------------------------------------------------------------
// Windows

// ---------------------------------------------------------------------------------------------
// Export

void TForm1::SetupExportWizard() {
  exportServices_ = std::make_unique<TZelEQtServices>(this);
  zelEWizardDlg1_ = std::make_unique<TZelEWizardDlg>();
  TZelEWizardDlg& w = *zelEWizardDlg1_;
  w.SetServices(exportServices_.get());
  w.ParentWidget = this;
  // The grid's columns, in the grid's order, with the grid's hidden columns left
  // out: what the user sees is what is exported.
  w.ColumnSource = csDBGrid;
  w.DBGrid = &gridColumns_;
  w.DataSet = &pdx1_;
  w.DecodeName = [this](const std::string& raw) {
    int cp = EffectiveCodePage();
    return cp ? DecodeToUtf8(cp, raw) : raw;
  };
  w.Formats = TExportFormatTypes::All();
  w.Categories.TextFont.Bold = true;
  w.Categories.TextFont.Color = 0xFF00000E;  // the system's highlight-text colour
  w.RecordSeparator = "\r\n";
  w.Fixed = false;
  w.SetTableType(teText);
  w.AddTitle = false;
  w.CharacterSet = csANSI_WINDOWS;
  w.ExportStyle.SetStyle(esNormal);
  w.UserAccess.Specification = true;
  // An existing file is replaced only after the user agreed.
  w.ConfirmFileOverwrite = true;
  w.FilterName = "MS Word 97";
  w.DataFormats = TZelEDataFormats::MainWindowDefaults();
  // InitialDir stays empty: bare file names and the file dialog use the user's
  // documents folder, looked up when needed.
  w.FileName = UserDocumentsFolder() + "/ZelExport.TXT";
}

void TForm1::closeEvent(QCloseEvent* e) {
  if (zelEWizardDlg1_ && zelEWizardDlg1_->Busy()) {
    e->ignore();
    return;
  }
  QMainWindow::closeEvent(e);
}

void TForm1::ToolButton5Click() {
  TZelEWizardDlg& w = *zelEWizardDlg1_;
  // A second Export while the wizard or its run is open does nothing.
  if (w.Busy()) return;
  if (!pdx1_.Active()) {
    qtui::ShowMessage(this, QStringLiteral("Open a table to export it."));
    return;
  }
  w.Execute();
}

// The list report of the grid's visible columns, shown in the preview; the command
// returns when the preview is closed.
void TForm1::ToolButton4Click() {
  using namespace korvane::report;
  if (printing_ || !pdx1_.Active()) return;
  printing_ = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{printing_};

  std::vector<std::string> names;
  for (const TGridColumn& c : gridColumns_.Columns())
    if (c.Visible) names.push_back(c.FieldName);
  TRvoQtMetrics metrics;  // the screen's measures
  TRvoListBuilder builder(metrics, metrics.Dpi(), RvoMeasureIsUS());
  if (TRvoPaperSize paper = RvoDefaultPaper(); paper != TRvoPaperSize::Default) builder.PaperSize = paper;
  std::string title = QFile::encodeName(openTab_ >= 0 ? openTables_[openTab_].FullPath : QString()).toStdString();
  std::unique_ptr<TRvoRep> report = BuildListReport(builder, pdx1_, names, title);
  if (!report) return;
  // A header label takes the width of the grid column that shows its field, found
  // by name: moving a grid column does not reorder the fields.
  for (TRvoPrintable* p : report->AllPrintables()) {
    auto* label = dynamic_cast<TRvoLabel*>(p);
    if (!label || !pdx1_.FindField(label->Caption())) continue;
    const TField* field = pdx1_.FindField(label->Caption());
    for (const TGridColumn& c : gridColumns_.Columns()) {
      if (c.FieldName == field->FieldName()) {
        label->Width = report->PxToNative(c.Width);
        break;
      }
    }
  }

  TRvoPreviewJob job;
  // The run walks the dataset with the controls held still, then puts the cursor back.
  auto walk = [this, &report](TRvoPrinter& printer) {
    int recNo = pdx1_.RecNo();
    pdx1_.DisableControls();
    try {
      report->Run(printer);
    } catch (...) {
      pdx1_.SetRecNo(recNo);
      pdx1_.EnableControls();
      throw;
    }
    pdx1_.SetRecNo(recNo);
    pdx1_.EnableControls();
  };
  job.Run = walk;
  job.PrintAgain = [this, &report, walk](QPrinter& printer) {
    RvoPrintWithProgress(this, printer, report->ShowProgress, [&](TRvoDevicePrinter& dev) { walk(dev); });
  };
  job.SettingsToPrinter = [&report](QPrinter& printer) {
    printer.setCopyCount(report->PrinterSettings.Copies);
    printer.setPageOrientation(report->Page.Orientation == TRvoOrientation::poLandscape ? QPageLayout::Landscape
                                                                                       : QPageLayout::Portrait);
  };
  job.SettingsFromPrinter = [&report](const QPrinter& printer) {
    report->PrinterSettings.Copies = std::max(1, printer.copyCount());
    report->Page.Orientation = printer.pageLayout().orientation() == QPageLayout::Landscape
                                   ? TRvoOrientation::poLandscape
                                   : TRvoOrientation::poPortrait;
    bool range = printer.printRange() == QPrinter::PageRange;
    report->PrinterSettings.FirstPage = range ? printer.fromPage() : 0;
    report->PrinterSettings.LastPage = range ? printer.toPage() : 0;
  };
  RvoShowPreview(this, job);
}

void TForm1::ToolButton7Click() {
  if (!pdx1_.Active()) return;
  frmRecordView_->BuildRows();
}

void TForm1::ShowHideColumns1Click() {
  frmColumns_->show();
  frmColumns_->raise();
  frmColumns_->activateWindow();
  frmColumns_->RefreshList();
}

void TForm1::SearchValue1Click() { frmSearchValue_->Execute(); }

void TForm1::TblInfoClick() {
  frmTableInfo_->show();
  frmTableInfo_->raise();
  frmTableInfo_->Fill();
}

void TForm1::SearchClick() {
  frmSearch_->show();
  frmSearch_->raise();
}

// ---------------------------------------------------------------------------------------------
// Grid tools and clipboard

void TForm1::ToolButton13Click() {
  // The width is shared among the columns the user sees.
  int n = static_cast<int>(std::count_if(gridColumns_.Columns().begin(), gridColumns_.Columns().end(),
                                         [](const TGridColumn& c) { return c.Visible; }));
  if (n == 0) return;
  int share = (dbGrid1_->width() - 25) / n;
  int w = std::max(share, 50);
  for (int i = 0; i < gridColumns_.Count(); ++i) gridColumns_.At(i).Width = w;
  gridColumns_.Changed();
}

std::string TForm1::CopyColumnText() {
  TField* field = dbGrid1_->SelectedField();
  if (!field) return {};
  std::string name = field->FieldName();
  std::string text;
  // The walk ends on the last record, which the grid then shows; the views are
  // told once at the end instead of for every record on the way.
  pdx1_.DisableControls();
  try {
    pdx1_.First();
    while (!pdx1_.Eof()) {
      text += pdx1_.FieldByName(name).AsString();
      text += "\r\n";
      pdx1_.Next();
    }
  } catch (...) {
    pdx1_.EnableControls();
    throw;
  }
  pdx1_.EnableControls();
  return text;
}

void TForm1::CopyColToClip1Execute() {
  if (!dbGrid1_->SelectedField()) return;
  qtui::THourglass hourglass;
  std::string text = CopyColumnText();
  if (!text.empty()) qtui::SetClipboardText(ValueText(text));
}

std::string TForm1::CopyRowText() {
  std::string text;
  for (int i = 0; i < gridColumns_.Count(); ++i) {
    text += pdx1_.FieldByName(gridColumns_[i].FieldName).AsString();
    text += "\r\n";
  }
  return text;
}

void TForm1::CopyRowToClip1Click() {
  if (gridColumns_.Count() == 0 || !pdx1_.Active()) return;
  qtui::THourglass hourglass;
  qtui::SetClipboardText(ValueText(CopyRowText()));
}

void TForm1::CopyFieldToClip1Click() {
  TField* field = dbGrid1_->SelectedField();
  if (!field) return;
  const TFieldType kind = field->DataType();
  if (kind == ftBlob || kind == ftGraphic || kind == ftParadoxOle) {
    // Binary data as text is its bytes in hexadecimal; a picture also goes on
    // the clipboard as an image, for programs that paste pictures.
    std::string blob = pdx1_.CreateBlobStream(*field, bmRead)->Data();
    auto* mime = new QMimeData;
    mime->setText(QString::fromLatin1(BytesToHex(blob) + "\r\n"));
    std::string picture = ImageBytesOfBlob(blob);
    QImage image;
    if (!picture.empty() &&
        image.loadFromData(reinterpret_cast<const uchar*>(picture.data()), static_cast<int>(picture.size())))
      mime->setImageData(image);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    return;
  }
  qtui::SetClipboardText(ValueText(field->AsString() + "\r\n"));
}

void TForm1::RecordCount1Click() {
  qtui::ShowMessage(this, QStringLiteral("Count: ") + QString::number(pdx1_.RecordCount()));
}

void TForm1::RecordSize1Click() {
  qtui::ShowMessage(this,
                    QStringLiteral("Size: ") + QString::number(static_cast<uint16_t>(pdx1_.RecordSize())));
}

void TForm1::ShowProgramLocation1Click() {
  QString exe = QCoreApplication::applicationFilePath();
  qtui::ShowMessage(this, exe.left(exe.lastIndexOf(QLatin1Char('/')) + 1));
}

QString TForm1::DocumentationFile(const QString& name) {
  const QString appDir = QCoreApplication::applicationDirPath();
  const QStringList candidates = {
      appDir + QStringLiteral("/../share/doc/korvane/") + name,
      QStringLiteral(KORVANE_SOURCE_DIR) + QStringLiteral("/docs/") + name,
      QStringLiteral(KORVANE_SOURCE_DIR) + QStringLiteral("/") + name,
  };
  for (const QString& c : candidates) {
    if (!c.startsWith(QLatin1Char('/'))) continue;
    QFileInfo fi(c);
    if (fi.isFile()) return fi.canonicalFilePath();
  }
  return {};
}

void TForm1::OpenDocument(const QString& name) {
  QString path = DocumentationFile(name);
  if (path.isEmpty()) {
    qtui::ShowErrorMessage(this, QStringLiteral("The document %1 is not installed.").arg(name));
    return;
  }
  qtui::OpenLocalFile(path);
}

void TForm1::Homepage1Click() { OpenDocument(QStringLiteral("VIEWER.md")); }
void TForm1::Donations1Click() { OpenDocument(QStringLiteral("VIEWER.md")); }

void TForm1::Button8Click() { pdx1_.Delete(); }

// ---------------------------------------------------------------------------------------------
// Field panel

void TForm1::CheckBox1Click() {
  bool on = checkBox1_->isChecked();
  memoPanel_->setVisible(on);
  if (on) {
    QList<int> sizes = splitter2_->sizes();
    int total = sizes.value(0) + sizes.value(1);
    if (sizes.value(1) < 50 && total > 269) splitter2_->setSizes({total - 269, 269});
  }
}

void TForm1::RebuildChooser(QComboBox* box, const std::vector<TFieldType>& types) {
  QString keep = box->isEditable() ? box->currentText() : QString();
  QSignalBlocker block(box);
  box->clear();
  for (int i = 0; i < gridColumns_.Count(); ++i) {
    const std::string& name = gridColumns_[i].FieldName;
    QString trimmed = NameText(name).trimmed();
    if (trimmed.isEmpty()) continue;
    TField* f = gridColumns_.FieldOf(i);
    if (!f || std::find(types.begin(), types.end(), f->DataType()) == types.end()) continue;
    box->addItem(NameText(name), QByteArray::fromStdString(name));
  }
  if (box->isEditable()) box->setEditText(keep);
}

void TForm1::ComboBox1DropDown() { RebuildChooser(comboBox1_, {ftMemo}); }

void TForm1::ComboBox1Change() {
  int i = comboBox1_->currentIndex();
  std::string name = i >= 0 ? comboBox1_->itemData(i).toByteArray().toStdString() : std::string();
  dbMemo1_->SetDataField(name);
}

void TForm1::ComboBox3DropDown() { RebuildChooser(comboBox3_, {ftBlob, ftGraphic}); }

void TForm1::ComboBox3Change() {
  // A chosen item carries the stored name; typed text is matched as it stands.
  QString text = comboBox3_->currentText();
  std::string name = text.toStdString();
  int i = comboBox3_->findText(text, Qt::MatchExactly);
  if (i >= 0) name = comboBox3_->itemData(i).toByteArray().toStdString();
  dbImage1_->SetDataField(name);
}

void TForm1::SaveBitmapClick() {
  std::string blob = dbImage1_->BlobData();
  if (blob.empty()) {
    qtui::ShowMessage(this, QStringLiteral("The current record holds no picture in this field."));
    return;
  }
  std::string bytes = dbImage1_->ImageBytes().empty() ? blob : dbImage1_->ImageBytes();
  QString suggested = QStringLiteral("picture");
  QByteArray data = QByteArray::fromStdString(bytes);
  if (data.startsWith("BM"))
    suggested += QStringLiteral(".bmp");
  else if (data.startsWith("\xFF\xD8"))
    suggested += QStringLiteral(".jpg");
  else if (data.startsWith("\x89PNG"))
    suggested += QStringLiteral(".png");
  else if (data.startsWith("GIF8"))
    suggested += QStringLiteral(".gif");
  else
    suggested += QStringLiteral(".bin");
  QString path =
      qtui::GetSaveFileName(this, QStringLiteral("Save Bitmap"),
                            QStringLiteral("Pictures (*.bmp *.jpg *.png *.gif);;All files (*)"), suggested);
  if (path.isEmpty()) return;
  // Written to a temporary file and renamed, so a failed save leaves nothing behind.
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
    qtui::ShowErrorMessage(this, QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
  }
}

// ---------------------------------------------------------------------------------------------
// Encoding

int TForm1::EffectiveCodePage() const {
  if (!pdx1_.Active()) return 0;
  return SourceCodePage(pdx1_, codePageOverride_);
}

void TForm1::SetSourceCodePage(int codePage) {
  if (!pdx1_.Active() || openTab_ < 0 || openTab_ >= static_cast<int>(openTables_.size())) {
    SyncEncodingMenu();
    return;
  }
  openTables_[static_cast<size_t>(openTab_)].CodePage = codePage;
  codePageOverride_ = codePage;
  ResetMemoSide();
  if (!OpenPDX(openTables_[static_cast<size_t>(openTab_)].FullPath)) openTab_ = -1;
  SyncEncodingMenu();
}

// ---------------------------------------------------------------------------------------------

QAction* TForm1::Action(const char* objectName) const {
  return findChild<QAction*>(QString::fromLatin1(objectName));
}

QToolButton* TForm1::ToolButton(const char* objectName) const {
  return findChild<QToolButton*>(QString::fromLatin1(objectName));
}

}  // namespace korvane
