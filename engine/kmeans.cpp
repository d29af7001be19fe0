#include "engine/kmeans.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>

#include "engine/integer_parts.h"
#include "engine/nearest_entry_search.h"
#include "engine/parallel.h"

namespace genshoku {

namespace {

constexpr int64_t kItemsPerProgressPoint = int64_t{1} << 15;

// Upper end (exclusive) of the random values of one component: the component's weight
// times 256. A weight below 1/256 would make it 0; such a component is drawn as 0.
int RandomRange(double weight) {
  const int32_t range = TruncateToInt32(weight * 256.0);
  return range >= 1 ? range : 1;
}

bool SameIntegerParts(double a, double b) { return TruncateToInt32(a) == TruncateToInt32(b); }

// The entries' pixels, in pixel order, with their sums and counts.
struct EntryMembers {
  std::array<std::vector<uint32_t>, kPaletteSize> pixels;
  std::array<double, kPaletteSize> sumY{}, sumU{}, sumV{};
};

class KMeans {
 public:
  KMeans(const ColourTable& colours, Clusters& clusters, const ReductionParams& params,
         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour, EngineRun& run,
         int threads)
      : colours_(colours), params_(params), palette_(palette), entryOf_(entryOfColour),
        run_(run), threads_(threads) {
    entryOf_.assign(static_cast<size_t>(colours.colourCount), 0);
    for (int label = 0; label < kPaletteSize; ++label) {
      ClusterMembers& cluster = clusters[label];
      for (const uint32_t c : cluster.colours) entryOf_[c] = static_cast<uint8_t>(label);
      members_.pixels[label] = std::move(cluster.pixels);
      members_.sumY[label] = cluster.sums.z;
      members_.sumU[label] = cluster.sums.y;
      members_.sumV[label] = cluster.sums.x;
      cluster = ClusterMembers{};
    }
    for (int64_t c = 0; c < colours.colourCount; ++c) {
      if (colours.takingPart[c] != 0) {
        taking_.push_back(static_cast<uint32_t>(c));
        takingPixels_ += colours.takingPart[c];
      }
    }
    assigned_.resize(taking_.size());
    upper_.resize(taking_.size());
    lower_.resize(taking_.size());
  }

  void Run() {
    Diagnostics& diagnostics = run_.diagnostics();
    // With fewer distinct colours than entries some entries can never hold a pixel and are
    // redrawn in every pass, so the passes would never settle on their own.
    const bool fewerColoursThanEntries = taking_.size() < static_cast<size_t>(kPaletteSize);
    const int rangeY = RandomRange(params_.weightY);
    const int rangeU = RandomRange(params_.weightU);
    const int rangeV = RandomRange(params_.weightV);
    WorkingPalette previous;
    bool haveBounds = false;

    for (int pass = 1;; ++pass) {
      run_.Pump();
      run_.ShowKmeansProgress(pass);
      diagnostics.Err("%d iter\n", pass);

      Assign(previous, haveBounds);
      haveBounds = true;
      UpdateMembers();

      WorkingPalette candidate;
      for (int i = 0; i < kPaletteSize; ++i) {
        run_.Pump();
        const int64_t count = static_cast<int64_t>(members_.pixels[i].size());
        if (count >= 1) {
          const double n = static_cast<double>(count);
          candidate.Y[i] = members_.sumY[i] / n;
          candidate.U[i] = members_.sumU[i] / n;
          candidate.V[i] = members_.sumV[i] / n;
        } else {
          EngineRandom& random = run_.random();
          candidate.Y[i] = static_cast<double>(random.Draw() % rangeY);
          candidate.U[i] = static_cast<double>(random.Draw() % rangeU);
          candidate.V[i] = static_cast<double>(random.Draw() % rangeV);
          diagnostics.Out("RAND de dasita palette = %f %f %f\n", candidate.Y[i], candidate.U[i],
                          candidate.V[i]);
        }
      }

      bool converged = true;
      bool onlyEmptyEntriesMoved = true;
      for (int i = 0; i < kPaletteSize; ++i) {
        const bool moved = !SameIntegerParts(candidate.Y[i], palette_.Y[i]) ||
                           !SameIntegerParts(candidate.U[i], palette_.U[i]) ||
                           !SameIntegerParts(candidate.V[i], palette_.V[i]);
        if (!moved) continue;
        converged = false;
        if (!members_.pixels[i].empty()) onlyEmptyEntriesMoved = false;
      }
      if (converged || (fewerColoursThanEntries && onlyEmptyEntriesMoved) ||
          pass >= KMEANS_MAX_PASSES) {
        // The palette keeps the values the last assignment used; the candidate is dropped.
        diagnostics.Err("%d iter\n", pass);
        return;
      }
      previous = palette_;
      palette_ = candidate;
    }
  }

 private:
  // The nearest entry of every colour that takes part, under the current palette, into
  // assigned_; `previous` is the palette the bounds were made with.
  void Assign(const WorkingPalette& previous, bool haveBounds) {
    search_.SetPalette(palette_.Y.data(), palette_.U.data(), palette_.V.data(), kPaletteSize);
    std::array<double, kPaletteSize> shift{};
    double largestShift = 0.0, secondShift = 0.0;
    int largestEntry = -1;
    if (haveBounds) {
      for (int e = 0; e < kPaletteSize; ++e) {
        const double dY = palette_.Y[e] - previous.Y[e];
        const double dU = palette_.U[e] - previous.U[e];
        const double dV = palette_.V[e] - previous.V[e];
        shift[e] = std::sqrt(dY * dY + dU * dU + dV * dV);
        if (!(shift[e] < 1e100)) shift[e] = std::numeric_limits<double>::infinity();
        if (shift[e] > largestShift) {
          secondShift = largestShift;
          largestShift = shift[e];
          largestEntry = e;
        } else if (shift[e] > secondShift) {
          secondShift = shift[e];
        }
      }
    }
    const int64_t count = static_cast<int64_t>(taking_.size());
    RunInTwoParts(threads_, [&](int part) {
      int64_t begin, end;
      HalfRange(count, part, begin, end);
      for (int64_t k = begin; k < end; ++k) {
        if (part == 0 && ((k - begin) & (kItemsPerProgressPoint - 1)) == 0) run_.Pump();
        const uint32_t c = taking_[k];
        const int current = entryOf_[c];
        const double y = colours_.Y[c], u = colours_.U[c], v = colours_.V[c];
        if (haveBounds) {
          double upper = upper_[k] + shift[current];
          const double lower = lower_[k] - (current == largestEntry ? secondShift : largestShift);
          if (!CertainlyBelow(upper, lower)) {
            upper = std::sqrt(search_.SquaredDistance(y, u, v, current));
          }
          if (CertainlyBelow(upper, lower)) {
            upper_[k] = upper;
            lower_[k] = lower;
            assigned_[k] = static_cast<uint8_t>(current);
            continue;
          }
        }
        double second = 0.0;
        const int nearest = search_.Find(y, u, v, current, &second);
        assigned_[k] = static_cast<uint8_t>(nearest);
        upper_[k] = std::sqrt(search_.SquaredDistance(y, u, v, nearest));
        lower_[k] = second;
      }
    });
  }

  // Moves the colours whose entry changed and adds the sums of every entry whose pixels
  // changed again, over its pixels in pixel order.
  void UpdateMembers() {
    std::array<bool, kPaletteSize> dirty{};
    int64_t movedPixels = 0;
    for (size_t k = 0; k < taking_.size(); ++k) {
      const uint32_t c = taking_[k];
      if (assigned_[k] == entryOf_[c]) continue;
      dirty[entryOf_[c]] = true;
      dirty[assigned_[k]] = true;
      entryOf_[c] = assigned_[k];
      movedPixels += colours_.takingPart[c];
    }
    std::vector<int> dirtyEntries;
    for (int e = 0; e < kPaletteSize; ++e) {
      if (dirty[e]) dirtyEntries.push_back(e);
    }
    if (dirtyEntries.empty()) return;
    if (movedPixels * 4 > takingPixels_) {
      RebuildByScan(dirty);
    } else {
      RebuildByMoving(dirtyEntries);
    }
    AddSums(dirtyEntries);
  }

  // Many pixels move: every changed entry's list is made anew in one pass over the picture.
  void RebuildByScan(const std::array<bool, kPaletteSize>& dirty) {
    std::array<int64_t, kPaletteSize> sizes{};
    for (const uint32_t c : taking_) sizes[entryOf_[c]] += colours_.takingPart[c];
    for (int e = 0; e < kPaletteSize; ++e) {
      if (!dirty[e]) continue;
      members_.pixels[e] = std::vector<uint32_t>();
      members_.pixels[e].reserve(static_cast<size_t>(sizes[e]));
    }
    const uint32_t* pixelColour = colours_.pixelColour.data();
    for (int64_t start = 0; start < colours_.pixelCount; start += kItemsPerProgressPoint * 4) {
      run_.Pump();
      const int64_t end = std::min(colours_.pixelCount, start + kItemsPerProgressPoint * 4);
      for (int64_t i = start; i < end; ++i) {
        const uint32_t colour = pixelColour[i];
        if ((colour & ColourTable::kEdgeBit) != 0) continue;
        const int e = entryOf_[colour];
        if (dirty[e]) members_.pixels[e].push_back(static_cast<uint32_t>(i));
      }
    }
  }

  // Few pixels move: they leave their old lists and are merged into their new ones.
  void RebuildByMoving(const std::vector<int>& dirtyEntries) {
    std::array<std::vector<uint32_t>, kPaletteSize> incoming;
    for (const int s : dirtyEntries) {
      std::vector<uint32_t>& list = members_.pixels[s];
      size_t kept = 0;
      for (const uint32_t p : list) {
        const int e = entryOf_[colours_.ColourOf(p)];
        if (e == s) {
          list[kept++] = p;
        } else {
          incoming[e].push_back(p);
        }
      }
      list.resize(kept);
    }
    for (const int e : dirtyEntries) {
      if (incoming[e].empty()) continue;
      std::sort(incoming[e].begin(), incoming[e].end());
      std::vector<uint32_t> merged(members_.pixels[e].size() + incoming[e].size());
      std::merge(members_.pixels[e].begin(), members_.pixels[e].end(), incoming[e].begin(),
                 incoming[e].end(), merged.begin());
      members_.pixels[e] = std::move(merged);
    }
  }

  // The sums of the given entries, each over its pixels in pixel order; the entries are
  // shared out between the threads by size.
  void AddSums(const std::vector<int>& entries) {
    int64_t total = 0;
    for (const int e : entries) total += static_cast<int64_t>(members_.pixels[e].size());
    size_t split = 0;
    int64_t running = 0;
    while (split < entries.size() && running * 2 < total) {
      running += static_cast<int64_t>(members_.pixels[entries[split]].size());
      ++split;
    }
    RunInTwoParts(threads_, [&](int part) {
      const size_t begin = part == 0 ? 0 : split;
      const size_t end = part == 0 ? split : entries.size();
      for (size_t k = begin; k < end; ++k) {
        if (part == 0) run_.Pump();
        const int e = entries[k];
        double sumY = 0.0, sumU = 0.0, sumV = 0.0;
        for (const uint32_t p : members_.pixels[e]) {
          const uint32_t c = colours_.ColourOf(p);
          sumY += colours_.Y[c];
          sumU += colours_.U[c];
          sumV += colours_.V[c];
        }
        members_.sumY[e] = sumY;
        members_.sumU[e] = sumU;
        members_.sumV[e] = sumV;
      }
    });
  }

  const ColourTable& colours_;
  const ReductionParams& params_;
  WorkingPalette& palette_;
  std::vector<uint8_t>& entryOf_;
  EngineRun& run_;
  int threads_;
  EntryMembers members_;
  std::vector<uint32_t> taking_;  // the colours that take part
  int64_t takingPixels_ = 0;
  std::vector<uint8_t> assigned_;
  std::vector<double> upper_, lower_;  // per taking colour: bounds of its distances
  NearestEntrySearch search_;
};

}  // namespace

int NearestEntry(const WorkingPalette& palette, double y, double u, double v) {
  double bestDistance = DBL_MAX;
  int best = 0;
  for (int i = 0; i < kPaletteSize; ++i) {
    const double dY = y - palette.Y[i];
    const double dU = u - palette.U[i];
    const double dV = v - palette.V[i];
    const double distance = dY * dY + dU * dU + dV * dV;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

void RefinePaletteKMeans(const ColourTable& colours, Clusters& clusters,
                         const ReductionParams& params, WorkingPalette& palette,
                         std::vector<uint8_t>& entryOfColour, EngineRun& run, int threads) {
  KMeans kmeans(colours, clusters, params, palette, entryOfColour, run, threads);
  kmeans.Run();
}

std::vector<uint8_t> NearestEntriesOfColours(const ColourTable& colours,
                                             const WorkingPalette& palette,
                                             const std::vector<uint8_t>& guess, EngineRun& run,
                                             int threads) {
  NearestEntrySearch search;
  search.SetPalette(palette.Y.data(), palette.U.data(), palette.V.data(), kPaletteSize);
  std::vector<uint8_t> nearest(static_cast<size_t>(colours.colourCount));
  RunInTwoParts(threads, [&](int part) {
    int64_t begin, end;
    HalfRange(colours.colourCount, part, begin, end);
    int previous = 0;
    for (int64_t c = begin; c < end; ++c) {
      if (part == 0 && ((c - begin) & (kItemsPerProgressPoint - 1)) == 0) run.Pump();
      const int start = guess.empty() ? previous : guess[c];
      previous = search.Find(colours.Y[c], colours.U[c], colours.V[c], start);
      nearest[c] = static_cast<uint8_t>(previous);
    }
  });
  return nearest;
}

void AssignNearestEntries(const ColourTable& colours, const std::vector<uint8_t>& nearest,
                          uint8_t* indexPlane) {
  for (int64_t i = 0; i < colours.pixelCount; ++i) indexPlane[i] = nearest[colours.ColourOf(i)];
}

}  // namespace genshoku
