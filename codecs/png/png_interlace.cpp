#include "codecs/png/png_interlace.h"

namespace genshoku::png {

namespace {

constexpr Adam7Pass kPasses[kAdam7PassCount] = {
    {0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
    {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2},
};

}  // namespace

const Adam7Pass& Adam7PassOf(int pass) { return kPasses[pass - 1]; }

}  // namespace genshoku::png
