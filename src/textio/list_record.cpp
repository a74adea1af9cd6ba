#include "textio/list_record.h"

#include <string>
#include <string_view>

#include "textio/layout.h"
#include "textio/number_spelling.h"

namespace periodscan {

namespace {

// Builds the records of one list write in a single string that is reused
// from record to record, so a long row of reals costs no allocation per
// value.
class ListRecordBuilder {
 public:
  explicit ListRecordBuilder(RecordSink& sink) : sink_(sink) {
    record_.reserve(static_cast<size_t>(kListRecordColumns) + 1);
  }

  // A text begins its record with a blank in column 1. Texts are not wrapped:
  // every text the program writes fits in one record.
  void add_text(std::string_view text) {
    if (record_.empty()) record_.push_back(' ');
    record_.append(text);
  }

  void add_integer(int32_t n) {
    make_room(kListIntegerWidth);
    append_list_integer(record_, n);
  }

  void add_real(float x) {
    make_room(kListRealWidth);
    append_list_real(record_, x);
  }

  void add(const Item& item) {
    switch (item.kind()) {
      case Item::Kind::kText:
        add_text(item.text());
        break;
      case Item::Kind::kInteger:
        add_integer(item.integer());
        break;
      case Item::Kind::kReal:
        add_real(item.real());
        break;
    }
  }

  // Writes the last record. A list write with no items still writes one,
  // empty, record: the next list write always starts a new record.
  void finish() { sink_.put_record(record_); }

 private:
  // A number that does not fit in the free columns begins the next record,
  // in its column 1 (its own right alignment supplies the spacing).
  void make_room(int width) {
    const int free_columns = kListRecordColumns - static_cast<int>(record_.size());
    if (!record_.empty() && free_columns < width) {
      sink_.put_record(record_);
      record_.clear();
    }
  }

  RecordSink& sink_;
  std::string record_;
};

}  // namespace

void write_list(RecordSink& sink, std::span<const Item> items) {
  ListRecordBuilder builder(sink);
  for (const Item& item : items) builder.add(item);
  builder.finish();
}

void write_list(RecordSink& sink, std::initializer_list<Item> items) {
  write_list(sink, std::span<const Item>(items.begin(), items.size()));
}

void write_list(RecordSink& sink, std::span<const float> row) {
  ListRecordBuilder builder(sink);
  for (float x : row) builder.add_real(x);
  builder.finish();
}

}  // namespace periodscan
