// The PRG-ROM as the NES's CPU sees it, $8000-$FFFF, before and after the
// expansion: the parts that the page's picture, its table and its text
// show, derived from the layout constants.
//
//              $8000-$BFFF                    $C000-$FFFF
//   before     the one bank, mirrored         the one bank
//   after      moved block, fill block        kept program, old place, vectors
#ifndef NESEXPAND_WEB_CPU_MAP_H_
#define NESEXPAND_WEB_CPU_MAP_H_

#include <climits>
#include <cstddef>
#include <cstdint>

#include "image/ines.h"

namespace cpu_map {

// A range of CPU addresses.
struct Region {
  std::uint32_t first;
  std::uint32_t last;
  std::uint32_t size;
};

constexpr Region region(std::uint32_t first, std::size_t size) {
  return {first, static_cast<std::uint32_t>(first + size - 1), static_cast<std::uint32_t>(size)};
}

// With two banks the lower one is seen from $8000, where the address bytes
// now point, and the upper one, the old bank, right after it.
constexpr std::uint32_t kLowerBankAddress = ines::kAddressHigh << CHAR_BIT | ines::kAddressLow;
constexpr std::uint32_t kUpperBankAddress = kLowerBankAddress + ines::kPrgBankSize;
constexpr Region kLowerBank = region(kLowerBankAddress, ines::kPrgBankSize);
constexpr Region kUpperBank = region(kUpperBankAddress, ines::kPrgBankSize);

// The old bank in the upper half, before and after: only the block between
// the program and the vectors changes, from moved block to free space.
constexpr Region kKeptProgram = region(kUpperBankAddress, ines::kMovedBlockPrgOffset);
constexpr Region kOldPlace = region(kKeptProgram.last + 1, ines::kMovedBlockSize);
constexpr Region kVectors = region(kOldPlace.last + 1, ines::kVectorsSize);

// Before: a one-bank image fills the lower half too, as a mirror of itself.
constexpr Region kMirroredProgram = region(kLowerBankAddress, ines::kMovedBlockPrgOffset);
constexpr Region kMirroredBlock = region(kMirroredProgram.last + 1, ines::kMovedBlockSize);
constexpr Region kMirroredVectors = region(kMirroredBlock.last + 1, ines::kVectorsSize);

// After: the new lower bank.
constexpr Region kNewPlace = region(kLowerBankAddress, ines::kMovedBlockSize);
constexpr Region kFillBlock = region(kNewPlace.last + 1, ines::kFillBlockSize);

static_assert(kVectors.last == kUpperBank.last, "upper bank covered");
static_assert(kMirroredVectors.last == kLowerBank.last, "mirror covers the lower half");
static_assert(kFillBlock.last == kLowerBank.last, "lower bank covered");

}  // namespace cpu_map

#endif  // NESEXPAND_WEB_CPU_MAP_H_
