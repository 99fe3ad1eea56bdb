#include "ui/log_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ui {

namespace {

QString TextOf(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

LogOptionsDialog::LogOptionsDialog(const QString& port, const LogOptions& options, QWidget* parent)
    : QDialog(parent), m_options(options), m_problem(new QLabel(this)) {
  setWindowTitle(tr("Log options of %1").arg(port));
  setObjectName("LogOptionsDialog");
  auto* rows = new QFormLayout;
  for (const LogOption& option : kLogOptions) {
    const QString label = TextOf(option.label);
    if (option.kind == LogOption::Kind::kOnOff) {
      auto* box = new QCheckBox(label, this);
      box->setObjectName(TextOf(option.storedName));
      box->setChecked(options.*option.field != 0);
      rows->addRow(box);
      m_readers.push_back([box, field = option.field](LogOptions& read, QString&) {
        read.*field = box->isChecked() ? 1 : 0;
        return true;
      });
      continue;
    }
    auto* edit = new QLineEdit(QString::number(options.*option.field), this);
    edit->setObjectName(TextOf(option.storedName));
    rows->addRow(label, edit);
    m_readers.push_back([edit, &option, label](LogOptions& read, QString& problem) {
      const auto number = ParseLogOption(option, edit->text().trimmed().toStdString());
      if (!number) {
        problem = tr("%1: a whole number, K, M or G may follow").arg(label);
        edit->setFocus();
        return false;
      }
      read.*option.field = *number;
      return true;
    });
  }
  m_problem->setObjectName("problem");
  m_problem->setWordWrap(true);
  m_problem->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(rows);
  layout->addWidget(m_problem);
  layout->addWidget(buttons);
}

void LogOptionsDialog::accept() {
  LogOptions read = m_options;
  QString problem;
  for (const Reader& reader : m_readers) {
    if (reader(read, problem)) continue;
    m_problem->setText(problem);
    m_problem->show();
    return;
  }
  m_options = read;
  QDialog::accept();
}

}  // namespace ui
