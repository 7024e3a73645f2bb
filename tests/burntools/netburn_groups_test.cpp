// Who hears whom makes netburn's groups, or names the fault; and whatever
// the groups, every port receives, and sends, the same number per round.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "groups.h"

namespace netburn {
namespace {

struct Case {
  const char* name;
  size_t ports;
  std::vector<std::pair<size_t, size_t>> hears;  // (j, i): port j hears port i
  std::vector<std::vector<size_t>> groups;
  std::vector<std::string> causes;
};

std::vector<std::pair<size_t, size_t>> both(std::vector<std::pair<size_t, size_t>> links) {
  std::vector<std::pair<size_t, size_t>> h;
  for (auto [a, b] : links) h.push_back({a, b}), h.push_back({b, a});
  return h;
}

Groups make(const Case& c) {
  std::vector<std::vector<bool>> heard(c.ports, std::vector<bool>(c.ports, false));
  for (auto [j, i] : c.hears) heard[j][i] = true;
  std::vector<std::string> names;
  for (size_t p = 0; p < c.ports; ++p) names.push_back("p" + std::to_string(p));
  return Groups(heard, names);
}

TEST(NetburnGroups, FromWhoHearsWhom) {
  const std::vector<Case> cases = {
      {"one switch", 3, both({{0, 1}, {0, 2}, {1, 2}}), {{0, 1, 2}}, {}},
      {"two pairs", 4, both({{0, 1}, {2, 3}}), {{0, 1}, {2, 3}}, {}},
      {"pairs interleaved", 4, both({{0, 2}, {1, 3}}), {{0, 2}, {1, 3}}, {}},
      {"a lone port", 3, both({{0, 1}}), {{0, 1}, {2}}, {"p2 hears no other port"}},
      {"partly", 3, both({{0, 1}, {1, 2}}), {{0, 1, 2}}, {"p0 and p2 do not hear each other"}},
      {"one way", 2, {{0, 1}}, {{0, 1}}, {"p1 does not hear p0"}},
  };
  for (const Case& c : cases) {
    Groups g = make(c);
    EXPECT_EQ(g.list(), c.groups) << c.name;
    EXPECT_EQ(g.causes(), c.causes) << c.name;
    EXPECT_EQ(g.messages().size(), c.causes.size()) << c.name;
    EXPECT_EQ(g.sound(), c.causes.empty()) << c.name;
  }
}

TEST(NetburnGroups, EveryPortGetsAndSendsEach) {
  const std::vector<Case> cases = {
      {"2 and 3", 5, both({{0, 1}, {2, 3}, {2, 4}, {3, 4}}), {}, {}},
      {"4", 4, both({{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}), {}, {}},
      {"2, 3 and 4", 9,
       both({{0, 1}, {2, 3}, {2, 4}, {3, 4}, {5, 6}, {5, 7}, {5, 8}, {6, 7}, {6, 8}, {7, 8}}), {}, {}},
  };
  for (const Case& c : cases) {
    Groups g = make(c);
    ASSERT_TRUE(g.sound()) << c.name;
    for (uint64_t each : {g.unit(), 7 * g.unit(), uint64_t{5}, uint64_t{1}})
      for (uint64_t round = 0; round < 4; ++round) {
        std::vector<uint64_t> in(c.ports), out(c.ports);
        for (size_t i = 0; i < c.ports; ++i)
          for (size_t j = 0; j < c.ports; ++j) {
            const uint64_t s = g.share(i, j, each, round);
            in[j] += s, out[i] += s;
          }
        for (size_t p = 0; p < c.ports; ++p) {
          EXPECT_EQ(in[p], each) << c.name << ", port " << p << ", each " << each << ", round " << round;
          EXPECT_EQ(out[p], each) << c.name << ", port " << p << ", each " << each << ", round " << round;
        }
      }
  }
}

}  // namespace
}  // namespace netburn
