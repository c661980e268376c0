#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "image/ines.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The expanded image's byte map, spelled out in plain offsets rather than
// through the layout constants, so that both must agree.
unsigned expected_byte(const Bytes& src, std::size_t o) {
  if (o == 0x0004) return 0x02;
  if (o < 0x0010) return src[o];
  if (o < 0x1592) return src[o - 0x0010 + 0x2A88];  // moved block
  if (o < 0x4010) return 0x00;                      // fill block
  if (o == 0x472A) return 0x00;
  if (o == 0x472E) return 0x80;
  if (o >= 0x6A88 && o <= 0x8009) return 0x00;  // moved block's old place
  return src[o - 0x4000];                       // upper bank and CHR-ROM
}

Bytes expand(Bytes image) {
  std::FILE* out = std::tmpfile();
  ines::expand_image(image.data(), out);
  Bytes written(0xA010 + 1);
  std::rewind(out);
  written.resize(std::fread(written.data(), 1, written.size(), out));
  std::fclose(out);
  // The buffer is left holding the upper bank and CHR-ROM as written.
  EXPECT_TRUE(std::equal(image.begin() + 0x10, image.end(), written.begin() + 0x4010));
  return written;
}

TEST(ExpandImage, EveryByteLandsWhereTheLayoutSays) {
  const Bytes headers[] = {
      {'N', 'E', 'S', 0x1A, 1, 1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0},        // plain one-bank image
      {'N', 'E', 'S', 0x1A, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},           // expanded before
      {'N', 'E', 'S', 0x1A, 0xFF, 4, 0xF4, 0x13, 1, 2, 3, 4, 5, 6, 7, 8},  // odd flags
      {},  // no magic at all: the header is random too
  };
  std::mt19937 random(2026);
  for (const Bytes& header : headers) {
    Bytes src(header);
    while (src.size() < 0x6010) src.push_back(static_cast<unsigned char>(random()));
    const Bytes out = expand(src);
    ASSERT_EQ(out.size(), 0xA010u);
    for (std::size_t o = 0; o < out.size(); ++o) {
      ASSERT_EQ(out[o], expected_byte(src, o)) << "output offset 0x" << std::hex << o;
    }
  }
}

}  // namespace
