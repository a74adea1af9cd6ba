// Field widths and column limits of every record the program writes.
// They are named once here; the writers use the names, never bare numbers.
#pragma once

namespace periodscan {

// List layout (console lines, grid headers and grid rows).
inline constexpr int kListRecordColumns = 79;  // columns counted per record
inline constexpr int kListIntegerWidth = 12;   // integer field
inline constexpr int kListRealWidth = 16;      // real field
inline constexpr int kListRealDigits = 6;      // digits after the point
// A real x with kListFixedLow <= |x| < kListFixedHigh is spelled in
// fixed-point form, any other in exponent form.
inline constexpr double kListFixedLow = 1.0;
inline constexpr double kListFixedHigh = 1.0e7;

// Fixed layouts (spectrum file, count file, grid title, progress records).
inline constexpr int kGeneralWidth = 15;        // general spelling of a real
inline constexpr int kGeneralDigits = 6;        // significant digits shown
inline constexpr int kGeneralExponentRoom = 4;  // blanks kept for "E+dd"
inline constexpr int kIntegerFieldWidth = 10;   // integer field
inline constexpr int kTextFieldWidth = 4;       // "DSAA"
inline constexpr char kProgressControl = '+';   // overwrite-line control

// File names are taken into this many characters.
inline constexpr int kFileNameLength = 64;

}  // namespace periodscan
