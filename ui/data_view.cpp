#include "ui/data_view.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "logging/byte_text.h"
#include "logging/redirect_port.h"

namespace ui {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTakeInterval{100};  // about ten updates a second at most
constexpr std::chrono::seconds kWarningFor{5};           // after the errors last climbed

QString RateText(double bytesPerSecond) {
  if (bytesPerSecond >= 1e6) return QString::asprintf("%.1f MB/s", bytesPerSecond / 1e6);
  if (bytesPerSecond >= 1e3) return QString::asprintf("%.1f KB/s", bytesPerSecond / 1e3);
  return QString::asprintf("%.0f bytes/s", bytesPerSecond);
}

}  // namespace

DataView::DataView(CRedirectPort& task, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_task(task),
      m_tap(task.StartView()),
      m_data(new QPlainTextEdit(this)),
      m_text(new QRadioButton(tr("&Text"), this)),
      m_hex(new QRadioButton(tr("&Hex"), this)),
      m_pause(new QPushButton(tr("&Pause"), this)),
      m_find(new QLineEdit(this)),
      m_figures(new QLabel(this)),
      m_timer(new QTimer(this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName("DataView");
  setWindowTitle(QString::fromStdString(task.m_strPort));
  resize(640, 420);

  m_data->setReadOnly(true);
  m_data->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_data->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  m_text->setChecked(true);
  m_pause->setCheckable(true);
  m_find->setPlaceholderText(tr("Find text, or hex bytes as 0a 0d"));
  m_find->hide();
  m_figures->setObjectName("figures");

  auto* controls = new QHBoxLayout;
  controls->addWidget(m_text);
  controls->addWidget(m_hex);
  controls->addStretch();
  controls->addWidget(m_pause);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(m_data);
  layout->addWidget(m_find);
  layout->addWidget(m_figures);

  connect(m_text, &QRadioButton::toggled, this, [this] { Render(); });
  connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
    if (!paused) Render();
  });
  connect(m_find, &QLineEdit::returnPressed, this, [this] { FindNext(); });
  connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
    m_find->show();
    m_find->setFocus();
    m_find->selectAll();
  });
  // Whichever part has the focus, Ctrl+C copies what is selected, as it is shown.
  connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, m_data,
          &QPlainTextEdit::copy);
  connect(m_timer, &QTimer::timeout, this, [this] { Take(); });
  m_timer->start(kTakeInterval);
  UpdateFigures(0, 0);
}

DataView::~DataView() { m_task.StopView(); }

void DataView::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
  // Escape first leaves finding, then closes.
  if (m_find->hasFocus()) {
    m_find->hide();
    m_data->setFocus();
  } else {
    close();
  }
}

std::vector<uint8_t> DataView::KeptBytes() const {
  std::vector<uint8_t> bytes;
  for (const DataTap::Block& block : m_blocks)
    bytes.insert(bytes.end(), block.bytes.begin(), block.bytes.end());
  return bytes;
}

bool DataView::IsHex() const { return m_hex->isChecked(); }
void DataView::SetHex(bool hex) { (hex ? m_hex : m_text)->setChecked(true); }
QString DataView::ShownText() const { return m_data->toPlainText(); }
QString DataView::Figures() const { return m_figures->text(); }

void DataView::Take() {
  uint64_t skipped = 0;
  std::vector<DataTap::Block> taken = m_tap.Take(skipped);
  uint64_t newBytes = 0;
  for (DataTap::Block& block : taken) {
    newBytes += block.bytes.size();
    m_timed = m_timed || !block.runs.empty();
    m_keptBytes += block.bytes.size();
    m_blocks.push_back(std::move(block));
  }
  while (!m_blocks.empty() && m_keptBytes - m_blocks.front().bytes.size() >= kKeptBytes) {
    m_keptBytes -= m_blocks.front().bytes.size();
    m_blocks.pop_front();
  }
  m_changed = m_changed || newBytes > 0;
  UpdateFigures(newBytes, skipped);
  if (m_changed && !Held()) Render();
}

bool DataView::Held() const {
  const QScrollBar* bar = m_data->verticalScrollBar();
  return m_pause->isChecked() || bar->value() < bar->maximum() ||
         m_data->textCursor().hasSelection() || m_find->hasFocus();
}

void DataView::Render() {
  const std::vector<DataTap::Block> blocks(m_blocks.begin(), m_blocks.end());
  const std::string text =
      IsHex() ? byte_text::HexOfBlocks(blocks, m_timed) : byte_text::TextOfBlocks(blocks, m_timed);
  m_data->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  m_data->verticalScrollBar()->setValue(m_data->verticalScrollBar()->maximum());
  m_changed = false;
}

void DataView::UpdateFigures(uint64_t newBytes, uint64_t skipped) {
  const Clock::time_point now = Clock::now();
  m_recent.emplace_back(now, newBytes);
  while (!m_recent.empty() && now - m_recent.front().first > std::chrono::seconds(1))
    m_recent.pop_front();
  uint64_t lastSecond = 0;
  for (const auto& [when, bytes] : m_recent) lastSecond += bytes;
  m_skipped += skipped;

  const serial::LineErrorCounts errors = m_task.LineErrors();
  // Bytes that come with framing or parity errors are mostly read at the wrong rate.
  const bool climbing = errors.frame + errors.parity > m_lastErrors.frame + m_lastErrors.parity;
  if (climbing && newBytes > 0) m_lastErrorClimb = now;
  const bool recentClimb = m_lastErrorClimb && now - *m_lastErrorClimb < kWarningFor;
  m_lastErrors = errors;

  QStringList parts{RateText(static_cast<double>(lastSecond))};
  const std::string lineErrors = serial::LineErrorsText(errors);
  if (!lineErrors.empty()) parts << tr("line errors: %1").arg(QString::fromStdString(lineErrors));
  if (recentClimb) parts << tr("Framing errors: is the baud rate right?");
  if (m_skipped > 0) parts << tr("%1 bytes skipped to show the newest").arg(m_skipped);
  m_figures->setText(parts.join(QStringLiteral("  ·  ")));
}

// Finds on from the cursor, round to the start once.
void DataView::FindNext() {
  const QString wanted = m_find->text();
  if (wanted.isEmpty()) return;
  if (m_data->find(wanted)) return;
  m_data->moveCursor(QTextCursor::Start);
  m_data->find(wanted);
}

}  // namespace ui
