// The burn-in helpers against faults only a real kernel or QEMU's devices
// make: the medium boots once with the storage test's addition
// (device-mapper targets, scsi_debug, traffic control), a scratch disk, two
// SCSI paths to one image, a zoned NVMe namespace, a slow SCSI disk that is
// unplugged mid-pass when the guest asks, and three Ethernet ports on one
// hub, and runs run-faults (faults_guest.sh) from its shell.
// That script holds the rows and their expected verdicts; this test reads
// its table back from the serial line and fails on any row it marks WRONG.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "guest.h"
#include "medium_util.h"

namespace {

constexpr int kBootMs = 180000;
constexpr int kRowsMs = 600000;

// The medium's initramfs with the test's addition after it.
std::string make_initrd(ScratchDir &dir)
{
    std::string addition = dir.file("faults.cpio.zst"), log = dir.file("addition.log");
    int rc = std::system(("'" RUNDIAGS_MEDIUM_TESTS "/storage_addition.sh' '" + medium_dir() + "' '" + addition +
                          "' >'" + log + "' 2>&1").c_str());
    if (rc != 0)
        return "the test's addition to the medium was not built:\n" + read_file(log);
    std::ofstream initrd(dir.file("initrd.img"), std::ios::binary);
    initrd << read_file(medium_file("initrd.img")) << read_file(addition);
    return initrd.flush() ? "" : "cannot write " + dir.file("initrd.img");
}

void add(std::vector<std::string> &a, std::initializer_list<std::string> more) { a.insert(a.end(), more); }

std::vector<std::string> server(ScratchDir &dir)
{
    std::vector<std::string> a = server_base();
    add(a, {"-kernel", medium_file("vmlinuz"), "-initrd", dir.file("initrd.img"), "-append",
            "console=ttyS0,115200n8 quiet"});
    for (const char *img : {"faults.img", "paths.img", "zoned.img", "gone.img"})
        make_image(dir.file(img), 32 << 20);
    add(a, {"-drive", "if=none,id=faults,format=raw,file=" + dir.file("faults.img"), "-device",
            "virtio-blk-pci,drive=faults,serial=FAULTS"});
    // One disk seen twice, as a dual-ported disk without multipath is.
    add(a, {"-device", "virtio-scsi-pci,id=scsi0"});
    for (const char *path : {"path1", "path2"})
        add(a, {"-drive", "if=none,id=" + std::string(path) + ",format=raw,file.locking=off,file=" +
                              dir.file("paths.img"),
                "-device", "scsi-hd,bus=scsi0.0,share-rw=on,serial=PATHS,wwn=0x5000c50015ea71ad,drive=" +
                               std::string(path)});
    add(a, {"-drive", "if=none,id=zoned,format=raw,file=" + dir.file("zoned.img"), "-device",
            "nvme,id=nvme0,serial=ZONED", "-device",
            "nvme-ns,bus=nvme0,drive=zoned,nsid=1,zoned=true,zoned.zone_size=4M"});
    // Slow enough (2 MB/s) that the unplug comes while it is written.
    add(a, {"-drive", "if=none,id=slow,format=raw,throttling.bps-total=2097152,file=" + dir.file("gone.img"),
            "-device", "scsi-hd,bus=scsi0.0,id=gone,serial=GONE,wwn=0x5000c50015ea71ae,drive=slow"});
    for (const char *port : {"hp0", "hp1", "hp2"})
        add(a, {"-netdev", std::string("hubport,hubid=0,id=") + port, "-device",
                std::string("virtio-net-pci,netdev=") + port});
    return a;
}

TEST(Faults, EveryRowGivesItsExpectedVerdict)
{
    ScratchDir dir;
    std::string why = make_initrd(dir);
    ASSERT_EQ(why, "");
    Guest g(dir.path(), server(dir));
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(g.wait_text("Main Menu", kBootMs)) << g.dump();
    double booted = g.seconds();
    why = quit_to_shell(g);
    ASSERT_EQ(why, "") << g.dump();
    g.send("run-faults\r");
    static const std::regex done("faults done: ([0-9]+) rows, ([0-9]+) wrong");
    bool unplugged = false;
    ASSERT_TRUE(g.wait_until([&] {
        if (!unplugged && g.serial_output().find("fault-unplug gone\r") != std::string::npos) {
            unplugged = true;
            g.command("device_del gone");
        }
        return std::regex_search(g.serial_output(), done);
    }, kRowsMs)) << g.dump();
    std::string rows_text = g.serial_output();
    rows_text.erase(0, rows_text.find("faults\r"));   // from the command on: the table alone

    static const std::regex row("fault ([^\r\n]*)");
    std::string table;
    int rows = 0, wrong = 0;
    for (std::sregex_iterator it(rows_text.begin(), rows_text.end(), row), end; it != end; ++it) {
        std::string line = (*it)[1];
        rows++;
        wrong += line.ends_with(" WRONG");
        table += "  " + line + "\n";
    }
    std::smatch tally;
    std::regex_search(rows_text, tally, done);
    std::printf("[ medium   ] faults: booted in %.1f s, rows done after %.1f s\n%s", booted, g.seconds(),
                table.c_str());
    EXPECT_GT(rows, 0) << rows_text;
    EXPECT_EQ(std::to_string(rows), tally[1].str()) << rows_text;
    EXPECT_EQ(wrong, 0) << "rows marked WRONG:\n" << rows_text;
}

} // namespace
