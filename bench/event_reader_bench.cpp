// Cost of reading an event-time file of 10 million lines (count, rewind,
// read), side by side with a bare scan for line ends over the same file, the
// least any line reader must do. The ratio of the two is reported.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "interactive/event_list_reader.h"
#include "textio/channels.h"
#include "textio/disk_file_channel.h"
#include "textio/fd_line_reader.h"
#include "textio/record_sink.h"

namespace {

class NullSink : public periodscan::RecordSink {
 public:
  void put_record(std::string_view) override {}
};

class OneAnswer : public periodscan::LineSource {
 public:
  explicit OneAnswer(std::string text) : text_(std::move(text)) {}
  bool next_line(std::string_view* line) override {
    *line = text_;
    return true;
  }
  std::string_view channel_name() const override { return "console input"; }
  std::string_view file_name() const override { return "standard input"; }

 private:
  std::string text_;
};

std::string make_event_file(int64_t lines) {
  std::string path = "/tmp/periodscan-bench-events.txt";
  FILE* f = std::fopen(path.c_str(), "w");
  for (int64_t i = 0; i < lines; ++i) std::fprintf(f, "%.8f 2.%02d\n", i * 0.00037, int(i % 97));
  std::fclose(f);
  return path;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_EventFileTwoPasses(benchmark::State& state) {
  const int64_t lines = state.range(0);
  const std::string path = make_event_file(lines);
  double reader_seconds = 0.0;
  double scan_seconds = 0.0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    {
      NullSink console;
      OneAnswer answers(path);
      periodscan::DiskFileChannel file;
      periodscan::Channels io{console, answers, file, periodscan::ConsoleMode::kPlain};
      auto t = periodscan::read_event_list(io);
      benchmark::DoNotOptimize(t);
    }
    reader_seconds += seconds_since(start);

    start = std::chrono::steady_clock::now();
    int fd = ::open(path.c_str(), O_RDONLY);
    periodscan::FdLineReader scan;
    int64_t counted = 0;
    for (int pass = 0; pass < 2; ++pass) {
      ::lseek(fd, 0, SEEK_SET);
      scan.attach(fd);
      std::string_view line;
      while (scan.next_line(&line)) ++counted;
    }
    ::close(fd);
    benchmark::DoNotOptimize(counted);
    scan_seconds += seconds_since(start);
  }
  state.counters["reader_s"] = reader_seconds / state.iterations();
  state.counters["reader_over_bare_scan"] = reader_seconds / scan_seconds;
  std::remove(path.c_str());
}
BENCHMARK(BM_EventFileTwoPasses)->Arg(10'000'000)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace
