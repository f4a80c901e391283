#include "tools/carry_over.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

namespace vh::tool {

namespace {

// Past this many edits between two versions of one archive's texts of one
// kind, lining them up costs more than it could save; they are compared
// address by address instead.
constexpr size_t kMaxEdits = 2000;

// One archive's texts of one kind in both versions: positions in the
// caller's lists, in record order.
struct Group {
  std::vector<size_t> prior, next;
};

constexpr size_t kNone = static_cast<size_t>(-1);

// How alike two texts must be for a translation of one to be offered, fuzzy,
// for the other: msgmerge's own threshold for its fuzzy matches.
constexpr double kFuzzyThreshold = 0.6;
// The new texts weighed for one old text, nearest first.
constexpr size_t kMaxCandidates = 200;

// The byte pairs of a text, sorted, for a Dice coefficient.
std::vector<uint16_t> bigrams(const std::string& text) {
  std::vector<uint16_t> pairs;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    pairs.push_back(static_cast<uint16_t>(static_cast<uint8_t>(text[i]) << 8 | static_cast<uint8_t>(text[i + 1])));
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

// 1 for texts of the same byte pairs, 0 for texts of none in common.
double similarity(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
  // A text of one character has no pair: like nothing but itself, which
  // the alignment has matched already.
  if (a.empty() || b.empty()) return 0.0;
  size_t common = 0;
  for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
    if (a[i] == b[j]) {
      ++common, ++i, ++j;
    } else {
      a[i] < b[j] ? ++i : ++j;
    }
  }
  return 2.0 * static_cast<double>(common) / static_cast<double>(a.size() + b.size());
}

}  // namespace

std::optional<std::vector<std::pair<size_t, size_t>>> commonPairs(const std::vector<uint32_t>& a,
                                                                 const std::vector<uint32_t>& b, size_t maxEdits) {
  const auto n = static_cast<int64_t>(a.size());
  const auto m = static_cast<int64_t>(b.size());
  const int64_t max = std::min<int64_t>(n + m, static_cast<int64_t>(maxEdits));
  const int64_t offset = max + 1;
  // v[offset + k]: the furthest x reached on diagonal k = x - y.
  std::vector<int64_t> v(static_cast<size_t>(2 * max + 3), 0);
  std::vector<std::vector<int64_t>> trace;
  const auto at = [&](const std::vector<int64_t>& row, int64_t k) { return row[static_cast<size_t>(offset + k)]; };
  for (int64_t d = 0; d <= max; ++d) {
    trace.push_back(v);
    for (int64_t k = -d; k <= d; k += 2) {
      int64_t x = (k == -d || (k != d && at(v, k - 1) < at(v, k + 1))) ? at(v, k + 1) : at(v, k - 1) + 1;
      int64_t y = x - k;
      while (x < n && y < m && a[static_cast<size_t>(x)] == b[static_cast<size_t>(y)]) ++x, ++y;
      v[static_cast<size_t>(offset + k)] = x;
      if (x < n || y < m) continue;
      // Back from the end: each round's edit, then the run of equal
      // elements that followed it.
      std::vector<std::pair<size_t, size_t>> pairs;
      for (int64_t round = d; round > 0; --round) {
        const std::vector<int64_t>& before = trace[static_cast<size_t>(round)];
        const int64_t diagonal = x - y;
        const int64_t from = (diagonal == -round || (diagonal != round && at(before, diagonal - 1) < at(before, diagonal + 1)))
                                 ? diagonal + 1
                                 : diagonal - 1;
        const int64_t fromX = at(before, from);
        const int64_t fromY = fromX - from;
        while (x > fromX && y > fromY) {
          --x, --y;
          pairs.push_back({static_cast<size_t>(x), static_cast<size_t>(y)});
        }
        x = fromX, y = fromY;
      }
      while (x > 0 && y > 0) {
        --x, --y;
        pairs.push_back({static_cast<size_t>(x), static_cast<size_t>(y)});
      }
      std::reverse(pairs.begin(), pairs.end());
      return pairs;
    }
  }
  return std::nullopt;
}

std::vector<std::optional<CarriedTranslation>> carryOver(const std::vector<PriorText>& prior,
                                                         const std::vector<CarryText>& next, CarryCounts& counts) {
  std::vector<std::optional<CarriedTranslation>> result(next.size());
  std::map<std::pair<int, int32_t>, Group> groups;
  for (size_t i = 0; i < prior.size(); ++i) groups[{prior[i].sub, prior[i].typeId}].prior.push_back(i);
  for (size_t i = 0; i < next.size(); ++i) groups[{next[i].sub, next[i].typeId}].next.push_back(i);

  for (auto& [key, group] : groups) {
    std::stable_sort(group.prior.begin(), group.prior.end(),
                     [&](size_t x, size_t y) { return prior[x].record < prior[y].record; });
    std::stable_sort(group.next.begin(), group.next.end(),
                     [&](size_t x, size_t y) { return next[x].record < next[y].record; });
    const auto& P = group.prior;
    const auto& N = group.next;
    const auto oldAt = [&](size_t p) -> const PriorText& { return prior[P[p]]; };
    const auto newAt = [&](size_t n) -> const CarryText& { return next[N[n]]; };

    std::unordered_map<std::string, uint32_t> ids;
    const auto id = [&](const std::string& text) { return ids.emplace(text, static_cast<uint32_t>(ids.size())).first->second; };
    std::vector<uint32_t> a, b;
    for (size_t p = 0; p < P.size(); ++p) a.push_back(id(oldAt(p).source));
    for (size_t n = 0; n < N.size(); ++n) b.push_back(id(newAt(n).source));

    // For each old text, the new texts that may have taken its place: those
    // left over between the same two aligned pairs.
    std::vector<std::pair<size_t, size_t>> room(P.size(), {0, 0});  // a range of new positions
    std::vector<bool> aligned(N.size(), false);
    std::vector<std::pair<size_t, size_t>> pairs;
    if (auto found = commonPairs(a, b, kMaxEdits)) {
      pairs = std::move(*found);
      size_t p = 0, n = 0;
      for (size_t i = 0; i <= pairs.size(); ++i) {
        const size_t endP = i < pairs.size() ? pairs[i].first : P.size();
        const size_t endN = i < pairs.size() ? pairs[i].second : N.size();
        for (; p < endP; ++p) room[p] = {n, endN};
        if (i < pairs.size()) p = endP + 1, n = endN + 1;
      }
    } else {
      // Too far apart to line up: only the same address and the same text
      // count as aligned, and every other new text may have taken any place.
      std::map<int, size_t> byRecord;
      for (size_t n = 0; n < N.size(); ++n) byRecord[newAt(n).record] = n;
      for (size_t p = 0; p < P.size(); ++p) {
        room[p] = {0, N.size()};
        const auto same = byRecord.find(oldAt(p).record);
        if (same != byRecord.end() && a[p] == b[same->second]) pairs.push_back({p, same->second});
      }
    }

    std::vector<bool> used(P.size(), false);
    const auto give = [&](size_t p, size_t n, bool fuzzy, const std::string& previous) {
      result[N[n]] = CarriedTranslation{oldAt(p).translation, fuzzy, previous};
      used[p] = true;
    };
    for (const auto& [p, n] : pairs) {
      aligned[n] = true;
      if (oldAt(p).translation.empty()) continue;
      give(p, n, oldAt(p).fuzzy, oldAt(p).previous);
      ++(oldAt(p).record == newAt(n).record ? counts.kept : counts.moved);
    }

    // The one untranslated record that holds a left-over translation's text.
    std::unordered_map<uint32_t, std::vector<size_t>> holding;
    for (size_t n = 0; n < N.size(); ++n) holding[b[n]].push_back(n);
    for (size_t p = 0; p < P.size(); ++p) {
      if (used[p] || oldAt(p).translation.empty()) continue;
      size_t only = kNone;
      int free = 0;
      for (size_t n : holding[a[p]]) {
        if (!result[N[n]]) only = n, ++free;
      }
      if (free != 1) continue;
      give(p, only, oldAt(p).fuzzy, oldAt(p).previous);
      ++counts.moved;
    }

    // The rest go, fuzzy, to the most alike new text that took their place.
    for (size_t p = 0; p < P.size(); ++p) {
      if (used[p] || oldAt(p).translation.empty()) continue;
      const std::vector<uint16_t> old = bigrams(oldAt(p).source);
      const auto [first, last] = room[p];
      size_t target = kNone;
      double best = kFuzzyThreshold;
      for (size_t n = first; n < last && n < first + kMaxCandidates; ++n) {
        if (aligned[n] || result[N[n]]) continue;
        const double alike = similarity(old, bigrams(newAt(n).source));
        if (alike >= best) target = n, best = alike;
      }
      if (target == kNone) {
        ++counts.dropped;
        continue;
      }
      give(p, target, true, oldAt(p).source);
      ++counts.fuzzy;
    }
  }
  return result;
}

}  // namespace vh::tool
