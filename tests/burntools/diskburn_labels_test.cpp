// The media rundiags needs are recognised by what is written on them: the
// results stick by its FAT label (in the boot sector or only in the root
// directory, FAT16 and FAT32), the boot medium by its ISO 9660 volume label.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "labels.h"

namespace {

using diskburn::Medium;

class MediumLabels : public ::testing::Test {
 protected:
  void SetUp() override {
    char d[] = "/tmp/dblabel.XXXXXX";
    ASSERT_TRUE(::mkdtemp(d));
    dir = d;
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  // mkfs.fat on an image of mib MiB; false if dosfstools is missing.
  bool fat(const std::string& img, int mib, const std::string& opts) {
    std::string cmd = "truncate -s " + std::to_string(mib) + "M " + img + " && mkfs.fat " + opts + " " + img +
                      " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
  }
  Medium medium(const std::string& img) {
    int fd = ::open(img.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    Medium m = diskburn::medium_of(fd);
    ::close(fd);
    return m;
  }
  std::string dir;
};

TEST_F(MediumLabels, FatLabelledRundiagsIsTheResultsStick) {
  if (!fat(dir + "/a.img", 8, "-n RUNDIAGS")) GTEST_SKIP() << "mkfs.fat missing";
  EXPECT_EQ(medium(dir + "/a.img"), Medium::kResults);
  ASSERT_TRUE(fat(dir + "/b.img", 40, "-F 32 -n rundiags"));
  EXPECT_EQ(medium(dir + "/b.img"), Medium::kResults);
  ASSERT_TRUE(fat(dir + "/c.img", 8, "-n RUNDIAGS2"));
  EXPECT_EQ(medium(dir + "/c.img"), Medium::kNone);
  ASSERT_TRUE(fat(dir + "/d.img", 8, ""));
  EXPECT_EQ(medium(dir + "/d.img"), Medium::kNone);
}

// A label changed later may live only in the root directory's label entry.
TEST_F(MediumLabels, LabelOnlyInTheRootDirectoryCounts) {
  for (const char* opts : {"-n OTHERSTICK", "-F 32 -n OTHERSTICK"}) {
    std::string img = dir + "/r.img";
    ::unlink(img.c_str());
    if (!fat(img, 40, opts)) GTEST_SKIP() << "mkfs.fat missing";
    std::fstream f(img, std::ios::in | std::ios::out | std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t at = all.find(std::string("OTHERSTICK \x08", 12));
    ASSERT_NE(at, std::string::npos) << opts;
    f.seekp(static_cast<std::streamoff>(at));
    f.write("RUNDIAGS   ", 11);
    f.close();
    EXPECT_EQ(medium(img), Medium::kResults) << opts;
  }
}

TEST_F(MediumLabels, IsoVolumeRundiagsBootIsTheBootMedium) {
  for (std::string label : {"RUNDIAGS_BOOT", "RUNDIAGS_BOOTX"}) {
    std::vector<char> img(64 << 10, 0);
    std::string pvd = std::string("\x01" "CD001\x01", 7);
    std::copy(pvd.begin(), pvd.end(), img.begin() + 32768);
    label.resize(32, ' ');
    std::copy(label.begin(), label.end(), img.begin() + 32768 + 40);
    std::ofstream(dir + "/i.iso", std::ios::binary).write(img.data(), static_cast<std::streamsize>(img.size()));
    EXPECT_EQ(medium(dir + "/i.iso"), label.rfind("RUNDIAGS_BOOT ", 0) == 0 ? Medium::kBoot : Medium::kNone);
  }
}

}  // namespace
