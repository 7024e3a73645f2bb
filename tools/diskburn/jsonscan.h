// diskburn: a reader of just enough JSON to take counters out of a tool's
// answer.  It walks the whole text once, checks that it is JSON, and hands
// every non-negative integer to a sink together with the path of keys and
// array positions that leads to it.  Whatever the text holds, it never
// throws, never allocates, and never nests deeper than kJsonDepth: an
// answer cut short, flooded or made of garbage is simply not JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace diskburn {

constexpr size_t kJsonDepth = 32;

// One step of a path: a member's key, or (key empty) an array position.
struct JsonStep {
  std::string_view key;  // as written, escapes left as they are
  size_t index = 0;
};

// Receives the integers in the order they stand in the text: path[0] to
// path[depth - 1] lead to value.
using JsonSink = void (*)(void* ctx, const JsonStep* path, size_t depth, uint64_t value);

class JsonScanner {
 public:
  JsonScanner(std::string_view text, JsonSink sink, void* ctx) : s_(text), sink_(sink), ctx_(ctx) {}
  // True if the text is one JSON value (blanks around it allowed).  The
  // sink may have been given integers before a fault further on was found.
  bool scan();

 private:
  bool value(size_t depth);
  bool object(size_t depth);
  bool array(size_t depth);
  bool string(std::string_view* out);
  bool number(size_t depth);
  bool word(std::string_view w);
  void blanks();
  bool take(char c);

  std::string_view s_;
  size_t at_ = 0;
  JsonSink sink_;
  void* ctx_;
  JsonStep path_[kJsonDepth];
};

}  // namespace diskburn
