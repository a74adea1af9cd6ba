// Where records go, and the items a record is made of.
#pragma once

#include <cstdint>
#include <string_view>

namespace periodscan {

// One record (one line of text, without its ending) at a time. The console
// applies its line control to the first character; the file channel ends
// every record with carriage return and line feed. A record that cannot be
// written ends the run with the fatal error report (FatalError).
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void put_record(std::string_view record) = 0;
};

// One item of a list write or fixed write: a text, a 4-byte integer or a
// 4-byte real. The constructors are deliberately narrow, so that a double
// does not silently become a float item: round it where the program stores it.
class Item {
 public:
  enum class Kind { kText, kInteger, kReal };

  Item(std::string_view text) : kind_(Kind::kText), text_(text) {}
  Item(const char* text) : kind_(Kind::kText), text_(text) {}
  Item(int32_t integer) : kind_(Kind::kInteger), integer_(integer) {}
  Item(float real) : kind_(Kind::kReal), real_(real) {}
  Item(double) = delete;

  Kind kind() const { return kind_; }
  std::string_view text() const { return text_; }
  int32_t integer() const { return integer_; }
  float real() const { return real_; }

 private:
  Kind kind_;
  std::string_view text_;
  int32_t integer_ = 0;
  float real_ = 0.0f;
};

}  // namespace periodscan
