// diskburn: the pass over one target.  Worker threads write the stamped
// pattern in large direct-I/O blocks, the target is flushed, then the
// workers read it back while a checker thread per worker compares each
// block with what was written and names the first difference.
#pragma once

#include "target.h"

namespace diskburn {

// Writes, flushes and verifies one target; the body of its thread.
void disk_thread(Target& t, const Settings& cfg, const unsigned char* tmpl);

}  // namespace diskburn
