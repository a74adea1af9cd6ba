#include "interactive/help_text.h"

#include <cstdint>
#include <string>

#include "textio/list_record.h"

namespace periodscan {

namespace {

constexpr const char* kHelpLines[] = {
    "This is the program for estimating the next Point Process (PP) intensity law:",
    "Lambda(t)=Mju*(1+A*cos(Omega*t+Fi)), |A| < 1.",
    "Input file: the sequence of time moments (\"long column\" of numbers).",
    "Two regimes are available:",
    "(0) estimate over whole sample available (static estimate);",
    "(1) estimate in a moving time window of the given length with a give shift.",
    "For the (0)-regime output file (name \"ZUM_out.dat\") is the sequence",
    "of the records: { T, DeltaLogLik, A }, where:",
    "T - the values of the periods within given range [Tmin,Tmax] with uniform",
    "step in decimal values of the period.",
    "DeltaLogLik(T) - increments of Log-Likelihood function;",
    "A(T) - correspondent values of amplitude, |A| < 1.",
    "For the (1)-regime ouput file (name \"ZUM_out.grd\") is a GRD-file for further",
    "using in Surfer for plotting 2D and 3D diagrams of DeltaLogLik evolution.",
    "Time marks in grd-file correspond to right-hand end of moving time window.",
    "Diagrams are plotted in dependence on decimal logarithm of the period T.",
    "Reference: D.R. Cox and P.A.W. Lewis, The Statistical Analysis of Series",
    "        of Events. Methuen, London, 1966 (periodic intensity of a process).",
};

// The banner lines are kept coded: character c is stored as (7*c + 11) mod 256
// and decoded with the inverse of 7 modulo 256, which is 183.
constexpr int kBannerLength = 70;
constexpr uint8_t kBannerCodes[2][kBannerLength] = {
    {182, 182, 182, 235, 27,  206, 41,  234, 20,  199, 48,  192, 178, 13,  161, 235, 6,   178,
     83,  234, 6,   62,  6,   70,  255, 234, 248, 206, 255, 234, 227, 20,  20,  199, 235, 48,
     206, 178, 41,  192, 227, 235, 213, 20,  41,  235, 178, 235, 27,  206, 41,  234, 20,  199,
     234, 192, 235, 234, 13,  55,  206, 13,  48,  234, 55,  90,  235, 182, 182, 182},
    {182, 182, 182, 182, 182, 182, 182, 182, 182, 182, 182, 235, 213, 234, 55,  55,  206, 199,
     235, 20,  69,  206, 41,  235, 178, 235, 255, 20,  220, 70,  48,  27,  178, 192, 206, 199,
     235, 220, 41,  234, 199, 235, 20,  213, 235, 55,  41,  234, 178, 255, 235, 27,  206, 41,
     234, 20,  199, 48,  235, 182, 182, 182, 182, 182, 182, 182, 182, 182, 182, 182},
};
constexpr unsigned kDecodeFactor = 183;
constexpr unsigned kCodeOffset = 11;

}  // namespace

void write_help_text(RecordSink& console) {
  for (const char* line : kHelpLines) write_list(console, {Item(line)});
}

void AU(RecordSink& console) {
  for (const auto& codes : kBannerCodes) {
    std::string line;
    line.reserve(kBannerLength);
    for (uint8_t code : codes) {
      line.push_back(static_cast<char>(((code - kCodeOffset) * kDecodeFactor) & 0xFFu));
    }
    write_list(console, {Item(line)});
  }
}

}  // namespace periodscan
