// iNES image layouts and the expansion from one PRG-ROM bank to two.
//
// Source image, 24,592 bytes (file offsets):
//   0x0000-0x000F  iNES header (byte 4: PRG-ROM bank count)
//   0x0010-0x400F  PRG-ROM, one 16 KiB bank
//   0x4010-0x600F  CHR-ROM, one 8 KiB bank
//
// Expanded image, 40,976 bytes (file offsets):
//   0x0000-0x000F  source header, byte 4 set to 2
//   0x0010-0x1591  moved block: source PRG 0x2A78-0x3FF9 ($8000-$9581)
//   0x1592-0x400F  fill block, all zeros
//   0x4010-0x800F  source PRG with the moved block's old place zeroed and
//                  the address bytes at PRG 0x071A/0x071E set to $8000
//   0x8010-0xA00F  source CHR-ROM, unchanged
//
// The layout is fixed: no header field is read or checked.
#ifndef NESEXPAND_IMAGE_INES_H_
#define NESEXPAND_IMAGE_INES_H_

#include <cstddef>
#include <cstdio>

namespace ines {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kPrgBankSize = 0x4000;
constexpr std::size_t kChrBankSize = 0x2000;
constexpr std::size_t kPrgOffset = kHeaderSize;  // file offset of PRG byte 0

// Header byte that counts the 16 KiB PRG-ROM banks.
constexpr std::size_t kPrgBankCountOffset = 4;
constexpr unsigned char kExpandedPrgBankCount = 2;

constexpr std::size_t kSourceImageSize = kHeaderSize + kPrgBankSize + kChrBankSize;
constexpr std::size_t kExpandedImageSize =
    kHeaderSize + kExpandedPrgBankCount * kPrgBankSize + kChrBankSize;

// The block that moves to the start of the new lower bank: everything from
// PRG 0x2A78 up to the last six PRG bytes (the NMI, reset and IRQ vectors).
constexpr std::size_t kVectorsSize = 6;
constexpr std::size_t kMovedBlockPrgOffset = 0x2A78;
constexpr std::size_t kMovedBlockSize = kPrgBankSize - kVectorsSize - kMovedBlockPrgOffset;
constexpr std::size_t kMovedBlockOffset = kPrgOffset + kMovedBlockPrgOffset;

// The rest of the lower bank after the moved block.
constexpr std::size_t kFillBlockSize = kPrgBankSize - kMovedBlockSize;

// What the moved block's old place holds afterwards.
constexpr unsigned char kClearedByte = 0x00;

// Two single bytes in the old bank that together form the CPU address of
// the moved block's new home, $8000 (low byte, high byte).
constexpr std::size_t kAddressLowOffset = kPrgOffset + 0x071A;
constexpr std::size_t kAddressHighOffset = kPrgOffset + 0x071E;
constexpr unsigned char kAddressLow = 0x00;
constexpr unsigned char kAddressHigh = 0x80;

static_assert(kSourceImageSize == 24592, "source image is 0x6010 bytes");
static_assert(kExpandedImageSize == 40976, "expanded image is 0xA010 bytes");
static_assert(kMovedBlockSize == 5506 && kFillBlockSize == 10878,
              "moved and fill block make up the lower bank");

// Expands the source image in `image` (kSourceImageSize bytes, changed in
// place) and appends the kExpandedImageSize-byte result to `out`, in file
// order with four writes. Neither flushes nor closes `out`: a write that
// fails shows in its error flag, which the caller checks when it closes.
void expand_image(unsigned char* image, std::FILE* out);

}  // namespace ines

#endif  // NESEXPAND_IMAGE_INES_H_
