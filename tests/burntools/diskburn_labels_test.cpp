// The media rundiags needs are recognised by what is written on them: the
// results stick by its FAT volume label, read the way makefloppy reads it
// (the root directory's label entry as mdir shows it; the boot sector's
// only when the root directory cannot be read; an exact match), the boot
// medium by its ISO 9660 volume label.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "labels.h"
#include "tempdir.h"

namespace {

using diskburn::Medium;

class MediumLabels : public ::testing::Test {
 protected:
  // mkfs.fat on an image of mib MiB; false if dosfstools is missing.
  bool fat(const std::string& img, int mib, const std::string& opts) {
    ::unlink(img.c_str());
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
  // What makefloppy's own fat_label makes of the image, "(none)" for no
  // label; nothing when perl or mtools are missing.
  std::optional<std::string> makefloppy_label(const std::string& img) {
    std::string cmd = "command -v mdir >/dev/null && command -v perl >/dev/null || exit 77; perl -I" MAKEFLOPPY_LIB
                      " -MMakefloppy::Stick=fat_label -e 'print fat_label($ARGV[0]) // \"(none)\"' " + img;
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return std::nullopt;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int status = ::pclose(p);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "makefloppy's fat_label failed on " << img;
    return out;
  }
  // diskburn's verdict on the image, and makefloppy's agreement with it
  // where perl and mtools are at hand.
  void expect_medium(const std::string& img, Medium want, const std::string& what) {
    EXPECT_EQ(medium(img), want) << what;
    // Every stick makefloppy would write to is left out; diskburn may
    // leave out more (a label in the other place, or in lower case).
    if (auto theirs = makefloppy_label(img); theirs && *theirs == "RUNDIAGS") {
      EXPECT_EQ(want, Medium::kResults) << what << ": makefloppy writes here";
    }
  }
  burntest::TempDir tmp{"dblabel"};
  const std::string dir = tmp.path();
};

// Read in one piece: byte by byte, a 40 MB image takes most of a minute
// in the sanitizer build.
std::string contents(const std::string& img) {
  std::ifstream f(img, std::ios::binary | std::ios::ate);
  std::string all(static_cast<size_t>(f.tellg()), '\0');
  f.seekg(0);
  f.read(all.data(), static_cast<std::streamsize>(all.size()));
  return all;
}

void patch(const std::string& img, size_t at, const std::string& bytes) {
  std::fstream f(img, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The root directory's label entry that mkfs.fat -n OTHERSTICK wrote: its
// name and attribute byte.
void root_entry(const std::string& img, const std::string& name_and_attr) {
  size_t at = contents(img).find(std::string("OTHERSTICK \x08", 12));
  ASSERT_NE(at, std::string::npos);
  patch(img, at, name_and_attr);
}

// The boot sector's label (FAT32 keeps it further on).
void boot_label(const std::string& img, bool fat32, const std::string& label) {
  patch(img, fat32 ? 71 : 43, label);
}

struct Case {
  const char* what;
  const char* mkfs_label;  // -n
  std::function<void(const std::string& img, bool fat32)> change;
  Medium want;
};

const Case kCases[] = {
    {"labelled RUNDIAGS", "RUNDIAGS", nullptr, Medium::kResults},
    {"labelled rundiags: the operator means the results stick", "rundiags", nullptr, Medium::kResults},
    {"labelled RUNDIAGS2", "RUNDIAGS2", nullptr, Medium::kNone},
    {"no label", nullptr, nullptr, Medium::kNone},
    {"relabelled RUNDIAGS only in the root directory", "OTHERSTICK",
     [](const std::string& img, bool) { root_entry(img, "RUNDIAGS   \x08"); }, Medium::kResults},
    {"RUNDIAGS left in the boot sector, the root directory relabelled", "OTHERSTICK",
     [](const std::string& img, bool fat32) {
       boot_label(img, fat32, "RUNDIAGS   ");
     },
     Medium::kResults},
    {"RUNDIAGS in the boot sector, no label entry (mdir: no label)", "OTHERSTICK",
     [](const std::string& img, bool fat32) {
       boot_label(img, fat32, "RUNDIAGS   ");
       root_entry(img, std::string(1, '\0'));
     },
     Medium::kResults},
    {"rundiags in the boot sector only", "OTHERSTICK",
     [](const std::string& img, bool fat32) { boot_label(img, fat32, "rundiags   "); }, Medium::kResults},
    {"label entry deleted", "OTHERSTICK", [](const std::string& img, bool) { root_entry(img, "\xe5UNDIAGS   \x08"); },
     Medium::kNone},
    {"label entry ending in NULs", "OTHERSTICK",
     [](const std::string& img, bool) { root_entry(img, std::string("RUNDIAGS\0\0\0\x08", 12)); }, Medium::kResults},
    {"label entry ending in a tab", "OTHERSTICK", [](const std::string& img, bool) { root_entry(img, "RUNDIAGS\t  \x08"); },
     Medium::kResults},
    {"label entry with a leading blank", "OTHERSTICK",
     [](const std::string& img, bool) { root_entry(img, " RUNDIAGS  \x08"); }, Medium::kNone},
    {"volume and archive bits", "OTHERSTICK", [](const std::string& img, bool) { root_entry(img, "RUNDIAGS   \x28"); },
     Medium::kResults},
    {"volume and directory bits: no label", "OTHERSTICK",
     [](const std::string& img, bool) { root_entry(img, "RUNDIAGS   \x18"); }, Medium::kNone},
    {"a long-name piece: no label", "OTHERSTICK", [](const std::string& img, bool) { root_entry(img, "RUNDIAGS   \x0f"); },
     Medium::kNone},
};

TEST_F(MediumLabels, ResultsStickByItsFatLabelAsMakefloppyReadsIt) {
  const std::string img = dir + "/f.img";
  for (bool fat32 : {false, true}) {
    for (const Case& c : kCases) {
      std::string opts = std::string(fat32 ? "-F 32" : "") + (c.mkfs_label ? std::string(" -n ") + c.mkfs_label : "");
      if (!fat(img, fat32 ? 40 : 8, opts)) GTEST_SKIP() << "mkfs.fat missing";
      if (c.change) c.change(img, fat32);
      const std::string what = std::string(fat32 ? "FAT32, " : "FAT16, ") + c.what;
      expect_medium(img, c.want, what);
    }
  }
}

// Only when the root directory cannot be read (mtools cannot read it
// either) does the boot sector's label count.
TEST_F(MediumLabels, BootSectorLabelWhenTheRootDirectoryCannotBeRead) {
  const std::string img = dir + "/u.img";
  for (const char* label : {"RUNDIAGS", "OTHERSTICK"}) {
    const Medium want = std::string(label) == "RUNDIAGS" ? Medium::kResults : Medium::kNone;
    if (!fat(img, 40, std::string("-F 32 -n ") + label)) GTEST_SKIP() << "mkfs.fat missing";
    patch(img, 44, std::string("\x99\x99\x99\x00", 4));  // the root's first cluster lies outside
    expect_medium(img, want, std::string("FAT32, ") + label);
    ASSERT_TRUE(fat(img, 8, std::string("-n ") + label));
    ASSERT_EQ(::truncate(img.c_str(), 2048), 0);  // the root directory is cut off
    expect_medium(img, want, std::string("FAT16, ") + label);
  }
}

// FAT32's root directory is a chain of clusters; the label entry that
// mlabel adds to a full one lies further on.
TEST_F(MediumLabels, LabelFurtherOnInAFat32Root) {
  const std::string img = dir + "/c.img";
  if (!fat(img, 40, "-F 32 -s 1 -n OTHERSTICK")) GTEST_SKIP() << "mkfs.fat missing";
  root_entry(img, std::string(1, '\0'));  // no label entry, then many files
  std::string cmd = "cd " + dir + " && echo x >f && for i in $(seq 40); do MTOOLS_SKIP_CHECK=1 mcopy -i " + img +
                    " f ::a_long_file_name_$i.txt || exit 1; done && MTOOLS_SKIP_CHECK=1 mlabel -i " + img +
                    " ::RUNDIAGS >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "mtools missing";
  const std::string all = contents(img);
  const size_t first = all.find("A_LONG~1TXT"), label = all.find("RUNDIAGS   \x08");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(label, std::string::npos);
  ASSERT_GE(label, first + 512) << "the label entry is not beyond the root's first cluster";
  boot_label(img, true, "OTHERSTICK ");
  expect_medium(img, Medium::kResults, "FAT32, label entry in a later cluster");
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
