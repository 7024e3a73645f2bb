// diskburn: see jsonscan.h.  A recursive-descent walk; the depth check in
// value() bounds the recursion, and every read looks at at_ < size first.

#include "jsonscan.h"

namespace diskburn {

namespace {
bool digit(char c) { return c >= '0' && c <= '9'; }
bool hex(char c) { return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
}  // namespace

bool JsonScanner::scan() {
  at_ = 0;
  if (!value(0)) return false;
  blanks();
  return at_ == s_.size();
}

void JsonScanner::blanks() {
  while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
}

bool JsonScanner::take(char c) {
  blanks();
  if (at_ >= s_.size() || s_[at_] != c) return false;
  ++at_;
  return true;
}

bool JsonScanner::value(size_t depth) {
  blanks();
  if (at_ >= s_.size()) return false;
  switch (s_[at_]) {
    case '{': return depth < kJsonDepth && object(depth);
    case '[': return depth < kJsonDepth && array(depth);
    case '"': return string(nullptr);
    case 't': return word("true");
    case 'f': return word("false");
    case 'n': return word("null");
    default: return number(depth);
  }
}

// depth is the number of steps in path_ that lead to this container.
bool JsonScanner::object(size_t depth) {
  ++at_;
  if (take('}')) return true;
  do {
    blanks();
    JsonStep& step = path_[depth];
    if (!string(&step.key) || step.key.empty() || !take(':') || !value(depth + 1)) return false;
  } while (take(','));
  return take('}');
}

bool JsonScanner::array(size_t depth) {
  ++at_;
  if (take(']')) return true;
  size_t i = 0;
  do {
    path_[depth] = JsonStep{{}, i++};
    if (!value(depth + 1)) return false;
  } while (take(','));
  return take(']');
}

bool JsonScanner::string(std::string_view* out) {
  if (at_ >= s_.size() || s_[at_] != '"') return false;
  const size_t begin = ++at_;
  while (at_ < s_.size()) {
    char c = s_[at_];
    if (c == '"') {
      if (out) *out = s_.substr(begin, at_ - begin);
      ++at_;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c == '\\') {
      if (++at_ >= s_.size()) return false;
      if (s_[at_] == 'u') {
        for (int k = 0; k < 4; ++k)
          if (++at_ >= s_.size() || !hex(s_[at_])) return false;
      } else if (std::string_view("\"\\/bfnrt").find(s_[at_]) == std::string_view::npos) {
        return false;
      }
    }
    ++at_;
  }
  return false;
}

// Any JSON number is accepted; only a plain non-negative integer that fits
// in 64 bits goes to the sink.
bool JsonScanner::number(size_t depth) {
  bool plain = true;
  uint64_t v = 0;
  if (at_ < s_.size() && s_[at_] == '-') {
    plain = false;
    ++at_;
  }
  const size_t first = at_;
  while (at_ < s_.size() && digit(s_[at_])) {
    const uint64_t d = static_cast<uint64_t>(s_[at_++] - '0');
    if (v > (UINT64_MAX - d) / 10) plain = false;
    v = v * 10 + d;
  }
  if (at_ == first || (s_[first] == '0' && at_ - first > 1)) return false;
  if (at_ < s_.size() && s_[at_] == '.') {
    plain = false;
    const size_t f = ++at_;
    while (at_ < s_.size() && digit(s_[at_])) ++at_;
    if (at_ == f) return false;
  }
  if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
    plain = false;
    if (++at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
    const size_t e = at_;
    while (at_ < s_.size() && digit(s_[at_])) ++at_;
    if (at_ == e) return false;
  }
  if (plain) sink_(ctx_, path_, depth, v);
  return true;
}

bool JsonScanner::word(std::string_view w) {
  if (s_.substr(at_, w.size()) != w) return false;
  at_ += w.size();
  return true;
}

}  // namespace diskburn
