// A switch port with a bad cable: copies every frame between two
// interfaces of the switch namespace, and flips the last byte of every
// Nth frame going from the first to the second (0: none).  Runs until
// killed.  Usage: faults_relay FROM TO EVERY
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>

namespace {
int open_port(const char* name) {
  int fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
  if (fd < 0) return -1;
  int one = 1;
  // Frames this relay sends out must not come back in on the same socket.
  ::setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);
  // A cable loses nothing: room for a second of frames while this process
  // waits for a core on a busy machine.
  int room = 16 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &room, sizeof room);
  sockaddr_ll a{};
  a.sll_family = AF_PACKET;
  a.sll_protocol = htons(ETH_P_ALL);
  a.sll_ifindex = static_cast<int>(::if_nametoindex(name));
  if (a.sll_ifindex == 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  return fd;
}

// Moves one frame from `in` to `out`; `flip` changes its last byte.
void pass_one(int in, int out, bool flip) {
  unsigned char buf[65536];
  ssize_t n = ::recv(in, buf, sizeof buf, MSG_DONTWAIT);
  if (n <= 0) return;
  if (flip) buf[n - 1] ^= 0x5a;
  (void)::send(out, buf, static_cast<size_t>(n), 0);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: faults_relay FROM TO EVERY\n");
    return 1;
  }
  int a = open_port(argv[1]), b = open_port(argv[2]);
  long every = std::strtol(argv[3], nullptr, 10);
  if (a < 0 || b < 0) {
    std::perror("faults_relay");
    return 1;
  }
  long count = 0;
  pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  // A port that goes away with its namespace ends the relay: poll would
  // report it at once, forever.
  constexpr short gone = POLLERR | POLLHUP | POLLNVAL;
  while (::poll(p, 2, -1) >= 0 && !((p[0].revents | p[1].revents) & gone)) {
    if (p[0].revents & POLLIN) pass_one(a, b, every > 0 && ++count % every == 0);
    if (p[1].revents & POLLIN) pass_one(b, a, false);
  }
  return 0;
}
