// The free-form reading on arbitrary bytes, as console answers or as the
// lines of an event-time file.
//
// Input: byte 0 sets up the read (bits 0-2: number of targets, 0 to 4, larger
// values meaning 4; bits 3-4: the outcomes handled, none / read errors /
// read errors and end of input); byte 1 gives the kind of each target (bit k
// set: target k is a real, else an integer); the rest is the text. Reads are
// repeated until the text is used up or an outcome ends the run.
//
// Each read is made twice, on the same bytes: through the buffered reader of
// the real channels (over an in-memory file) and through a plain line
// splitter; both must give the same outcome, values and count. Checked too:
// only handled outcomes come back and the others end the run with the right
// kind of report; a target that got no value keeps its value; no real read
// is an infinity or a not-a-number; every value read is read back to the
// same bits from its shortest exact spelling.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "textio/fatal_error.h"
#include "textio/fd_line_reader.h"
#include "textio/free_reader.h"

namespace periodscan::fuzz {
namespace {

constexpr size_t kMaxTargets = 4;
constexpr uint32_t kRealSentinel = 0x7FC0ABCDu;  // a quiet NaN: never a value read
constexpr int32_t kIntegerSentinel = -1234567;

// The event-time file through the reader that the file channel uses.
class FdLines : public LineSource {
 public:
  explicit FdLines(std::string_view bytes) {
    fd_ = memfd_create("free-reader-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) broken("memfd_create");
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (put <= 0) broken("write to memfd");
      done += static_cast<size_t>(put);
    }
    if (::lseek(fd_, 0, SEEK_SET) != 0) broken("lseek");
    reader_.attach(fd_);
  }
  ~FdLines() override { ::close(fd_); }
  FdLines(const FdLines&) = delete;
  FdLines& operator=(const FdLines&) = delete;

  bool next_line(std::string_view* line) override { return reader_.next_line(line); }
  std::string_view channel_name() const override { return "file"; }
  std::string_view file_name() const override { return "events.txt"; }

 private:
  int fd_ = -1;
  FdLineReader reader_;
};

struct Outcome {
  int status = kReadOk;
  std::optional<FailureKind> fatal;  // set when the read ended the run
  int supplied = 0;
  std::array<uint32_t, kMaxTargets> bits{};  // the targets afterwards

  bool operator==(const Outcome&) const = default;
};

struct Setup {
  size_t targets = 0;
  Handled handled = Handled::kNone;
  uint8_t real_mask = 0;
  bool is_real(size_t k) const { return (real_mask >> k) & 1u; }
};

Outcome read_once(LineSource& source, const Setup& setup) {
  std::array<int32_t, kMaxTargets> integers;
  std::array<float, kMaxTargets> reals;
  std::array<NumberTarget, kMaxTargets> targets;
  for (size_t k = 0; k < setup.targets; ++k) {
    integers[k] = kIntegerSentinel;
    reals[k] = std::bit_cast<float>(kRealSentinel);
    targets[k] = setup.is_real(k) ? NumberTarget(&reals[k]) : NumberTarget(&integers[k]);
  }
  Outcome out;
  try {
    out.status = read_numbers(source, std::span<const NumberTarget>(targets.data(), setup.targets),
                              setup.handled, &out.supplied);
  } catch (const FatalError& error) {
    FUZZ_CHECK(error.channel() == source.channel_name(), error.channel());
    FUZZ_CHECK(error.file() == source.file_name(), error.file());
    out.fatal = error.kind();
  }
  for (size_t k = 0; k < setup.targets; ++k) {
    out.bits[k] =
        setup.is_real(k) ? std::bit_cast<uint32_t>(reals[k]) : static_cast<uint32_t>(integers[k]);
  }
  return out;
}

// The value read back from its own spelling: "%.9g" is exact for a 4-byte
// real, "%d" for an integer.
void check_read_back(uint32_t bits, bool real) {
  char text[64];
  if (real) {
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(std::bit_cast<float>(bits)));
  } else {
    std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(bits));
  }
  ByteLines source(text);
  int32_t integer = 0;
  float value = 0.0f;
  const NumberTarget target[] = {real ? NumberTarget(&value) : NumberTarget(&integer)};
  int supplied = 0;
  const int status = read_numbers(source, target, Handled::kReadErrorsAndEnd, &supplied);
  FUZZ_CHECK(status == kReadOk && supplied == 1, text);
  const uint32_t again = real ? std::bit_cast<uint32_t>(value) : static_cast<uint32_t>(integer);
  FUZZ_CHECK(again == bits, text);
}

void check_outcome(const Outcome& out, const Setup& setup) {
  if (out.fatal) {
    // Only what the caller does not handle ends the run.
    switch (*out.fatal) {
      case FailureKind::kEndOfInput:
        FUZZ_CHECK(setup.handled != Handled::kReadErrorsAndEnd, "end of input was handled");
        break;
      case FailureKind::kWrongForm:
      case FailureKind::kOutOfRange:
        FUZZ_CHECK(setup.handled == Handled::kNone, "read errors were handled");
        break;
      default:
        broken("a read ended with a failure of another kind");
    }
  } else {
    FUZZ_CHECK(out.status == kReadOk || out.status == kReadWrongForm ||
                   out.status == kReadOutOfRange || out.status == kReadEnd,
               std::to_string(out.status));
    if (out.status > 0)
      FUZZ_CHECK(setup.handled != Handled::kNone, "unhandled read error came back");
    if (out.status == kReadEnd) {
      FUZZ_CHECK(setup.handled == Handled::kReadErrorsAndEnd, "unhandled end came back");
    }
  }
  FUZZ_CHECK(out.supplied >= 0 && static_cast<size_t>(out.supplied) <= setup.targets,
             std::to_string(out.supplied));
  int changed = 0;
  for (size_t k = 0; k < setup.targets; ++k) {
    const bool real = setup.is_real(k);
    const uint32_t before = real ? kRealSentinel : static_cast<uint32_t>(kIntegerSentinel);
    if (out.bits[k] == before) continue;
    ++changed;
    if (real) FUZZ_CHECK(std::isfinite(std::bit_cast<float>(out.bits[k])), "real not finite");
    check_read_back(out.bits[k], real);
  }
  // A target that received no value (an empty one, or none before "/") keeps
  // the value it had.
  FUZZ_CHECK(changed <= out.supplied, "a target changed without a value");
}

}  // namespace
}  // namespace periodscan::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace periodscan;
  using namespace periodscan::fuzz;
  if (size < 2) return 0;
  Setup setup;
  setup.targets = std::min<size_t>(data[0] & 7u, kMaxTargets);
  setup.handled = static_cast<Handled>(((data[0] >> 3) & 3u) % 3);
  setup.real_mask = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  FdLines buffered(text);
  ByteLines plain(text, "file", "events.txt");
  // Every read starts on a new line, so there are at most as many reads as
  // lines, plus the one that meets the end.
  for (;;) {
    const Outcome a = read_once(buffered, setup);
    const Outcome b = read_once(plain, setup);
    FUZZ_CHECK(a == b, "the buffered reader and the line splitter disagree");
    check_outcome(a, setup);
    if (a.fatal || a.status == kReadEnd) break;
  }
  return 0;
}
