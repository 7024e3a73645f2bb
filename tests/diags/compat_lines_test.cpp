// How the probe's output lines become summary fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compatresult.h"

namespace {

CompatResult feed(const std::vector<std::string> &lines)
{
    CompatResult r;
    compat_clear(r);
    for (const std::string &l : lines)
        compat_line(r, OxString(l));
    return r;
}

std::string S(const OxString &s) { return s.str(); }

const char *const NONE = "\x07NONE\x07";
const char *const SEP = "\x08,\x08 ";

} // namespace

TEST(CompatShortname, FirstWordInsideLastParentheses)
{
    EXPECT_EQ(S(shortname("Intel Corporation 82540EM Gigabit (rev 02) (e1000)")), "e1000");
    EXPECT_EQ(S(shortname("Broadcom NetXtreme (tg3 driver)")), "tg3");
    EXPECT_EQ(S(shortname("Thing (  spaced  )")), "spaced");
    EXPECT_EQ(S(shortname("Unclosed (abc def")), "abc");
}

TEST(CompatShortname, BracketInsideParenthesesOrAlone)
{
    EXPECT_EQ(S(shortname("Card (abc [def ghi] jkl)")), "def");
    EXPECT_EQ(S(shortname("Controller [ aic7xxx ] rev 1")), "aic7xxx");
    EXPECT_EQ(S(shortname("Controller [megaraid")), "megaraid");
}

TEST(CompatShortname, FirstWordCutAtAnyStopCharacter)
{
    EXPECT_EQ(S(shortname("Pentium III")), "Pentium");
    EXPECT_EQ(S(shortname("eth0,eth1")), "eth0");
    EXPECT_EQ(S(shortname("v1.2")), "v1");
    EXPECT_EQ(S(shortname("a;b")), "a");
    EXPECT_EQ(S(shortname("tab\tafter")), "tab");
    EXPECT_EQ(S(shortname("x]y")), "x");
    // Trimming only happens inside parentheses or brackets.
    EXPECT_EQ(S(shortname(" leading")), "");
    EXPECT_EQ(S(shortname("")), "");
}

TEST(CompatDiskname, DeviceAfterDashBlank)
{
    EXPECT_EQ(S(diskname("WDC WD800JB-00JJC0 - hda (80 GB)")), "hda");
    EXPECT_EQ(S(diskname("Maxtor - sdb")), "sdb");
    // Only the last parenthesis is cut off.
    EXPECT_EQ(S(diskname("Model - sdc (36 GB) (extra)")), "sdc (36 GB)");
}

TEST(CompatDiskname, WithoutDashBlankGivesFirstWord)
{
    EXPECT_EQ(S(diskname("ST336607LW (36 GB)")), "ST336607LW");
    // The model's own hyphen is not followed by a blank.
    EXPECT_EQ(S(diskname("WDC WD800JB-00JJC0 (80 GB)")), "WDC");
    EXPECT_EQ(S(diskname("trailing-")), "trailing-");
    EXPECT_EQ(S(diskname("")), "");
}

TEST(CompatAddstr, OnlySupportedIsAddedWithSeparator)
{
    OxString f;
    addstr(f, "a", "SUPPORTED");
    EXPECT_EQ(S(f), "a");
    addstr(f, "b", "UNSUPPORTED");
    addstr(f, "c", "SUPPORT UNKNOWN");
    addstr(f, "d", "MAYBE");
    addstr(f, "e", "");
    EXPECT_EQ(S(f), "a");
    addstr(f, "f", "SUPPORTED but slow");
    EXPECT_EQ(S(f), std::string("a") + SEP + "f");
}

TEST(CompatAddstr, NoneOnlyWhenFlagged)
{
    OxString f;
    addnone(f, false);
    EXPECT_TRUE(!f);
    addnone(f, true);
    EXPECT_EQ(S(f), NONE);
}

TEST(CompatLines, NetworkSupportedAdaptersAreListed)
{
    CompatResult r = feed({"NETWORK: Intel Corporation 82540EM Gigabit Ethernet Controller (e1000)",
                           "   Status: SUPPORTED", "NETWORK: Broadcom Corporation NetXtreme BCM5703 (tg3)",
                           "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.network), std::string("e1000") + SEP + "tg3");
    EXPECT_EQ(S(r.category), "NETWORK");
    EXPECT_EQ(S(r.description), "tg3");     // the stored description is shortened
}

TEST(CompatLines, NetworkUnsupportedOrUnknownGivesNoneAfterClosing)
{
    CompatResult r = feed({"NETWORK: Realtek RTL8139 (8139too)", "   Status: UNSUPPORTED",
                           "NETWORK: Odd Thing (oddnet)", "   Status: SUPPORT UNKNOWN"});
    EXPECT_TRUE(!r.network);
    compat_close(r);
    EXPECT_EQ(S(r.network), NONE);
}

TEST(CompatLines, StorageControllersCarryTheirClass)
{
    CompatResult r = feed({"SCSI: Adaptec AIC-7892A U160/m (aic7xxx)", "   Status: SUPPORTED",
                           "IDE: Intel 82801 IDE (piix)", "   Status: SUPPORTED", "RAID: LSI MegaRAID (megaraid)",
                           "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.scsi), std::string("aic7xxx SCSI") + SEP + "piix IDE" + SEP + "megaraid RAID");
}

TEST(CompatLines, DiskNamesWithAndWithoutDash)
{
    CompatResult r = feed({"DISK: WDC WD800JB-00JJC0 - hda (80 GB)", "   Status: SUPPORTED",
                           "DISK: ST336607LW (36 GB)", "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.disks), std::string("hda") + SEP + "ST336607LW");
    EXPECT_EQ(S(r.description), "ST336607LW");
}

TEST(CompatLines, VideoDescriptionStaysWhole)
{
    CompatResult r = feed({"VIDEO: ATI Technologies Inc Rage XL (rev 27) [mach64]", "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.video), "ATI Technologies Inc Rage XL (rev 27) [mach64]");
}

TEST(CompatLines, CpuCountsEveryStatusButKeepsFirstSupported)
{
    CompatResult r = feed({"CPU: Unknown Vendor Processor (k5)", "   Status: UNSUPPORTED",
                           "CPU: Intel(R) Pentium(R) III CPU 1133MHz (P3)", "   Status: SUPPORTED",
                           "CPU: AMD Athlon (K7)", "   Status: SUPPORTED"});
    EXPECT_EQ(r.cpucount, 3);
    EXPECT_EQ(S(r.cpu), "P3");
    EXPECT_EQ(S(compat_cputext(r)), "P3 x 3");
}

TEST(CompatLines, CpuTextBeforeAnyCpuIsQuestionMarks)
{
    CompatResult r = feed({});
    EXPECT_EQ(S(compat_cputext(r)), "??");
    compat_close(r);
    EXPECT_EQ(S(compat_cputext(r)), "??");     // NONE in the field, but no CPU was counted
    CompatResult u = feed({"CPU: Odd (odd)", "   Status: UNSUPPORTED"});
    compat_close(u);
    EXPECT_EQ(S(compat_cputext(u)), std::string(NONE) + " x 1");
}

TEST(CompatLines, MemorySerialParallelLines)
{
    CompatResult r = feed({"Memory Total: 1024 MB ", "Memory nothing here", "MEMORY: DIMM (pc133)",
                           "   Status: SUPPORTED", "ttyS0: 16550A", "ttyS1 at 0x2f8", " ttyS2: not at start",
                           "SERIAL: Modem (ttyS3)", "   Status: SUPPORTED", "PARALLEL: Port (parport0)",
                           "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.memory), std::string("1024 MB") + SEP + "pc133");
    EXPECT_EQ(S(compat_memtext(r)), std::string("1024 MB") + SEP + "pc133 usable");
    EXPECT_EQ(S(r.serial), std::string("ttyS0") + SEP + "ttyS3");
    EXPECT_EQ(S(r.parallel), "parport0");
}

TEST(CompatLines, MemoryAndSerialLinesKeepTheCurrentDevice)
{
    CompatResult r = feed({"NETWORK: Intel (e100)", "Memory Total: 512 MB", "ttyS0: 16550A", "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.network), "e100");
}

TEST(CompatLines, StatusNeedsTheBlankAfterTheColon)
{
    CompatResult r = feed({"NETWORK: Intel (e100)", "   Status:SUPPORTED", "   Status:", "  Status: SUPPORTED"});
    EXPECT_TRUE(!r.network);
    EXPECT_EQ(S(r.description), "Intel (e100)");     // untouched: none of them was a status line
}

TEST(CompatLines, StatusWordIsTrimmed)
{
    CompatResult r = feed({"NETWORK: Intel (e100)", "   Status:    SUPPORTED   "});
    EXPECT_EQ(S(r.network), "e100");
}

TEST(CompatLines, CategoriesAreComparedWithCase)
{
    CompatResult r = feed({"Video: Matrox G400", "   Status: SUPPORTED", "network: x (e1000)", "   Status: SUPPORTED",
                           " VIDEO : spaced category", "   Status: SUPPORTED"});
    EXPECT_TRUE(!r.video);
    EXPECT_TRUE(!r.network);
}

TEST(CompatLines, DeviceLineNeedsBlankRightAfterFirstColon)
{
    CompatResult r = feed({"NETWORK: Intel (e100)", "NETWORK:NoBlank (x)", "see http://host/x y", "Progress 50%: done"});
    EXPECT_EQ(S(r.category), "NETWORK");
    EXPECT_EQ(S(r.description), "Intel (e100)");
    // A category of two words has a blank before the colon: not a device line.
    r = feed({"NETWORK: Intel (e100)", "Two words: x"});
    EXPECT_EQ(S(r.category), "NETWORK");
    r = feed({"Heading: something"});
    EXPECT_EQ(S(r.category), "Heading");
}

TEST(CompatLines, UnknownStatusWordRecordsNothing)
{
    CompatResult r = feed({"NETWORK: Intel (e100)", "   Status: PROBABLY", "CPU: x (P4)", "   Status: MAYBE"});
    EXPECT_TRUE(!r.network);
    EXPECT_TRUE(!r.cpu);
    EXPECT_EQ(r.cpucount, 1);
}

TEST(CompatLines, StatusBeforeAnyDeviceRecordsNothing)
{
    CompatResult r = feed({"   Status: SUPPORTED", "   Status: SUPPORTED"});
    EXPECT_EQ(r.cpucount, 0);
    for (const OxString *f : {&r.cpu, &r.memory, &r.video, &r.scsi, &r.disks, &r.network, &r.serial, &r.parallel})
        EXPECT_TRUE(!*f);
}

TEST(CompatLines, OtherClassesRecordNothing)
{
    CompatResult r = feed({"USB: Intel UHCI (uhci)", "   Status: SUPPORTED"});
    for (const OxString *f : {&r.cpu, &r.memory, &r.video, &r.scsi, &r.disks, &r.network, &r.serial, &r.parallel})
        EXPECT_TRUE(!*f);
}

TEST(CompatLines, ClosingMarksAllButSerialAndParallel)
{
    CompatResult r = feed({"NETWORK: Intel (e100)", "   Status: SUPPORTED"});
    compat_close(r);
    EXPECT_EQ(S(r.cpu), NONE);
    EXPECT_EQ(S(r.memory), NONE);
    EXPECT_EQ(S(r.video), NONE);
    EXPECT_EQ(S(r.scsi), NONE);
    EXPECT_EQ(S(r.disks), NONE);
    EXPECT_EQ(S(r.network), "e100");
    EXPECT_TRUE(!r.serial);
    EXPECT_TRUE(!r.parallel);
    EXPECT_EQ(S(compat_memtext(r)), std::string(NONE) + " usable");
}

TEST(CompatLines, ClearForgetsEverything)
{
    CompatResult r = feed({"CPU: x (P4)", "   Status: SUPPORTED", "Memory Total: 1 MB"});
    compat_clear(r);
    EXPECT_EQ(r.cpucount, 0);
    EXPECT_TRUE(!r.cpu);
    EXPECT_TRUE(!r.memory);
    EXPECT_TRUE(!r.category);
    EXPECT_TRUE(!r.description);
}

TEST(CompatHostileOutput, CrLfEndingsStillRecognised)
{
    CompatResult r = feed({"NETWORK: Intel (e1000)\r", "   Status: SUPPORTED\r", "Memory Total: 256 MB\r"});
    EXPECT_EQ(S(r.network), "e1000");
    EXPECT_EQ(S(r.memory), "256 MB\r");     // shown as a blank when drawn
}

TEST(CompatHostileOutput, NulAndBinaryBytesDoNotCutOrCrash)
{
    static const char raw[] = "NETWORK: Bad\0Card \xff\x1b[2J (e1000)";
    std::string dev(raw, sizeof raw - 1);
    CompatResult r = feed({dev, "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.network), "e1000");
    std::string video = std::string("VIDEO: A\0B", 10);
    r = feed({video, "   Status: SUPPORTED"});
    EXPECT_EQ(r.video.len(), 3u);
}

TEST(CompatHostileOutput, HelperMarkerBytesCannotRecolourTheSummary)
{
    CompatResult r = feed({"VIDEO: ATI\x07Rage\x08XL", "   Status: SUPPORTED", "Memory Total: 1\x08MB",
                           "ttyS\x07" "0: x", "DISK: a - sd\x07" "a", "   Status: SUPPORTED"});
    EXPECT_EQ(S(r.video), "ATI Rage XL");
    EXPECT_EQ(S(r.memory), "1 MB");
    EXPECT_EQ(S(r.serial), "ttyS 0");
    EXPECT_EQ(S(r.disks), "sd a");
}

TEST(CompatHostileOutput, MegabyteLinesAreHandled)
{
    std::string big(1 << 20, 'x');
    CompatResult r = feed({"VIDEO: " + big, "   Status: SUPPORTED", "   Status: " + big, "NETWORK: (" + big + ")",
                           "   Status: SUPPORTED", big + ": " + big});
    EXPECT_EQ(r.video.len(), big.size());
    EXPECT_EQ(r.network.len(), big.size());
    EXPECT_EQ(r.category.len(), big.size());
}

TEST(CompatHostileOutput, EmptyAndBlankLines)
{
    CompatResult r = feed({"", " ", ":", ": ", "   Status: ", "   Status:    "});
    EXPECT_EQ(r.cpucount, 0);
    EXPECT_TRUE(!r.category);
}
