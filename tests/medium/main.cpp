// The medium tests need the built medium and a QEMU that starts; without
// QEMU they are skipped (77), without the medium they fail.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "guest.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (const char *f : {"vmlinuz", "initrd.img", "rundiags.iso", "boot.ipxe"}) {
        struct stat st;
        if (stat(medium_file(f).c_str(), &st) != 0) {
            std::fprintf(stderr, "%s is missing: build the medium with scripts/medium\n", medium_file(f).c_str());
            return 1;
        }
    }
    {
        ScratchDir d;
        Guest probe(d.path(), {"-M", "q35", "-nodefaults", "-display", "none", "-S"});
        if (!probe.started()) {
            std::fprintf(stderr, "skipped: %s\n", probe.failure().c_str());
            return 77;
        }
    }
    return RUN_ALL_TESTS();
}
