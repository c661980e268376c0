// Writes examples/sample.nes: a 24,592-byte iNES image made by this project
// for trying nesexpand. It holds a tiny mapper-0 program at $C700 that loads
// a pointer to the moved block ($EA78, the block's first byte) and reads
// through it; nesexpand points that pointer at the block's new home, $8000.
//   make_sample OUTPUT
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/ines.h"

namespace {

constexpr unsigned char kMagic[] = {'N', 'E', 'S', 0x1A};
constexpr std::size_t kChrBankCountOffset = 5;
constexpr std::size_t kFlags6Offset = 6;
constexpr unsigned char kOneBank = 1;
constexpr unsigned char kVerticalMirroring = 0x01;
constexpr unsigned char kUnusedRomByte = 0xFF;

// Program at PRG 0x0700, which is CPU $C700 in both images. The operands of
// the two LDA #imm at $C719 and $C71D are the address bytes nesexpand sets.
constexpr std::size_t kProgramPrgOffset = 0x0700;
constexpr unsigned char kProgram[] = {
    0x78,              // C700 SEI
    0xD8,              // C701 CLD
    0xA2, 0xFF,        // C702 LDX #$FF
    0x9A,              // C704 TXS
    0xA9, 0x00,        // C705 LDA #$00
    0x8D, 0x00, 0x20,  // C707 STA $2000   NMI off
    0x8D, 0x01, 0x20,  // C70A STA $2001   rendering off
    0x2C, 0x02, 0x20,  // C70D BIT $2002   wait for vertical blank
    0x10, 0xFB,        // C710 BPL $C70D
    0x2C, 0x02, 0x20,  // C712 BIT $2002   and once more
    0x10, 0xFB,        // C715 BPL $C712
    0xEA, 0xEA,        // C717 NOP, NOP
    0xA9, 0x78,        // C719 LDA #$78    moved block, low byte
    0x85, 0x00,        // C71B STA $00
    0xA9, 0xEA,        // C71D LDA #$EA    moved block, high byte
    0x85, 0x01,        // C71F STA $01
    0xA0, 0x00,        // C721 LDY #$00
    0xB1, 0x00,        // C723 LDA ($00),Y the block's first byte
    0x85, 0x02,        // C725 STA $02
    0x4C, 0x27, 0xC7,  // C727 JMP $C727   stay here
    0x40,              // C72A RTI         NMI and IRQ handler
};
constexpr unsigned char kVectors[ines::kVectorsSize] = {
    0x2A, 0xC7,  // NMI   $C72A
    0x00, 0xC7,  // reset $C700
    0x2A, 0xC7,  // IRQ   $C72A
};

constexpr char kBlockText[] = "NESEXPAND SAMPLE MOVED BLOCK ";
constexpr char kBlockFirst[] = "FIRST BYTE OF THE MOVED BLOCK>";
constexpr char kBlockLast[] = "<LAST BYTE OF THE MOVED BLOCK";

void put(std::vector<unsigned char>& image, std::size_t offset, const void* bytes,
         std::size_t size) {
  std::memcpy(image.data() + offset, bytes, size);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 1;
  }
  std::vector<unsigned char> image(ines::kSourceImageSize, kUnusedRomByte);
  std::fill_n(image.begin(), ines::kHeaderSize, 0);
  put(image, 0, kMagic, sizeof kMagic);
  image[ines::kPrgBankCountOffset] = kOneBank;
  image[kChrBankCountOffset] = kOneBank;
  image[kFlags6Offset] = kVerticalMirroring;

  put(image, ines::kPrgOffset + kProgramPrgOffset, kProgram, sizeof kProgram);
  const std::size_t vectors = ines::kMovedBlockOffset + ines::kMovedBlockSize;
  put(image, vectors, kVectors, sizeof kVectors);

  const std::size_t text = sizeof kBlockText - 1;
  for (std::size_t i = 0; i < ines::kMovedBlockSize; ++i)
    image[ines::kMovedBlockOffset + i] = kBlockText[i % text];
  put(image, ines::kMovedBlockOffset, kBlockFirst, sizeof kBlockFirst - 1);
  put(image, vectors - (sizeof kBlockLast - 1), kBlockLast, sizeof kBlockLast - 1);

  // CHR-ROM: every tile shows its own number in both bit planes.
  const std::size_t chr = ines::kPrgOffset + ines::kPrgBankSize;
  constexpr std::size_t kTileSize = 16;
  for (std::size_t i = 0; i < ines::kChrBankSize; ++i)
    image[chr + i] = static_cast<unsigned char>(i / kTileSize);

  std::FILE* out = std::fopen(argv[1], "wb");
  bool ok = out != nullptr && std::fwrite(image.data(), 1, image.size(), out) == image.size();
  if (out != nullptr) ok = std::fclose(out) == 0 && ok;
  if (!ok) std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
  return ok ? 0 : 1;
}
