// Reads probe output on standard input and feeds every line to the
// program's own interpreter (compat_line), then prints the result state, so
// that the helper tests can check what the program makes of compat.pl's
// lines without a terminal. Output: one "name=value" line per field, the
// colour markers 0x07/0x08 shown as "<A>" and "<L>".
#include <iostream>
#include <string>

#include "compatresult.h"
#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(), testpty_slave_fd());

namespace {

std::string shown(const OxString &value)
{
    std::string out;
    for (char c : value.view()) {
        if (c == '\x07')
            out += "<A>";
        else if (c == '\x08')
            out += "<L>";
        else
            out += c;
    }
    return out;
}

} // namespace

int main()
{
    CompatResult r;
    compat_clear(r);
    std::string line;
    while (std::getline(std::cin, line))
        compat_line(r, OxString(line));
    // The last device is still current before the fields are closed.
    std::cout << "category=" << shown(r.category) << "\ndescription=" << shown(r.description) << "\n";
    compat_close(r);
    const std::pair<const char *, const OxString *> fields[] = {
        {"cpu", &r.cpu},     {"memory", &r.memory},   {"video", &r.video},   {"scsi", &r.scsi},
        {"disks", &r.disks}, {"network", &r.network}, {"serial", &r.serial}, {"parallel", &r.parallel},
    };
    for (const auto &[name, value] : fields)
        std::cout << name << "=" << shown(*value) << "\n";
    std::cout << "cpucount=" << r.cpucount << "\ncputext=" << shown(compat_cputext(r))
              << "\nmemtext=" << shown(compat_memtext(r)) << "\n";
    return 0;
}
