#include "common/output_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MakeOutputName, FollowsTheNesEndingRule) {
  const struct {
    const char* source;
    const char* output;
  } cases[] = {
      {"game.nes", "game_expanded.nes"},
      {"roms/game.nes", "roms/game_expanded.nes"},  // the directory stays
      {"game.NES", "game.NES_expanded.nes"},        // only lower case matches
      {"game.Nes", "game.Nes_expanded.nes"},
      {"game", "game_expanded.nes"},
      {"game.nes.bak", "game.nes.bak_expanded.nes"},
      {"game.nes.nes", "game.nes_expanded.nes"},  // one ending replaced
      {".nes", "_expanded.nes"},
      {"nes", "nes_expanded.nes"},  // shorter than the ending
      {"roms.nes/game", "roms.nes/game_expanded.nes"},
      {"/abs/../x.nes", "/abs/../x_expanded.nes"},  // not normalised
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::string(common::make_output_name(c.source).get()), c.output) << c.source;
}

}  // namespace
