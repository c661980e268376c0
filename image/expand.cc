#include <cstring>

#include "image/ines.h"

namespace ines {
namespace {

// The fill block, written as it stands: a constant table of zeros.
constexpr unsigned char kFillBlock[kFillBlockSize] = {};

}  // namespace

void expand_image(unsigned char* image, std::FILE* out) {
  image[kPrgBankCountOffset] = kExpandedPrgBankCount;
  image[kAddressHighOffset] = kAddressHigh;
  image[kAddressLowOffset] = kAddressLow;

  std::fwrite(image, 1, kHeaderSize, out);
  // The moved block goes out from its old place before that place is cleared.
  std::fwrite(image + kMovedBlockOffset, 1, kMovedBlockSize, out);
  std::fwrite(kFillBlock, 1, kFillBlockSize, out);
  std::memset(image + kMovedBlockOffset, kClearedByte, kMovedBlockSize);
  // Upper bank and CHR-ROM: the rest of the source, changed in place.
  std::fwrite(image + kPrgOffset, 1, kSourceImageSize - kPrgOffset, out);
}

}  // namespace ines
