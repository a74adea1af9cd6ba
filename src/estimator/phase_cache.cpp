#include "estimator/phase_cache.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace periodscan {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
}

void PhaseCache::FreeArena::operator()(double* p) const { std::free(p); }

PhaseCache::PhaseCache(size_t byte_budget)
    : byte_budget_(byte_budget),
      keys_(kTableSize),
      values_(kTableSize),
      generations_(kTableSize, 0) {}

void PhaseCache::begin(float Omega, int32_t N, const float* t, float t0) {
  n_ = static_cast<size_t>(N);
  const double omega = Omega;
  const double origin = t0;
  products_.resize(n_);
  for (size_t i = 0; i < n_; ++i) products_[i] = (t[i] - origin) * omega;
  scratch_.resize(n_);  // before the kept vectors, which take what memory is left

  const size_t vector_bytes = std::max<size_t>(n_, 1) * sizeof(double);
  const size_t own_bytes = 2 * vector_bytes;  // the products and the scratch vector
  const size_t room = byte_budget_ > own_bytes ? byte_budget_ - own_bytes : 0;
  capacity_vectors_ = std::min<size_t>(room / vector_bytes, kTableSize / 2);
  if (arena_doubles_ < capacity_vectors_ * n_) {
    arena_.reset();
    arena_doubles_ = 0;
    // Where memory is short (a limit on the address space, say), fewer
    // vectors are kept, down to none: the search is only slower. The cache
    // then takes half of the largest arena it could get, in plain pages at its
    // exact size, leaving the rest of the run room; its budget shrinks to
    // that, so that later searches do not ask again.
    const size_t wanted = capacity_vectors_;
    bool short_of_memory = false;
    bool probing = false;
    while (capacity_vectors_ > 0) {
      size_t bytes = capacity_vectors_ * n_ * sizeof(double);
      void* p;
      if (!short_of_memory) {
        bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, bytes);
        if (p != nullptr) madvise(p, bytes, MADV_HUGEPAGE);  // a hint only
      } else {
        p = std::malloc(bytes);
      }
      if (p != nullptr && !probing) {
        arena_.reset(static_cast<double*>(p));
        arena_doubles_ = bytes / sizeof(double);
        break;
      }
      if (p != nullptr) {
        std::free(p);  // the largest that could be had: take half of it
        probing = false;
      } else {
        short_of_memory = probing = true;
      }
      capacity_vectors_ /= 2;
    }
    if (capacity_vectors_ < wanted) byte_budget_ = own_bytes + capacity_vectors_ * vector_bytes;
  }
  kept_ = 0;
  if (++generation_ == 0) {
    std::fill(generations_.begin(), generations_.end(), 0);
    generation_ = 1;
  }
}

const double* PhaseCache::cosines(float Fi) {
  const uint32_t key = std::bit_cast<uint32_t>(Fi);
  uint32_t h = (key * 2654435761u) >> 20;  // 12 bits for the 4,096 entries
  while (generations_[h] == generation_) {
    if (keys_[h] == key) {
      ++reused_;
      return kept_vector(values_[h]);
    }
    h = (h + 1) & (kTableSize - 1);
  }
  ++computed_;
  double* out;
  if (kept_ < capacity_vectors_) {
    out = kept_vector(kept_);
    generations_[h] = generation_;
    keys_[h] = key;
    values_[h] = static_cast<uint32_t>(kept_);
    ++kept_;
  } else {
    out = scratch_.data();
  }
  const double fi = Fi;
  for (size_t i = 0; i < n_; ++i) out[i] = std::cos(products_[i] + fi);
  return out;
}

}  // namespace periodscan
