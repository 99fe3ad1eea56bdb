#pragma once
// "View data": a window of its own showing the newest bytes a port's task wrote to its log,
// as text or as hex rows, with their times where the task keeps a time index, and a line of
// figures under them. It takes the bytes from the task's tap ten times a second at most, so a
// slow or paused view never holds up logging; where it fell behind it says how many bytes it
// skipped. Closing it changes nothing about logging.

#include <QPointer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "logging/data_tap.h"
#include "serial/line_counts.h"

class CRedirectPort;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace ui {

class DataView : public QWidget {
  Q_OBJECT

 public:
  // The bytes kept for showing: at least this many of the newest.
  static constexpr size_t kKeptBytes = 64 * 1024;

  // Shows `task`'s data until it closes (or `owner`, its main window, goes).
  DataView(CRedirectPort& task, QWidget* owner);
  ~DataView() override;

  // The bytes kept for showing, oldest first.
  std::vector<uint8_t> KeptBytes() const;
  bool IsHex() const;
  void SetHex(bool hex);
  // The text the data area shows now.
  QString ShownText() const;
  QString Figures() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Take();
  void Render();
  // What the user looks at stays where it is: while paused, scrolled back, selecting or finding.
  bool Held() const;
  void UpdateFigures(uint64_t newBytes, uint64_t skipped);
  void FindNext();

  CRedirectPort& m_task;
  DataTap& m_tap;
  std::deque<DataTap::Block> m_blocks;
  size_t m_keptBytes = 0;
  bool m_changed = false;  // taken since the last render
  bool m_timed = false;    // the blocks carry times

  QPlainTextEdit* m_data;
  QRadioButton* m_text;
  QRadioButton* m_hex;
  QPushButton* m_pause;
  QLineEdit* m_find;
  QLabel* m_figures;
  QTimer* m_timer;

  // bytes per second over the last second, from what was taken
  std::deque<std::pair<std::chrono::steady_clock::time_point, uint64_t>> m_recent;
  uint64_t m_skipped = 0;
  serial::LineErrorCounts m_lastErrors;
  std::optional<std::chrono::steady_clock::time_point> m_lastErrorClimb;
};

}  // namespace ui
