#include "export/wizard/ZelEConnDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/odbc/odbc.h"

namespace korvane {

namespace {

const char kDsnPrefix[] = "DSN: ";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

TfrmZelEConnection::TfrmZelEConnection(const std::string& initial, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Database connection");
  TryConnect = [](const std::string& connection) {
    try {
      odbc::TConnection c;
      c.Open(connection);
      return std::string();
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
  };
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  cmbSource = new QComboBox(this);
  cmbSource->setObjectName("cmbSource");
  cmbSource->setEditable(true);
  for (const std::string& d : odbc::InstalledDrivers()) cmbSource->addItem(Q(d));
  for (const std::string& d : odbc::DataSources()) cmbSource->addItem(Q(kDsnPrefix + d));
  edtFile = new QLineEdit(this);
  edtFile->setObjectName("edtFile");
  btnFile = new QPushButton("...", this);
  btnFile->setFixedWidth(30);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edtFile);
  fileRow->addWidget(btnFile);
  edtServer = new QLineEdit(this);
  edtServer->setPlaceholderText("host name, or the folder of the server's socket");
  edtPort = new QLineEdit(this);
  edtDatabase = new QLineEdit(this);
  edtUser = new QLineEdit(this);
  edtPassword = new QLineEdit(this);
  edtPassword->setEchoMode(QLineEdit::Password);
  edtMore = new QLineEdit(this);
  edtMore->setPlaceholderText("KEY=VALUE;KEY=VALUE");
  form->addRow("Driver or data source:", cmbSource);
  form->addRow("Database file:", fileRow);
  form->addRow("Server or socket folder:", edtServer);
  form->addRow("Port:", edtPort);
  form->addRow("Database:", edtDatabase);
  form->addRow("User:", edtUser);
  form->addRow("Password:", edtPassword);
  form->addRow("More attributes:", edtMore);
  lay->addLayout(form);
  lay->addWidget(new QLabel("Connection string:", this));
  memResult = new QPlainTextEdit(this);
  memResult->setObjectName("memResult");
  memResult->setReadOnly(true);
  memResult->setMaximumHeight(60);
  lay->addWidget(memResult);
  auto* testRow = new QHBoxLayout;
  btnTest = new QPushButton("Test", this);
  btnTest->setObjectName("btnTest");
  lblTest = new QLabel(this);
  lblTest->setWordWrap(true);
  testRow->addWidget(btnTest);
  testRow->addWidget(lblTest, 1);
  lay->addLayout(testRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  lay->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  // The fields of the starting string.
  const TZelEConnectionParts p = ZelEConnectionPartsOf(initial);
  const QString source = !p.DataSource.empty() ? Q(kDsnPrefix + p.DataSource) : Q(p.Driver);
  if (!source.isEmpty()) cmbSource->setCurrentText(source);
  edtFile->setText(Q(p.File));
  edtServer->setText(Q(p.Server));
  edtPort->setText(Q(p.Port));
  edtDatabase->setText(Q(p.Database));
  edtUser->setText(Q(p.User));
  edtPassword->setText(Q(p.Password));
  edtMore->setText(Q(p.More));

  for (QLineEdit* e : {edtFile, edtServer, edtPort, edtDatabase, edtUser, edtPassword, edtMore})
    connect(e, &QLineEdit::textChanged, this, [this] { Update(); });
  connect(cmbSource, &QComboBox::currentTextChanged, this, [this] { Update(); });
  connect(btnFile, &QPushButton::clicked, this, [this] {
    QString f = QFileDialog::getSaveFileName(this, "Database file", edtFile->text(), "All files (*)", nullptr,
                                             QFileDialog::DontConfirmOverwrite);
    if (!f.isEmpty()) edtFile->setText(f);
  });
  connect(btnTest, &QPushButton::clicked, this, [this] {
    const std::string msg = TryConnect(ConnectionString());
    lblTest->setText(msg.empty() ? QString("The connection opened.") : Q(msg));
  });
  Update();
}

TZelEConnectionParts TfrmZelEConnection::Parts() const {
  TZelEConnectionParts p;
  const std::string source = S(cmbSource->currentText());
  if (source.rfind(kDsnPrefix, 0) == 0) p.DataSource = source.substr(sizeof kDsnPrefix - 1);
  else p.Driver = source;
  p.File = S(edtFile->text());
  p.Server = S(edtServer->text());
  p.Port = S(edtPort->text());
  p.Database = S(edtDatabase->text());
  p.User = S(edtUser->text());
  p.Password = S(edtPassword->text());
  p.More = S(edtMore->text());
  return p;
}

std::string TfrmZelEConnection::ConnectionString() const { return ZelEConnectionString(Parts()); }

void TfrmZelEConnection::Update() {
  // A database file is SQLite's; the server fields are for the others.
  const bool sqlite = cmbSource->currentText().contains("SQLite", Qt::CaseInsensitive);
  edtFile->setEnabled(sqlite || !edtFile->text().isEmpty());
  btnFile->setEnabled(edtFile->isEnabled());
  memResult->setPlainText(Q(ConnectionString()));
  lblTest->clear();
}

std::string EditConnectionString(QWidget* parent, const std::string& initial) {
  TfrmZelEConnection dlg(initial, parent);
  if (dlg.exec() != QDialog::Accepted) return initial;
  return dlg.ConnectionString();
}

}  // namespace korvane
