// The time index beside a log and the rotation of logs, over a pseudo-terminal: the index
// says when each run of bytes came, its lengths always add up to the log, and rotated files
// in order are exactly the stream.
#include "logging/time_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "logging/log_rotation.h"
#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/line_settings.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_owner.h"
#include "tests/support/test_environment.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::FileBytes;
using testing_support::PtyPair;
using testing_support::RandomBytes;
using testing_support::RecordingOwner;
using testing_support::TempDir;

std::vector<IndexLine> ReadIndex(const fs::path& log) {
  std::ifstream in(log.string() + ".times");
  return ReadIndexLines(in);
}

std::vector<IndexLine> Runs(const std::vector<IndexLine>& lines) {
  std::vector<IndexLine> runs;
  for (const IndexLine& line : lines)
    if (line.event.empty()) runs.push_back(line);
  return runs;
}

std::vector<std::string> Events(const std::vector<IndexLine>& lines) {
  std::vector<std::string> events;
  for (const IndexLine& line : lines)
    if (!line.event.empty()) events.push_back(line.event);
  return events;
}

// Each run begins where the one before ended, and together they are the whole file.
void ExpectRunsCover(const fs::path& log) {
  uint64_t end = 0;
  for (const IndexLine& run : Runs(ReadIndex(log))) {
    EXPECT_EQ(run.offset, end) << log;
    end = run.offset + run.length;
  }
  EXPECT_EQ(end, fs::file_size(log)) << log;
}

bool Digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

// "port-20261210-101319.txt" or "port-20261210-101319-7.txt" (24 characters without a counter).
bool IsRotatedName(std::string_view name) {
  if (!name.starts_with("port-") || !name.ends_with(".txt") || name.size() < 24) return false;
  const std::string_view stamp = name.substr(5, 15);
  const std::string_view counter = name.substr(20, name.size() - 24);
  return Digits(stamp.substr(0, 8)) && stamp[8] == '-' && Digits(stamp.substr(9)) &&
         (counter.empty() || (counter[0] == '-' && Digits(counter.substr(1))));
}

class IndexTest : public testing::Test {
 protected:
  std::unique_ptr<CRedirectPort> MakeTask(LogOptions options) {
    auto task = std::make_unique<CRedirectPort>(pty.portName(), true, &owner, 0,
                                                serial::SystemPortOpener(), store);
    task->m_strFile = log.string();
    task->m_options = options;
    return task;
  }
  static bool Start(CRedirectPort& task) {
    return task.StartLogging(115200, 8, serial::NOPARITY, serial::ONESTOPBIT, 0);
  }
  bool WaitReceived(const CRedirectPort& task, size_t count) {
    return owner.WaitUntil([&] { return task.m_nReceived == count; }, 20s);
  }
  // Starts the task, sends `stream` over the line, and stops it once it has had all of it.
  bool LogThrough(CRedirectPort& task, const Bytes& stream) {
    if (!Start(task)) return false;
    pty.Send(stream);
    const bool received = WaitReceived(task, stream.size());
    task.StopLogging();
    return received;
  }

  TempDir dir;
  fs::path log = dir / "port.txt";
  PtyPair pty;
  RecordingOwner owner;
  SettingsStore store{dir / "settings.toml"};
};

TEST(IndexTimeTest, WritesAndReadsUtcWithMicroseconds) {
  const WallClock::time_point time =
      WallClock::time_point(std::chrono::seconds(1796897599) + 123456us);
  EXPECT_EQ(IndexTime(time), "2026-12-10T10:13:19.123456Z");
  EXPECT_EQ(ParseIndexTime("2026-12-10T10:13:19.123456Z"), time);
  EXPECT_EQ(ParseIndexTime("2026-12-10T10:13:19Z"), time - 123456us);
  for (const char* bad :
       {"", "2026-12-10 10:13:19", "2026-12-10T10:13:19.Z", "2026-12-10T10:13:19+01"})
    EXPECT_FALSE(ParseIndexTime(bad)) << bad;

  const auto event = ParseIndexLine("200\t0\t2026-12-10T10:13:19.123456Z\tPort lost, waiting");
  ASSERT_TRUE(event);
  EXPECT_EQ(event->offset, 200u);
  EXPECT_EQ(event->length, 0u);
  EXPECT_EQ(event->event, "Port lost, waiting");
  EXPECT_FALSE(
      ParseIndexLine(std::string(kTimeIndexHeader.substr(0, kTimeIndexHeader.size() - 1))));
  EXPECT_FALSE(ParseIndexLine("12\tx\t2026-12-10T10:13:19Z"));
}

TEST_F(IndexTest, EachBurstGetsItsOwnLineWithTheTimeItCame) {
  auto task = MakeTask({.timestamps = 1});
  ASSERT_TRUE(Start(*task));
  constexpr int kBursts = 12;
  std::vector<WallClock::time_point> sent;
  for (int i = 0; i < kBursts; ++i) {
    sent.push_back(WallClock::now());
    pty.Send(Bytes(100, static_cast<uint8_t>('a' + i)));
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(WaitReceived(*task, 100 * kBursts));
  task->StopLogging();

  const std::vector<IndexLine> runs = Runs(ReadIndex(log));
  ASSERT_EQ(runs.size(), static_cast<size_t>(kBursts));
  for (int i = 0; i < kBursts; ++i) {
    EXPECT_EQ(runs[i].offset, 100u * i);
    EXPECT_EQ(runs[i].length, 100u);
    EXPECT_LT(std::chrono::abs(runs[i].time - sent[i]), 10ms) << "burst " << i;
  }
  ExpectRunsCover(log);
  std::ifstream in(log.string() + ".times");
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first + "\n", kTimeIndexHeader);
}

TEST_F(IndexTest, ASteadyStreamGetsAboutOneLinePerBlock) {
  auto task = MakeTask({.timestamps = 1});
  const Bytes stream = RandomBytes(400'000, 1);
  ASSERT_TRUE(LogThrough(*task, stream));
  EXPECT_EQ(FileBytes(log), stream);
  ExpectRunsCover(log);
  // A block holds at most 4096 bytes; a pause now and then may split one.
  EXPECT_LE(Runs(ReadIndex(log)).size(), 2 * (stream.size() / 4096 + 1));
}

TEST_F(IndexTest, LengthsAddUpWhenTheTaskIsDestroyedMidStream) {
  auto task = MakeTask({.timestamps = 1});
  ASSERT_TRUE(Start(*task));
  std::atomic<bool> sending{true};
  // Never blocked on a full line, so it ends once nobody reads any more.
  ::fcntl(pty.masterFd(), F_SETFL, ::fcntl(pty.masterFd(), F_GETFL) | O_NONBLOCK);
  std::thread sender([&] {
    const Bytes chunk = RandomBytes(1000, 2);
    while (sending) {
      if (::write(pty.masterFd(), chunk.data(), chunk.size()) < 0) std::this_thread::sleep_for(1ms);
    }
  });
  ASSERT_TRUE(owner.WaitUntil([&] { return task->m_nReceived > 100'000; }, 20s));
  task.reset();
  sending = false;
  sender.join();
  ExpectRunsCover(log);
}

TEST_F(IndexTest, EventsOfTheRunGoInAtTheirOffsets) {
  auto task = MakeTask({.timestamps = 1});
  ASSERT_TRUE(Start(*task));
  pty.Send(std::string(10, 'x'));
  ASSERT_TRUE(WaitReceived(*task, 10));
  task->m_nBaudRate = 19200;
  ASSERT_TRUE(task->SetBaudRate(19200));
  task->StopLogging();

  // An appending start goes on in the same index, at the end of the log.
  task->m_bAppend = true;
  ASSERT_TRUE(Start(*task));
  pty.Send(std::string(5, 'y'));
  ASSERT_TRUE(WaitReceived(*task, 15));
  task->StopLogging();

  const std::vector<IndexLine> lines = ReadIndex(log);
  EXPECT_EQ(Events(lines),
            (std::vector<std::string>{"Logging started",
                                      "Line settings now 19200 8N1, hardware flow control",
                                      "Logging stopped", "Logging started", "Logging stopped"}));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0].offset, 0u);
  EXPECT_EQ(lines[4].offset, 10u);  // the second start
  EXPECT_EQ(lines[6].offset, 15u);
  ExpectRunsCover(log);

  // A start without appending empties the index with the log.
  task->m_bAppend = false;
  ASSERT_TRUE(Start(*task));
  task->StopLogging();
  EXPECT_EQ(Events(ReadIndex(log)),
            (std::vector<std::string>{"Logging started", "Logging stopped"}));
}

TEST_F(IndexTest, WithoutTimestampsNoIndexIsMadeAndAStaleOneGoesWithTheOldBytes) {
  std::ofstream(log.string() + ".times") << "0\t10\t2026-12-10T10:13:19Z\n";
  auto task = MakeTask({});
  ASSERT_TRUE(LogThrough(*task, Bytes(10, 'x')));
  EXPECT_FALSE(fs::exists(log.string() + ".times"));
}

TEST_F(IndexTest, AnIndexThatCannotBeWrittenIsSaidOnceAndTheLogGoesOn) {
  fs::create_directory(log.string() + ".times");  // in the index's way
  auto task = MakeTask({.timestamps = 1});
  ASSERT_TRUE(Start(*task));
  EXPECT_EQ(task->Status(), "Time index: " + log.string() +
                                ".times cannot be opened: Is a directory; the log goes on without it");
  EXPECT_EQ(owner.Count(testing_support::StatusMessage(0, PORT_STATUS_FILE_ERROR)), 1u);
  pty.Send(std::string(10, 'x'));
  ASSERT_TRUE(WaitReceived(*task, 10));
  task->StopLogging();
  EXPECT_EQ(FileBytes(log), Bytes(10, 'x'));
}

TEST_F(IndexTest, RotationBySizeCutsTheStreamIntoWholeBlocksWithNothingLostOrTwice) {
  constexpr uint32_t kLimit = 10'000;
  auto task = MakeTask({.timestamps = 1, .rotateSize = kLimit});
  const Bytes stream = RandomBytes(600'000, 3);
  ASSERT_TRUE(LogThrough(*task, stream));

  const std::vector<fs::path> rotated = log_rotation::RotatedFiles(log);
  ASSERT_GE(rotated.size(), stream.size() / kLimit);
  Bytes joined;
  for (const fs::path& file : rotated) {
    EXPECT_TRUE(IsRotatedName(file.filename().string())) << file;
    const Bytes bytes = FileBytes(file);
    EXPECT_LE(bytes.size(), kLimit) << file;
    joined.insert(joined.end(), bytes.begin(), bytes.end());
    ExpectRunsCover(file);
  }
  const Bytes current = FileBytes(log);
  joined.insert(joined.end(), current.begin(), current.end());
  EXPECT_TRUE(joined == stream) << "the rotated files and the current one are not the stream";
  ExpectRunsCover(log);
  // A fast line fills several files in one second: they are told apart by a counter.
  EXPECT_TRUE(std::any_of(rotated.begin(), rotated.end(), [](const fs::path& file) {
    return IsRotatedName(file.filename().string()) && file.filename().string().size() > 24;
  }));
}

TEST_F(IndexTest, RotationKeepsOnlyTheNewestFilesItIsToldTo) {
  auto task = MakeTask({.timestamps = 1, .rotateSize = 5000, .rotateKeep = 3});
  const Bytes stream = RandomBytes(200'000, 4);
  ASSERT_TRUE(LogThrough(*task, stream));

  const std::vector<fs::path> rotated = log_rotation::RotatedFiles(log);
  ASSERT_EQ(rotated.size(), 3u);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    files += entry.path().extension() != ".toml" && entry.path().extension() != ".lock";
  EXPECT_EQ(files, 2 * (rotated.size() + 1)) << "an index was left without its log";
  // The kept ones are the newest: they and the current file are the stream's end.
  Bytes tail;
  for (const fs::path& file : rotated) {
    const Bytes bytes = FileBytes(file);
    tail.insert(tail.end(), bytes.begin(), bytes.end());
  }
  const Bytes current = FileBytes(log);
  tail.insert(tail.end(), current.begin(), current.end());
  ASSERT_LE(tail.size(), stream.size());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), stream.end() - static_cast<long>(tail.size())));
}

// The day as the injected clock tells it.
std::atomic<int64_t> g_fakeSeconds{0};
WallClock::time_point FakeNow() {
  return WallClock::time_point(std::chrono::seconds(g_fakeSeconds.load()));
}

TEST_F(IndexTest, DailyRotationStartsANewFileWithTheFirstBytesOfTheDay) {
  setenv("TZ", "UTC0", 1);
  tzset();
  constexpr int64_t kLateOnTheTenth = 1796947199;  // 2026-12-10T23:59:59Z
  g_fakeSeconds = kLateOnTheTenth;
  auto task = MakeTask({.rotateDaily = 1});
  task->m_wallClock = &FakeNow;
  ASSERT_TRUE(Start(*task));
  pty.Send(std::string("tenth"));
  ASSERT_TRUE(WaitReceived(*task, 5));
  g_fakeSeconds = kLateOnTheTenth + 2;
  pty.Send(std::string("eleventh"));
  ASSERT_TRUE(WaitReceived(*task, 13));
  task->StopLogging();
  unsetenv("TZ");
  tzset();

  const fs::path rotated = dir / "port-20261210-235959.txt";
  EXPECT_EQ(log_rotation::RotatedFiles(log), std::vector<fs::path>{rotated});
  EXPECT_EQ(FileBytes(rotated), Bytes({'t', 'e', 'n', 't', 'h'}));
  EXPECT_EQ(FileBytes(log), Bytes({'e', 'l', 'e', 'v', 'e', 'n', 't', 'h'}));
}

TEST(RotatedNameTest, NamesAreOrderedByBeginThenCounter) {
  TempDir dir;
  const fs::path log = dir / "ttyUSB0port.txt";
  for (const char* name :
       {"ttyUSB0port-20261210-101319-10.txt", "ttyUSB0port-20261210-101319.txt",
        "ttyUSB0port-20261209-235959.txt", "ttyUSB0port-20261210-101319-2.txt",
        "ttyUSB0port-20261210-101319.txt.times", "ttyUSB0port-2026121-101319.txt",
        "other-20261210-101319.txt", "ttyUSB0port-20261210-101319-x.txt"})
    std::ofstream(dir / name) << name;
  std::vector<std::string> names;
  for (const fs::path& file : log_rotation::RotatedFiles(log)) names.push_back(file.filename());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "ttyUSB0port-20261209-235959.txt", "ttyUSB0port-20261210-101319.txt",
                       "ttyUSB0port-20261210-101319-2.txt", "ttyUSB0port-20261210-101319-10.txt"}));
}

}  // namespace
