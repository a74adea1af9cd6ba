// Records whose columns are fixed in advance. None has a leading blank.
//
//   kGeneral15       any number of reals, each in the general spelling of
//                    width 15, the fields abutting (spectrum file: T,
//                    DeltaLogLik, A -> 45 characters)
//   kGeneral15Int10  one real in the general spelling, then one integer in
//                    an integer field of width 10 (count file: 25 characters)
//   kText4           one 4-character text in columns 1-4 ("DSAA")
//   kProgress1       "+" then one integer field of width 10 (11 characters)
//   kProgress2       "+" then two integer fields of width 10 (21 characters)
//
// The progress layouts go to the console, where "+" is the line control
// that overwrites the current line.
#pragma once

#include <initializer_list>
#include <span>

#include "textio/record_sink.h"

namespace periodscan {

enum class FixedLayout { kGeneral15, kGeneral15Int10, kText4, kProgress1, kProgress2 };

// The items must match the layout (asserted).
void write_fixed(RecordSink& sink, FixedLayout layout, std::span<const Item> items);
void write_fixed(RecordSink& sink, FixedLayout layout, std::initializer_list<Item> items);

}  // namespace periodscan
