// diskburn: the pass over one target.  Worker threads write the stamped
// pattern in large direct-I/O blocks, the target is flushed, then the
// workers read it back while a checker thread per worker compares each
// block with what was written and names the first difference.
#pragma once

#include "target.h"

namespace diskburn {

// Writes, flushes and verifies one target; the body of its thread.
void disk_thread(Target& t, const Settings& cfg, const unsigned char* tmpl);

// Where a test may change what a pass does, as a table of functions it
// swaps in (tests/burntools/diskburn_hooks.cpp): a disk that is slow, that
// flips a byte, that gets another target's block.  The program's own table
// is empty, and then the pass is only its own.
struct PassHooks {
  // Before each block a worker moves.
  void (*before_block)() = nullptr;
  // Between a target's flush and its verify.
  void (*before_verify)(Target& t, const Settings& cfg, const unsigned char* tmpl) = nullptr;
};
extern PassHooks g_pass_hooks;

}  // namespace diskburn
