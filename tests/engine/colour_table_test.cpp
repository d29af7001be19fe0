#include "engine/colour_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "tests/engine/support_colour_table.h"

namespace genshoku {
namespace {

// Renumbering moves the colours in place; whatever the permutation's cycles, every colour
// must end at its new number with its own pixels, as a copy into a second table puts it.
TEST(ColourTable, RenumberMovesEveryColourToItsNewNumber) {
  std::mt19937 generator(11);
  for (const int64_t count : {1, 2, 7, 1000}) {
    std::vector<std::vector<uint32_t>> permutations;
    std::vector<uint32_t> identity(static_cast<size_t>(count));
    std::iota(identity.begin(), identity.end(), 0u);
    permutations.push_back(identity);
    std::vector<uint32_t> reversed(identity.rbegin(), identity.rend());
    permutations.push_back(reversed);
    std::vector<uint32_t> shuffled = identity;
    std::shuffle(shuffled.begin(), shuffled.end(), generator);
    permutations.push_back(shuffled);
    for (const auto& newNumber : permutations) {
      for (const bool withPixels : {true, false}) {
        ColourTable table = test_support::RandomColourTable(count, count * 3, 5);
        if (!withPixels) table.takingPart.clear();
        // The look-up by bytes follows the new numbers while it is kept (here a stand-in
        // presence map; only whether there is one counts) and is left alone once released.
        const bool lookUp = withPixels;
        if (lookUp) table.present.assign(1, 0);
        const ColourTable before = table;
        table.Renumber(newNumber);
        for (int64_t c = 0; c < count; ++c) {
          const ColourTable::Working& was = before.working[c];
          const ColourTable::Working& now = table.working[newNumber[c]];
          ASSERT_TRUE(was.y == now.y && was.u == now.u && was.v == now.v)
              << count << " colours, colour " << c;
          if (withPixels) ASSERT_EQ(table.takingPart[newNumber[c]], before.takingPart[c]);
        }
        EXPECT_EQ(table.takingPart.empty(), !withPixels);
        if (lookUp) {
          EXPECT_EQ(table.numberOfRank, newNumber);
        } else {
          EXPECT_TRUE(table.numberOfRank.empty());
        }
      }
    }
  }
}

}  // namespace
}  // namespace genshoku
