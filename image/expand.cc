#include <cstring>

#include "image/ines.h"

namespace ines {
namespace {

// The fill block, written as it stands: a constant table of zeros.
constexpr unsigned char kFillBlock[kFillBlockSize] = {};

bool write_all(const unsigned char* bytes, std::size_t size, std::FILE* out) {
  return std::fwrite(bytes, 1, size, out) == size;
}

}  // namespace

bool expand_image(unsigned char* image, std::FILE* out) {
  image[kPrgBankCountOffset] = kExpandedPrgBankCount;
  image[kAddressHighOffset] = kAddressHigh;
  image[kAddressLowOffset] = kAddressLow;

  // The moved block goes out from its old place before that place is cleared.
  bool ok = write_all(image, kHeaderSize, out) &&
            write_all(image + kMovedBlockOffset, kMovedBlockSize, out) &&
            write_all(kFillBlock, kFillBlockSize, out);
  std::memset(image + kMovedBlockOffset, kClearedByte, kMovedBlockSize);
  // Upper bank and CHR-ROM: the rest of the source, changed in place.
  return ok && write_all(image + kPrgOffset, kSourceImageSize - kPrgOffset, out);
}

}  // namespace ines
