// Lines read from a socket that receives the bytes in arbitrary pieces are
// exactly the pieces between separators: every complete line is handed out
// as soon as it has arrived, without waiting, and a last unterminated piece
// at the end of input.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzzterm.h"
#include "oxstream.h"

namespace {

std::vector<std::string> complete_lines(const std::string &bytes, char sep, bool at_end)
{
    std::vector<std::string> lines;
    size_t s = 0;
    for (size_t e; (e = bytes.find(sep, s)) != std::string::npos; s = e + 1)
        lines.push_back(bytes.substr(s, e - s));
    if (at_end && s < bytes.size())
        lines.push_back(bytes.substr(s));
    return lines;
}

void write_all(int fd, const std::string &b)
{
    for (size_t off = 0; off < b.size();) {
        ssize_t n = ::write(fd, b.data() + off, b.size() - off);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            abort();
        off += size_t(n);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t b = in.byte();
    const char sep = b & 0x80 ? char(b & 0x7f) : '\n';
    const size_t readahead = size_t(in.byte()) * 17 % 4096 + 1;
    std::vector<size_t> sizes;
    for (int i = 0, n = in.byte() % 8 + 1; i < n; i++)
        sizes.push_back(size_t(in.byte()) * 3 % 700 + 1);
    const std::string bytes = in.rest();
    if (bytes.size() > 65536)
        return 0;   // the socket must hold it all: the test never blocks

    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        abort();
    OxFDStream stream(sv[0], -1);
    std::vector<std::string> got;
    OxString line;
    size_t off = 0;
    for (size_t i = 0; off < bytes.size(); i++) {
        std::string chunk = bytes.substr(off, sizes[i % sizes.size()]);
        off += chunk.size();
        write_all(sv[1], chunk);
        // Never waiting, every line that is complete in the socket comes out.
        for (int tries = 0; tries < 64;) {
            if (stream.getline(line, 0, sep, readahead))
                got.push_back(line.str());
            else if (!stream.isreadable())
                break;
            else
                tries++;
        }
        if (got != complete_lines(bytes.substr(0, off), sep, false))
            abort();
    }
    close(sv[1]);
    for (int i = 0; i < 1000 && stream.getline(line, 1000, sep, readahead); i++)
        got.push_back(line.str());
    if (stream.getline(line, 0, sep, readahead) || stream.isok())
        abort();
    if (got != complete_lines(bytes, sep, true))
        abort();
    return 0;
}
