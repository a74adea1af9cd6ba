#include "textio/fixed_record.h"

#include <cassert>
#include <string>
#include <string_view>

#include "textio/layout.h"
#include "textio/number_spelling.h"

namespace periodscan {

namespace {

float real_of(const Item& item) {
  assert(item.kind() == Item::Kind::kReal);
  return item.real();
}

int32_t integer_of(const Item& item) {
  assert(item.kind() == Item::Kind::kInteger);
  return item.integer();
}

// The text as given, cut or padded to the field so the columns stay fixed.
void append_text4(std::string& out, const Item& item) {
  assert(item.kind() == Item::Kind::kText);
  const std::string_view text = item.text().substr(0, kTextFieldWidth);
  assert(text.size() == static_cast<size_t>(kTextFieldWidth));
  out.append(text);
  out.append(static_cast<size_t>(kTextFieldWidth) - text.size(), ' ');
}

size_t item_count(FixedLayout layout) {
  switch (layout) {
    case FixedLayout::kGeneral15Int10:
    case FixedLayout::kProgress2:
      return 2;
    case FixedLayout::kText4:
    case FixedLayout::kProgress1:
      return 1;
    case FixedLayout::kGeneral15:
      break;
  }
  return 0;  // any number
}

}  // namespace

void write_fixed(RecordSink& sink, FixedLayout layout, std::span<const Item> items) {
  assert(layout == FixedLayout::kGeneral15 || items.size() == item_count(layout));
  if (layout != FixedLayout::kGeneral15 && items.size() < item_count(layout)) return;

  std::string record;
  switch (layout) {
    case FixedLayout::kGeneral15:
      for (const Item& item : items) append_general15(record, real_of(item));
      break;
    case FixedLayout::kGeneral15Int10:
      append_general15(record, real_of(items[0]));
      append_integer10(record, integer_of(items[1]));
      break;
    case FixedLayout::kText4:
      append_text4(record, items[0]);
      break;
    case FixedLayout::kProgress1:
      record.push_back(kProgressControl);
      append_integer10(record, integer_of(items[0]));
      break;
    case FixedLayout::kProgress2:
      record.push_back(kProgressControl);
      append_integer10(record, integer_of(items[0]));
      append_integer10(record, integer_of(items[1]));
      break;
  }
  sink.put_record(record);
}

void write_fixed(RecordSink& sink, FixedLayout layout, std::initializer_list<Item> items) {
  write_fixed(sink, layout, std::span<const Item>(items.begin(), items.size()));
}

}  // namespace periodscan
