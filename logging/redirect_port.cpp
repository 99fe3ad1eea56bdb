#include "logging/redirect_port.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>

#include "logging/file_error.h"
#include "logging/log_rotation.h"
#include "logging/open_failure.h"
#include "logging/settings_store.h"
#include "serial/folder_watch.h"
#include "serial/line_settings.h"

namespace {

constexpr uint32_t kBlockSize = 4096;
// A read returns once a full block has arrived or 300 ms after it began, so a steady stream
// is written in blocks rather than byte by byte.
constexpr serial::CommTimeouts kLoggingTimeouts{
    .ReadIntervalTimeout = 0,
    .ReadTotalTimeoutMultiplier = 0,
    .ReadTotalTimeoutConstant = 300,
    .WriteTotalTimeoutMultiplier = 0,
    .WriteTotalTimeoutConstant = 300,
};
// How long a returned device that another program holds is left to it before the next try.
constexpr int kBusyRetryMs = 1000;
// Bytes that come from the driver this long after the ones before start a new run in the time
// index: each message of a bursty device gets its own time, a steady stream one per block.
constexpr std::chrono::milliseconds kIndexPause{5};
// A rotation tries this many counters after a taken name before it gives up, and tries again
// after this long.
constexpr unsigned kRotatedNameTries = 10000;
constexpr std::chrono::minutes kRotationRetry{1};
// The status line holds at most this many characters of a file error's message.
constexpr size_t kMaxStatusCharacters = 254;

// Cuts UTF-8 text after `max` characters, never inside one.
std::string CutToCharacters(std::string text, size_t max) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (startsCharacter && ++characters > max) {
      text.resize(i);
      break;
    }
  }
  return text;
}

// The stored values besides "file", each the field's 32 bits.
constexpr std::pair<std::string_view, bool CRedirectPort::*> kStoredFlags[] = {
    {"logging", &CRedirectPort::m_bLogging},
    {"append", &CRedirectPort::m_bAppend},
};
constexpr std::pair<std::string_view, int32_t CRedirectPort::*> kStoredNumbers[] = {
    {"baudrate", &CRedirectPort::m_nBaudRate}, {"databits", &CRedirectPort::m_nDataBits},
    {"parity", &CRedirectPort::m_nParity},     {"stopbits", &CRedirectPort::m_nStopBits},
    {"flowctrl", &CRedirectPort::m_nFlowCtrl},
};
constexpr std::string_view kStoredFile = "file";

// Sets the field of that name when the value has the field's type; anything else is ignored.
void LoadValue(CRedirectPort& task, const std::string& name, const StoredValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (name == kStoredFile) task.m_strFile = *text;
    return;
  }
  const uint32_t number = std::get<uint32_t>(value);
  for (const auto& [flagName, field] : kStoredFlags)
    if (name == flagName) task.*field = number != 0;
  for (const auto& [numberName, field] : kStoredNumbers)
    if (name == numberName) task.*field = static_cast<int32_t>(number);
  for (const LogOption& option : kLogOptions)
    if (name == option.storedName) task.m_options.*option.field = number;
}

}  // namespace

CRedirectPort::CRedirectPort(std::string portName, bool current, PortOwner* owner, int index)
    : CRedirectPort(std::move(portName), current, owner, index, serial::SystemPortOpener(),
                    SettingsStore::UserStore()) {}

CRedirectPort::CRedirectPort(std::string portName, bool current, PortOwner* owner, int index,
                             serial::PortOpener& opener, SettingsStore& store)
    : CCommPort(opener),
      m_pOwner(owner),
      m_strPort(std::move(portName)),
      m_nIndex(index),
      m_bCurrent(current),
      m_store(store),
      m_arrivals(kIndexPause) {
  // Set before the reader thread exists: a first read without them would wait for 4096 bytes.
  SetTimeoutsAtOpen(kLoggingTimeouts);
}

CRedirectPort::~CRedirectPort() {
  // The reader thread calls this object's handlers: end it while the object is still whole.
  if (IsOpen()) StopLogging();
}

bool CRedirectPort::StartLogging(uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                                 uint8_t stopBits, uint8_t flowControl) {
  // Already logging (or stopping): opening the file again would empty it under the reader.
  if (IsOpen()) return false;
  if (!m_file.Open(m_strFile, m_bAppend)) {
    SetStatus("Unable open file");
    PostStatus(PORT_STATUS_FILE_OPEN_FAILED);
    return false;
  }
  if (m_bAppend) m_nFileBytes = static_cast<uint32_t>(m_file.Size());
  m_runOptions = m_options;
  m_logOffset = m_bAppend ? m_file.Size() : 0;
  m_fileBegun = m_logOffset > 0 ? m_file.BirthTime() : m_wallClock();
  m_nextRotationTry = {};
  const uint64_t startOffset = m_logOffset;  // the reader moves it on once the port is open
  // Without its index the log is still whole: an index that cannot be had is done without,
  // and the status says so.
  if (m_runOptions.timestamps != 0) m_index.Open(m_strFile, m_bAppend);
  {
    std::lock_guard lock(m_statusMutex);
    m_strLineErrors.clear();  // a new run counts its own
    m_lineErrors = {};
  }
  m_errorsOfEarlierDevices = m_errorsOfThisDevice = {};
  m_identity = Opener().IdentityOf(m_strPort);
  if (!Open(m_strPort, baudRate, byteSize, stopBits, parity, flowControl)) {
    m_index.Close();
    SetStatus(UnableOpenPortStatus(LastOpenError(), Opener(), m_strPort));
    PostStatus(PORT_STATUS_PORT_OPEN_FAILED);
    m_file.Close();
    return false;
  }
  // Only now that the port is ours: a start that failed leaves the file as it was.
  m_file.EmptyNow();
  // An index from an earlier run would give the new bytes its times.
  if (m_runOptions.timestamps == 0 && !m_bAppend) {
    std::error_code ignored;
    std::filesystem::remove(m_strFile + std::string(kTimeIndexSuffix), ignored);
  }
  SetStatus("Logging started");
  m_index.Start(startOffset, m_wallClock(), Status());
  TellOwner(PORT_STATUS_STARTED);
  ReportIndexProblem();
  return true;
}

void CRedirectPort::StopLogging() {
  // Close runs the window's events while it waits; a stop asked for meanwhile is this one.
  if (m_bStopping) return;
  m_bStopping = true;
  // The port first: its reader thread writes the last block it read before it ends, and
  // nothing can write through the file once it is closed.
  Close();
  SetStatus("Logging stopped");
  m_index.AddEvent(m_logOffset, m_wallClock(), Status());
  m_index.Close();
  m_file.Close();
  m_bStopping = false;
}

bool CRedirectPort::ResumeLogging() {
  return StartLogging(static_cast<uint32_t>(m_nBaudRate), serial::ByteSizeOf(m_nDataBits),
                      serial::Low8(m_nParity), serial::Low8(m_nStopBits),
                      serial::Low8(m_nFlowCtrl));
}

bool CRedirectPort::SaveSettings() {
  StoredValues values{{std::string(kStoredFile), m_strFile}};
  for (const auto& [name, field] : kStoredFlags)
    values.emplace(name, uint32_t{this->*field ? 1u : 0u});
  for (const auto& [name, field] : kStoredNumbers)
    values.emplace(name, static_cast<uint32_t>(this->*field));
  for (const LogOption& option : kLogOptions)
    values.emplace(option.storedName, m_options.*option.field);
  return m_store.Save(m_strPort, values);
}

bool CRedirectPort::LoadSettings() {
  const std::optional<StoredValues> values = m_store.Load(m_strPort);
  if (!values) return false;
  for (const auto& [name, value] : *values) LoadValue(*this, name, value);
  return true;
}

bool CRedirectPort::ReloadSettings() {
  m_bLogging = m_bAppend = false;
  m_strFile.clear();
  const serial::LineSettings defaults;
  m_nBaudRate = defaults.baudRate;
  m_nDataBits = defaults.dataBits;
  m_nParity = defaults.parity;
  m_nStopBits = defaults.stopBits;
  m_nFlowCtrl = defaults.flowControl;
  m_options = {};
  return LoadSettings();
}

void CRedirectPort::OnRxChar(uint32_t /*bytesWaiting*/) {
  std::array<uint8_t, kBlockSize> buffer;
  // Only a run that keeps an index asks when its bytes came.
  const bool timed = m_runOptions.timestamps != 0;
  const uint32_t count =
      std::min(timed ? ReadTimed(buffer.data(), kBlockSize, m_arrivals)
                     : Read(buffer.data(), kBlockSize),
               kBlockSize);
  try {
    if (count > 0) PrepareFileFor(count);
    m_file.Write(std::span(buffer.data(), count));
  } catch (const FileError& error) {
    // The block is lost; logging goes on and the next event writes again.
    const std::string message = error.Message();
    SetStatus(message.empty() ? "File error" : CutToCharacters(message, kMaxStatusCharacters));
    PostStatus(PORT_STATUS_FILE_ERROR);
    return;
  }
  if (timed) {
    m_index.AddRuns(m_logOffset, count, m_arrivals.Runs());
    ReportIndexProblem();
  }
  // Acquire: the tap is whole once the flag says so.
  if (count > 0 && m_viewed.load(std::memory_order_acquire))
    m_tap->Put(m_logOffset, std::span(buffer.data(), count),
               timed ? m_arrivals.Runs() : std::span<const serial::ReadArrivals::Run>());
  m_logOffset += count;
  m_nReceived += count;
  m_nFileBytes += count;
  if (m_bCurrent) Post(WM_PORT_STATISTICS, 0, 0);
}

void CRedirectPort::PrepareFileFor(uint32_t count) {
  if (m_file.FollowPath()) {
    m_logOffset = m_file.Size();
    m_fileBegun = m_logOffset > 0 ? m_file.BirthTime() : m_wallClock();
    m_index.FollowPath();
    SetStatus("Log file was moved or deleted; logging goes on in a new file");
    PostStatus(PORT_STATUS_NEW_FILE);
  }
  // A file begun on a day that gave it no bytes is the new day's.
  if (m_runOptions.rotateDaily != 0 && m_logOffset == 0) m_fileBegun = m_wallClock();
  if (RotationDue(count)) Rotate();
}

// Whole blocks only: a block that would take the file past its size starts the next file.
bool CRedirectPort::RotationDue(uint32_t count) const {
  if (!m_file.IsRegularFile() || m_logOffset == 0) return false;
  if (std::chrono::steady_clock::now() < m_nextRotationTry) return false;
  const uint64_t size = m_runOptions.rotateSize;
  if (size != 0 && m_logOffset + count > size) return true;
  return m_runOptions.rotateDaily != 0 &&
         !log_rotation::SameLocalDay(m_fileBegun, m_wallClock());
}

// By rename, never by copy: a program that follows the path reads every byte once. A file
// that cannot be renamed is written on, so nothing is lost, and the failure is said once.
void CRedirectPort::Rotate() {
  const std::string& path = m_file.FollowedPath();
  int error = EEXIST;
  std::string aside;
  const unsigned first = log_rotation::NextCounter(path, m_fileBegun);
  for (unsigned counter = first; counter < first + kRotatedNameTries && error == EEXIST;
       ++counter) {
    aside = log_rotation::RotatedPath(path, m_fileBegun, counter);
    // A name whose index is left from before would not take this file's index.
    std::error_code ignored;
    if (std::filesystem::exists(aside + std::string(kTimeIndexSuffix), ignored)) continue;
    error = m_file.MoveAsideAndRenew(aside);
  }
  if (error != 0) {
    if (m_nextRotationTry == std::chrono::steady_clock::time_point{}) {
      SetStatus("Unable to start a new log file after " + path + ": " + std::strerror(error));
      PostStatus(PORT_STATUS_FILE_ERROR);
    }
    // Not again at every block: the reader has a line to keep up with.
    m_nextRotationTry = std::chrono::steady_clock::now() + kRotationRetry;
    return;
  }
  m_nextRotationTry = {};
  m_logOffset = m_file.Size();  // first: an event meanwhile belongs to the new file
  m_index.Rotate(aside);
  m_fileBegun = m_wallClock();
  m_nFileBytes = static_cast<uint32_t>(m_logOffset.load());
  log_rotation::KeepNewest(path, m_runOptions.rotateKeep);
}

// Said once a run, on the thread that found it; not into the index that failed.
void CRedirectPort::ReportIndexProblem() {
  const std::optional<std::string> problem = m_index.TakeProblem();
  if (!problem) return;
  SetStatus(*problem);
  TellOwner(PORT_STATUS_FILE_ERROR);
}

void CRedirectPort::OnLineChanged() {
  m_index.AddEvent(m_logOffset, m_wallClock(),
                   "Line settings now " + serial::LineSettingsText(Settings()));
}

// The status keeps its text and says how many errors of each kind the line had in this run.
void CRedirectPort::OnLineError(uint32_t /*errors*/) {
  if (!LineErrorsSinceOpen(m_errorsOfThisDevice)) return;
  serial::LineErrorCounts counts = m_errorsOfEarlierDevices;
  counts += m_errorsOfThisDevice;
  const std::string text = serial::LineErrorsText(counts);
  if (text.empty()) return;
  {
    std::lock_guard lock(m_statusMutex);
    m_strLineErrors = "; line errors: " + text;
    m_lineErrors = counts;
  }
  PostStatus(PORT_STATUS_LINE_ERRORS);
}

// The reader thread has ended for good (the port refuses to be waited on): say so instead of
// looking as if logging went on. The file stays open and Stop works as usual. A device that is
// gone is reported by OnDeviceLost, which knows whether it can wait for it.
void CRedirectPort::OnThreadError(int error) {
  if (error == 2) return;
  SetStatus("Port error");
  PostStatus(PORT_STATUS_PORT_ERROR);
}

// An unplugged adapter: wait, without polling, for its node to come back, and go on logging
// into the same file (it stays open) once it does. Stop, quit and the destructor end the wait
// through Close.
bool CRedirectPort::OnDeviceLost() {
  const std::filesystem::path node = Opener().DevicePath(m_strPort);
  serial::FolderWatch watch(node.parent_path().string());
  if (node.empty() || watch.error() != 0) {
    SetStatus("Port error");
    PostStatus(PORT_STATUS_PORT_ERROR);
    return false;
  }
  SetStatus("Port lost, waiting for it to return");
  PostStatus(PORT_STATUS_PORT_LOST);
  m_errorsOfEarlierDevices += m_errorsOfThisDevice;
  m_errorsOfThisDevice = {};
  // Holding the dead device would keep its name, and the adapter would return as another.
  ReleaseDevice();
  bool strangerReported = false;
  for (;;) {
    bool busy = false;
    switch (TryToResume()) {
      case Return::kBack:
        SetStatus("Logging resumed");
        PostStatus(PORT_STATUS_STARTED);
        return true;
      case Return::kStranger:
        if (!strangerReported) {
          SetStatus("A different device appeared as " + m_strPort);
          PostStatus(PORT_STATUS_PORT_LOST);
        }
        strangerReported = true;
        break;
      case Return::kBusy:
        busy = true;
        break;
      case Return::kNotYet:
        break;
    }
    // A node that still cannot be opened (its group not yet given) waits for the next change;
    // one that another program holds (a modem manager probing it) is tried again after a
    // while, since its closing is no change of the folder.
    if (busy) {
      if (!WaitUntilReadable(watch.fd(), kBusyRetryMs)) return false;
      watch.Changed();
      continue;
    }
    do {
      if (!WaitUntilReadable(watch.fd())) return false;
    } while (!watch.Changed(node.filename().string()));
  }
}

CRedirectPort::Return CRedirectPort::TryToResume() {
  // Where the kernel tells who the device is, only the same device may go on in this log.
  const std::optional<std::string> identity = Opener().IdentityOf(m_strPort);
  if (m_identity && identity && *identity != *m_identity) return Return::kStranger;
  switch (ReopenDevice()) {
    case 0:
      return Return::kBack;
    case EBUSY:
      return Return::kBusy;
    default:
      return Return::kNotYet;
  }
}

DataTap& CRedirectPort::StartView() {
  if (!m_tap) m_tap = std::make_unique<DataTap>();
  m_tap->StartViewing();
  m_viewed.store(true, std::memory_order_release);
  return *m_tap;
}

void CRedirectPort::StopView() { m_viewed = false; }

serial::LineErrorCounts CRedirectPort::LineErrors() const {
  std::lock_guard lock(m_statusMutex);
  return m_lineErrors;
}

std::string CRedirectPort::Status() const {
  std::lock_guard lock(m_statusMutex);
  return m_strStatus + m_strLineErrors;
}

void CRedirectPort::SetStatus(std::string status) {
  std::lock_guard lock(m_statusMutex);
  m_strStatus = std::move(status);
}

void CRedirectPort::PostStatus(int code) {
  m_index.AddEvent(m_logOffset, m_wallClock(), Status());
  TellOwner(code);
}

void CRedirectPort::TellOwner(int code) {
  if (m_pOwner != nullptr) m_pOwner->PortStatusChanged(m_nIndex, code, Status());
}

void CRedirectPort::Post(uint32_t message, int wParam, int lParam) {
  if (m_pOwner != nullptr) m_pOwner->PostPortMessage(message, wParam, lParam);
}
