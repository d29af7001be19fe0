#include "engine/kmeans.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <limits>

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
  std::array<std::vector<Member>, kPaletteSize> pixels;
  std::array<double, kPaletteSize> sumY{}, sumU{}, sumV{};
};

class KMeans {
 public:
  KMeans(const ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
         const uint8_t* srcB, Clusters& clusters, const ReductionParams& params,
         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour, EngineRun& run,
         int threads)
      : colours_(colours), srcR_(srcR), srcG_(srcG), srcB_(srcB), params_(params),
        palette_(palette), entryOf_(entryOfColour), run_(run), threads_(threads) {
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
    // How far every entry moved since the bounds were made. Entries that jump (those drawn
    // at random) would loosen every bound; the few that moved most are measured directly
    // instead.
    std::array<double, kPaletteSize> shift{};
    std::array<int, kPaletteSize> byShift{};
    if (haveBounds) {
      for (int e = 0; e < kPaletteSize; ++e) {
        const double dY = palette_.Y[e] - previous.Y[e];
        const double dU = palette_.U[e] - previous.U[e];
        const double dV = palette_.V[e] - previous.V[e];
        shift[e] = std::sqrt(dY * dY + dU * dU + dV * dV);
        if (!(shift[e] < 1e100)) shift[e] = std::numeric_limits<double>::infinity();
        byShift[e] = e;
      }
      std::sort(byShift.begin(), byShift.end(), [&](int a, int b) {
        return shift[a] != shift[b] ? shift[a] > shift[b] : a < b;
      });
    }
    constexpr int kJumping = 8;
    const double largestShift = shift[byShift[0]];
    const double secondShift = shift[byShift[1]];
    const int largestEntry = byShift[0];
    const double shiftOutsideJumping = shift[byShift[kJumping]];
    // Measuring the jumping entries pays only when they moved much farther than the rest.
    const bool useJumping = largestShift > 4.0 * shiftOutsideJumping;
    const int64_t count = static_cast<int64_t>(taking_.size());
    RunInTwoParts(threads_, [&](int part) {
      int64_t begin, end;
      HalfRange(count, part, begin, end);
      for (int64_t k = begin; k < end; ++k) {
        if (part == 0 && ((k - begin) & (kItemsPerProgressPoint - 1)) == 0) run_.Pump();
        const uint32_t c = taking_[k];
        const int current = entryOf_[c];
        const double y = colours_.working[c].y, u = colours_.working[c].u, v = colours_.working[c].v;
        if (haveBounds) {
          double upper = upper_[k] + shift[current];
          double lower = lower_[k] - (current == largestEntry ? secondShift : largestShift);
          bool settled = CertainlyBelow(upper, lower);
          if (!settled) {
            upper = std::sqrt(search_.SquaredDistance(y, u, v, current));
            settled = CertainlyBelow(upper, lower);
          }
          if (!settled && useJumping) {
            // The entries that moved most, measured; the others bounded by the rest.
            lower = lower_[k] - shiftOutsideJumping;
            settled = CertainlyBelow(upper, lower);
            if (settled) {
              // Squared distances above this are certainly beyond `upper`.
              const double beyond = upper * (1.0 + 4e-9) + 4e-9;
              const double beyondSquared = beyond * beyond * (1.0 + 1e-12);
              double nearestJumping = std::numeric_limits<double>::infinity();
              for (int j = 0; j < kJumping && settled; ++j) {
                const int e = byShift[j];
                if (e == current) continue;
                const double squared = search_.SquaredDistance(y, u, v, e);
                nearestJumping = std::min(nearestJumping, squared);
                settled = squared > beyondSquared;
              }
              if (settled) lower = std::min(lower, std::sqrt(nearestJumping) * (1.0 - 1e-12));
            }
          }
          if (settled) {
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
    lost_.fill(false);
    gained_.fill(false);
    int64_t movedPixels = 0;
    for (size_t k = 0; k < taking_.size(); ++k) {
      const uint32_t c = taking_[k];
      if (assigned_[k] == entryOf_[c]) continue;
      dirty[entryOf_[c]] = true;
      lost_[entryOf_[c]] = true;
      dirty[assigned_[k]] = true;
      gained_[assigned_[k]] = true;
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
      AddSums(dirtyEntries);
      return;
    }
    RebuildByMoving(dirtyEntries);
    // The lists that only lost pixels got their sums while they were compacted.
    std::vector<int> gaining;
    for (const int e : dirtyEntries) {
      if (gained_[e]) gaining.push_back(e);
    }
    AddSums(gaining);
  }

  // Many pixels move: every changed entry's list is made anew in one pass over the picture;
  // each thread takes half of the picture, and the halves are joined in order.
  void RebuildByScan(const std::array<bool, kPaletteSize>& dirty) {
    std::array<std::vector<Member>, kPaletteSize> secondHalf;
    for (int e = 0; e < kPaletteSize; ++e) {
      if (dirty[e]) members_.pixels[e] = std::vector<Member>();
    }
    RunInTwoParts(threads_, [&](int part) {
      std::array<std::vector<Member>, kPaletteSize>& lists =
          part == 0 ? members_.pixels : secondHalf;
      int64_t begin, end;
      HalfRange(colours_.pixelCount, part, begin, end);
      for (int64_t start = begin; start < end; start += kItemsPerProgressPoint * 4) {
        if (part == 0) run_.Pump();
        const int64_t stop = std::min(end, start + kItemsPerProgressPoint * 4);
        for (int64_t i = start; i < stop; ++i) {
          if (colours_.IsEdgePixel(i)) continue;
          const uint32_t c = colours_.ColourOfBytes(srcR_[i], srcG_[i], srcB_[i]);
          const int e = entryOf_[c];
          if (dirty[e]) lists[e].push_back({static_cast<uint32_t>(i), c});
        }
      }
    });
    for (int e = 0; e < kPaletteSize; ++e) {
      if (!dirty[e] || secondHalf[e].empty()) continue;
      members_.pixels[e].insert(members_.pixels[e].end(), secondHalf[e].begin(),
                                secondHalf[e].end());
      std::vector<Member>().swap(secondHalf[e]);
    }
  }

  // Few pixels move: they leave their old lists and are merged into their new ones. The
  // lists that lost pixels are compacted, and those that gained merged, on both threads.
  void RebuildByMoving(const std::vector<int>& dirtyEntries) {
    std::vector<int> losing;
    for (const int e : dirtyEntries) {
      if (lost_[e]) losing.push_back(e);
    }
    std::array<std::vector<Member>, kPaletteSize> leaving;
    RunInTwoParts(threads_, [&](int part) {
      for (size_t k = static_cast<size_t>(part); k < losing.size(); k += 2) {
        if (part == 0) run_.Pump();
        const int s = losing[k];
        std::vector<Member>& list = members_.pixels[s];
        size_t kept = 0;
        if (gained_[s]) {
          for (const Member& member : list) {
            if (entryOf_[member.colour] == s) {
              list[kept++] = member;
            } else {
              leaving[s].push_back(member);
            }
          }
        } else {
          const ColourTable::Working* working = colours_.working.data();
          double sumY = 0.0, sumU = 0.0, sumV = 0.0;
          for (const Member& member : list) {
            if (entryOf_[member.colour] == s) {
              list[kept++] = member;
              const ColourTable::Working& w = working[member.colour];
              sumY += w.y;
              sumU += w.u;
              sumV += w.v;
            } else {
              leaving[s].push_back(member);
            }
          }
          members_.sumY[s] = sumY;
          members_.sumU[s] = sumU;
          members_.sumV[s] = sumV;
        }
        list.resize(kept);
      }
    });
    std::array<std::vector<Member>, kPaletteSize> incoming;
    for (const int s : losing) {
      for (const Member& member : leaving[s]) incoming[entryOf_[member.colour]].push_back(member);
      std::vector<Member>().swap(leaving[s]);
    }
    std::vector<int> gaining;
    for (const int e : dirtyEntries) {
      if (gained_[e]) gaining.push_back(e);
    }
    auto byPixel = [](const Member& a, const Member& b) { return a.pixel < b.pixel; };
    RunInTwoParts(threads_, [&](int part) {
      for (size_t k = static_cast<size_t>(part); k < gaining.size(); k += 2) {
        if (part == 0) run_.Pump();
        const int e = gaining[k];
        std::vector<Member>& in = incoming[e];
        std::sort(in.begin(), in.end(), byPixel);
        // Merged in place from the back: the members before the first newcomer stay where
        // they are.
        std::vector<Member>& list = members_.pixels[e];
        size_t a = list.size();
        size_t b = in.size();
        const size_t needed = list.size() + in.size();
        // A little room to grow, not the doubling of a plain resize.
        if (list.capacity() < needed) list.reserve(needed + needed / 16);
        list.resize(needed);
        size_t out = list.size();
        while (b > 0) {
          if (a > 0 && list[a - 1].pixel > in[b - 1].pixel) {
            list[--out] = list[--a];
          } else {
            list[--out] = in[--b];
          }
        }
        std::vector<Member>().swap(incoming[e]);
      }
    });
  }

  // The sums of the given entries, each over its pixels in pixel order. Four entries of
  // similar size are summed side by side, so that their additions overlap instead of
  // waiting on each other; the entries are shared out between the threads by size.
  void AddSums(std::vector<int> entries) {
    std::sort(entries.begin(), entries.end(), [&](int a, int b) {
      return members_.pixels[a].size() > members_.pixels[b].size();
    });
    int64_t total = 0;
    for (const int e : entries) total += static_cast<int64_t>(members_.pixels[e].size());
    // Groups of four alternate between the two parts, the larger first.
    std::vector<int> parts[2];
    int64_t partSize[2] = {0, 0};
    for (size_t k = 0; k < entries.size(); k += 4) {
      const int part = partSize[0] <= partSize[1] ? 0 : 1;
      for (size_t j = k; j < std::min(entries.size(), k + 4); ++j) {
        parts[part].push_back(entries[j]);
        partSize[part] += static_cast<int64_t>(members_.pixels[entries[j]].size());
      }
    }
    (void)total;
    RunInTwoParts(threads_, [&](int part) {
      const std::vector<int>& mine = parts[part];
      for (size_t k = 0; k < mine.size(); k += 4) {
        if (part == 0) run_.Pump();
        SumGroup(mine.data() + k, static_cast<int>(std::min<size_t>(4, mine.size() - k)));
      }
    });
  }

  void SumGroup(const int* entries, int count) {
    const Member* member[4];
    size_t size[4];
    double sumY[4] = {}, sumU[4] = {}, sumV[4] = {};
    size_t common = SIZE_MAX;
    for (int g = 0; g < count; ++g) {
      member[g] = members_.pixels[entries[g]].data();
      size[g] = members_.pixels[entries[g]].size();
      common = std::min(common, size[g]);
    }
    const ColourTable::Working* working = colours_.working.data();
    size_t i = 0;
    if (count == 4) {
      // Twelve running sums in registers, each still adding its own entry's values in
      // pixel order.
      double y0 = 0.0, u0 = 0.0, v0 = 0.0, y1 = 0.0, u1 = 0.0, v1 = 0.0;
      double y2 = 0.0, u2 = 0.0, v2 = 0.0, y3 = 0.0, u3 = 0.0, v3 = 0.0;
      const Member* m0 = member[0];
      const Member* m1 = member[1];
      const Member* m2 = member[2];
      const Member* m3 = member[3];
      for (; i < common; ++i) {
        const ColourTable::Working& w0 = working[m0[i].colour];
        const ColourTable::Working& w1 = working[m1[i].colour];
        const ColourTable::Working& w2 = working[m2[i].colour];
        const ColourTable::Working& w3 = working[m3[i].colour];
        y0 += w0.y;
        u0 += w0.u;
        v0 += w0.v;
        y1 += w1.y;
        u1 += w1.u;
        v1 += w1.v;
        y2 += w2.y;
        u2 += w2.u;
        v2 += w2.v;
        y3 += w3.y;
        u3 += w3.u;
        v3 += w3.v;
      }
      sumY[0] = y0, sumU[0] = u0, sumV[0] = v0;
      sumY[1] = y1, sumU[1] = u1, sumV[1] = v1;
      sumY[2] = y2, sumU[2] = u2, sumV[2] = v2;
      sumY[3] = y3, sumU[3] = u3, sumV[3] = v3;
    }
    for (int g = 0; g < count; ++g) {
      double y = sumY[g], u = sumU[g], v = sumV[g];
      for (size_t j = i; j < size[g]; ++j) {
        const ColourTable::Working& w = working[member[g][j].colour];
        y += w.y;
        u += w.u;
        v += w.v;
      }
      sumY[g] = y, sumU[g] = u, sumV[g] = v;
      members_.sumY[entries[g]] = sumY[g];
      members_.sumU[entries[g]] = sumU[g];
      members_.sumV[entries[g]] = sumV[g];
    }
  }

  const ColourTable& colours_;
  const uint8_t* srcR_;
  const uint8_t* srcG_;
  const uint8_t* srcB_;
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
  std::array<bool, kPaletteSize> lost_{};    // entries that lost colours in this pass
  std::array<bool, kPaletteSize> gained_{};  // entries that gained colours in this pass
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

void RefinePaletteKMeans(const ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                         const uint8_t* srcB, Clusters& clusters, const ReductionParams& params,
                         WorkingPalette& palette, std::vector<uint8_t>& entryOfColour,
                         EngineRun& run, int threads) {
  KMeans kmeans(colours, srcR, srcG, srcB, clusters, params, palette, entryOfColour, run,
                threads);
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
      previous = search.Find(colours.working[c].y, colours.working[c].u, colours.working[c].v, start);
      nearest[c] = static_cast<uint8_t>(previous);
    }
  });
  return nearest;
}

void AssignNearestEntries(const ColourTable& colours, const uint8_t* srcR, const uint8_t* srcG,
                          const uint8_t* srcB, const std::vector<uint8_t>& nearest,
                          uint8_t* indexPlane) {
  for (int64_t i = 0; i < colours.pixelCount; ++i) {
    indexPlane[i] = nearest[colours.ColourOfBytes(srcR[i], srcG[i], srcB[i])];
  }
}

}  // namespace genshoku
