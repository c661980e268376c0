#include "cli/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/ines.h"

// Makes the system refuse every later write to `stream`, which still takes
// them: one small file per platform, unwritable_stream_*.cc.
bool make_unwritable(std::FILE* stream);

namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed with all it holds however the test ends.
class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / (std::string("nesexpand-") + test->name());
    fs::remove_all(folder_);
    ASSERT_TRUE(fs::create_directory(folder_));
    name_ = (folder_ / "game_expanded.nes").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path folder_;
  std::string name_;
};

TEST_F(OutputTest, AFailedWriteIsReportedAndLeavesNoImage) {
  std::ofstream(name_) << "old";
  cli::OutputFile out;
  ASSERT_EQ(cli::open_output(name_.c_str(), cli::FileId{}, out), nullptr);
  // Each write fails, as the output's stream is unbuffered: only its error
  // flag tells, as the flush and the close that follow find nothing to fail on.
  ASSERT_TRUE(make_unwritable(out.stream));
  std::vector<unsigned char> image(ines::kSourceImageSize);
  ines::expand_image(image.data(), out.stream);
  EXPECT_FALSE(cli::close_output(name_.c_str(), out));
  EXPECT_FALSE(fs::exists(name_)) << "a partly written image stays";
}

}  // namespace
