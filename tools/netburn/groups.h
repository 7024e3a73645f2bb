// netburn: which ports hear each other.  Ports cabled to one switch hear
// each other all to all, but a machine's ports may also be cabled back to
// back in pairs or to separate switches: the ports that hear each other form
// groups, and each group is tested all to all.  A port that no other port
// hears, and two ports of one network that do not hear each other (one
// direction or both), are faults to name before any test traffic goes out.
//
// The status lines carry one sent count for every port, so in every round
// each port receives the same number of frames ("each") whatever the size
// of its group: a port in a smaller group gets more from each of its peers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace netburn {

class Groups {
 public:
  // heard[j][i]: port j heard port i in the warm-up.
  Groups(const std::vector<std::vector<bool>>& heard, const std::vector<std::string>& names);

  // Every port is in a group of two or more whose ports all hear each other.
  bool sound() const { return causes_.empty(); }
  const std::vector<std::vector<size_t>>& list() const { return groups_; }
  const std::vector<std::string>& messages() const { return messages_; }  // lines naming the faults
  const std::vector<std::string>& causes() const { return causes_; }      // for "Pass failed: ..."

  // Frames port i sends port j in a round in which every port receives
  // `each` frames.  Over a round each port also sends `each` frames.
  uint64_t share(size_t i, size_t j, uint64_t each, uint64_t round) const;
  // `each` is best a multiple of this: every peer then sends the same number.
  uint64_t unit() const { return unit_; }
  // The largest `each` for which no share exceeds `per_pair`.
  uint64_t most_each(uint64_t per_pair) const;
  size_t largest() const;

 private:
  void find(const std::vector<std::vector<bool>>& heard);
  void check(const std::vector<std::vector<bool>>& heard, const std::vector<std::string>& names);

  std::vector<std::vector<size_t>> groups_;  // ports in order, groups by their first port
  std::vector<size_t> group_of_;
  std::vector<size_t> place_;                // a port's place in its group
  std::vector<std::string> messages_, causes_;
  uint64_t unit_ = 1;
};

}  // namespace netburn
