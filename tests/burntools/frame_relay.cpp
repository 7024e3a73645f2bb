// A switch port that damages frames: copies every frame between two
// interfaces of a test's switch namespace, and changes one byte in the body
// of every Nth netburn test frame (not warm-up frames) that goes from the
// first to the second.  tc on the test kernels cannot edit frames, so the
// tests put this relay where a switch port would be.
//
//   frame_relay IF_FROM IF_TO N     (runs until killed)

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kTypeAt = 12, kFlagsAt = 14 + 14, kDamageAt = 14 + 30 + 100;

int open_raw(const char* name) {
  int fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);  // not our own sends
  int big = 8 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
  sockaddr_ll sll{};
  sll.sll_family = AF_PACKET;
  sll.sll_protocol = htons(ETH_P_ALL);
  sll.sll_ifindex = static_cast<int>(::if_nametoindex(name));
  if (sll.sll_ifindex == 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sll), sizeof sll) < 0) return -1;
  return fd;
}

bool test_frame(const unsigned char* f, ssize_t n) {
  return n > static_cast<ssize_t>(kDamageAt) && f[kTypeAt] == 0x88 && f[kTypeAt + 1] == 0xB5 &&
         (f[kFlagsAt] & 1) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::atol(argv[3]) < 1) {
    std::fprintf(stderr, "usage: frame_relay IF_FROM IF_TO N\n");
    return 2;
  }
  const long every = std::atol(argv[3]);
  int fd[2] = {open_raw(argv[1]), open_raw(argv[2])};
  if (fd[0] < 0 || fd[1] < 0) {
    std::perror("frame_relay");
    return 1;
  }
  unsigned char buf[9216];
  long seen = 0;
  for (;;) {
    pollfd p[2] = {{fd[0], POLLIN, 0}, {fd[1], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (!(p[k].revents & POLLIN)) continue;
      ssize_t n = ::recv(fd[k], buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) continue;
      if (k == 0 && test_frame(buf, n) && ++seen % every == 0) buf[kDamageAt] ^= 0x5a;
      ::send(fd[1 - k], buf, static_cast<size_t>(n), 0);
    }
  }
}
