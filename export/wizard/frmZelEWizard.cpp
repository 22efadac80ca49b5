#include "export/wizard/frmZelEWizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "export/wizard/ZelESpecDlg.h"

namespace korvane {

using wiz::Can;
using wiz::Q;

TfrmZelEWizard::TfrmZelEWizard(TZelEWizardDlg& owner, QWidget* parent) : QDialog(parent), owner_(owner) {
  setObjectName("frmZelEWizard");
  setWindowTitle(Q(owner_.Title.empty() ? owner_.GetLanguageString(txWizardTitle) : owner_.Title));
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
  auto format = std::make_unique<TZelEWizStepFormat>(*this, txFormatTitle, txFormatInfo);
  auto columns = std::make_unique<TZelEWizStepColumns>(*this, txColumnsTitle, txColumnsInfo);
  auto file = std::make_unique<TZelEWizStepFile>(*this, txFileTitle, txFileInfo);
  format_ = format.get();
  columns_ = columns.get();
  file_ = file.get();
  steps_.push_back(std::move(format));
  steps_.push_back(std::make_unique<TZelEWizStepOrigin>(*this, txOriginTitle, txOriginInfo));
  steps_.push_back(std::make_unique<TZelEWizStepText>(*this, txTextTitle, txTextInfo));
  steps_.push_back(std::make_unique<TZelEWizStepSQL>(*this, txSQLTitle, txSQLInfo));
  steps_.push_back(std::make_unique<TZelEWizStepDataFormats>(*this, txDataFormatsTitle, txDataFormatsInfo));
  steps_.push_back(std::move(columns));
  steps_.push_back(std::make_unique<TZelEWizStepHeader>(*this, txHeaderTitle, txHeaderInfo));
  steps_.push_back(std::make_unique<TZelEWizStepPage>(*this, txPageTitle, txPageInfo));
  steps_.push_back(std::make_unique<TZelEWizStepLayout>(*this, txLayoutTitle, txLayoutInfo));
  steps_.push_back(std::move(file));
  for (int s = 1; s <= kWizardSteps; ++s) {
    auto* page = new QWidget;
    page->setObjectName(QString("Page%1").arg(s));
    steps_[static_cast<size_t>(s - 1)]->Build(page);
    Pages->addWidget(page);
  }
  right->addWidget(Pages, 1);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  right->addWidget(line);
  auto* buttons = new QHBoxLayout;
  btnSpecs = new QPushButton(Q(owner_.GetLanguageString(txSpecifications)), this);
  btnSpecs->setObjectName("btnSpecs");
  btnFirst = new QPushButton("<<", this);
  btnBack = new QPushButton(Q(owner_.GetLanguageString(txBack)), this);
  btnNext = new QPushButton(Q(owner_.GetLanguageString(txNext)), this);
  btnLast = new QPushButton(">>", this);
  btnCancel = new QPushButton(Q(owner_.GetLanguageString(txCancel)), this);
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
// Format

QRadioButton* TfrmZelEWizard::FormatButton(TTableTypeExport t) const {
  return qobject_cast<QRadioButton*>(FormatGroup->button(t));
}

TTableTypeExport TfrmZelEWizard::SelectedFormat() const {
  int id = FormatGroup->checkedId();
  return id < 0 ? teParadox : static_cast<TTableTypeExport>(id);
}

void TfrmZelEWizard::BuildFormatView() { format_->BuildView(); }

void TfrmZelEWizard::SelectFormat(TTableTypeExport t) {
  if (QRadioButton* b = FormatButton(t)) {
    if (b->isChecked())
      ApplyFormat(t, true);
    else
      b->setChecked(true);  // applies the format through the group
  }
}

void TfrmZelEWizard::ApplyFormat(TTableTypeExport t, bool changeExtension) {
  if (changeExtension) file_->ChangeExtension(t);
  for (const auto& step : steps_) step->UpdateEnabled(t, owner_.UserAccess);
}

// ---------------------------------------------------------------------------
// Steps

bool TfrmZelEWizard::StepVisited(int step) const {
  if (step < 1 || step > kWizardSteps) return false;
  return steps_[static_cast<size_t>(step - 1)]->Visited(SelectedFormat(), owner_.UserAccess);
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
  const TZelEWizardStep& step = *steps_[static_cast<size_t>(step_ - 1)];
  Pages->setCurrentIndex(step_ - 1);
  btnFirst->setEnabled(step_ >= 2);
  btnBack->setEnabled(step_ >= 2);
  btnNext->setEnabled(step_ <= 9);
  btnLast->setEnabled(step_ <= 9);
  btnNext->setDefault(btnNext->isEnabled());
  if (step_ < kWizardSteps) {
    btnCancel->setText(Q(owner_.GetLanguageString(txCancel)));
    btnCancel->setDefault(false);
  } else {
    btnCancel->setText(Q(owner_.GetLanguageString(owner_.SetupSpecificationOnly ? txOK : txExecute)));
    btnCancel->setDefault(true);
  }
  lblStep->setText(Q(ZelEFormat(owner_.GetLanguageString(txStepOf), {std::to_string(step_), "10"}) + "  "));
  QString desc = Q(owner_.GetLanguageString(step.Description()));
  lblStepInfo->setText(desc);
  lblDescription->setText(desc);
  lblCaption->setText(Q(owner_.GetLanguageString(step.Title())));
  steps_[static_cast<size_t>(step_ - 1)]->Shown(SelectedFormat());
}

// ---------------------------------------------------------------------------
// Settings and access rights

void TfrmZelEWizard::ApplyUserAccess() {
  btnSpecs->setVisible(owner_.UserAccess.Specification);
  for (const auto& step : steps_) step->ApplyAccess(owner_.UserAccess);
  ApplyFormat(SelectedFormat(), false);
}

void TfrmZelEWizard::FillFromSettings() {
  filling_ = true;
  for (const auto& step : steps_) step->Load(owner_);
  filling_ = false;
  ApplyFormat(SelectedFormat(), true);
  lblFileError->setText(FileNameError());
}

void TfrmZelEWizard::ReadToSettings() {
  for (const auto& step : steps_) step->Store(owner_);
}

// ---------------------------------------------------------------------------
// Columns and file name

std::vector<TZelEColumn> TfrmZelEWizard::ListColumns() const { return columns_->ListColumns(); }
void TfrmZelEWizard::InsertSysVar(int kind) { columns_->InsertSysVar(kind); }
void TfrmZelEWizard::CheckAllColumns(int how) { columns_->CheckAllColumns(how); }
void TfrmZelEWizard::MoveColumnItem(int from, int to) { columns_->MoveColumnItem(from, to); }
QString TfrmZelEWizard::FileNameError() const { return file_->FileNameError(); }

// ---------------------------------------------------------------------------
// Closing

void TfrmZelEWizard::ExecuteClicked() {
  QString err = FileNameError();
  if (!err.isEmpty()) {
    owner_.Services().ShowMessage(TZelEMessageKind::Error, err.toStdString());
    return;
  }
  if (owner_.ConfirmExecuteStart && !owner_.Services().AskYesNo("Do you want to start the export process?"))
    return;
  TTableTypeExport t = SelectedFormat();
  if (owner_.ConfirmFileOverwrite && !Can(t, faNoFile) && !Can(t, faConnection)) {
    // Asked whenever the file exists and is not being appended to.
    std::string f = owner_.ResolvedFileName(edtFileName->text().toStdString());
    std::error_code ec;
    bool merging = chkMerge->isEnabled() && chkMerge->isChecked();
    if (!f.empty() && std::filesystem::exists(f, ec) && !merging &&
        !owner_.Services().AskYesNo(ZelEFormat("%s file exists. To overwrite this file?", {f})))
      return;
  }
  accept();
}

void TfrmZelEWizard::reject() {
  if (owner_.ConfirmCancelExit && !owner_.Services().AskYesNo(owner_.GetLanguageString(txAbortWizard))) return;
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
