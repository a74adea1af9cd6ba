// Reuse of cosine vectors within one amplitude search.
//
// For one frequency and one event list, FUNCTI computes
//   cos((t[i] - t0)*Omega + Fi)
// for every event and every call. The product (t[i] - t0)*Omega is the same
// in every call, and the phase searches of one amplitude search start from
// the same trial phases and follow each other's paths for a long way: on
// random catalogues only 35 to 40 % of the phases tried are distinct. So the
// products are formed once per amplitude search, and the cosine vector of a
// phase is computed once, kept under the exact bits of the 4-byte phase, and
// reused whenever that phase comes again. The values are the very doubles the
// C library's cos returns for the very same arguments, so every result stays
// the same to the bit; only the logarithm must still be taken per call,
// because it depends on the amplitude too.
//
// Memory is bounded: vectors are kept while they fit in the byte budget given
// at construction; once it is used up, further phases get their cosines
// computed into one scratch vector instead (the search goes on, only slower).
// Where the system cannot give the budget, the cache keeps what it can get.
// The storage is kept from one amplitude search to the next, so a cache is
// meant to live for a whole regime run on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace periodscan {

// What all the caches of one run may take together, by default.
inline constexpr size_t kPhaseCacheBudget = size_t{512} << 20;

class PhaseCache {
 public:
  explicit PhaseCache(size_t byte_budget);
  PhaseCache(const PhaseCache&) = delete;
  PhaseCache& operator=(const PhaseCache&) = delete;

  // Starts a new amplitude search: forgets every kept vector and forms the
  // products (t[i] - t0)*Omega for the N events.
  void begin(float Omega, int32_t N, const float* t, float t0);

  // cos(product[i] + Fi) for the N events of the current search.
  const double* cosines(float Fi);

  // How many cosine vectors were computed and how many were reused since
  // construction (for measurements and tests).
  uint64_t computed() const { return computed_; }
  uint64_t reused() const { return reused_; }

 private:
  static constexpr uint32_t kTableSize = 4096;  // > 1,152 phases per search

  double* kept_vector(size_t index) { return arena_.get() + index * n_; }

  size_t byte_budget_;
  size_t n_ = 0;
  size_t capacity_vectors_ = 0;  // how many vectors may be kept for this N
  size_t kept_ = 0;              // vectors kept in the current search
  std::vector<double> products_;
  std::vector<double> scratch_;
  // The kept vectors, one after the other, obtained uninitialised at the
  // size the budget allows: only the pages that vectors are written to are
  // ever touched, and it is kept from one search to the next. It is asked
  // for in huge pages where the system offers them, since touching tens of
  // megabytes of small pages costs more than a whole search.
  struct FreeArena {
    void operator()(double* p) const;
  };
  std::unique_ptr<double[], FreeArena> arena_;
  size_t arena_doubles_ = 0;
  // Open addressing: key (phase bits) and vector index, valid only when the
  // entry's generation is the current one, so nothing is cleared per search.
  std::vector<uint32_t> keys_;
  std::vector<uint32_t> values_;
  std::vector<uint32_t> generations_;
  uint32_t generation_ = 0;
  uint64_t computed_ = 0;
  uint64_t reused_ = 0;
};

}  // namespace periodscan
