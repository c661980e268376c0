#include "cli/files.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(CloseOutput, ReportsAStreamWhoseErrorFlagIsSet) {
  // The flag may be all that is left of a failed write: the flush and the
  // close that follow find nothing to fail on.
  const char* name = "files_test_output.tmp";
  std::FILE* create = std::fopen(name, "wb");
  ASSERT_NE(create, nullptr);
  ASSERT_EQ(std::fclose(create), 0);
  // Writing to a stream open for reading only fails and sets the flag.
  std::FILE* out = std::fopen(name, "rb");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::fputc('x', out), EOF);
  ASSERT_NE(std::ferror(out), 0);
  ASSERT_EQ(std::fflush(out), 0);
  EXPECT_FALSE(cli::close_output(out));
  std::remove(name);
}

}  // namespace
