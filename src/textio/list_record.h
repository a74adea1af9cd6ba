// The list layout: how one list write turns its items into records.
//
// 1. A record that begins with a text item has a blank in column 1.
// 2. A record that begins with a number has no extra blank: the number's
//    right-aligned field (12 for an integer, 16 for a real) starts in column 1.
// 3. A number that follows another item follows it directly.
// 4. Before a number is placed, if fewer than its width of the 79 columns are
//    free, the record is written out and the number begins the next record.
// So "Number of time moments=" followed by 1234 gives one blank, the 23
// characters of the text, 8 blanks and "1234"; a row of 10 reals gives
// records of 4, 4 and 2 values; the one-character text " " gives two blanks.
// The next list write always starts a new record. Text items are never
// wrapped (every text the program writes fits in one record), and a list
// write with no items writes one empty record.
#pragma once

#include <initializer_list>
#include <span>

#include "textio/record_sink.h"

namespace periodscan {

void write_list(RecordSink& sink, std::span<const Item> items);
void write_list(RecordSink& sink, std::initializer_list<Item> items);

// A row of reals in one list write (the rows of the grid files).
void write_list(RecordSink& sink, std::span<const float> row);

}  // namespace periodscan
