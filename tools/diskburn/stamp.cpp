// diskburn: see stamp.h.

#include "stamp.h"

#include <cinttypes>
#include <cstring>

namespace diskburn {

uint64_t target_ident(size_t index) {
  uint64_t z = (index + 1) * 0x9E3779B97F4A7C15ull;  // splitmix64
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::vector<unsigned char> make_template(size_t n, uint64_t seed) {
  std::vector<unsigned char> t(n);
  uint64_t x = seed | 1;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    uint64_t v = x * 0x2545F4914F6CDD1Dull;
    std::memcpy(&t[i], &v, 8);
  }
  return t;
}

void fill_block(unsigned char* buf, const unsigned char* tmpl, uint64_t off, size_t len, uint64_t seed,
                uint64_t ident, bool whole_template) {
  if (!whole_template)
    for (size_t at = 0; at < len; at += kSector)
      std::memcpy(buf + at, tmpl + (off + at) % kTemplate, std::min(kSector, len - at));
  for (size_t s = 0; s < len; s += kSector) {
    Stamp st = stamp_for(off + s, seed, ident);
    std::memcpy(buf + s, &st, sizeof st);
  }
}

bool block_ok(const unsigned char* got, const unsigned char* tmpl, uint64_t off, size_t len,
              uint64_t seed, uint64_t ident) {
  for (size_t s = 0; s < len; s += kSector) {
    Stamp want = stamp_for(off + s, seed, ident);
    if (std::memcmp(got + s, &want, sizeof want) != 0 ||
        std::memcmp(got + s + sizeof(Stamp), tmpl + (off + s) % kTemplate + sizeof(Stamp),
                    kSector - sizeof(Stamp)) != 0)
      return false;
  }
  return true;
}

namespace {
// What a sector whose stamp is wrong holds: another place's data (this
// disk's or another target's), or an earlier pass's; empty if neither.
std::string foreign_stamp(const Stamp& have, const Stamp& want, const Settings& cfg, const std::string& self) {
  for (auto& o : cfg.owners) {
    if (stamp_for(have.offset, cfg.seed, o.ident).check != have.check) continue;
    if (o.name == self)
      return fmt("holds the data written for byte %" PRIu64 " (misdirected write)", have.offset);
    return fmt("holds the data written for %s at byte %" PRIu64 " (misdirected write)", o.name.c_str(),
               have.offset);
  }
  if (have.offset == want.offset) return "holds data from an earlier pass (write lost)";
  return "";
}
}  // namespace

Mismatch describe_mismatch(const unsigned char* got, const unsigned char* tmpl, uint64_t off, size_t len,
                           const Settings& cfg, const std::string& self, uint64_t ident) {
  Mismatch m;
  m.first_bad = off;
  for (size_t s = 0; s < len; s += kSector) {
    if (block_ok(got + s, tmpl, off + s, kSector, cfg.seed, ident)) continue;
    if (m.bad_sectors++ > 0) continue;
    Stamp want = stamp_for(off + s, cfg.seed, ident), have;
    std::memcpy(&have, got + s, sizeof have);
    if (std::memcmp(&have, &want, sizeof want) != 0) {
      m.what = foreign_stamp(have, want, cfg, self);
      if (!m.what.empty()) {
        m.first_bad = off + s;
        continue;
      }
    }
    unsigned char expect[kSector];
    fill_block(expect, tmpl, off + s, kSector, cfg.seed, ident, false);
    size_t k = 0;
    while (k < kSector && got[s + k] == expect[k]) ++k;
    if (k == kSector) k = 0;
    m.first_bad = off + s + k;
    m.what = fmt("reads 0x%02x instead of 0x%02x", got[s + k], expect[k]);
  }
  return m;
}

}  // namespace diskburn
