// Files for tests: whole files read and written, text quoted for /bin/sh,
// and scratch directories that go away with everything in them.
#pragma once

#include <string>

// A whole file's bytes ("" when it cannot be read), a file written whole
// (or an exception), and a text single-quoted for /bin/sh.
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);
std::string sh_quote(const std::string &s);

// A new directory <prefix>.XXXXXX under $TMPDIR (or /tmp), removed with
// everything in it when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &prefix = "rundiags");
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return dir; }
    // path()/name
    std::string file(const std::string &name) const { return dir + "/" + name; }

private:
    std::string dir;
};
