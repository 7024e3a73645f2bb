// The medium as an operator boots it: the ISO written to a USB stick, the
// ISO as a CD on the VGA console, the ISO under UEFI, and a netboot of the
// kernel and initramfs through QEMU's own TFTP server with boot.ipxe.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "guest.h"
#include "medium_util.h"

namespace {

constexpr int kFirmwareMs = 120000;
constexpr int kBootMs = 300000;
constexpr const char *kSerialEntry = "rundiags (serial console ttyS0, 115200)";

void copy_file(const std::string &from, const std::string &to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

// Waits for the boot menu on the serial line and takes its second entry.
bool choose_serial_entry(Guest &g)
{
    if (!g.wait_text(kSerialEntry, kFirmwareMs))
        return false;
    g.settle(300, 2000);
    g.send("\x1b[B");
    g.settle(300, 2000);
    g.send("\r");
    return true;
}

// What is wrong with the boot menu as the serial line shows it; "" when it
// reads cleanly: plain ASCII, its title, entries and countdown once each.
std::string menu_problem(Guest &g)
{
    g.settle(1000, 5000);
    const std::string &raw = g.serial_output();
    size_t from = raw.find("GNU GRUB");
    if (from == std::string::npos)
        return "no boot menu";
    std::string problem;
    for (size_t i = from; i < raw.size() && problem.empty(); i++)
        if (static_cast<unsigned char>(raw[i]) >= 0x80)
            problem = "a byte that is no ASCII: " + std::to_string(static_cast<unsigned char>(raw[i])) + "\n";
    std::string screen = g.vt().dump();
    for (const char *text : {"GNU GRUB", kSerialEntry, "memtest", "executed automatically"})
        if (size_t n = count_of(screen, text); n != 1)
            problem += "\"" + std::string(text) + "\" shows " + std::to_string(n) + " times\n";
    return problem;
}

// The VGA text screen (80x25 at 0xb8000) as the monitor reads it.
std::vector<std::string> vga_rows(Guest &g)
{
    std::string answer = g.command("xp /2000hx 0xb8000");
    std::vector<std::string> rows(25);
    static const std::regex cell("0x([0-9a-f]{4})\\b");
    size_t n = 0;
    for (std::sregex_iterator it(answer.begin(), answer.end(), cell), end; it != end && n < 2000; ++it) {
        // Skip the addresses at the start of each line: they have more digits.
        unsigned v = unsigned(std::stoul((*it)[1], nullptr, 16));
        char c = char(v & 0xff);
        rows[n / 80] += (c >= 32 && c < 127) ? c : ' ';
        n++;
    }
    return rows;
}

bool vga_has(Guest &g, const std::string &text, int timeout_ms)
{
    return g.wait_until([&] {
        for (auto &r : vga_rows(g))
            if (r.find(text) != std::string::npos)
                return true;
        g.settle(1000, 1000);
        return false;
    }, timeout_ms);
}

std::string vga_dump(Guest &g)
{
    std::string s;
    for (auto &r : vga_rows(g))
        s += r + "\n";
    return s;
}

// Quits to the shell and asks what /init handed the helpers as the boot
// medium.
std::string boot_device(Guest &g)
{
    std::string missing = quit_to_shell(g);
    return missing.empty() ? shell_value(g, "$DISKBURN_BOOT_DEVICE") : "(" + missing + ")";
}

std::vector<std::string> scratch_disk(const ScratchDir &d, const std::string &id)
{
    make_image(d.file(id + ".img"), 64 << 20);
    return {"-drive", "if=none,id=" + id + ",format=raw,file=" + d.file(id + ".img"),
            "-device", "virtio-blk-pci,drive=" + id + ",serial=" + id};
}

void add(std::vector<std::string> &a, const std::vector<std::string> &more)
{
    a.insert(a.end(), more.begin(), more.end());
}

// UEFI firmware for a server; its variables in a copy of their own.
void add_uefi(const ScratchDir &d, std::vector<std::string> &a)
{
    std::string vars = d.file("vars.fd");
    copy_file("/usr/share/OVMF/OVMF_VARS_4M.fd", vars);
    add(a, {"-drive", "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE_4M.fd",
            "-drive", "if=pflash,format=raw,file=" + vars});
}

// A server with a copy of the ISO in its CD drive, booting from it.
std::vector<std::string> cd_server(const ScratchDir &d)
{
    std::string cd = d.file("cd.iso");
    copy_file(medium_file("rundiags.iso"), cd);
    std::vector<std::string> a = server_base();
    add(a, {"-drive", "if=none,id=cd,format=raw,media=cdrom,readonly=on,file=" + cd,
            "-device", "ide-cd,bus=ide.1,drive=cd,bootindex=0"});
    return a;
}

// The ISO written raw to a USB stick, beside one scratch disk, on a server
// with one NIC and no floppy drive. The stick is never written; the network
// test fails for want of a second port while the disk test goes on; the
// floppy copy reports its error number.
TEST(Media, UsbStickBootsOverSerialAndIsNeverWritten)
{
    ScratchDir d;
    std::string stick = d.file("stick.img");
    copy_file(medium_file("rundiags.iso"), stick);
    std::string before = checksum(stick);
    std::vector<std::string> a = server_base();
    add(a, {"-device", "qemu-xhci,id=xhci",
            "-drive", "if=none,id=stick,format=raw,file=" + stick,
            "-device", "usb-storage,bus=xhci.0,drive=stick,bootindex=0",
            "-netdev", "hubport,id=hp1,hubid=0", "-device", "virtio-net-pci,netdev=hp1"});
    add(a, scratch_disk(d, "scratch1"));
    Guest g(d.path(), a);
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(choose_serial_entry(g)) << g.dump();
    ASSERT_TRUE(g.wait_text("Main Menu", kBootMs)) << g.dump();
    std::printf("[ medium   ] USB stick (BIOS): main menu after %.1f s\n", g.seconds());

    ASSERT_TRUE(start_burnin(g)) << g.dump();
    ASSERT_TRUE(g.wait_text("FAILED (code 2)", 120000)) << g.dump();
    // The disk test goes on: at least one full pass over the scratch disk.
    g.wait_until([&] { return disk_loop(g) >= 2 || g.row(3).find("FAIL") != std::string::npos; }, 300000);
    ASSERT_GE(disk_loop(g), 2) << g.dump();
    EXPECT_EQ(g.row(3).find("FAIL"), std::string::npos) << g.dump();
    stop_burnin(g);
    ASSERT_TRUE(g.wait_text("** FAILED - Press Enter When Done **", 120000)) << g.dump();
    EXPECT_TRUE(g.has_text("   Disk: PASSED")) << g.dump();
    EXPECT_TRUE(g.has_text("Network: FAILED (code 2)")) << g.dump();
    EXPECT_EQ(checksum(stick), before) << "the boot stick was written";
    EXPECT_EQ(pattern_problem(d.file("scratch1.img")), "");
    g.send("\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();

    choose(g, 4);
    ASSERT_TRUE(g.wait_text("Insert Floppy Disk", 30000)) << g.dump();
    g.send("\r");
    ASSERT_TRUE(g.wait_text("copying the data to the floppy disk!", 120000)) << g.dump();
    EXPECT_TRUE(std::regex_search(g.vt().dump(), std::regex("Error #[1-9][0-9]* copying the data to the floppy disk!")))
        << g.dump();
    g.send("\r");
    EXPECT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();
    EXPECT_EQ(checksum(stick), before) << "the boot stick was written";
    EXPECT_EQ(boot_device(g), "/dev/sda");

    // A server with no BMC, no EDAC driver and no sensors: its health is
    // clean, and the record says what could not be read.
    g.send("makefloppy --directory /tmp/record </dev/null >/dev/null 2>&1\r");
    const std::string first = "$(head -n 1 /tmp/record/report.txt | cut -d ';' -f ";
    EXPECT_EQ(shell_value(g, first + "1)"), "Health: clean") << g.dump();
    EXPECT_EQ(shell_value(g, first + "3)"), " not reported: memory errors, BMC log, sensors") << g.dump();
    EXPECT_EQ(shell_value(g, "$(grep -c -e '^  BMC log  *no BMC answered (ipmitool: ' "
                             "-e '^  Memory  *no memory controller reports errors' /tmp/record/report.txt)"), "2")
        << g.dump();
}

// The ISO as a CD, the default entry: rundiags on the VGA console, driven
// from the keyboard; nothing of it on the serial line.
TEST(Media, CdBootsToTheVgaConsole)
{
    ScratchDir d;
    Guest g(d.path(), cd_server(d));
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(g.wait_text(kSerialEntry, kFirmwareMs)) << g.dump();
    g.settle(300, 2000);
    g.send("\r");
    ASSERT_TRUE(vga_has(g, "Main Menu", kBootMs)) << vga_dump(g) << g.dump();
    std::printf("[ medium   ] CD (BIOS), VGA console: main menu after %.1f s\n", g.seconds());
    auto rows = vga_rows(g);
    EXPECT_NE(rows[0].find("ORVEX Compatibility and Diagnostics"), std::string::npos) << vga_dump(g);
    EXPECT_NE(rows[24].find("[ENTER] Select"), std::string::npos) << vga_dump(g);
    EXPECT_FALSE(g.has_text("Main Menu")) << g.dump();
    for (const char *k : {"down", "down", "ret"})
        g.command(std::string("sendkey ") + k);
    EXPECT_TRUE(vga_has(g, "\"memtest\" from the boot menu", 60000)) << vga_dump(g);
}

// The serial console chosen on a server that has no serial port: the
// program comes up on the screen instead.
TEST(Media, MissingSerialPortGivesWayToTheScreen)
{
    ScratchDir d;
    std::vector<std::string> a = server_base();
    add(a, {"-kernel", medium_file("vmlinuz"), "-initrd", medium_file("initrd.img"),
            "-append", "console=ttyS0,115200n8 quiet no_timer_check"});
    Guest g(d.path(), a, false);
    ASSERT_TRUE(g.started()) << g.failure();
    EXPECT_TRUE(vga_has(g, "Main Menu", kBootMs)) << vga_dump(g) << g.dump();
}

// The ISO as a CD under UEFI firmware, the serial entry. The boot menu
// reads cleanly on the serial line though the firmware copies its own
// console there.
TEST(Media, CdBootsUnderUefi)
{
    ScratchDir d;
    std::vector<std::string> a = cd_server(d);
    add_uefi(d, a);
    Guest g(d.path(), a);
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(g.wait_text(kSerialEntry, kFirmwareMs)) << g.dump();
    EXPECT_EQ(menu_problem(g), "") << g.dump();
    ASSERT_TRUE(choose_serial_entry(g)) << g.dump();
    ASSERT_TRUE(g.wait_text("Main Menu", kBootMs)) << g.dump();
    std::printf("[ medium   ] CD (UEFI): main menu after %.1f s\n", g.seconds());
    EXPECT_NE(g.row(24).find("[ENTER] Select"), std::string::npos) << g.dump();
    EXPECT_EQ(boot_device(g), "/dev/sr0");
}

// A server without a display adapter, under UEFI, booting the CD by the
// default entry with no key pressed: the operator on its serial line reads
// the boot menu and gets the program there.
TEST(Media, HeadlessUefiServerGetsTheProgramOnItsSerialLine)
{
    ScratchDir d;
    std::vector<std::string> a = cd_server(d);
    for (size_t i = 0; i + 1 < a.size(); i++)
        if (a[i] == "-vga")
            a[i + 1] = "none";
    add_uefi(d, a);
    Guest g(d.path(), a);
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(g.wait_text(kSerialEntry, kFirmwareMs)) << g.dump();
    ASSERT_EQ(menu_problem(g), "") << g.dump();
    ASSERT_TRUE(g.wait_text("Main Menu", kBootMs)) << g.dump();
    std::printf("[ medium   ] CD (UEFI), no display adapter: main menu after %.1f s\n", g.seconds());
    g.settle(500, 5000);
    EXPECT_NE(g.row(24).find("[ENTER] Select"), std::string::npos) << g.dump();
}

// The third entry starts Debian's memory test, the one the program's
// "Memory test" notice sends the operator to; it mirrors its screen to the
// serial line.
TEST(Media, MemtestEntryStartsTheMemoryTest)
{
    ScratchDir d;
    Guest g(d.path(), cd_server(d));
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(g.wait_text("memtest", kFirmwareMs)) << g.dump();
    g.settle(300, 2000);
    g.send("\x1b[B\x1b[B");
    g.settle(300, 2000);
    g.send("\r");
    EXPECT_TRUE(g.wait_text("Memtest86+", kBootMs)) << g.dump();
}

// PXE: QEMU's iPXE takes boot.ipxe from the built-in TFTP server (user
// networking that reaches nothing but that server), shows its menu on the
// serial line through the firmware's serial console, and loads the kernel
// and initramfs from beside the script. The helpers learn that the machine
// was netbooted and has no boot device.
TEST(Media, NetbootsThroughIpxe)
{
    ScratchDir d;
    std::vector<std::string> a = server_base();
    a[1] = "q35,graphics=off";
    add(a, {"-netdev", "user,id=pxe,restrict=on,tftp=" + medium_dir() + ",bootfile=boot.ipxe",
            "-device", "e1000,netdev=pxe,bootindex=0"});
    Guest g(d.path(), a);
    ASSERT_TRUE(g.started()) << g.failure();
    ASSERT_TRUE(choose_serial_entry(g)) << g.dump();
    ASSERT_TRUE(g.wait_text("Main Menu", kBootMs)) << g.dump();
    std::printf("[ medium   ] netboot (iPXE, TFTP): main menu after %.1f s\n", g.seconds());
    ASSERT_EQ(quit_to_shell(g), "") << g.dump();
    EXPECT_EQ(shell_value(g, "$RUNDIAGS_NETBOOT,$DISKBURN_BOOT_DEVICE,$RUNDIAGS_STATE_FILE"),
              "1,,/run/rundiags/state.json") << g.dump();
}

} // namespace
