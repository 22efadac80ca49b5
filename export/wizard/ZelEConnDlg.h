#pragma once
// The connection dialog of the database target: a driver or a data source, the
// database (a file, or server, port and database name), the login and further
// attributes, with the resulting connection string and a Test button.

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "export/formats/ZelE2ADO.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QLabel;

namespace korvane {

class TfrmZelEConnection : public QDialog {
  Q_OBJECT
 public:
  TfrmZelEConnection(const std::string& initial, QWidget* parent = nullptr);

  // The string the fields give.
  std::string ConnectionString() const;
  // Tries the connection; answers "" when it opened, else the driver's message.
  // Replaced by tests.
  std::function<std::string(const std::string& connection)> TryConnect;

  QComboBox* cmbSource = nullptr;  // drivers, then "DSN: name" entries
  QLineEdit* edtFile = nullptr;
  QPushButton* btnFile = nullptr;
  QLineEdit* edtServer = nullptr;
  QLineEdit* edtPort = nullptr;
  QLineEdit* edtDatabase = nullptr;
  QLineEdit* edtUser = nullptr;
  QLineEdit* edtPassword = nullptr;
  QLineEdit* edtMore = nullptr;
  QPlainTextEdit* memResult = nullptr;
  QPushButton* btnTest = nullptr;
  QLabel* lblTest = nullptr;

 private:
  TZelEConnectionParts Parts() const;
  void Update();
};

// Shows the dialog; the string chosen, or initial when it is cancelled.
std::string EditConnectionString(QWidget* parent, const std::string& initial);

}  // namespace korvane
