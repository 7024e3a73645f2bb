// netburn: see groups.h.

#include "groups.h"

#include <algorithm>
#include <numeric>

#include "toolframe/util.h"

namespace netburn {

using toolframe::fmt;

Groups::Groups(const std::vector<std::vector<bool>>& heard, const std::vector<std::string>& names) {
  find(heard);
  check(heard, names);
  // The least common multiple of the peer counts, when small: then every
  // share of a round is the same and "missing K from" reads the same per peer.
  uint64_t l = 1;
  for (const auto& g : groups_)
    if (g.size() > 1) l = std::lcm(l, static_cast<uint64_t>(g.size() - 1));
  unit_ = l <= 64 ? l : 1;
}

// Ports that hear each other in either direction belong together.
void Groups::find(const std::vector<std::vector<bool>>& heard) {
  const size_t P = heard.size();
  std::vector<size_t> root(P);
  std::iota(root.begin(), root.end(), 0);
  auto top = [&](size_t x) {
    while (root[x] != x) x = root[x] = root[root[x]];
    return x;
  };
  for (size_t j = 0; j < P; ++j)
    for (size_t i = 0; i < P; ++i)
      if (i != j && heard[j][i]) root[std::max(top(i), top(j))] = std::min(top(i), top(j));
  group_of_.assign(P, 0);
  place_.assign(P, 0);
  std::vector<size_t> index(P, SIZE_MAX);
  for (size_t p = 0; p < P; ++p) {
    size_t r = top(p);
    if (index[r] == SIZE_MAX) {
      index[r] = groups_.size();
      groups_.emplace_back();
    }
    group_of_[p] = index[r];
    place_[p] = groups_[index[r]].size();
    groups_[index[r]].push_back(p);
  }
}

void Groups::check(const std::vector<std::vector<bool>>& heard, const std::vector<std::string>& names) {
  for (const auto& g : groups_) {
    if (g.size() == 1) {
      const char* n = names[g[0]].c_str();
      messages_.push_back(fmt("Port %s: no other port hears it, and it hears none; check its cable "
                              "and the switch port.", n));
      causes_.push_back(fmt("%s hears no other port", n));
      continue;
    }
    for (size_t x = 0; x < g.size(); ++x)
      for (size_t y = x + 1; y < g.size(); ++y) {
        const size_t a = g[x], b = g[y];
        const char *na = names[a].c_str(), *nb = names[b].c_str();
        if (heard[a][b] && heard[b][a]) continue;
        if (!heard[a][b] && !heard[b][a]) {
          messages_.push_back(fmt("Ports %s and %s: neither hears the other, though both are on one "
                                  "network with other ports; check the switch (VLANs, port isolation).", na, nb));
          causes_.push_back(fmt("%s and %s do not hear each other", na, nb));
          continue;
        }
        const char* deaf = heard[a][b] ? nb : na;
        const char* other = heard[a][b] ? na : nb;
        messages_.push_back(fmt("Ports %s and %s: %s hears %s, but %s does not hear %s; check the cables "
                                "and the switch ports.", na, nb, other, deaf, deaf, other));
        causes_.push_back(fmt("%s does not hear %s", deaf, other));
      }
  }
}

uint64_t Groups::share(size_t i, size_t j, uint64_t each, uint64_t round) const {
  if (i == j || group_of_[i] != group_of_[j]) return 0;
  const uint64_t peers = groups_[group_of_[i]].size() - 1;
  // j's distance from i around the group runs over 1..peers once for every
  // receiver and once for every sender, so handing the remainder out by
  // distance gives each port `each` frames in, and `each` out.
  const uint64_t g = peers + 1;
  const uint64_t d = (place_[j] + g - place_[i]) % g;
  const uint64_t extra = ((d - 1 + round) % peers) < each % peers ? 1 : 0;
  return each / peers + extra;
}

uint64_t Groups::most_each(uint64_t per_pair) const {
  uint64_t most = UINT64_MAX;
  for (const auto& g : groups_)
    if (g.size() > 1) most = std::min(most, per_pair * (g.size() - 1));
  return most;
}

size_t Groups::largest() const {
  size_t n = 0;
  for (const auto& g : groups_) n = std::max(n, g.size());
  return n;
}

}  // namespace netburn
