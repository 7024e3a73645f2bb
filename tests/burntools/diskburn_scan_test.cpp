// diskburn's scan on fake machines: what it leaves out and why, and that
// nothing it finds in sysfs or proc stops it.  The machine running the
// tests has no partition tables, device-mapper or md, so those stacks are
// described here instead.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diskburn_fakeroot.h"
#include "nodes.h"
#include "targets.h"

namespace {

using dbtest::FakeRoot;

struct Scan {
  std::vector<std::string> lines;
  std::vector<std::string> chosen;
  std::optional<int> rc;
};

Scan scan() {
  Scan s;
  diskburn::DevNodes nodes;
  diskburn::Chooser c(nodes, [&](const std::string& l) {
    s.lines.push_back(l);
    return true;
  });
  diskburn::Targets t;
  s.rc = c.choose(t);
  for (auto& x : t) s.chosen.push_back(x->name);
  return s;
}

bool has(const Scan& s, const std::string& line) {
  return std::find(s.lines.begin(), s.lines.end(), line) != s.lines.end();
}

// Every one of the lines is among what the scan said.
void expect_lines(const Scan& s, const std::vector<std::string>& want) {
  for (auto& w : want) EXPECT_TRUE(has(s, w)) << "missing: " << w;
}

class DiskburnScan : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("DISKBURN_TARGETS");
    ::unsetenv("DISKBURN_BOOT_DEVICE");
  }
  void TearDown() override { ::unsetenv("DISKBURN_BOOT_DEVICE"); }
  FakeRoot root;
};

using Names = std::vector<std::string>;

TEST_F(DiskburnScan, MountedPartitionLvmVolumeAndMdMirror) {
  root.disk("sda", "60:0");
  root.partition("sda", "sda1", "60:1");
  root.mount("60:1", "/", "/dev/sda1");
  root.disk("sdb", "60:16");
  root.partition("sdb", "sdb1", "60:17");
  root.disk("dm-0", "61:0", false);
  root.hold("sdb/sdb1", "dm-0");
  root.mount("61:0", "/srv", "/dev/mapper/vg-srv");
  root.disk("sdc", "60:32");
  root.disk("sdd", "60:48");
  root.disk("md0", "9:0", false);
  root.hold("sdc", "md0");
  root.hold("sdd", "md0");
  root.disk("sde", "60:64");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sda: holds a mounted filesystem (/).",
      "Leaving out sdb: holds a mounted filesystem (/srv).",
      "Leaving out dm-0: device-mapper device.",
      "Leaving out sdc: in use by md0.",
      "Leaving out sdd: in use by md0.",
      "Leaving out md0: software RAID (md) device.",
  });
  EXPECT_EQ(s.chosen, Names{"sde"});
}

TEST_F(DiskburnScan, SwapOnPartitionAndRootNamedByUuid) {
  root.disk("sdf", "60:80");
  root.partition("sdf", "sdf2", "60:82");
  root.swap("/dev/sdf2");  // no node in this /dev: found by its name
  root.disk("sdg", "60:96");
  root.partition("sdg", "sdg1", "60:97");
  root.link("/dev/disk/by-uuid/0123-abcd", "../../sdg1");
  root.write("/proc/cmdline", "BOOT_IMAGE=/vmlinuz root=UUID=0123-abcd ro quiet\n");
  root.disk("sdh", "60:112");
  root.partition("sdh", "sdh1", "60:113");
  root.mount("60:113", "/mnt/with\\040blank", "/dev/sdh1");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sdf: holds active swap space.",
      "Leaving out sdg: holds the system's boot medium or root filesystem.",
      "Leaving out sdh: holds a mounted filesystem (/mnt/with blank).",
  });
  EXPECT_TRUE(s.chosen.empty());
}

TEST_F(DiskburnScan, BootStickNamedByStartupIsLeftOut) {
  root.disk("sdi", "60:128");
  root.partition("sdi", "sdi1", "60:129");
  root.disk("sdj", "60:144");
  ::setenv("DISKBURN_BOOT_DEVICE", "/dev/sdi1", 1);
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sdi: holds the boot medium (/dev/sdi1).",
  });
  EXPECT_EQ(s.chosen, Names{"sdj"});

  ::setenv("DISKBURN_BOOT_DEVICE", "/dev/sdz9", 1);
  s = scan();
  expect_lines(s, {
      "Boot medium /dev/sdz9 not found: nothing left out for it.",
  });
  EXPECT_EQ(s.chosen, (Names{"sdi", "sdj"}));
  ::setenv("DISKBURN_BOOT_DEVICE", "", 1);
  EXPECT_EQ(scan().lines, Names{});
}

TEST_F(DiskburnScan, LoopDeviceInUseProtectsTheDiskBeneath) {
  // Backed by a disk directly; mounted.
  root.disk("sdk", "60:160");
  root.loop("loop0", "62:0", "/dev/sdk");
  root.mount("62:0", "/mnt/l0", "/dev/loop0");
  // Backed by a file on a disk whose own mount is gone (lazily unmounted);
  // held by device-mapper.
  root.write("/data/disk.img", "x");
  struct stat st;
  ASSERT_EQ(::stat((root.dir() + "/data/disk.img").c_str(), &st), 0);
  root.disk("sdl", "60:176");
  root.link("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)),
            "../../block/sdl");
  root.loop("loop1", "62:1", "/data/disk.img");
  root.disk("dm-1", "61:1", false);
  root.hold("loop1", "dm-1");
  // A loop on a loop on a disk; the outer one mounted.
  root.disk("sdm", "60:192");
  root.loop("loop3", "62:3", "/dev/sdm");
  root.loop("loop2", "62:2", "/dev/loop3");
  root.mount("62:2", "/mnt/l2", "/dev/loop2");
  // A loop device nobody uses leaves its disk free.
  root.disk("sdn", "60:208");
  root.loop("loop4", "62:4", "/dev/sdn");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sdk: backs loop device loop0, which holds a mounted filesystem (/mnt/l0).",
      "Leaving out sdl: backs loop device loop1, which is in use by dm-1.",
      "Leaving out sdm: backs loop device loop2, which holds a mounted filesystem (/mnt/l2).",
      "Leaving out loop0: loop device.",
  });
  EXPECT_EQ(s.chosen, Names{"sdn"});
}

TEST_F(DiskburnScan, OnlyDisksWithHardwareBehindThemAreWritten) {
  int minor = 0;
  for (const char* n : {"rbd0", "nbd0", "mtdblock0", "bcache0", "zd16", "ubiblock0_0", "drbd1", "ram0",
                        "zram0", "sr0", "fd0"})
    root.disk(n, "63:" + std::to_string(minor++));
  root.disk("nvme0c0n1", "259:9");
  root.write("/sys/block/nvme0c0n1/hidden", "1\n");
  root.disk("vdx", "63:50", false);
  root.disk("sdo", "60:224");
  root.write("/sys/block/sdo/ro", "1\n");
  root.disk("sdp", "60:240", true, "0");
  root.disk("sdq", "65:0");
  root.write("/sys/block/sdq/device/type", "5\n");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out rbd0: network block device (Ceph RBD).",
      "Leaving out nbd0: network block device.",
      "Leaving out mtdblock0: flash memory (MTD) device.",
      "Leaving out bcache0: bcache cache device.",
      "Leaving out zd16: ZFS volume.",
      "Leaving out ubiblock0_0: flash memory (UBI) volume.",
      "Leaving out drbd1: network-replicated device.",
      "Leaving out zram0: compressed RAM disk.",
      "Leaving out nvme0c0n1: hidden path device (multipath leg).",
      "Leaving out vdx: virtual device (no hardware behind it).",
      "Leaving out sdo: read-only.",
      "Leaving out sdp: no medium.",
      "Leaving out sdq: optical drive.",
  });
  EXPECT_TRUE(s.chosen.empty());
}

TEST_F(DiskburnScan, SecondPathToOneDiskIsLeftOut) {
  for (const char* n : {"sdr", "sds", "sdt", "sdu"}) root.disk(n, "60:" + std::to_string(n[2] - 'a'));
  root.write("/sys/block/sdr/device/wwid", "naa.5000c500a1b2c3d4\n");
  root.write("/sys/block/sds/device/wwid", "naa.5000c500a1b2c3d4\n");
  root.write("/sys/block/sdt/device/serial", "ZC1234AB\n");
  root.write("/sys/block/sdu/device/serial", "ZC1234AB\n");
  // Two namespaces of one NVMe controller share its serial number, not their WWIDs.
  root.disk("nvme0n1", "259:0");
  root.disk("nvme0n2", "259:1");
  for (const char* n : {"nvme0n1", "nvme0n2"}) root.write(std::string("/sys/block/") + n + "/device/serial", "S5GXNX0R\n");
  root.write("/sys/block/nvme0n1/wwid", "eui.0025388b91b2a1c1\n");
  root.write("/sys/block/nvme0n2/wwid", "eui.0025388b91b2a1c2\n");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sds: same WWID as sdr (another path to one disk).",
      "Leaving out sdu: same serial number as sdt (another path to one disk).",
  });
  EXPECT_EQ(s.chosen, (Names{"nvme0n1", "nvme0n2", "sdr", "sdt"}));
}

// A disk left out passes its reason on to its other paths, whether the
// first path sorts before or after it.
TEST_F(DiskburnScan, OtherPathOfADiskLeftOutIsLeftOut) {
  root.disk("sda", "60:0");
  root.disk("sdb", "60:16");
  root.disk("sdc", "60:32");
  root.disk("sdd", "60:48");
  root.disk("md0", "9:0", false);
  root.hold("sdd", "md0");
  root.write("/sys/block/sda/device/wwid", "naa.5000c500a1b2c3d4\n");
  root.write("/sys/block/sdb/device/wwid", "naa.5000c500a1b2c3d4\n");
  root.mount("60:0", "/srv", "/dev/sda");
  root.write("/sys/block/sdc/device/serial", "ZC1234AB\n");
  root.write("/sys/block/sdd/device/serial", "ZC1234AB\n");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sdb: another path to sda, which holds a mounted filesystem (/srv).",
      "Leaving out sdc: another path to sdd, which is in use by md0.",
  });
  EXPECT_TRUE(s.chosen.empty());
}

// Placeholders that firmware fills in make no two disks one: a serial
// where there is no WWID, a WWID of zeros (then the serial counts).
TEST(DiskburnIdentity, PlaceholdersNeverMakeAnotherPath) {
  struct Row {
    const char* wwid;
    const char* serial;
    bool one_disk;
  };
  const Row rows[] = {
      {"", "To Be Filled By O.E.M.", false},
      {"", "Default string", false},
      {"", "0000000000000000", false},
      {"", "None", false},
      {"", "        ", false},
      {"", "FFFFFFFF", false},
      {"naa.0000000000000000", "", false},
      {"eui.00000000000000000000000000000000", "0000000000000000", false},
      {"", "S5GXNX0R", true},
      {"naa.5000c500a1b2c3d4", "", true},
      {"naa.0000000000000000", "ZC1234AB", true},
  };
  for (auto& r : rows) {
    FakeRoot root;
    for (const char* d : {"sda", "sdb", "sdc"}) {
      root.disk(d, "60:" + std::to_string((d[2] - 'a') * 16));
      std::string base = std::string("/sys/block/") + d + "/device/";
      if (*r.wwid) root.write(base + "wwid", std::string(r.wwid) + "\n");
      if (*r.serial) root.write(base + "serial", std::string(r.serial) + "\n");
    }
    root.mount("60:0", "/srv", "/dev/sda");
    Scan s = scan();
    EXPECT_EQ(s.chosen, r.one_disk ? Names{} : (Names{"sdb", "sdc"})) << r.wwid << " / " << r.serial;
  }
}

// A host-managed zoned disk takes only writes in order; a disk whose
// partitions cannot be read might be a medium rundiags needs.
TEST_F(DiskburnScan, ZonedDisksAndPartitionsThatCannotBeRead) {
  const char* zoned[][2] = {{"sda", "host-managed"}, {"sdb", "host-aware"}, {"sdc", "none"}, {"sdd", "zoned?"}};
  int minor = 0;
  for (auto& z : zoned) {
    root.disk(z[0], "60:" + std::to_string(minor++ * 16));
    root.write(std::string("/sys/block/") + z[0] + "/queue/zoned", std::string(z[1]) + "\n");
  }
  root.disk("sde", "60:64");
  root.partition("sde", "sde1", "60:65");
  root.write("/sys/block/sde/sde1/dev", "garbage\n");
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sda: zoned disk (host-managed); the burn-in writes out of order.",
      "Leaving out sdd: zoned disk (zoned?); the burn-in writes out of order.",
      "Leaving out sde: holds a partition that cannot be read (sde1: no device number in sysfs).",
  });
  EXPECT_EQ(s.chosen, (Names{"sdb", "sdc"}));
}

// Unreadable (an I/O error on read, a directory), empty, binary and huge
// attributes: the disk is described with what is known, or left out with
// the reason, and the scan goes on.
TEST_F(DiskburnScan, OddAttributesNeverStopTheScan) {
  root.disk("sdv", "60:1000");
  root.link("/sys/block/sdv/device/model", "/proc/self/mem");  // read() fails with EIO
  root.directory("/sys/block/sdv/device/vendor");
  root.write("/sys/block/sdv/device/serial", std::string("\x07Z\x08\0\xff" "1", 6));
  root.write("/sys/block/sdv/device/wwid", "");
  ASSERT_EQ(::mkfifo((root.dir() + "/sys/block/sdv/device/vpd_pg80").c_str(), 0600), 0);  // never opened for reading by a writer
  root.write("/sys/block/sdv/hidden", std::string(3 << 20, '0'));  // huge, and not "1"
  root.disk("sdw", "60:1001");
  root.write("/sys/block/sdw/size", std::string(2 << 20, '9'));
  root.disk("sdx", "60:1002");
  root.write("/sys/block/sdx/dev", "\x01\x02garbage");
  root.disk("sdy", "60:1003");
  root.directory("/sys/block/sdy/size");
  root.write("/proc/self/mountinfo", std::string("\x01\x02\n 12 \n- - -\n") + std::string(1 << 20, 'm'));
  root.directory("/proc/swaps");
  root.write("/proc/cmdline", std::string(1 << 20, '\xff'));
  Scan s = scan();
  expect_lines(s, {
      "Leaving out sdw: size unknown (its size attribute is missing or odd).",
      "Leaving out sdx: no device number in sysfs.",
      "Leaving out sdy: size unknown (its size attribute is missing or odd).",
  });
  ASSERT_EQ(s.chosen, Names{"sdv"});
  diskburn::DevNodes nodes;
  diskburn::Targets t;
  diskburn::Chooser(nodes, [](const std::string&) { return true; }).choose(t);
  EXPECT_EQ(t[0]->model, "unknown model");
  EXPECT_EQ(t[0]->serial, "?Z???1");
  EXPECT_EQ(t[0]->wwid, "");
}

// A /sys/block entry without a node under /dev is opened through a node
// made for its number in a private directory, removed afterwards.
TEST(DiskburnNodes, NodeMadeForTheNumberInAPrivateDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make device nodes";
  FakeRoot root;
  std::string path;
  {
    diskburn::DevNodes nodes;
    std::string why;
    auto node = nodes.node("sdj", makedev(60, 144), why);
    ASSERT_TRUE(node) << why;
    path = *node;
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(60, 144));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(path.find(root.dir()), std::string::npos) << "never inside the described machine";
  }
  EXPECT_NE(::access(path.c_str(), F_OK), 0) << "node left behind";
  EXPECT_NE(::access(path.substr(0, path.rfind('/')).c_str(), F_OK), 0) << "directory left behind";
}

}  // namespace
