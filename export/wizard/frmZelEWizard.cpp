#include "export/wizard/frmZelEWizard.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QShortcut>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdlib>
#include <filesystem>

#include "export/ZelEMonitor.h"
#include "export/wizard/ZelESpecDlg.h"
#include "export/wizard/ZelEWizPreview.h"

namespace korvane {

namespace {

// The date, number and boolean settings shape the texts written when the
// original value types are not exported; otherwise they are shown disabled.
void UpdateFormatsEnabled(QGroupBox& formats, const QCheckBox& originalTypes, bool editable) {
  const bool apply = !originalTypes.isChecked();
  formats.setEnabled(editable && apply);
  formats.setToolTip(apply ? QString()
                           : QStringLiteral("These settings apply when \"export the original value types\" "
                                            "is not checked."));
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

const int kTitleIds[kWizardSteps] = {117, 118, 119, 147, 120, 121, 122, 138, 123, 124};
const int kDescriptionIds[kWizardSteps] = {20, 21, 22, 148, 115, 23, 24, 139, 88, 25};

// Whether the format can do a thing (from the table of formats).
bool Can(TTableTypeExport t, TZelEFormatAbility a) { return ExportFormat(t).Can(a); }

void Show(QWidget* w, TZelERestriction r) { w->setVisible(r != erDisabled); }

// First character of an edit, code 0 when empty.
char FirstChar(const QLineEdit* e) {
  std::string s = S(e->text());
  return s.empty() ? '\0' : s[0];
}
QString CharText(char c) { return c ? QString(QChar(static_cast<uchar>(c))) : QString(); }

// A name that already has the extension in another case keeps it: on Linux
// "data.txt" and "data.TXT" are two files, and the user chose the first.
std::string ReplaceExtension(const std::string& name, const std::string& ext) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  bool hasExt = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) && dot > 0 &&
                (slash == std::string::npos || dot > slash + 1);
  std::string base = hasExt ? name.substr(0, dot) : name;
  if (hasExt && !ext.empty() && QString::fromStdString(name.substr(dot)).compare(QString::fromStdString(ext),
                                                                              Qt::CaseInsensitive) == 0)
    return name;
  return base + ext;
}

QString FontDescription(const TFontSpec& f) {
  QString d = QString("%1, %2 pt").arg(Q(f.Name)).arg(f.Size);
  if (f.Bold) d += ", bold";
  if (f.Italic) d += ", italic";
  if (f.Underline) d += ", underline";
  if (f.StrikeOut) d += ", strikeout";
  return d;
}

QFont ToQFont(const TFontSpec& f) {
  QFont q(Q(f.Name));
  q.setPointSize(std::max(1, f.Size));
  q.setBold(f.Bold);
  q.setItalic(f.Italic);
  q.setUnderline(f.Underline);
  q.setStrikeOut(f.StrikeOut);
  return q;
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

QPixmap PagePicture(int orientation) {
  QPixmap px(64, 64);
  px.fill(Qt::transparent);
  QPainter p(&px);
  QRect r = orientation == 2 ? QRect(4, 14, 56, 40) : QRect(12, 4, 40, 56);
  p.fillRect(r, Qt::white);
  p.setPen(Qt::black);
  p.drawRect(r);
  for (int y = r.top() + 6; y < r.bottom() - 4; y += 6) p.drawLine(r.left() + 5, y, r.right() - 5, y);
  if (orientation == 0) p.drawText(r, Qt::AlignCenter, "?");
  return px;
}

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

const std::vector<TColor>& WizardSwatchColors() {
  static const std::vector<TColor> colors = [] {
    std::vector<TColor> v = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
                             0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (TColor c = 0xFF000000; c <= 0xFF000018; ++c) v.push_back(c);
    v.push_back(0xA6CAF0);
    v.push_back(0xC0DCC0);
    v.push_back(0xFFFBF0);
    return v;
  }();
  return colors;
}

int WizardSwatchIndex(TColor c) {
  const auto& v = WizardSwatchColors();
  for (size_t k = 0; k < v.size(); ++k)
    if (v[k] == c) return static_cast<int>(k);
  return 0;
}

QColor ToQColor(TColor c) {
  if ((c & 0xFF000000u) == 0xFF000000u) {
    QPalette pal = QApplication::palette();
    static const QPalette::ColorRole kRoles[25] = {
        QPalette::Button,     QPalette::Window,          QPalette::Highlight, QPalette::Mid,
        QPalette::Window,     QPalette::Base,            QPalette::Shadow,    QPalette::Text,
        QPalette::WindowText, QPalette::HighlightedText, QPalette::Button,    QPalette::Button,
        QPalette::Mid,        QPalette::Highlight,       QPalette::HighlightedText, QPalette::Button,
        QPalette::Dark,       QPalette::PlaceholderText, QPalette::ButtonText, QPalette::WindowText,
        QPalette::Light,      QPalette::Shadow,          QPalette::Midlight,  QPalette::ToolTipText,
        QPalette::ToolTipBase};
    unsigned n = c & 0xFFu;
    return n < 25 ? pal.color(kRoles[n]) : pal.color(QPalette::Window);
  }
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

// ---------------------------------------------------------------------------

TfrmZelEWizard::TfrmZelEWizard(TZelEWizardDlg& owner, QWidget* parent) : QDialog(parent), owner_(owner) {
  setObjectName("frmZelEWizard");
  setWindowTitle(Q(owner_.Title.empty() ? owner_.GetLanguageString(17) : owner_.Title));
  if (!owner_.Icon.isNull()) setWindowIcon(owner_.Icon);
  auto* outer = new QHBoxLayout(this);

  // Logo column.
  pnlLogo = new QFrame(this);
  pnlLogo->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* logoLay = new QVBoxLayout(pnlLogo);
  imgLogo = new QLabel(pnlLogo);
  if (!owner_.Picture.isNull()) {
    imgLogo->setPixmap(owner_.Picture);
  } else {
    QPixmap px(96, 300);
    QLinearGradient g(0, 0, 0, 300);
    g.setColorAt(0, QColor(0x31, 0x6A, 0xC5));
    g.setColorAt(1, QColor(0x10, 0x28, 0x60));
    QPainter p(&px);
    p.fillRect(px.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(16);
    f.setBold(true);
    p.setFont(f);
    p.translate(60, 280);
    p.rotate(-90);
    p.drawText(0, 0, "Export");
    imgLogo->setPixmap(px);
  }
  logoLay->addWidget(imgLogo);
  logoLay->addStretch(1);
  outer->addWidget(pnlLogo);
  pnlLogo->setVisible(owner_.ShowPicture);

  auto* right = new QVBoxLayout;
  outer->addLayout(right, 1);

  pnlDescription = new QFrame(this);
  pnlDescription->setAutoFillBackground(true);
  QPalette wp = pnlDescription->palette();
  wp.setColor(QPalette::Window, Qt::white);
  wp.setColor(QPalette::WindowText, Qt::black);
  pnlDescription->setPalette(wp);
  auto* descLay = new QVBoxLayout(pnlDescription);
  lblCaption = new QLabel(pnlDescription);
  QFont bold = lblCaption->font();
  bold.setBold(true);
  lblCaption->setFont(bold);
  lblDescription = new QLabel(pnlDescription);
  lblDescription->setWordWrap(true);
  descLay->addWidget(lblCaption);
  descLay->addWidget(lblDescription);
  right->addWidget(pnlDescription);

  lblStep = new QLabel(this);
  lblStep->setObjectName("lblStep");
  lblStep->setAlignment(Qt::AlignRight);
  lblStepInfo = new QLabel(this);
  lblStepInfo->setWordWrap(true);
  right->addWidget(lblStep);
  right->addWidget(lblStepInfo);
  bool w2000 = owner_.WizardStyle == wsWindows2000;
  pnlDescription->setVisible(w2000);
  lblStep->setVisible(!w2000);
  lblStepInfo->setVisible(!w2000);

  Pages = new QStackedWidget(this);
  Pages->setMinimumSize(owner_.Categories.ShowCategories ? 560 : 530, owner_.Categories.ShowCategories ? 390 : 340);
  for (int s = 1; s <= kWizardSteps; ++s) Pages->addWidget(MakePage(s));
  right->addWidget(Pages, 1);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  right->addWidget(line);
  auto* buttons = new QHBoxLayout;
  btnSpecs = new QPushButton(Q(owner_.GetLanguageString(83)), this);
  btnSpecs->setObjectName("btnSpecs");
  btnFirst = new QPushButton("<<", this);
  btnBack = new QPushButton(Q(owner_.GetLanguageString(13)), this);
  btnNext = new QPushButton(Q(owner_.GetLanguageString(14)), this);
  btnLast = new QPushButton(">>", this);
  btnCancel = new QPushButton(Q(owner_.GetLanguageString(12)), this);
  btnCancel->setObjectName("btnCancel");
  for (QPushButton* b : {btnFirst, btnBack, btnNext, btnLast, btnCancel}) b->setAutoDefault(false);
  btnFirst->setFixedWidth(36);
  btnLast->setFixedWidth(36);
  buttons->addWidget(btnSpecs);
  buttons->addStretch(1);
  for (QPushButton* b : {btnFirst, btnBack, btnNext, btnLast}) buttons->addWidget(b);
  buttons->addSpacing(12);
  buttons->addWidget(btnCancel);
  right->addLayout(buttons);
  btnSpecs->setVisible(owner_.UserAccess.Specification);

  connect(btnNext, &QPushButton::clicked, this, [this] { Next(); });
  connect(btnBack, &QPushButton::clicked, this, [this] { Back(); });
  connect(btnFirst, &QPushButton::clicked, this, [this] { First(); });
  connect(btnLast, &QPushButton::clicked, this, [this] { Last(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    if (step_ == kWizardSteps)
      ExecuteClicked();
    else
      reject();
  });
  connect(btnSpecs, &QPushButton::clicked, this, &TfrmZelEWizard::SpecificationsClicked);
  for (int d = 1; d <= 9; ++d) {
    auto* sc = new QShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + d)), this);
    connect(sc, &QShortcut::activated, this, [this, d] { GoToStep(d); });
  }
  RunSpecsDialog = [](TfrmZelESpecs& d) { return d.exec(); };

  BuildFormatView();
  FillFromSettings();
  ApplyUserAccess();
  // With the format choice hidden the window opens on the first step it visits.
  if (owner_.UserAccess.TableType == erDisabled)
    while (step_ < kWizardSteps && !StepVisited(step_)) ++step_;
  ShowStep();
}

TfrmZelEWizard::~TfrmZelEWizard() = default;

// ---------------------------------------------------------------------------
// Pages

QWidget* TfrmZelEWizard::MakePage(int step) {
  auto* page = new QWidget;
  page->setObjectName(QString("Page%1").arg(step));
  auto L = [this](int id) { return Q(owner_.GetLanguageString(id)); };
  switch (step) {
    case 1: {
      auto* lay = new QVBoxLayout(page);
      lay->setContentsMargins(0, 0, 0, 0);
      scrCategories = new QScrollArea(page);
      scrCategories->setObjectName("scrCategories");
      grpTableType = new QGroupBox(L(28), page);
      lay->addWidget(scrCategories);
      lay->addWidget(grpTableType);
      FormatGroup = new QButtonGroup(this);
      FormatGroup->setExclusive(true);
      connect(FormatGroup, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on && !filling_) ApplyFormat(static_cast<TTableTypeExport>(id), true);
      });
      break;
    }
    case 2: {
      auto* lay = new QGridLayout(page);
      lay->addWidget(new QLabel(L(50), page), 0, 0);
      cmbFileOrigin = new QComboBox(page);
      cmbFileOrigin->addItems({"ANSI (Windows)", "ASCII (MS_DOS)"});
      lay->addWidget(cmbFileOrigin, 0, 1);
      chkSelectedRecord = new QCheckBox(L(51), page);
      chkAddTitle = new QCheckBox(L(52), page);
      chkBlankRow = new QCheckBox(L(97), page);
      chkBlankIfZero = new QCheckBox(L(54), page);
      chkOriginalTypes = new QCheckBox(L(127), page);
      int r = 1;
      for (QCheckBox* c : {chkSelectedRecord, chkAddTitle, chkBlankRow, chkBlankIfZero, chkOriginalTypes})
        lay->addWidget(c, r++, 0, 1, 2);
      chkBlankRow->setContentsMargins(20, 0, 0, 0);
      lay->setRowStretch(r, 1);
      lay->setColumnStretch(2, 1);
      connect(chkAddTitle, &QCheckBox::toggled, this, [this](bool on) {
        chkBlankRow->setEnabled(on && chkAddTitle->isEnabled());
      });
      connect(chkOriginalTypes, &QCheckBox::toggled, this, [this] {
        // Step 5 is built by then: the box changes only once the window is up.
        UpdateFormatsEnabled(*grpFormats, *chkOriginalTypes, owner_.UserAccess.DataFormats == erReadWrite);
      });
      break;
    }
    case 3: {
      auto* lay = new QGridLayout(page);
      rbDelimited = new QRadioButton(L(66), page);
      rbFixed = new QRadioButton(L(67), page);
      lay->addWidget(rbDelimited, 0, 0, 1, 3);
      lay->addWidget(rbFixed, 1, 0, 1, 3);
      grpDelimiter = new QGroupBox(L(59), page);
      auto* g = new QGridLayout(grpDelimiter);
      rbDelimNone = new QRadioButton(L(86), grpDelimiter);
      rbDelimTab = new QRadioButton(L(60), grpDelimiter);
      rbDelimSemicolon = new QRadioButton(L(61), grpDelimiter);
      rbDelimComma = new QRadioButton(L(62), grpDelimiter);
      rbDelimSpace = new QRadioButton(L(63), grpDelimiter);
      rbDelimOther = new QRadioButton(L(64), grpDelimiter);
      edtDelimOther = new QLineEdit(grpDelimiter);
      edtDelimOther->setMaxLength(1);
      edtDelimOther->setFixedWidth(40);
      g->addWidget(rbDelimNone, 0, 0);
      g->addWidget(rbDelimTab, 0, 1);
      g->addWidget(rbDelimSemicolon, 0, 2);
      g->addWidget(rbDelimComma, 1, 0);
      g->addWidget(rbDelimSpace, 1, 1);
      g->addWidget(rbDelimOther, 1, 2);
      g->addWidget(edtDelimOther, 1, 3);
      lay->addWidget(grpDelimiter, 2, 0, 1, 3);
      lblRecordSeparator = new QLabel(L(84), page);
      cmbRecordSeparator = new QComboBox(page);
      cmbRecordSeparator->setEditable(true);
      cmbRecordSeparator->addItems({"CRLF", "CR", "LF"});
      lblQualifier = new QLabel(L(85), page);
      cmbQualifier = new QComboBox(page);
      cmbQualifier->setEditable(true);
      cmbQualifier->addItems({L(86), "\"", "'"});
      lay->addWidget(lblRecordSeparator, 3, 0);
      lay->addWidget(cmbRecordSeparator, 3, 1);
      lay->addWidget(lblQualifier, 4, 0);
      lay->addWidget(cmbQualifier, 4, 1);
      lay->setRowStretch(5, 1);
      lay->setColumnStretch(2, 1);
      connect(rbFixed, &QRadioButton::toggled, this, [this](bool on) {
        if (on && !filling_) rbDelimSpace->setChecked(true);
        ApplyFormat(SelectedFormat(), false);
      });
      connect(edtDelimOther, &QLineEdit::textEdited, this, [this] { rbDelimOther->setChecked(true); });
      break;
    }
    case 4: {
      auto* lay = new QVBoxLayout(page);
      grpSQL = new QGroupBox(page);
      auto* g = new QGridLayout(grpSQL);
      chkCreateTable = new QCheckBox("include CREATE TABLE statement", grpSQL);
      chkMultiRow = new QCheckBox("generate MULTIROW inserts", grpSQL);
      cmbCharCase = new QComboBox(grpSQL);
      cmbCharCase->addItems({"Normal", "UpperCase", "LowerCase", "Proper"});
      edtCommit = new QLineEdit(grpSQL);
      cmbSQLQuote = new QComboBox(grpSQL);
      cmbSQLQuote->setEditable(true);
      cmbSQLQuote->addItems({"\"", "'"});
      cmbSQLTerm = new QComboBox(grpSQL);
      cmbSQLTerm->setEditable(true);
      cmbSQLTerm->addItem(";");
      edtBatch = new QLineEdit(grpSQL);
      edtBatch->setValidator(new QIntValidator(0, 2147483647, edtBatch));
      edtBatch->setAlignment(Qt::AlignRight);
      g->addWidget(chkCreateTable, 0, 0, 1, 2);
      g->addWidget(chkMultiRow, 1, 0, 1, 2);
      g->addWidget(new QLabel("Charset for field names:", grpSQL), 2, 0);
      g->addWidget(cmbCharCase, 2, 1);
      g->addWidget(new QLabel("Commit:", grpSQL), 3, 0);
      g->addWidget(edtCommit, 3, 1);
      g->addWidget(new QLabel("Quote:", grpSQL), 4, 0);
      g->addWidget(cmbSQLQuote, 4, 1);
      g->addWidget(new QLabel("SQL Term:", grpSQL), 5, 0);
      g->addWidget(cmbSQLTerm, 5, 1);
      g->addWidget(new QLabel("include COMMIT statement every (n) records:", grpSQL), 6, 0);
      g->addWidget(edtBatch, 6, 1);
      lay->addWidget(grpSQL);
      lay->addStretch(1);
      break;
    }
    case 5: {
      auto* lay = new QVBoxLayout(page);
      grpFormats = new QGroupBox(L(99), page);
      auto* g = new QGridLayout(grpFormats);
      cmbDateOrder = new QComboBox(grpFormats);
      for (int id = 101; id <= 106; ++id) cmbDateOrder->addItem(L(id));
      auto edit = [this](int width) {
        auto* e = new QLineEdit(grpFormats);
        e->setFixedWidth(width);
        return e;
      };
      edtDateSep = edit(40);
      edtTimeSep = edit(40);
      edtDecimal = edit(40);
      edtThousand = edit(40);
      edtCurrency = edit(80);
      edtTrue = edit(100);
      edtFalse = edit(100);
      for (QLineEdit* e : {edtDateSep, edtTimeSep, edtDecimal, edtThousand}) e->setMaxLength(1);
      chkFourDigit = new QCheckBox(L(109), grpFormats);
      chkLeadingZeros = new QCheckBox(L(110), grpFormats);
      // The labels' mnemonics (Alt + the underlined letter) move to their boxes.
      auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, grpFormats);
        l->setBuddy(buddy);
        return l;
      };
      g->addWidget(label(L(100), cmbDateOrder), 0, 0);
      g->addWidget(cmbDateOrder, 0, 1);
      g->addWidget(label(L(107), edtDateSep), 1, 0);
      g->addWidget(edtDateSep, 1, 1);
      g->addWidget(label(L(108), edtTimeSep), 2, 0);
      g->addWidget(edtTimeSep, 2, 1);
      g->addWidget(chkFourDigit, 3, 0, 1, 2);
      g->addWidget(chkLeadingZeros, 4, 0, 1, 2);
      g->addWidget(label(L(111), edtDecimal), 0, 2);
      g->addWidget(edtDecimal, 0, 3);
      g->addWidget(label(L(112), edtThousand), 1, 2);
      g->addWidget(edtThousand, 1, 3);
      g->addWidget(label(L(113), edtCurrency), 2, 2);
      g->addWidget(edtCurrency, 2, 3);
      g->addWidget(label(L(114), edtTrue), 3, 2);
      auto* logical = new QHBoxLayout;
      logical->addWidget(edtTrue);
      logical->addWidget(edtFalse);
      g->addLayout(logical, 4, 2, 1, 2);
      lay->addWidget(grpFormats);
      lay->addStretch(1);
      break;
    }
    case 6: {
      auto* lay = new QHBoxLayout(page);
      lstColumns = new QListWidget(page);
      lstColumns->setObjectName("lstColumns");
      lstColumns->setDragDropMode(QAbstractItemView::InternalMove);
      lstColumns->setDefaultDropAction(Qt::MoveAction);
      lstColumns->setContextMenuPolicy(Qt::CustomContextMenu);
      lstColumns->setMinimumWidth(200);
      lay->addWidget(lstColumns, 1);
      mnuColumns = new QMenu(this);
      mnuColumns->addAction(L(94), this, [this] { CheckAllColumns(0); });
      mnuColumns->addAction(L(95), this, [this] { CheckAllColumns(1); });
      mnuColumns->addAction(L(96), this, [this] { CheckAllColumns(2); });
      QMenu* sys = mnuColumns->addMenu(L(140));
      for (int k = 0; k < 5; ++k) sys->addAction(L(141 + k), this, [this, k] { InsertSysVar(k); });
      connect(lstColumns, &QListWidget::customContextMenuRequested, this,
              [this](const QPoint& p) { mnuColumns->popup(lstColumns->viewport()->mapToGlobal(p)); });
      connect(lstColumns, &QListWidget::currentItemChanged, this, [this] { ColumnSelected(); });

      auto* props = new QVBoxLayout;
      auto alignCombo = [&](QWidget* parent) {
        auto* c = new QComboBox(parent);
        c->addItems({L(80), L(81), L(82)});
        return c;
      };
      auto* grpTitle = new QGroupBox(L(72), page);
      auto* gt = new QGridLayout(grpTitle);
      edtTitleCaption = new QLineEdit(grpTitle);
      edtTitleCaption->setObjectName("edtTitleCaption");
      cmbTitleAlign = alignCombo(grpTitle);
      cmbTitleColor = new QComboBox(grpTitle);
      FillSwatches(cmbTitleColor);
      btnTitleFont = new QPushButton("...", grpTitle);
      btnTitleFont->setFixedWidth(30);
      lblTitleFont = new QLabel(grpTitle);
      gt->addWidget(new QLabel(L(74), grpTitle), 0, 0);
      gt->addWidget(edtTitleCaption, 0, 1, 1, 2);
      gt->addWidget(new QLabel(L(75), grpTitle), 1, 0);
      gt->addWidget(cmbTitleAlign, 1, 1, 1, 2);
      gt->addWidget(new QLabel(L(76), grpTitle), 2, 0);
      gt->addWidget(cmbTitleColor, 2, 1, 1, 2);
      gt->addWidget(new QLabel(L(77), grpTitle), 3, 0);
      gt->addWidget(lblTitleFont, 3, 1);
      gt->addWidget(btnTitleFont, 3, 2);
      auto* grpData = new QGroupBox(L(73), page);
      auto* gd = new QGridLayout(grpData);
      cmbDataAlign = alignCombo(grpData);
      cmbDataColor = new QComboBox(grpData);
      FillSwatches(cmbDataColor);
      btnDataFont = new QPushButton("...", grpData);
      btnDataFont->setFixedWidth(30);
      lblDataFont = new QLabel(grpData);
      lblWidth = new QLabel(L(78), grpData);
      spnWidth = new QSpinBox(grpData);
      spnWidth->setRange(0, 9999);
      lblWidthUnit = new QLabel(L(79), grpData);
      gd->addWidget(new QLabel(L(75), grpData), 0, 0);
      gd->addWidget(cmbDataAlign, 0, 1, 1, 2);
      gd->addWidget(new QLabel(L(76), grpData), 1, 0);
      gd->addWidget(cmbDataColor, 1, 1, 1, 2);
      gd->addWidget(new QLabel(L(77), grpData), 2, 0);
      gd->addWidget(lblDataFont, 2, 1);
      gd->addWidget(btnDataFont, 2, 2);
      gd->addWidget(lblWidth, 3, 0);
      gd->addWidget(spnWidth, 3, 1);
      gd->addWidget(lblWidthUnit, 3, 2);
      props->addWidget(grpTitle);
      props->addWidget(grpData);
      props->addStretch(1);
      lay->addLayout(props, 1);
      connect(edtTitleCaption, &QLineEdit::textEdited, this, [this] { StoreColumnEdits(); });
      for (QComboBox* c : {cmbTitleAlign, cmbDataAlign})
        connect(c, &QComboBox::activated, this, [this] { StoreColumnEdits(); });
      // A colour that is not among the swatches shows as the first one and is
      // kept until the user picks a swatch.
      for (QComboBox* c : {cmbTitleColor, cmbDataColor})
        connect(c, &QComboBox::activated, this, [this, c](int i) {
          TZelEColumn* col = CurrentColumn();
          if (!col || i < 0) return;
          (c == cmbTitleColor ? col->Title.Color : col->Color) = WizardSwatchColors()[static_cast<size_t>(i)];
        });
      connect(spnWidth, &QSpinBox::valueChanged, this, [this] { StoreColumnEdits(); });
      connect(btnTitleFont, &QPushButton::clicked, this, [this] { ChooseFont(true); });
      connect(btnDataFont, &QPushButton::clicked, this, [this] { ChooseFont(false); });
      break;
    }
    case 7: {
      auto* lay = new QVBoxLayout(page);
      lblHeader = new QLabel(L(26), page);
      memHeader = new QPlainTextEdit(page);
      lblFooter = new QLabel(L(27), page);
      memFooter = new QPlainTextEdit(page);
      lay->addWidget(lblHeader);
      lay->addWidget(memHeader);
      lay->addWidget(lblFooter);
      lay->addWidget(memFooter);
      break;
    }
    case 8: {
      auto* lay = new QGridLayout(page);
      grpOrientation = new QGroupBox(L(129), page);
      auto* go = new QGridLayout(grpOrientation);
      rbOrientDefault = new QRadioButton(L(130), grpOrientation);
      rbPortrait = new QRadioButton(L(131), grpOrientation);
      rbLandscape = new QRadioButton(L(132), grpOrientation);
      imgOrientation = new QLabel(grpOrientation);
      go->addWidget(rbOrientDefault, 0, 0);
      go->addWidget(rbPortrait, 1, 0);
      go->addWidget(rbLandscape, 2, 0);
      go->addWidget(imgOrientation, 0, 1, 3, 1);
      grpMargins = new QGroupBox(L(133), page);
      auto* gm = new QGridLayout(grpMargins);
      edtLeft = new QLineEdit(grpMargins);
      edtTop = new QLineEdit(grpMargins);
      edtRight = new QLineEdit(grpMargins);
      edtBottom = new QLineEdit(grpMargins);
      gm->addWidget(new QLabel(L(134), grpMargins), 0, 0);
      gm->addWidget(edtLeft, 0, 1);
      gm->addWidget(new QLabel(L(135), grpMargins), 1, 0);
      gm->addWidget(edtTop, 1, 1);
      gm->addWidget(new QLabel(L(136), grpMargins), 2, 0);
      gm->addWidget(edtRight, 2, 1);
      gm->addWidget(new QLabel(L(137), grpMargins), 3, 0);
      gm->addWidget(edtBottom, 3, 1);
      chkAutofit = new QCheckBox(L(146), page);
      lay->addWidget(grpOrientation, 0, 0);
      lay->addWidget(grpMargins, 0, 1);
      lay->addWidget(chkAutofit, 1, 0, 1, 2);
      lay->setRowStretch(2, 1);
      auto pic = [this] {
        imgOrientation->setPixmap(PagePicture(rbLandscape->isChecked() ? 2 : rbPortrait->isChecked() ? 1 : 0));
      };
      for (QRadioButton* b : {rbOrientDefault, rbPortrait, rbLandscape}) connect(b, &QRadioButton::toggled, this, pic);
      break;
    }
    case 9: {
      auto* lay = new QGridLayout(page);
      rbColorsFonts = new QRadioButton(L(125), page);
      rbDataOnly = new QRadioButton(L(126), page);
      grpLayout = new QGroupBox(L(89), page);
      auto* gl = new QVBoxLayout(grpLayout);
      rbColumnar = new QRadioButton(L(90), grpLayout);
      rbReversed = new QRadioButton(L(91), grpLayout);
      rbTabular = new QRadioButton(L(92), grpLayout);
      gl->addWidget(rbColumnar);
      gl->addWidget(rbReversed);
      gl->addWidget(rbTabular);
      lblStyle = new QLabel(L(93), page);
      cmbStyle = new QComboBox(page);
      for (int s = 0; s < kZelEStyleCount; ++s) cmbStyle->addItem(StyleName(static_cast<TZelEStyle>(s)));
      Preview = new TZelELayoutPreview(page);
      Preview->setObjectName("Preview");
      lay->addWidget(rbColorsFonts, 0, 0);
      lay->addWidget(rbDataOnly, 1, 0);
      lay->addWidget(grpLayout, 2, 0);
      lay->addWidget(lblStyle, 3, 0);
      lay->addWidget(cmbStyle, 4, 0);
      lay->addWidget(new QLabel(L(98), page), 0, 1);
      lay->addWidget(Preview, 1, 1, 5, 1);
      lay->setRowStretch(5, 1);
      for (QRadioButton* b : {rbColumnar, rbReversed, rbTabular})
        connect(b, &QRadioButton::toggled, this, [this] { UpdatePreview(); });
      connect(rbColorsFonts, &QRadioButton::toggled, this, [this](bool on) {
        cmbStyle->setEnabled(on && owner_.UserAccess.ColorStyle == erReadWrite);
        UpdatePreview();
      });
      connect(cmbStyle, &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
      break;
    }
    case 10: {
      auto* lay = new QGridLayout(page);
      lblFileName = new QLabel(L(68), page);
      edtFileName = new QLineEdit(page);
      edtFileName->setObjectName("edtFileName");
      btnBrowse = new QPushButton("...", page);
      btnBrowse->setFixedWidth(30);
      lblFileError = new QLabel(page);
      lblFileError->setStyleSheet("color: #c00000");
      chkRowsPerFile = new QCheckBox(L(87), page);
      edtRowsPerFile = new QLineEdit(page);
      edtRowsPerFile->setValidator(new QIntValidator(0, 2147483647, edtRowsPerFile));
      edtRowsPerFile->setFixedWidth(80);
      chkMerge = new QCheckBox(L(116), page);
      lblTableName = new QLabel(L(71), page);
      cmbTableName = new QComboBox(page);
      cmbTableName->setEditable(true);
      lblSheet = new QLabel(L(128), page);
      edtSheet = new QLineEdit(page);
      lblFilter = new QLabel(L(149), page);
      cmbFilter = new QComboBox(page);
      cmbFilter->setEditable(true);
      lblAccess = new QLabel("Access version:", page);
      cmbAccess = new QComboBox(page);
      cmbAccess->addItems({"-", "97", "2000"});
      grpAction = new QGroupBox(L(55), page);
      auto* ga = new QVBoxLayout(grpAction);
      rbActionNone = new QRadioButton(L(56), grpAction);
      rbActionOpen = new QRadioButton(L(57), grpAction);
      rbActionMail = new QRadioButton(L(58), grpAction);
      ga->addWidget(rbActionNone);
      ga->addWidget(rbActionOpen);
      ga->addWidget(rbActionMail);
      lay->addWidget(lblFileName, 0, 0, 1, 3);
      lay->addWidget(edtFileName, 1, 0, 1, 2);
      lay->addWidget(btnBrowse, 1, 2);
      lay->addWidget(lblFileError, 2, 0, 1, 3);
      lay->addWidget(chkRowsPerFile, 3, 0);
      lay->addWidget(edtRowsPerFile, 3, 1, Qt::AlignLeft);
      lay->addWidget(chkMerge, 4, 0, 1, 3);
      lay->addWidget(lblTableName, 5, 0);
      lay->addWidget(cmbTableName, 5, 1, 1, 2);
      lay->addWidget(lblSheet, 6, 0);
      lay->addWidget(edtSheet, 6, 1, 1, 2);
      lay->addWidget(lblFilter, 7, 0);
      lay->addWidget(cmbFilter, 7, 1, 1, 2);
      lay->addWidget(lblAccess, 8, 0);
      lay->addWidget(cmbAccess, 8, 1, 1, 2);
      lay->addWidget(grpAction, 9, 0, 1, 3);
      lay->setRowStretch(10, 1);
      lay->setColumnStretch(1, 1);
      connect(edtFileName, &QLineEdit::textChanged, this, [this] { OnFileNameChanged(); });
      connect(chkRowsPerFile, &QCheckBox::toggled, edtRowsPerFile, &QLineEdit::setEnabled);
      connect(btnBrowse, &QPushButton::clicked, this, [this] {
        TTableTypeExport t = SelectedFormat();
        QString ext = Q(TableTypeExtension(t));
        QString filter = QString("%1 (*%2);;All files (*)").arg(Q(ExportFormat(t).Caption()), ext.toLower());
        QString start = edtFileName->text();
        if (!start.contains('/')) start = Q(owner_.DefaultFolder()) + "/" + start;
        QString f = QFileDialog::getSaveFileName(this, Q(owner_.GetLanguageString(69)), start, filter);
        if (f.isEmpty()) return;
        if (QFileInfo(f).suffix().isEmpty() && !ext.isEmpty()) f += ext;
        edtFileName->setText(f);
      });
      break;
    }
    default:
      break;
  }
  return page;
}

// ---------------------------------------------------------------------------
// Format view

QRadioButton* TfrmZelEWizard::FormatButton(TTableTypeExport t) const {
  return qobject_cast<QRadioButton*>(FormatGroup->button(t));
}

TTableTypeExport TfrmZelEWizard::SelectedFormat() const {
  int id = FormatGroup->checkedId();
  return id < 0 ? teParadox : static_cast<TTableTypeExport>(id);
}

void TfrmZelEWizard::BuildFormatView() {
  int checked = FormatGroup->checkedId();
  for (QAbstractButton* b : FormatGroup->buttons()) {
    FormatGroup->removeButton(b);
    delete b;
  }
  delete scrCategories->takeWidget();
  delete grpTableType->layout();
  const TExportFormatTypes& offered = owner_.Formats;
  auto L = [this](int id) { return Q(owner_.GetLanguageString(id)); };
  auto makeButton = [&](TTableTypeExport t, QWidget* parent) {
    auto* b = new QRadioButton(L(ExportFormat(t).CaptionId()), parent);
    b->setObjectName(QString("rbFormat%1").arg(TableTypeName(t)));
    // A format without a writer in this build is listed but cannot be chosen.
    b->setEnabled(ExportFormat(t).Built());
    if (!b->isEnabled()) b->setToolTip("Not available in this build");
    FormatGroup->addButton(b, t);
    return b;
  };
  const TZelECategories& cat = owner_.Categories;
  scrCategories->setVisible(cat.ShowCategories);
  grpTableType->setVisible(!cat.ShowCategories);
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
    const int viewHeight = Pages->minimumHeight() - 8;
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
    scrCategories->setWidget(view);
    scrCategories->setWidgetResizable(true);
    // The page is as wide as the blocks (up to a limit), so that no format is cut off.
    const int frame = 2 * scrCategories->frameWidth();
    scrCategories->setMinimumWidth(std::min(view->width() + frame, 900));
  } else {
    std::vector<TTableTypeExport> list;
    for (int t = 0; t < kTableTypeCount; ++t)
      if (offered.Has(static_cast<TTableTypeExport>(t))) list.push_back(static_cast<TTableTypeExport>(t));
    auto* g = new QGridLayout(grpTableType);
    int columns = list.size() < 6 ? 1 : 2;
    int rows = (static_cast<int>(list.size()) + columns - 1) / columns;
    for (size_t k = 0; k < list.size(); ++k)
      g->addWidget(makeButton(list[k], grpTableType), static_cast<int>(k) % rows, static_cast<int>(k) / rows);
  }
  if (checked >= 0 && FormatGroup->button(checked)) {
    filling_ = true;
    FormatGroup->button(checked)->setChecked(true);
    filling_ = false;
  }
}

void TfrmZelEWizard::SelectFormat(TTableTypeExport t) {
  if (QRadioButton* b = FormatButton(t)) {
    if (b->isChecked())
      ApplyFormat(t, true);
    else
      b->setChecked(true);  // applies the format through the group
  }
}

void TfrmZelEWizard::ApplyFormat(TTableTypeExport t, bool changeExtension) {
  const TZelEUserAccess& ua = owner_.UserAccess;
  auto rw = [](TZelERestriction r) { return r == erReadWrite; };
  if (changeExtension) {
    std::string name = S(edtFileName->text());
    bool connection = name.find("Provider=") != std::string::npos && name.find("Data Source=") != std::string::npos;
    if (Can(t, faConnection)) {
      if (!connection && !name.empty()) name = "Data Source=\"" + name + "\"";
    } else {
      if (connection) {
        // Keep only the data source of a connection string.
        size_t p = name.find("Data Source=") + 12;
        size_t e = name.find(';', p);
        name = name.substr(p, e == std::string::npos ? std::string::npos : e - p);
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
      }
      if (!name.empty()) name = ReplaceExtension(name, TableTypeExtension(t));
    }
    if (name != S(edtFileName->text())) edtFileName->setText(Q(name));
  }
  // Step 2.
  chkSelectedRecord->setEnabled(owner_.Engine() && owner_.Engine()->SupportsSelection());
  chkAddTitle->setEnabled(Can(t, faTitles));
  chkBlankRow->setEnabled(chkAddTitle->isEnabled() && chkAddTitle->isChecked());
  // Every format can write the plain values or the texts of step 5.
  chkOriginalTypes->setEnabled(true);
  // Step 3.
  bool textLike = Can(t, faTextOptions);
  rbDelimited->setEnabled(textLike && rw(ua.TextType));
  rbFixed->setEnabled(textLike && rw(ua.TextType));
  grpDelimiter->setEnabled(rw(ua.FieldDelimiter));
  cmbQualifier->setEnabled(rw(ua.TextQualifier));
  lblQualifier->setEnabled(rw(ua.TextQualifier));
  cmbRecordSeparator->setEnabled(rw(ua.RecordSeparator));
  lblRecordSeparator->setEnabled(rw(ua.RecordSeparator));
  // Steps 4, 5, 7, 8.
  grpSQL->setEnabled(rw(ua.SQLOptions));
  UpdateFormatsEnabled(*grpFormats, *chkOriginalTypes, rw(ua.DataFormats));
  memHeader->setEnabled(rw(ua.Header));
  lblHeader->setEnabled(rw(ua.Header));
  memFooter->setEnabled(rw(ua.Footer));
  lblFooter->setEnabled(rw(ua.Footer));
  grpOrientation->setEnabled(rw(ua.PageOrientation));
  grpMargins->setEnabled(rw(ua.PageMargins));
  chkAutofit->setEnabled(Can(t, faAutoFit));
  // Step 6.
  lstColumns->setEnabled(rw(ua.FieldMapping));
  bool noTitleAlign = !Can(t, faTitleAlignment);
  bool noColors = !Can(t, faFontsColors);
  cmbTitleAlign->setEnabled(!noTitleAlign);
  for (QWidget* w : std::initializer_list<QWidget*>{cmbTitleColor, cmbDataColor, btnTitleFont, btnDataFont,
                                                    lblTitleFont, lblDataFont})
    w->setEnabled(!noColors);
  bool fixedText = t == teText && rbFixed->isChecked();
  bool width = fixedText || Can(t, faColumnWidth);
  for (QWidget* w : std::initializer_list<QWidget*>{lblWidth, spnWidth, lblWidthUnit}) w->setVisible(width);
  // Step 9.
  bool noStyle = !Can(t, faColorStyle);
  rbColorsFonts->setVisible(!noStyle);
  rbDataOnly->setVisible(!noStyle);
  lblStyle->setVisible(!noStyle && ua.ColorStyle != erDisabled);
  cmbStyle->setVisible(!noStyle && ua.ColorStyle != erDisabled);
  if (noStyle) rbDataOnly->setChecked(true);
  cmbStyle->setEnabled(rbColorsFonts->isChecked() && rw(ua.ColorStyle));
  grpLayout->setEnabled(rw(ua.Layout));
  Preview->setEnabled(rw(ua.Layout));
  rbReversed->setEnabled(Can(t, faReversed));
  if (!rbReversed->isEnabled() && rbReversed->isChecked()) rbColumnar->setChecked(true);
  // Step 10.
  bool tableName = Can(t, faTableName);
  lblTableName->setVisible(tableName);
  cmbTableName->setVisible(tableName);
  lblAccess->setVisible(Can(t, faAccessVersion) && ua.AccessVersion != erDisabled);
  cmbAccess->setVisible(Can(t, faAccessVersion) && ua.AccessVersion != erDisabled);
  cmbAccess->setEnabled(rw(ua.AccessVersion));
  lblFilter->setVisible(Can(t, faFilterName));
  cmbFilter->setVisible(Can(t, faFilterName));
  if (Can(t, faFilterName) && cmbFilter->count() == 0) {
    cmbFilter->addItems({"MS Word 97", "writer8", "Rich Text Format", "writer_pdf_Export", "HTML (StarWriter)"});
    cmbFilter->setCurrentText(Q(owner_.FilterName));
  }
  bool sheet = Can(t, faSheetName) && ua.KeyGenerator != erDisabled;
  lblSheet->setVisible(sheet);
  edtSheet->setVisible(sheet);
  edtSheet->setEnabled(rw(ua.KeyGenerator));
  bool fileEdit = !Can(t, faNoFile) && rw(ua.SourceFileName);
  edtFileName->setEnabled(fileEdit);
  btnBrowse->setEnabled(fileEdit);
  grpAction->setEnabled(rw(ua.ActionAfter));
  UpdateMergeBox();
  UpdatePreview();
}

void TfrmZelEWizard::UpdateMergeBox() {
  TTableTypeExport t = SelectedFormat();
  // A target without a file appends to what it holds; a file is appended to when it exists.
  bool enable = Can(t, faMerge) && Can(t, faNoFile);
  if (Can(t, faMerge) && !Can(t, faNoFile)) {
    std::string f = owner_.ResolvedFileName(S(edtFileName->text()));
    std::error_code ec;
    enable = !f.empty() && std::filesystem::is_regular_file(f, ec);
  }
  chkMerge->setEnabled(enable);
}

QString TfrmZelEWizard::FileNameError() const {
  if (Can(SelectedFormat(), faConnection)) return {};
  std::string name = S(edtFileName->text());
  for (unsigned char c : name) {
    if (c < 32 || c == '"' || c == '\'' || c == '*' || c == ';' || c == '<' || c == '>' || c == '?' || c == '|')
      return Q(ZelEFormat("File name %s is not valid.", {name}));
  }
  return {};
}

void TfrmZelEWizard::OnFileNameChanged() {
  lblFileError->setText(FileNameError());
  if (edtFileName->text() != lastFileName_) {
    lastFileName_ = edtFileName->text();
    QString keep = cmbTableName->currentText();
    cmbTableName->clear();
    cmbTableName->setEditText(keep);
  }
  UpdateMergeBox();
}

// ---------------------------------------------------------------------------
// Steps

bool TfrmZelEWizard::StepVisited(int step) const {
  TTableTypeExport t = SelectedFormat();
  const TZelEUserAccess& ua = owner_.UserAccess;
  auto rw = [](TZelERestriction r) { return r == erReadWrite; };
  switch (step) {
    case 1:
      return rw(ua.TableType);
    case 3:
      return Can(t, faTextOptions) &&
             (rw(ua.TextType) || rw(ua.FieldDelimiter) || rw(ua.TextQualifier) || rw(ua.RecordSeparator));
    case 4:
      return Can(t, faSQLOptions) && rw(ua.SQLOptions);
    case 5:
      return rw(ua.DataFormats);
    case 6:
      return rw(ua.FieldMapping);
    case 7:
      return Can(t, faHeaderFooter) && (rw(ua.Header) || rw(ua.Footer));
    case 8:
      return Can(t, faPageSetup) && (rw(ua.PageOrientation) || rw(ua.PageMargins) || Can(t, faAutoFit));
    case 9:
      return Can(t, faLayouts) && (rw(ua.Layout) || rw(ua.ColorStyle));
    default:
      return step >= 1 && step <= kWizardSteps;
  }
}

bool TfrmZelEWizard::Move(int delta) {
  int target = step_ + delta;
  while (target >= 1 && target <= kWizardSteps && !StepVisited(target)) target += delta;
  if (target < 1 || target > kWizardSteps) return false;
  bool allow = true;
  if (owner_.OnStepChange) owner_.OnStepChange(*this, allow);
  if (!allow) return false;
  step_ = target;
  ShowStep();
  return true;
}

bool TfrmZelEWizard::Next() { return Move(1); }
bool TfrmZelEWizard::Back() { return Move(-1); }

void TfrmZelEWizard::First() {
  while (step_ > 1 && Back()) {
  }
}

void TfrmZelEWizard::Last() {
  while (step_ < kWizardSteps && Next()) {
  }
}

void TfrmZelEWizard::GoToStep(int d) {
  if (d < 1 || d > kWizardSteps) return;
  // Each move must change the step; a skipped target or a refused move ends it.
  while (step_ != d) {
    int before = step_;
    bool moved = d > step_ ? Next() : Back();
    if (!moved || step_ == before) break;
    if ((d > before && step_ > d) || (d < before && step_ < d)) break;
  }
}

void TfrmZelEWizard::ShowStep() {
  Pages->setCurrentIndex(step_ - 1);
  btnFirst->setEnabled(step_ >= 2);
  btnBack->setEnabled(step_ >= 2);
  btnNext->setEnabled(step_ <= 9);
  btnLast->setEnabled(step_ <= 9);
  btnNext->setDefault(btnNext->isEnabled());
  if (step_ < kWizardSteps) {
    btnCancel->setText(Q(owner_.GetLanguageString(12)));
    btnCancel->setDefault(false);
  } else {
    btnCancel->setText(Q(owner_.GetLanguageString(owner_.SetupSpecificationOnly ? 11 : 15)));
    btnCancel->setDefault(true);
  }
  lblStep->setText(Q(ZelEFormat(owner_.GetLanguageString(18), {std::to_string(step_), "10"}) + "  "));
  QString desc = Q(owner_.GetLanguageString(kDescriptionIds[step_ - 1]));
  lblStepInfo->setText(desc);
  lblDescription->setText(desc);
  lblCaption->setText(Q(owner_.GetLanguageString(kTitleIds[step_ - 1])));
  if (step_ == kWizardSteps) {
    bool show = !Can(SelectedFormat(), faNoFile);
    chkRowsPerFile->setVisible(show);
    edtRowsPerFile->setVisible(show);
  }
}

// ---------------------------------------------------------------------------
// Access rights

void TfrmZelEWizard::ApplyUserAccess() {
  const TZelEUserAccess& ua = owner_.UserAccess;
  btnSpecs->setVisible(ua.Specification);
  scrCategories->setVisible(ua.TableType != erDisabled && owner_.Categories.ShowCategories);
  grpTableType->setVisible(ua.TableType != erDisabled && !owner_.Categories.ShowCategories);
  scrCategories->setEnabled(ua.TableType == erReadWrite);
  grpTableType->setEnabled(ua.TableType == erReadWrite);
  for (QWidget* w : std::initializer_list<QWidget*>{edtFileName, btnBrowse, lblFileName}) Show(w, ua.SourceFileName);
  Show(lstColumns, ua.FieldMapping);
  Show(grpAction, ua.ActionAfter);
  Show(rbDelimited, ua.TextType);
  Show(rbFixed, ua.TextType);
  Show(grpDelimiter, ua.FieldDelimiter);
  Show(cmbQualifier, ua.TextQualifier);
  Show(lblQualifier, ua.TextQualifier);
  Show(cmbRecordSeparator, ua.RecordSeparator);
  Show(lblRecordSeparator, ua.RecordSeparator);
  Show(memHeader, ua.Header);
  Show(lblHeader, ua.Header);
  Show(memFooter, ua.Footer);
  Show(lblFooter, ua.Footer);
  Show(grpLayout, ua.Layout);
  Show(Preview, ua.Layout);
  Show(grpFormats, ua.DataFormats);
  Show(grpSQL, ua.SQLOptions);
  Show(grpOrientation, ua.PageOrientation);
  Show(grpMargins, ua.PageMargins);
  ApplyFormat(SelectedFormat(), false);
}

// ---------------------------------------------------------------------------
// Settings <-> window

void TfrmZelEWizard::FillFromSettings() {
  TZelEWizardDlg& o = owner_;
  filling_ = true;
  TTableTypeExport t = o.TableType();
  if (QRadioButton* b = FormatButton(t)) b->setChecked(true);
  edtFileName->setText(Q(o.FileName));
  lastFileName_ = edtFileName->text();
  // Step 2.
  cmbFileOrigin->setCurrentIndex(o.CharacterSet == csASCII_MSDOS ? 1 : 0);
  chkSelectedRecord->setChecked(o.SelectedRecord);
  chkAddTitle->setChecked(o.AddTitle);
  chkBlankRow->setChecked(o.Options.Has(soBlankRowAfterCaptions));
  chkBlankIfZero->setChecked(o.BlankIfZero);
  chkOriginalTypes->setChecked(!o.Options.Has(soFieldMask));
  // Step 3.
  (o.Fixed ? rbFixed : rbDelimited)->setChecked(true);
  edtDelimOther->clear();
  switch (o.Separator) {
    case 0: rbDelimNone->setChecked(true); break;
    case '\t': rbDelimTab->setChecked(true); break;
    case ';': rbDelimSemicolon->setChecked(true); break;
    case ',': rbDelimComma->setChecked(true); break;
    case ' ': rbDelimSpace->setChecked(true); break;
    default:
      rbDelimOther->setChecked(true);
      edtDelimOther->setText(CharText(o.Separator));
  }
  if (o.RecordSeparator == "\r\n") cmbRecordSeparator->setCurrentIndex(0);
  else if (o.RecordSeparator == "\r") cmbRecordSeparator->setCurrentIndex(1);
  else if (o.RecordSeparator == "\n") cmbRecordSeparator->setCurrentIndex(2);
  else cmbRecordSeparator->setEditText(Q(o.RecordSeparator));
  if (o.TextQualifier == 0) cmbQualifier->setCurrentIndex(0);
  else if (o.TextQualifier == '"') cmbQualifier->setCurrentIndex(1);
  else if (o.TextQualifier == '\'') cmbQualifier->setCurrentIndex(2);
  else cmbQualifier->setEditText(CharText(o.TextQualifier));
  // Step 4.
  const TZelESQLOptions& sql = o.SQLOptions();
  chkCreateTable->setChecked(sql.AddCreateTable);
  chkMultiRow->setChecked(sql.MultiRowInsert);
  cmbCharCase->setCurrentIndex(sql.FieldNameCharCase);
  edtCommit->setText(Q(sql.CommitTerm));
  cmbSQLQuote->setEditText(CharText(sql.SQLQuote));
  cmbSQLTerm->setEditText(Q(sql.SQLTerm));
  edtBatch->setText(QString::number(sql.BatchRecCount));
  // Step 5.
  const TZelEDataFormats& df = o.DataFormats;
  cmbDateOrder->setCurrentIndex(df.DateOrder);
  edtDateSep->setText(CharText(df.DateSeparator));
  edtTimeSep->setText(CharText(df.TimeSeparator));
  chkFourDigit->setChecked(df.FourDigitYear);
  chkLeadingZeros->setChecked(df.LeadingZerosInDate);
  edtDecimal->setText(CharText(df.DecimalSeparator));
  edtThousand->setText(CharText(df.ThousandSeparator));
  edtCurrency->setText(Q(df.CurrencyString));
  edtTrue->setText(Q(df.BooleanTrue));
  edtFalse->setText(Q(df.BooleanFalse));
  // Step 6.
  store_.clear();
  lstColumns->clear();
  for (const TZelEColumn& c : o.Columns.Items()) {
    if (o.VisibleColumnsOnly && !c.Visible) continue;
    store_.push_back(c);
    auto* item = new QListWidgetItem(lstColumns);
    item->setData(Qt::UserRole, static_cast<int>(store_.size() - 1));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
    item->setCheckState(c.Visible ? Qt::Checked : Qt::Unchecked);
    UpdateColumnItemText(item);
  }
  if (lstColumns->count() > 0) lstColumns->setCurrentRow(0);
  // Step 7.
  auto join = [](const std::vector<std::string>& lines) {
    QStringList l;
    for (const std::string& s : lines) l << Q(s);
    return l.join('\n');
  };
  memHeader->setPlainText(join(o.Header));
  memFooter->setPlainText(join(o.Footer));
  // Step 8.
  const TZelEPageSetup& ps = o.PageSetup;
  (ps.Orientation == emPortrait ? rbPortrait : ps.Orientation == emLandscape ? rbLandscape : rbOrientDefault)
      ->setChecked(true);
  imgOrientation->setPixmap(PagePicture(ps.Orientation));
  TFormatSettings fs;
  edtLeft->setText(Q(FloatToStr(ps.LeftMargin, fs)));
  edtTop->setText(Q(FloatToStr(ps.TopMargin, fs)));
  edtRight->setText(Q(FloatToStr(ps.RightMargin, fs)));
  edtBottom->setText(Q(FloatToStr(ps.BottomMargin, fs)));
  chkAutofit->setChecked(o.AutoFitColumns);
  // Step 9.
  (o.Options.Has(soColorsFonts) ? rbColorsFonts : rbDataOnly)->setChecked(true);
  (o.Layout == elReversedColumnar ? rbReversed : o.Layout == elTabularForm ? rbTabular : rbColumnar)
      ->setChecked(true);
  cmbStyle->setCurrentIndex(o.ExportStyle.Style());
  // Step 10.
  cmbTableName->clear();
  cmbTableName->setEditText(Q(o.TableName.empty() ? o.DefaultTableName() : o.TableName));
  (o.ActionAfterExport == aeOpenView ? rbActionOpen : o.ActionAfterExport == aeEMail ? rbActionMail : rbActionNone)
      ->setChecked(true);
  chkRowsPerFile->setChecked(o.RowsPerFile > 0);
  edtRowsPerFile->setText(o.RowsPerFile > 0 ? QString::number(o.RowsPerFile) : QString());
  edtRowsPerFile->setEnabled(o.RowsPerFile > 0);
  chkMerge->setChecked(o.Options.Has(soMergeData));
  edtSheet->setText(Q(o.KeyGenerator));
  cmbFilter->setCurrentText(Q(o.FilterName));
  cmbAccess->setCurrentIndex(std::clamp(o.AccessVersion, 0, 2));
  filling_ = false;
  ApplyFormat(SelectedFormat(), true);
  lblFileError->setText(FileNameError());
}

void TfrmZelEWizard::ReadToSettings() {
  TZelEWizardDlg& o = owner_;
  StoreColumnEdits();
  o.SetTableType(SelectedFormat());
  o.FileName = S(edtFileName->text());
  // Step 2.
  o.CharacterSet = cmbFileOrigin->currentIndex() == 1 ? csASCII_MSDOS : csANSI_WINDOWS;
  o.SelectedRecord = chkSelectedRecord->isChecked() && chkSelectedRecord->isEnabled();
  o.AddTitle = chkAddTitle->isChecked();
  o.Options.Set(soBlankRowAfterCaptions, chkBlankRow->isChecked());
  o.BlankIfZero = chkBlankIfZero->isChecked();
  o.Options.Set(soFieldMask, !chkOriginalTypes->isChecked());
  // Step 3.
  o.Fixed = rbFixed->isChecked();
  if (rbDelimNone->isChecked()) o.Separator = 0;
  else if (rbDelimTab->isChecked()) o.Separator = '\t';
  else if (rbDelimSemicolon->isChecked()) o.Separator = ';';
  else if (rbDelimComma->isChecked()) o.Separator = ',';
  else if (rbDelimSpace->isChecked()) o.Separator = ' ';
  else if (rbDelimOther->isChecked()) o.Separator = edtDelimOther->text().isEmpty() ? ' ' : FirstChar(edtDelimOther);
  QString rs = cmbRecordSeparator->currentText();
  o.RecordSeparator = rs == "CRLF" ? "\r\n" : rs == "CR" ? "\r" : rs == "LF" ? "\n" : S(rs);
  QString tq = cmbQualifier->currentText();
  std::string tqs = S(tq);
  o.TextQualifier = (tq.isEmpty() || tq == Q(o.GetLanguageString(86))) ? '\0' : tqs[0];
  // Step 4.
  TZelESQLOptions& sql = o.SQLOptions();
  sql.AddCreateTable = chkCreateTable->isChecked();
  sql.MultiRowInsert = chkMultiRow->isChecked();
  sql.FieldNameCharCase = static_cast<TZelEFieldCharCase>(std::max(0, cmbCharCase->currentIndex()));
  sql.CommitTerm = S(edtCommit->text());
  std::string q = S(cmbSQLQuote->currentText());
  sql.SQLQuote = q.empty() ? '\0' : q[0];
  sql.SQLTerm = S(cmbSQLTerm->currentText());
  bool ok = false;
  int batch = edtBatch->text().toInt(&ok);
  if (ok) sql.BatchRecCount = batch;
  // Step 5.
  TZelEDataFormats& df = o.DataFormats;
  df.DateOrder = static_cast<TZelEDateOrder>(std::max(0, cmbDateOrder->currentIndex()));
  df.DateSeparator = FirstChar(edtDateSep);
  df.TimeSeparator = FirstChar(edtTimeSep);
  df.FourDigitYear = chkFourDigit->isChecked();
  df.LeadingZerosInDate = chkLeadingZeros->isChecked();
  TFormatSettings regional = o.Services().RegionalSettings();
  df.DecimalSeparator = edtDecimal->text().isEmpty() ? regional.DecimalSeparator : FirstChar(edtDecimal);
  df.ThousandSeparator = edtThousand->text().isEmpty() ? regional.ThousandSeparator : FirstChar(edtThousand);
  df.CurrencyString = edtCurrency->text().isEmpty() ? regional.CurrencyString : S(edtCurrency->text());
  df.BooleanTrue = S(edtTrue->text());
  df.BooleanFalse = S(edtFalse->text());
  // Step 6.
  o.Columns.Clear();
  for (const TZelEColumn& c : ListColumns()) o.Columns.Add() = c;
  // Step 7.
  auto lines = [](const QPlainTextEdit* m) {
    std::vector<std::string> out;
    QString text = m->toPlainText();
    if (text.isEmpty()) return out;
    for (const QString& l : text.split('\n')) out.push_back(S(l));
    return out;
  };
  o.Header = lines(memHeader);
  o.Footer = lines(memFooter);
  // Step 8.
  TZelEPageSetup& ps = o.PageSetup;
  ps.Orientation = rbPortrait->isChecked() ? emPortrait : rbLandscape->isChecked() ? emLandscape : emDefault;
  auto margin = [](const QLineEdit* e, float& v) {
    std::string s = S(e->text());
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    if (!s.empty() && end && *end == '\0') v = static_cast<float>(d);
  };
  margin(edtLeft, ps.LeftMargin);
  margin(edtTop, ps.TopMargin);
  margin(edtRight, ps.RightMargin);
  margin(edtBottom, ps.BottomMargin);
  o.AutoFitColumns = chkAutofit->isChecked();
  // Step 9.
  o.Options.Set(soColorsFonts, rbColorsFonts->isChecked());
  o.Layout = rbReversed->isChecked() ? elReversedColumnar : rbTabular->isChecked() ? elTabularForm : elColumnar;
  o.ExportStyle.SetStyle(static_cast<TZelEStyle>(std::max(0, cmbStyle->currentIndex())));
  // Step 10.
  std::string tn = S(cmbTableName->currentText());
  o.TableName = tn == o.DefaultTableName() && o.TableName.empty() ? std::string() : tn;
  o.ActionAfterExport = rbActionOpen->isChecked() ? aeOpenView : rbActionMail->isChecked() ? aeEMail : aeNone;
  int rows = edtRowsPerFile->text().toInt(&ok);
  o.RowsPerFile = chkRowsPerFile->isChecked() && ok ? rows : 0;
  o.Options.Set(soMergeData, chkMerge->isEnabled() && chkMerge->isChecked());
  if (edtSheet->isVisible() || !edtSheet->text().isEmpty()) o.KeyGenerator = S(edtSheet->text());
  o.FilterName = cmbFilter->currentText().isEmpty() ? "MS Word 97" : S(cmbFilter->currentText());
  o.AccessVersion = std::max(0, cmbAccess->currentIndex());
}

// ---------------------------------------------------------------------------
// Columns

std::vector<TZelEColumn> TfrmZelEWizard::ListColumns() const {
  std::vector<TZelEColumn> out;
  for (int r = 0; r < lstColumns->count(); ++r) {
    QListWidgetItem* item = lstColumns->item(r);
    TZelEColumn c = store_.at(static_cast<size_t>(item->data(Qt::UserRole).toInt()));
    c.Visible = item->checkState() == Qt::Checked;
    out.push_back(c);
  }
  return out;
}

TZelEColumn* TfrmZelEWizard::CurrentColumn() {
  QListWidgetItem* item = lstColumns->currentItem();
  if (!item) return nullptr;
  return &store_.at(static_cast<size_t>(item->data(Qt::UserRole).toInt()));
}

void TfrmZelEWizard::UpdateColumnItemText(QListWidgetItem* item) {
  TZelEColumn c = store_.at(static_cast<size_t>(item->data(Qt::UserRole).toInt()));
  if (owner_.DecodeName && c.ColumnKind != ckSysVar) c.FieldName = owner_.DecodeName(c.FieldName);
  item->setText(Q(c.DisplayName(owner_.FieldDisplayFormat)));
}

void TfrmZelEWizard::ColumnSelected() {
  TZelEColumn* c = CurrentColumn();
  bool was = filling_;
  filling_ = true;
  if (c) {
    edtTitleCaption->setText(Q(c->Title.Caption));
    cmbTitleAlign->setCurrentIndex(c->Title.Alignment);
    cmbTitleColor->setCurrentIndex(WizardSwatchIndex(c->Title.Color));
    lblTitleFont->setText(FontDescription(c->Title.Font));
    cmbDataAlign->setCurrentIndex(c->Alignment);
    cmbDataColor->setCurrentIndex(WizardSwatchIndex(c->Color));
    lblDataFont->setText(FontDescription(c->Font));
    spnWidth->setValue(c->Width);
  }
  filling_ = was;
}

void TfrmZelEWizard::StoreColumnEdits() {
  if (filling_) return;
  TZelEColumn* c = CurrentColumn();
  if (!c) return;
  c->Title.Caption = S(edtTitleCaption->text());
  c->Title.Alignment = static_cast<TAlignment>(std::max(0, cmbTitleAlign->currentIndex()));
  c->Alignment = static_cast<TAlignment>(std::max(0, cmbDataAlign->currentIndex()));
  c->Width = spnWidth->value();
  UpdateColumnItemText(lstColumns->currentItem());
}

void TfrmZelEWizard::ChooseFont(bool title) {
  TZelEColumn* c = CurrentColumn();
  if (!c) return;
  TFontSpec& f = title ? c->Title.Font : c->Font;
  bool ok = false;
  QFont chosen = QFontDialog::getFont(&ok, ToQFont(f), this);
  if (!ok) return;
  FromQFont(chosen, f);
  (title ? lblTitleFont : lblDataFont)->setText(FontDescription(f));
}

void TfrmZelEWizard::CheckAllColumns(int how) {
  for (int r = 0; r < lstColumns->count(); ++r) {
    QListWidgetItem* item = lstColumns->item(r);
    bool on = how == 0 ? true : how == 1 ? false : item->checkState() != Qt::Checked;
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
}

void TfrmZelEWizard::InsertSysVar(int kind) {
  static const char* const kNames[] = {"ROWNO", "COLNO", "COUNT", "ERRCOUNT", "GENERATOR"};
  if (kind < 0 || kind > 4) return;
  StoreColumnEdits();
  TZelEColumn c;
  c.ColumnKind = ckSysVar;
  c.FieldName = kNames[kind];
  c.Title.Caption = owner_.GetLanguageString(141 + kind);
  c.Title.Color = 0xFF00000F;
  c.Color = clWhite;
  c.Width = 10;
  TAlignment a = kind < 4 ? taRightJustify : taLeftJustify;
  c.Alignment = a;
  c.Title.Alignment = a;
  c.DataType = kind < 4 ? ctInteger : ctString;
  c.Visible = true;
  store_.push_back(c);
  int row = lstColumns->currentRow();
  if (row < 0) row = lstColumns->count();
  auto* item = new QListWidgetItem;
  item->setData(Qt::UserRole, static_cast<int>(store_.size() - 1));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
  item->setCheckState(Qt::Checked);
  lstColumns->insertItem(row, item);
  UpdateColumnItemText(item);
  lstColumns->setCurrentItem(item);
}

void TfrmZelEWizard::MoveColumnItem(int from, int to) {
  if (from < 0 || from >= lstColumns->count() || to < 0 || to >= lstColumns->count() || from == to) return;
  QListWidgetItem* item = lstColumns->takeItem(from);
  lstColumns->insertItem(to, item);
  lstColumns->setCurrentItem(item);
}

void TfrmZelEWizard::UpdatePreview() {
  if (!Preview) return;
  TZelExportStyle style;
  style.SetStyle(static_cast<TZelEStyle>(std::max(0, cmbStyle->currentIndex())));
  bool colors = rbColorsFonts->isChecked() && rbColorsFonts->isVisible();
  Preview->SetLayout(rbReversed->isChecked() ? elReversedColumnar : rbTabular->isChecked() ? elTabularForm
                                                                                          : elColumnar,
                     colors ? ToQColor(style.OddColor) : QColor(Qt::white),
                     colors ? ToQColor(style.EvenColor) : QColor(Qt::white));
}

// ---------------------------------------------------------------------------
// Closing

void TfrmZelEWizard::ExecuteClicked() {
  QString err = FileNameError();
  if (!err.isEmpty()) {
    owner_.Services().ShowMessage(TZelEMessageKind::Error, S(err));
    return;
  }
  if (owner_.ConfirmExecuteStart && !owner_.Services().AskYesNo("Do you want to start the export process?"))
    return;
  TTableTypeExport t = SelectedFormat();
  if (owner_.ConfirmFileOverwrite && !Can(t, faNoFile) && !Can(t, faConnection)) {
    // Asked whenever the file exists and is not being appended to.
    std::string f = owner_.ResolvedFileName(S(edtFileName->text()));
    std::error_code ec;
    bool merging = chkMerge->isEnabled() && chkMerge->isChecked();
    if (!f.empty() && std::filesystem::exists(f, ec) && !merging &&
        !owner_.Services().AskYesNo(ZelEFormat("%s file exists. To overwrite this file?", {f})))
      return;
  }
  accept();
}

void TfrmZelEWizard::reject() {
  if (owner_.ConfirmCancelExit && !owner_.Services().AskYesNo(owner_.GetLanguageString(19))) return;
  QDialog::reject();
}

void TfrmZelEWizard::SpecificationsClicked() {
  TfrmZelESpecs dlg(owner_.Specifications(), this);
  RunSpecsDialog(dlg);
  if (dlg.Action() == TZelESpecsAction::Load) {
    if (const TZelESpecificationFile* e = dlg.Selected()) {
      std::string file = e->FileName;
      try {
        owner_.LoadSpecification(file);
      } catch (const std::exception& ex) {
        owner_.Services().ShowMessage(TZelEMessageKind::Error, ex.what());
        return;
      }
      BuildFormatView();
      FillFromSettings();
      ApplyUserAccess();
      ShowStep();
    }
  } else if (dlg.Action() == TZelESpecsAction::Save) {
    ReadToSettings();
    const TZelESpecificationFile* e = dlg.Selected();
    try {
      owner_.SaveSpecification(e ? e->SpecName : std::string(), e ? e->FileName : std::string(), true);
    } catch (const std::exception& ex) {
      owner_.Services().ShowMessage(TZelEMessageKind::Error, ex.what());
    }
  }
}

}  // namespace korvane
