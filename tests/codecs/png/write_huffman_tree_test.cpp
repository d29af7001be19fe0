// The writer's Huffman trees: optimal codes, the tie rules that fix their shape, and the
// flattening of trees deeper than deflate allows.
#include <gtest/gtest.h>

#include <queue>

#include "codecs/png/huffman_tree_manager.h"
#include "support_png.h"

namespace genshoku::png {
namespace {

using namespace pngtest;

std::vector<int32_t> LengthsOf(const VxPngHuffmanTreeManager& tree) {
  std::vector<int32_t> lengths(static_cast<size_t>(tree.symbolCount()));
  tree.GetCodeLengths(lengths.data());
  return lengths;
}

std::vector<int32_t> LengthsFor(const std::vector<uint32_t>& weights) {
  VxPngHuffmanTreeManager tree(SilentDiagnostics());
  tree.MakeTreeFromWeights(weights.data(), static_cast<int>(weights.size()));
  return LengthsOf(tree);
}

std::vector<uint32_t> Fibonacci(size_t count) {
  std::vector<uint32_t> numbers = {1, 1};
  while (numbers.size() < count)
    numbers.push_back(numbers[numbers.size() - 1] + numbers[numbers.size() - 2]);
  numbers.resize(count);
  return numbers;
}

// The cost of an optimal prefix code, by the textbook heap construction.
uint64_t OptimalCost(const std::vector<uint32_t>& weights) {
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> heap;
  for (uint32_t weight : weights) {
    if (weight > 0) heap.push(weight);
  }
  uint64_t cost = 0;
  while (heap.size() > 1) {
    const uint64_t a = heap.top();
    heap.pop();
    const uint64_t b = heap.top();
    heap.pop();
    cost += a + b;
    heap.push(a + b);
  }
  return cost;
}

TEST(WriteHuffmanTree, TreesAreOptimalAndComplete) {
  TestRandom random(11);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<uint32_t> weights(2 + random.Below(285));
    for (uint32_t& weight : weights)
      weight = random.Below(3) == 0 ? 0 : 1 + random.Below(trial % 2 ? 5 : 100000);
    weights[0] = weights[1] = 1;
    const std::vector<int32_t> lengths = LengthsFor(weights);
    uint64_t cost = 0;
    double kraft = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
      EXPECT_EQ(lengths[i] == 0, weights[i] == 0);
      cost += uint64_t{weights[i]} * static_cast<uint64_t>(lengths[i]);
      if (lengths[i] > 0) kraft += 1.0 / static_cast<double>(uint64_t{1} << lengths[i]);
    }
    EXPECT_EQ(cost, OptimalCost(weights)) << "trial " << trial;
    EXPECT_DOUBLE_EQ(kraft, 1.0) << "trial " << trial;
  }
  // No symbol gives no code; a lone symbol still gets one bit.
  EXPECT_EQ(LengthsFor({0, 0, 0}), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(LengthsFor({0, 9, 0}), (std::vector<int32_t>{0, 1, 0}));
}

TEST(WriteHuffmanTree, TiesAreSettledByTheExchangeSortAndTheInsertionRule) {
  // Sorted as 2, 3, 0, 1 (by weight 2, 2, 1, 1). The parent of 0 and 1 ties with the
  // lightest remaining node and goes to the end, so 3 and that parent are joined next:
  // one code of 1 bit instead of four codes of 2 bits.
  EXPECT_EQ(LengthsFor({1, 1, 2, 2}), (std::vector<int32_t>{3, 3, 1, 2}));
  // A parent heavier than everything goes to the front; one between goes in front of
  // the first node that is not heavier.
  EXPECT_EQ(LengthsFor({1, 1, 2, 2, 2}), (std::vector<int32_t>{3, 3, 2, 2, 2}));
  EXPECT_EQ(LengthsFor({5, 1, 1, 3, 0, 1}), (std::vector<int32_t>{1, 4, 3, 2, 0, 4}));
}

TEST(WriteHuffmanTree, CountsSymbolsFromTwoArraysAndRefusesValuesOutsideTheAlphabet) {
  CapturedDiagnostics captured;
  VxPngHuffmanTreeManager tree(captured);
  const int32_t first[4] = {0, 3, 3, 18};
  const int32_t second[2] = {3, 0};
  ASSERT_TRUE(tree.MakeTreeFromData(first, 4, second, 2, 18));
  EXPECT_EQ(tree.weights()[0], 2u);
  EXPECT_EQ(tree.weights()[3], 3u);
  EXPECT_EQ(tree.weights()[18], 1u);
  EXPECT_EQ(tree.RootWeight(), 6u);

  const int32_t outside[2] = {1, 19};
  EXPECT_FALSE(tree.MakeTreeFromData(outside, 2, second, 2, 18));
  EXPECT_EQ(tree.root(), nullptr);
  EXPECT_FALSE(tree.MakeTreeFromData(first, 4, outside, 2, 18));
  const int32_t negative[1] = {-1};
  EXPECT_FALSE(tree.MakeTreeFromData(negative, 1, second, 0, 18));
  EXPECT_EQ(captured.Text(DiagnosticStream::Out),
            "VxPngHuffmanTreeManager::MakeTreeFromData  Code data out of range.\n"
            "VxPngHuffmanTreeManager::MakeTreeFromData  Code data2 out of range.\n"
            "VxPngHuffmanTreeManager::MakeTreeFromData  Code data out of range.\n");
}

TEST(WriteHuffmanTree, DeepTreesAreFlattenedByHalvingTheWeights) {
  // Fibonacci weights give the deepest tree for their count: n of them a depth of n - 1.
  std::vector<uint32_t> literal(286, 0), distance(30, 0), powers(286, 0);
  const std::vector<uint32_t> fib18 = Fibonacci(18);
  for (size_t i = 0; i < 17; ++i) literal[i * 3] = fib18[i];
  for (size_t i = 0; i < 18; ++i) distance[29 - i] = fib18[i];
  std::vector<uint32_t> codeLength = Fibonacci(9);
  codeLength.resize(19, 0);
  // Powers of two lose only one level per halving.
  for (size_t i = 0; i < 20; ++i) powers[i] = 1u << i;
  const struct {
    HuffmanAlphabet alphabet;
    std::vector<uint32_t> weights;
    std::vector<std::string> lines;
    int depth;
    uint32_t rootWeight;
  } cases[] = {
      {HuffmanAlphabet::LiteralLength,
       literal,
       {"Code Tree depth exceeds maximum allowed... 16", "Reducing Code Tree Depth... 13"},
       13,
       2086},
      {HuffmanAlphabet::Distance,
       distance,
       {"Backdist Tree depth exceeds maximum allowed... 17", "Reducing Backdist Tree Depth... 14"},
       14,
       3378},
      {HuffmanAlphabet::CodeLength,
       codeLength,
       {"Code-Length Tree depth exceeds maximum allowed... 8",
        "Reducing Code-Length Tree Depth... 5"},
       5,
       43},
      {HuffmanAlphabet::LiteralLength,
       powers,
       {"Code Tree depth exceeds maximum allowed... 19", "Reducing Code Tree Depth... 19",
        "Reducing Code Tree Depth... 18", "Reducing Code Tree Depth... 17",
        "Reducing Code Tree Depth... 16", "Reducing Code Tree Depth... 15"},
       15,
       32772},
      // At the limit already: left alone, silently.
      {HuffmanAlphabet::LiteralLength, Fibonacci(16), {}, 15, 2583},
      {HuffmanAlphabet::CodeLength, Fibonacci(8), {}, 7, 54},
  };
  for (const auto& test : cases) {
    CapturedDiagnostics captured;
    VxPngHuffmanTreeManager tree(captured);
    tree.MakeTreeFromWeights(test.weights.data(), static_cast<int>(test.weights.size()));
    EXPECT_TRUE(tree.LimitDepth(test.alphabet));
    EXPECT_EQ(LinesOf(captured, DiagnosticStream::Out), test.lines);
    EXPECT_EQ(tree.RootDepth(), test.depth);
    EXPECT_EQ(tree.RootWeight(), test.rootWeight);
    const std::vector<int32_t> lengths = LengthsOf(tree);
    EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), test.depth);
  }
}

}  // namespace
}  // namespace genshoku::png
