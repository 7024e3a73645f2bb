// The burn-in on a server whose disks are in use the way an installed
// system leaves them, in a real kernel: a mounted filesystem on a
// partition, swap on a partition, the two members of an md mirror (one
// whole, one through a partition), an LVM volume, and one plain disk. The
// medium boots with a second initramfs archive made for this test alone
// (storage_addition.sh: sfdisk, mdadm, lvm2, e2fsprogs and the md, RAID1,
// device-mapper and ext4 modules); its make-storage lays the disks out
// from the shell. The burn-in must leave each disk in use out, saying why,
// test the plain one, and write nothing else.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "guest.h"
#include "medium_util.h"

namespace {

constexpr int kBootMs = 180000;
constexpr off_t kDisk = 32 << 20;
// The roles make-storage gives the disks, by the serial numbers it finds
// them by.
const char *const kRoles[] = {"FSDISK", "SWAPDISK", "MIRROR1", "MIRROR2", "LVMDISK", "PLAIN"};

// The byte offset of partition `n` (1-4) in the image's DOS partition
// table; 0 when the table or the entry is not there.
off_t partition_start(const std::string &image, int n)
{
    std::string mbr = read_file(image).substr(0, 512);
    if (mbr.size() < 512 || mbr[510] != '\x55' || mbr[511] != '\xaa')
        return 0;
    const unsigned char *e = reinterpret_cast<const unsigned char *>(mbr.data()) + 446 + 16 * (n - 1);
    uint32_t lba = uint32_t(e[8]) | uint32_t(e[9]) << 8 | uint32_t(e[10]) << 16 | uint32_t(e[11]) << 24;
    return off_t(lba) * 512;
}

// What the host's blkid finds at that offset of the image ("" for nothing).
std::string signature(const std::string &image, off_t offset = 0)
{
    std::string t = host_output("blkid -p -o value -s TYPE -O " + std::to_string(offset) + " '" + image + "'");
    return t.substr(0, t.find('\n'));
}

bool holds(const std::string &image, const std::string &text)
{
    return read_file(image).find(text) != std::string::npos;
}

class Storage : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<ScratchDir>();
        why = make_initrd();
        if (why.empty())
            boot();
        if (why.empty())
            lay_out_disks();
    }

    // The medium's initramfs with the test's addition after it: the kernel
    // unpacks the archives one after the other.
    static std::string make_initrd()
    {
        std::string addition = dir->file("storage.cpio.zst");
        std::string log = dir->file("addition.log");
        int rc = std::system(("'" RUNDIAGS_MEDIUM_TESTS "/storage_addition.sh' '" + medium_dir() + "' '" +
                              addition + "' >'" + log + "' 2>&1").c_str());
        if (rc != 0)
            return "the test's addition to the medium was not built:\n" + read_file(log);
        std::ofstream initrd(dir->file("initrd.img"), std::ios::binary);
        initrd << read_file(medium_file("initrd.img")) << read_file(addition);
        return initrd.flush() ? "" : "cannot write " + dir->file("initrd.img");
    }

    static void boot()
    {
        std::vector<std::string> a = server_base();
        a.insert(a.end(), {"-kernel", medium_file("vmlinuz"), "-initrd", dir->file("initrd.img"),
                           "-append", "console=ttyS0,115200n8 quiet no_timer_check rundiags.NETBURN_PASS_SECONDS=4 "
                                      "rundiags.NETBURN_RATE=1000 rundiags.DISKBURN_GRACE_SECONDS=0"});
        for (const char *role : kRoles) {
            std::string img = dir->file(std::string(role) + ".img");
            make_image(img, kDisk);
            a.insert(a.end(), {"-drive", "if=none,id=" + std::string(role) + ",format=raw,file=" + img,
                               "-device", "virtio-blk-pci,drive=" + std::string(role) + ",serial=" + role});
        }
        a.insert(a.end(), {"-netdev", "hubport,id=hp1,hubid=0", "-device", "virtio-net-pci,netdev=hp1",
                           "-netdev", "hubport,id=hp2,hubid=0", "-device", "virtio-net-pci,netdev=hp2"});
        guest = std::make_unique<Guest>(dir->path(), a);
        if (!guest->started()) {
            why = guest->failure();
            return;
        }
        if (!guest->wait_text("Main Menu", kBootMs)) {
            why = "no main menu\n" + guest->dump();
            return;
        }
        std::printf("[ medium   ] storage in use: main menu after %.1f s\n", guest->seconds());
    }

    // From the shell the program quits to: make-storage, then back.
    static void lay_out_disks()
    {
        Guest &g = *guest;
        why = quit_to_shell(g);
        if (!why.empty()) {
            why += "\n" + g.dump();
            return;
        }
        g.send("make-storage\r");
        static const std::regex ready(
            "storage ready: mounted=(vd[a-z]+) swap=(vd[a-z]+) mirror=(vd[a-z]+),(vd[a-z]+) lvm=(vd[a-z]+) "
            "plain=(vd[a-z]+)");
        std::smatch m;
        std::string screen;
        g.wait_until([&] {
            screen = g.vt().dump();
            return std::regex_search(screen, m, ready) || screen.find("make-storage failed") != std::string::npos;
        }, 120000);
        if (!std::regex_search(screen, m, ready)) {
            why = "the disks were not laid out\n" + g.dump();
            return;
        }
        for (size_t i = 0; i < std::size(kRoles); i++)
            disk[kRoles[i]] = m[i + 1];
        std::printf("[ medium   ] storage in use: disks laid out after %.1f s\n", g.seconds());
        g.send("exit\r");
        if (!g.wait_text("Main Menu", 60000))
            why = "no menu after the shell\n" + g.dump();
    }

    static void TearDownTestSuite()
    {
        guest.reset();   // QEMU ends before its directory goes
        dir.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(why.empty()) << why;
        ASSERT_FALSE(guest->exited()) << guest->dump();
    }

    static std::string image(const char *role) { return dir->file(std::string(role) + ".img"); }

    static std::unique_ptr<ScratchDir> dir;
    static std::unique_ptr<Guest> guest;
    static std::string why;                     // what went wrong in the set-up
    static std::map<std::string, std::string> disk;   // role -> vdX
};
std::unique_ptr<ScratchDir> Storage::dir;
std::unique_ptr<Guest> Storage::guest;
std::string Storage::why;
std::map<std::string, std::string> Storage::disk;

std::string joined(const std::vector<std::string> &rows)
{
    std::string s;
    for (auto &r : rows)
        s += r + "\n";
    return s;
}

bool has_row(const std::vector<std::string> &rows, const std::string &text)
{
    for (auto &r : rows)
        if (r.find(text) != std::string::npos)
            return true;
    return false;
}

TEST_F(Storage, BurnInLeavesEachDiskInUseAloneAndTestsThePlainOne)
{
    Guest &g = *guest;
    ASSERT_TRUE(start_burnin(g)) << g.dump();
    // One full pass over the plain disk: diskburn has been started again.
    g.wait_until([&] { return disk_loop(g) >= 2 || g.row(3).find("FAIL") != std::string::npos; }, 300000);
    ASSERT_GE(disk_loop(g), 2) << g.dump();
    // A pass over the plain disk takes about a second and never shows its
    // progress: the stop is asked for at once (diskburn takes a stop from
    // its first instruction on), which keeps the Details list short.
    ask_stop(g);
    ASSERT_TRUE(g.wait_text("- Press Enter When Done **", 120000)) << g.dump();
    std::vector<std::string> rows = details_rows(g, 10, 22);
    std::string all = joined(rows);

    const std::map<std::string, std::string> reason = {
        {"FSDISK", "holds a mounted filesystem (/mnt/data)"},
        {"SWAPDISK", "holds active swap space"},
        {"MIRROR1", "in use by md0"},
        {"MIRROR2", "in use by md0"},
        {"LVMDISK", "in use by dm-0"},
    };
    for (auto &[role, text] : reason) {
        const std::string &name = disk[role];
        EXPECT_TRUE(has_row(rows, "Disk: Leaving out " + name + ": " + text + ".")) << role << "\n" << all;
        EXPECT_FALSE(has_row(rows, "Disk: Disk " + name + ":")) << role << " was tested\n" << all;
    }
    for (const char *virt : {"Disk: Leaving out md0: software RAID (md) device.",
                             "Disk: Leaving out dm-0: device-mapper device."})
        EXPECT_TRUE(has_row(rows, virt)) << virt << "\n" << all;
    EXPECT_TRUE(has_row(rows, "Disk: Disk " + disk["PLAIN"] + ": ")) << all;
    EXPECT_FALSE(has_row(rows, "Leaving out " + disk["PLAIN"] + ":")) << all;
    EXPECT_TRUE(has_row(rows, "   Disk: PASSED")) << all;
    EXPECT_TRUE(g.has_text("** PASSED - Press Enter When Done **")) << g.dump();
    g.send("\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();
    std::printf("[ medium   ] storage in use: burn-in read after %.1f s\n", g.seconds());

    // Read from the host: the data of the disks in use is all there, the
    // plain disk carries the burn-in's pattern from end to end.
    std::string fs = image("FSDISK"), swap = image("SWAPDISK");
    off_t fs_part = partition_start(fs, 1), swap_part = partition_start(swap, 2);
    ASSERT_GT(fs_part, 0) << "the filesystem disk lost its partition table";
    EXPECT_EQ(host_output("debugfs -R 'cat /known.txt' '" + fs + "?offset=" + std::to_string(fs_part) +
                          "' 2>/dev/null"),
              "known text in a mounted filesystem\n");
    ASSERT_GT(swap_part, 0) << "the swap disk lost its partition table";
    EXPECT_EQ(signature(swap, swap_part), "swap");
    std::string m1 = image("MIRROR1"), m2 = image("MIRROR2");
    off_t m2_part = partition_start(m2, 1);
    EXPECT_EQ(signature(m1), "linux_raid_member");
    ASSERT_GT(m2_part, 0) << "the second mirror member lost its partition table";
    EXPECT_EQ(signature(m2, m2_part), "linux_raid_member");
    EXPECT_TRUE(holds(m1, "known text in the md mirror"));
    EXPECT_TRUE(holds(m2, "known text in the md mirror"));
    std::string lvm = image("LVMDISK");
    EXPECT_EQ(signature(lvm), "LVM2_member");
    EXPECT_TRUE(holds(lvm, "keepvg"));
    EXPECT_TRUE(holds(lvm, "known text in the logical volume"));
    EXPECT_EQ(pattern_problem(image("PLAIN")), "");
}

} // namespace
