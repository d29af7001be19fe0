#include "engine/divisive_splitting.h"

#include <algorithm>
#include <cmath>

#include "engine/integer_parts.h"
#include "engine/parallel.h"
#include "engine/split_threshold.h"

namespace genshoku {

namespace {

// Clusters at which the splitting shows its state on standard error.
constexpr int kMatrixDumpClusters = 41;
constexpr int kFirstCountDumpClusters = 5;
constexpr int kSecondCountDumpClusters = 6;

// A progress point every this many pixels of a long pass.
constexpr int64_t kPixelsPerProgressPoint = int64_t{1} << 16;

class Splitter {
 public:
  Splitter(ColourTable& colours, const double* edgeStrength,
           const ReductionParams& params, int threads, ClusterTable& table,
           Clusters& clusters, EngineRun& run)
      : colours_(colours), edgeStrength_(edgeStrength), params_(params), threads_(threads),
        table_(table), clusters_(clusters), run_(run),
        along_(static_cast<size_t>(colours.colourCount)),
        across1_(static_cast<size_t>(colours.colourCount)),
        across2_(static_cast<size_t>(colours.colourCount)) {}

  void Run() {
    const int firstThreshold = FirstSplit();
    for (int n = 2; n < kPaletteSize; ++n) {
      if (n > 2) run_.Pump();
      const int k = SelectClusterToSplit(table_, n, params_.spreadMode);
      SplitCluster(k, n);
    }
    (void)firstThreshold;
  }

 private:
  // Calls visit(pixel, colour) for every taking-part pixel in pixel order.
  template <typename Visit>
  void ForEachTakingPartPixel(Visit&& visit) {
    const uint32_t* pixelColour = colours_.pixelColour.data();
    for (int64_t start = 0; start < colours_.pixelCount; start += kPixelsPerProgressPoint) {
      run_.Pump();
      const int64_t end = std::min(colours_.pixelCount, start + kPixelsPerProgressPoint);
      for (int64_t i = start; i < end; ++i) {
        const uint32_t colour = pixelColour[i];
        if ((colour & ColourTable::kEdgeBit) == 0) visit(i, colour);
      }
    }
  }

  // The coordinates of every colour of the list in the frame of `axis`, centred on `mean`.
  void RotateColours(const std::vector<uint32_t>& list, const Triple& mean, const Triple& axis) {
    const AxisRotation rotation(axis);
    for (const uint32_t c : list) {
      rotation.Apply(colours_.working[c].y - mean.z, colours_.working[c].u - mean.y, colours_.working[c].v - mean.x,
                     along_[c], across1_[c], across2_[c]);
    }
  }

  // The threshold of the pixels with the colours in `list` (in `pixels` order), by the
  // split rule.
  int ChooseThreshold(const std::vector<uint32_t>& list, int64_t count, bool firstSplit,
                      const std::vector<Member>* pixels) {
    const int mode = params_.thresholdMode;
    IntegerHistogram histogram;
    std::vector<ThresholdRun> runs;
    if (ThresholdNeedsHistogram(mode) && count > 0) histogram = HistogramOfColours(list, count);
    if (ThresholdNeedsRuns(mode) && count > 0) runs = SortedRuns(list, pixels);
    // Small lists are not worth a second thread.
    const int threads = count >= (int64_t{1} << 16) ? threads_ : 1;
    return SplitThreshold(mode, count, histogram, runs, firstSplit, lastThreshold_, run_,
                          threads);
  }

  IntegerHistogram HistogramOfColours(const std::vector<uint32_t>& list, int64_t count) {
    IntegerHistogram histogram;
    histogram.count = count;
    bool first = true;
    for (const uint32_t c : list) {
      const int32_t value = RoundHalfUpTruncated(along_[c]);
      if (first || value < histogram.minimum) histogram.minimum = value;
      if (first || value > histogram.maximum) histogram.maximum = value;
      first = false;
    }
    histogram.bins.assign(
        static_cast<size_t>(int64_t{histogram.maximum} - histogram.minimum + 1), 0);
    for (const uint32_t c : list) {
      histogram.bins[static_cast<size_t>(RoundHalfUpTruncated(along_[c]) - histogram.minimum)] +=
          colours_.takingPart[c];
    }
    return histogram;
  }

  // The records of the threshold search in the order of a stable sort of the pixels by
  // their along-axis value: one run per colour, except where different colours share a
  // value; their pixels then follow each other in pixel order.
  std::vector<ThresholdRun> SortedRuns(const std::vector<uint32_t>& list,
                                       const std::vector<Member>* pixels) {
    // Sorted as (value, colour) pairs side by side, which keeps the sort in the cache.
    std::vector<std::pair<double, uint32_t>> keyed(list.size());
    for (size_t k = 0; k < list.size(); ++k) keyed[k] = {along_[list[k]], list[k]};
    std::sort(keyed.begin(), keyed.end());
    std::vector<uint32_t> order(list.size());
    for (size_t k = 0; k < list.size(); ++k) order[k] = keyed[k].second;
    std::vector<std::pair<double, uint32_t>>().swap(keyed);
    std::vector<ThresholdRun> runs;
    runs.reserve(order.size());
    size_t i = 0;
    while (i < order.size()) {
      size_t end = i + 1;
      while (end < order.size() && along_[order[end]] == along_[order[i]]) ++end;
      if (end == i + 1) {
        const uint32_t c = order[i];
        runs.push_back({along_[c], across1_[c], across2_[c], colours_.takingPart[c]});
      } else {
        AppendTiedRuns(order, i, end, pixels, runs);
      }
      i = end;
    }
    return runs;
  }

  // Colours order[begin..end) share one along-axis value: their pixels in pixel order.
  void AppendTiedRuns(const std::vector<uint32_t>& order, size_t begin, size_t end,
                      const std::vector<Member>* pixels, std::vector<ThresholdRun>& runs) {
    std::vector<uint32_t> tied(order.begin() + static_cast<std::ptrdiff_t>(begin),
                               order.begin() + static_cast<std::ptrdiff_t>(end));
    std::sort(tied.begin(), tied.end());
    auto isTied = [&](uint32_t c) { return std::binary_search(tied.begin(), tied.end(), c); };
    auto append = [&](uint32_t c) {
      if (!runs.empty() && runs.back().repeat > 0 && lastTiedColour_ == c &&
          lastTiedRunIndex_ == runs.size() - 1) {
        ++runs.back().repeat;
        return;
      }
      runs.push_back({along_[c], across1_[c], across2_[c], 1});
      lastTiedColour_ = c;
      lastTiedRunIndex_ = runs.size() - 1;
    };
    lastTiedColour_ = UINT32_MAX;
    if (pixels) {
      for (const Member& member : *pixels) {
        if (isTied(member.colour)) append(member.colour);
      }
    } else {
      ForEachTakingPartPixel([&](int64_t, uint32_t c) {
        if (isTied(c)) append(c);
      });
    }
    lastTiedColour_ = UINT32_MAX;
  }

  // Sums of the working colours over `pixels` (pixel order) and the sums of the products of
  // the centred colours and the split priority terms over them.
  void AddSums(ClusterMembers& cluster, uint32_t c) {
    cluster.sums.x += colours_.working[c].v;
    cluster.sums.y += colours_.working[c].u;
    cluster.sums.z += colours_.working[c].y;
  }

  int FirstSplit() {
    int64_t count = 0;
    Triple sums;
    std::vector<uint32_t> list;
    for (int64_t c = 0; c < colours_.colourCount; ++c) {
      if (colours_.takingPart[c] != 0) list.push_back(static_cast<uint32_t>(c));
    }
    ForEachTakingPartPixel([&](int64_t, uint32_t c) {
      sums.x += colours_.working[c].v;
      sums.y += colours_.working[c].u;
      sums.z += colours_.working[c].y;
      ++count;
    });
    const Triple mean = MeanOfSums(sums, count);
    CovarianceSums products;
    ForEachTakingPartPixel([&](int64_t, uint32_t c) {
      products.Add(colours_.working[c].y - mean.z, colours_.working[c].u - mean.y, colours_.working[c].v - mean.x);
    });
    Matrix3 covariance, diag, vectors;
    CovarianceFromSums(products, count, covariance);
    DiagonaliseCovariance(covariance, diag, vectors, run_);
    const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors);
    RotateColours(list, mean, principal.axis);
    const int threshold = ChooseThreshold(list, count, true, nullptr);
    run_.PhaseStarted(EnginePhase::Splitting);

    // The first assignment: here the pixels at or above the threshold keep the lower
    // label; in every later split they are the ones that move to the new label.
    table_.PT[0][0] = ClusterRecord{0, 0, 0.0};
    table_.PT[0][1] = ClusterRecord{0, 1, 0.0};
    table_.MEN = 0;
    const double cut = static_cast<double>(threshold);
    ClusterMembers& upper = clusters_[0];
    ClusterMembers& lower = clusters_[1];
    upper = ClusterMembers{};
    lower = ClusterMembers{};
    int64_t upperCount = 0;
    for (const uint32_t c : list) {
      if (along_[c] >= cut) {
        upper.colours.push_back(c);
        upperCount += colours_.takingPart[c];
      } else {
        lower.colours.push_back(c);
      }
    }
    upper.pixels.reserve(static_cast<size_t>(upperCount));
    lower.pixels.reserve(static_cast<size_t>(count - upperCount));
    ForEachTakingPartPixel([&](int64_t i, uint32_t c) {
      ClusterMembers& target = along_[c] >= cut ? upper : lower;
      target.pixels.push_back({static_cast<uint32_t>(i), c});
      AddSums(target, c);
    });
    // From here on every cluster carries its pixels' colours.
    colours_.ReleasePixelColours();
    table_.PT[0][0].COUNT = static_cast<int32_t>(upper.pixels.size());
    table_.PT[0][1].COUNT = static_cast<int32_t>(lower.pixels.size());
    table_.nonEdgeCount = static_cast<int32_t>(count);
    lastAxisIndex_ = principal.index;
    ComputeSpreads(0, 0, 1);
    lastThreshold_ = threshold;
    return threshold;
  }

  void SplitCluster(int k, int n) {
    Diagnostics& err = run_.diagnostics();
    const int side = table_.MEN;
    const ClusterRecord chosen = table_.PT[side][k];
    const int label = chosen.INDEXNO;
    const int64_t m = chosen.COUNT;

    if (n == kMatrixDumpClusters) {
      err.Err("NUM= %d\n", k);
      err.Err("PT[MEN][%d].INDEXNO=%d\n", k, chosen.INDEXNO);
    }
    ClusterMembers parent = std::move(clusters_[label]);
    clusters_[label] = ClusterMembers{};
    // An empty cluster gives 0/0 here; the NaNs make the diagonalisation stop at once and
    // touch no pixel below.
    const Triple mean = MeanOfSums(parent.sums, m);
    Matrix3 covariance, diag, vectors;
    CovarianceFromSums(parent.products, m, covariance);
    if (n == kMatrixDumpClusters) {
      for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) err.Err("%f ", covariance.m[row][col]);
        err.Err("\n");
      }
    }
    DiagonaliseCovariance(covariance, diag, vectors, run_);
    const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, lastAxisIndex_);
    lastAxisIndex_ = principal.index;

    RotateColours(parent.colours, mean, principal.axis);
    const int threshold = ChooseThreshold(parent.colours, m, false, &parent.pixels);
    lastThreshold_ = threshold;

    // Pixels at or above the threshold move to the new label n.
    const double cut = static_cast<double>(threshold);
    ClusterMembers& staying = clusters_[label];
    ClusterMembers& moving = clusters_[n];
    moving = ClusterMembers{};
    int64_t movingCount = 0;
    for (const uint32_t c : parent.colours) {
      if (along_[c] >= cut) {
        moving.colours.push_back(c);
        movingCount += colours_.takingPart[c];
      } else {
        staying.colours.push_back(c);
      }
    }
    moving.pixels.reserve(static_cast<size_t>(movingCount));
    staying.pixels.reserve(static_cast<size_t>(m - movingCount));
    int64_t visited = 0;
    for (const Member& member : parent.pixels) {
      if ((++visited & (kPixelsPerProgressPoint - 1)) == 0) run_.Pump();
      ClusterMembers& target = along_[member.colour] >= cut ? moving : staying;
      target.pixels.push_back(member);
      AddSums(target, member.colour);
    }
    parent = ClusterMembers{};

    const int other = 1 - side;
    ClusterRecord* rebuilt = table_.PT[other];
    rebuilt[0].COUNT = static_cast<int32_t>(staying.pixels.size());
    rebuilt[0].INDEXNO = chosen.INDEXNO;
    rebuilt[1].COUNT = static_cast<int32_t>(moving.pixels.size());
    rebuilt[1].INDEXNO = n;
    table_.MEN = other;
    const int clusterCount = n + 1;
    if (clusterCount == kFirstCountDumpClusters || clusterCount == kSecondCountDumpClusters) {
      err.Err("INDEXNO%d %d\n", chosen.INDEXNO, rebuilt[0].COUNT);
      err.Err("INDEXNO%d %d\n", n, rebuilt[1].COUNT);
    }
    ComputeSpreads(other, 0, 1);
    const ClusterRecord* previous = table_.PT[side];
    for (int position = 0; position < k; ++position) rebuilt[position + 2] = previous[position];
    for (int position = k + 1; position < n; ++position) {
      rebuilt[position + 1] = previous[position];
    }
  }

  // The products about the mean and the split priority terms of one cluster, over its
  // pixels in pixel order.
  double AddProducts(ClusterMembers& cluster, const Triple& mean, bool pumps) {
    const int spreadMode = params_.spreadMode;
    const bool sumsTerms = spreadMode == 1 && (params_.distancePowerOn == 0 ||
                                               params_.distancePowerOn == 1);
    const bool edgeWeighted = params_.edgeOperator == 4;
    const double power = params_.distanceExponent * 0.5;
    // pow(d2, 1.0) is d2 itself: the power function is accurate to well within one unit of
    // the last place, and d2 is a double.
    const bool plainSquares = params_.distancePowerOn == 0 || power == 1.0;
    double termSum = 0.0;
    CovarianceSums products;
    int64_t visited = 0;
    for (const Member& member : cluster.pixels) {
      if (pumps && (++visited & (kPixelsPerProgressPoint - 1)) == 0) run_.Pump();
      const uint32_t c = member.colour;
      const double dY = colours_.working[c].y - mean.z;
      const double dU = colours_.working[c].u - mean.y;
      const double dV = colours_.working[c].v - mean.x;
      products.Add(dY, dU, dV);
      if (!sumsTerms) continue;
      const double d2 = dY * dY + dU * dU + dV * dV;
      if (!edgeWeighted) {
        termSum += plainSquares ? d2 : std::pow(d2, power);
      } else {
        const double strength = edgeStrength_[member.pixel];
        if (params_.distancePowerOn == 0) {
          termSum += d2 * (255.0 - strength) / 255.0;
        } else {
          const double damped = 255.0 - std::min(255.0, strength * params_.edgeStrengthGain);
          termSum += std::pow(d2, power) * std::pow(damped / 255.0, params_.edgeWeightExponent);
        }
      }
    }
    cluster.products = products;
    return termSum;
  }

  // SPREAD of the two records at positions a and b of PT[side]; the pixel passes of the two
  // clusters are independent and may run on two threads.
  void ComputeSpreads(int side, int a, int b) {
    ClusterRecord* records[2] = {&table_.PT[side][a], &table_.PT[side][b]};
    double termSums[2] = {0.0, 0.0};
    Triple means[2];
    const int64_t larger = std::max<int64_t>(records[0]->COUNT, records[1]->COUNT);
    const int threads = larger >= (int64_t{1} << 16) ? threads_ : 1;
    RunInTwoParts(threads, [&](int part) {
      ClusterRecord& record = *records[part];
      if (record.COUNT == 0) return;
      ClusterMembers& cluster = clusters_[record.INDEXNO];
      means[part] = MeanOfSums(cluster.sums, record.COUNT);
      // Only the calling thread may pass progress points.
      termSums[part] = AddProducts(cluster, means[part], part == 0 || threads < 2);
    });
    for (int part = 0; part < 2; ++part) {
      ClusterRecord& record = *records[part];
      if (record.COUNT == 0) {
        record.SPREAD = 0.0;
        continue;
      }
      FinishSpread(record, clusters_[record.INDEXNO], means[part], termSums[part]);
    }
  }

  void FinishSpread(ClusterRecord& record, const ClusterMembers& cluster, const Triple& mean,
                    double termSum) {
    const int spreadMode = params_.spreadMode;
    const int64_t m = record.COUNT;
    if (spreadMode == 0) {
      double largest = 0.0;
      for (const uint32_t c : cluster.colours) {
        const double dY = colours_.working[c].y - mean.z;
        const double dU = colours_.working[c].u - mean.y;
        const double dV = colours_.working[c].v - mean.x;
        const double d2 = dY * dY + dU * dU + dV * dV;
        if (d2 > largest) largest = d2;
      }
      record.SPREAD = largest;
    } else if (spreadMode == 1) {
      record.SPREAD = termSum;
    } else if (spreadMode >= 2 && spreadMode <= 5) {
      Matrix3 covariance, diag, vectors;
      CovarianceFromSums(cluster.products, m, covariance);
      DiagonaliseCovariance(covariance, diag, vectors, run_);
      const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, lastAxisIndex_);
      const double lambda = diag.m[principal.index][principal.index];
      switch (spreadMode) {
        case 2: record.SPREAD = static_cast<double>(m) * lambda; break;
        case 3: record.SPREAD = lambda; break;
        case 4: record.SPREAD = ExtentAlongAxis(cluster, mean, principal.axis); break;
        case 5:
          record.SPREAD = static_cast<double>(m) * ExtentAlongAxis(cluster, mean, principal.axis);
          break;
      }
    }
    // Any other mode leaves SPREAD as it was.
  }

  // Extent (largest minus smallest coordinate) of a cluster along `axis`.
  double ExtentAlongAxis(const ClusterMembers& cluster, const Triple& mean, const Triple& axis) {
    RotateColours(cluster.colours, mean, axis);
    double largest = -9.99e65, smallest = 9.99e65;
    for (const uint32_t c : cluster.colours) {
      if (along_[c] > largest) largest = along_[c];
      if (along_[c] < smallest) smallest = along_[c];
    }
    return largest - smallest;
  }

  ColourTable& colours_;
  const double* edgeStrength_;
  const ReductionParams& params_;
  int threads_;
  ClusterTable& table_;
  Clusters& clusters_;
  EngineRun& run_;
  // Per colour: its coordinates in the frame of the cluster being split.
  std::vector<double> along_, across1_, across2_;
  int lastThreshold_ = 0;
  int lastAxisIndex_ = 0;
  uint32_t lastTiedColour_ = UINT32_MAX;
  size_t lastTiedRunIndex_ = 0;
};

}  // namespace

int SelectClusterToSplit(const ClusterTable& table, int n, int spreadMode) {
  if (spreadMode < 0 || spreadMode > 5) return 0;
  const ClusterRecord* records = table.PT[table.MEN];
  auto key = [&](int position) {
    const ClusterRecord& record = records[position];
    return spreadMode == 0 ? static_cast<double>(record.COUNT) * record.SPREAD : record.SPREAD;
  };
  int best = 0;
  double bestKey = key(0);
  for (int position = 1; position < n; ++position) {
    if (key(position) > bestKey) {
      bestKey = key(position);
      best = position;
    }
  }
  return best;
}

void RenumberColoursByCluster(ColourTable& colours, Clusters& clusters) {
  const uint32_t unset = UINT32_MAX;
  std::vector<uint32_t> newNumber(static_cast<size_t>(colours.colourCount), unset);
  uint32_t next = 0;
  for (const ClusterMembers& cluster : clusters) {
    for (const uint32_t c : cluster.colours) newNumber[c] = next++;
  }
  for (uint32_t& number : newNumber) {
    if (number == unset) number = next++;
  }
  for (ClusterMembers& cluster : clusters) {
    for (uint32_t& c : cluster.colours) c = newNumber[c];
    for (Member& member : cluster.pixels) member.colour = newNumber[member.colour];
  }
  colours.Renumber(newNumber);
}

void SplitIntoClusters(ColourTable& colours, const double* edgeStrength,
                       const ReductionParams& params, int threads, ClusterTable& table,
                       Clusters& clusters, EngineRun& run) {
  Splitter splitter(colours, edgeStrength, params, threads, table, clusters, run);
  splitter.Run();
}

}  // namespace genshoku
