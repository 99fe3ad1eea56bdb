#pragma once
// The current port's log options (time index, rotation), one row per entry of kLogOptions:
// a check box for an on-off option, a field for a count. OK takes them only when every field
// holds a count; otherwise it says which one does not.

#include <QDialog>
#include <functional>
#include <vector>

#include "logging/log_options.h"

class QLabel;

namespace ui {

class LogOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  LogOptionsDialog(const QString& port, const LogOptions& options, QWidget* parent);
  // What the rows hold; meaningful once the dialog was accepted.
  const LogOptions& Options() const { return m_options; }

  void accept() override;

 private:
  // Each row reads its control into the options; false with the reason when it cannot.
  using Reader = std::function<bool(LogOptions&, QString& problem)>;
  std::vector<Reader> m_readers;
  LogOptions m_options;
  QLabel* m_problem;
};

}  // namespace ui
