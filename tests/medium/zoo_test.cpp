// The whole program on an emulated server made like the servers operators
// meet: a q35 machine with an NVMe drive, a virtio-scsi disk of 4096-byte
// sectors, a MegaRAID SAS host adapter with a disk, an LSI SAS1068 host
// adapter and a SATA disk on the chipset's AHCI; e1000e, rtl8139, vmxnet3 and
// virtio-net ports on one QEMU hub (their frames reach each other and
// nothing leaves this machine); a BMC on the ISA KCS interface, a floppy
// drive with a blank disk, ttyS0 as console. One boot serves the suite; its
// tests run in this order, each starting and ending at the main menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "guest.h"
#include "medium_util.h"

namespace {

constexpr int kBootMs = 180000;

// The server's parts and what the probe must say of each. A disk's image
// is <id>.img, of its own size so that the probe's sector count tells
// which disk is which; a port is reached at <id> by the QEMU monitor.
enum class Kind { Controller, Disk, Port };   // Disk: a controller with its disk
struct Part {
    Kind kind;
    std::string id;
    int disk_mib;
    std::string driver;              // the driver the probe names (a pattern)
    std::string verdict;
    std::vector<std::string> qemu;   // the device(s); a disk's drive is added
    int sector = 512;                // a disk's logical sector, as the probe names it
};

const std::vector<Part> kParts = {
    {Kind::Disk, "nvme", 32, "nvme", "SUPPORTED", {"-device", "nvme,drive=nvme,serial=ZOONVME1"}},
    {Kind::Disk, "vscsi4k", 36, "virtio_scsi", "SUPPORTED",
     {"-device", "virtio-scsi-pci,id=vscsi", "-device",
      "scsi-hd,bus=vscsi.0,drive=vscsi4k,logical_block_size=4096,physical_block_size=4096"},
     4096},
    {Kind::Disk, "megaraid", 40, "megaraid_sas", "SUPPORTED",
     {"-device", "megasas-gen2,id=raid", "-device", "scsi-hd,bus=raid.0,drive=megaraid"}},
    // The kernel's mptsas finds a linked phy on QEMU's SAS1068 but never an
    // end device behind it: a disk there does not come up, so it has none.
    {Kind::Controller, "sas1068", 0, "mptsas", "SUPPORTED", {"-device", "mptsas1068,id=sas"}},
    {Kind::Disk, "sata", 48, "ahci", "SUPPORTED",
     {"-device", "ide-hd,bus=ide.0,drive=sata,serial=SATA0001,model=QEMU SATA scratch"}},
    {Kind::Port, "nic-e1000e", 0, "e1000e", "SUPPORTED",
     {"-device", "e1000e,netdev=hp1,id=nic-e1000e,mac=52:54:00:12:00:01"}},
    // compat-known-bad.txt lists the RTL8139 (100 Mbit/s only).
    {Kind::Port, "nic-rtl8139", 0, "8139cp|8139too", "UNSUPPORTED",
     {"-device", "rtl8139,netdev=hp2,id=nic-rtl8139,mac=52:54:00:12:00:02"}},
    {Kind::Port, "nic-vmxnet3", 0, "vmxnet3", "SUPPORTED",
     {"-device", "vmxnet3,netdev=hp3,id=nic-vmxnet3,mac=52:54:00:12:00:03"}},
    {Kind::Port, "nic-virtio", 0, "virtio_net", "SUPPORTED",
     {"-device", "virtio-net-pci,netdev=hp4,id=nic-virtio,mac=52:54:00:12:00:04"}},
};
const Part &kSata = kParts[4];

// Lines of the probe's device entry up to its status: none of them begins
// the next entry.
const std::string kInEntry = "\\n(?:(?![A-Z]+: |   Status: )[^\\n]*\\n)*";
std::string entry_end(const Part &p)
{
    return kInEntry + "   Status: " + p.verdict + "\\n";
}
std::string controller_pattern(const Part &p)
{
    return "\\n(RAID|SCSI|IDE): [^\\n]* \\((" + p.driver + ")\\)" + entry_end(p);
}
std::string disk_pattern(const Part &p)
{
    const std::string size = std::to_string(p.disk_mib * 1048576 / p.sector) + " sectors of " +
                             std::to_string(p.sector) + " bytes" + (p.sector == 4096 ? " \\(4Kn\\)" : "");
    return "\\nDISK: [^\\n]* - ([a-z0-9]+) \\([^\\n]*\\)\\n +" + size + "[^\\n]*" + entry_end(p);
}
std::string port_pattern(const Part &p)
{
    return "\\nNETWORK: [^\\n]*, ([a-z0-9]+) \\((" + p.driver + ")\\)" + entry_end(p);
}

// A disk's entry in the advanced probe's log with its health read as good.
std::string smart_pattern(const Part &p)
{
    return "\\nDISK: [^\\n]*\\n +" + std::to_string(p.disk_mib * 2048) + " sectors of 512 bytes[^\\n]*" +
           kInEntry + "[^\\n]*SMART health PASSED";
}

// The name the probe's log gives a disk or port ("" when it names none).
std::string name_in(const std::string &log, const Part &p)
{
    std::smatch m;
    std::regex re(p.kind == Kind::Port ? port_pattern(p) : disk_pattern(p));
    return std::regex_search(log, m, re) ? m[1].str() : "";
}

// The Details items of the probe on screen rows 13-21, from column 4.
std::vector<std::string> probe_details(Guest &g)
{
    std::vector<std::string> items;
    for (std::string r : details_rows(g, 13, 21)) {
        r = r.substr(4, 73);
        r.erase(r.find_last_not_of(' ') + 1);
        items.push_back(r);
    }
    return items;
}

// Details items the probe did not write to its log: lines that reached the
// list from anywhere else (a Perl warning on its standard error).
std::string stray_items(const std::vector<std::string> &items, const std::string &log)
{
    std::string stray;
    for (const std::string &item : items)
        if (!item.empty() && log.find("\n" + item) == std::string::npos)
            stray += item + "\n";
    return stray;
}

class Zoo : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new ScratchDir;
        make_image(dir->file("floppy.img"), 1474560);
        std::vector<std::string> a = server_base();
        std::vector<std::string> more = {
            "-kernel", medium_file("vmlinuz"), "-initrd", medium_file("initrd.img"),
            // The last argument is no variable name: the medium warns of it.
            // no_timer_check: a host starved of CPU fails the kernel's
            // check of the emulated timer.
            "-append", "console=ttyS0,115200n8 quiet no_timer_check rundiags.NETBURN_PASS_SECONDS=8 rundiags.NETBURN_RATE=100 "
                       "rundiags.DISKBURN_GRACE_SECONDS=0 rundiags.9LIVES=1",
            "-drive", "if=none,id=fd,format=raw,file=" + dir->file("floppy.img"),
            "-device", "isa-fdc,id=fdc0", "-device", "floppy,drive=fd,drive-type=144",
            "-device", "ipmi-bmc-sim,id=bmc0", "-device", "isa-ipmi-kcs,bmc=bmc0",
        };
        a.insert(a.end(), more.begin(), more.end());
        for (int hub = 1; hub <= 4; hub++)
            a.insert(a.end(), {"-netdev", "hubport,id=hp" + std::to_string(hub) + ",hubid=0"});
        for (const Part &p : kParts) {
            if (p.kind == Kind::Disk) {
                make_image(dir->file(p.id + ".img"), off_t(p.disk_mib) << 20);
                a.insert(a.end(), {"-drive", "if=none,id=" + p.id + ",format=raw,file=" + dir->file(p.id + ".img")});
            }
            a.insert(a.end(), p.qemu.begin(), p.qemu.end());
        }
        guest = new Guest(dir->path(), a);
        if (guest->started())
            booted = guest->wait_text("Main Menu", kBootMs);
        std::printf("[ medium   ] server zoo, direct kernel boot: main menu after %.1f s\n", guest->seconds());
    }
    static void TearDownTestSuite()
    {
        delete guest;
        delete dir;
        guest = nullptr;
        dir = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(guest->started()) << guest->failure();
        ASSERT_TRUE(booted) << guest->dump();
        ASSERT_FALSE(guest->exited()) << guest->dump();
        // After a failed test, find the way back to the menu.
        for (int i = 0; i < 3 && !guest->has_text("Main Menu"); i++) {
            guest->send("\r");
            guest->wait_text("Main Menu", 10000);
        }
    }

    // Runs a compatibility test; keeps its Details list for the floppy test,
    // which reads the probe's log back.
    static void probe(int index, std::vector<std::string> &items)
    {
        Guest &g = *guest;
        Summary s = run_compat(g, index);
        ASSERT_TRUE(s.finished) << g.dump();
        EXPECT_NE(s.text.find("QEMU"), std::string::npos) << s.text;          // the CPU model
        EXPECT_TRUE(std::regex_search(s.text, std::regex("Memory:.*[0-9]"))) << s.text;
        EXPECT_NE(s.text.find("ttyS0"), std::string::npos) << s.text;
        // The program's own items open the list ("Running: compat.pl", a
        // blank) and end it (a blank, where the log is); the probe's first
        // line comes right after them.
        items = probe_details(g);
        auto end = std::find_if(items.begin(), items.end(), [](const std::string &i) {
            return i.rfind("(All these log messages are in", 0) == 0;
        });
        ASSERT_GE(end - items.begin(), 3) << g.dump();
        EXPECT_EQ(items[0].rfind("Running: compat.pl", 0), 0u) << items[0];
        EXPECT_EQ(items[2].rfind("ORVEX hardware compatibility probe", 0), 0u) << items[2];
        items = std::vector<std::string>(items.begin() + 2, end);
        leave_to_menu(g);
    }

    static ScratchDir *dir;
    static Guest *guest;
    static bool booted;
    static std::vector<std::string> basic_items, advanced_items;
    static std::string e1000e_port;   // its interface name, from the probe's log
};
ScratchDir *Zoo::dir = nullptr;
Guest *Zoo::guest = nullptr;
bool Zoo::booted = false;
std::vector<std::string> Zoo::basic_items, Zoo::advanced_items;
std::string Zoo::e1000e_port;

TEST_F(Zoo, BootsToTheMainMenuOnTtyS0At80x25)
{
    Guest &g = *guest;
    ASSERT_TRUE(g.wait_text("Quit", 10000)) << g.dump();
    g.settle(500, 5000);
    EXPECT_NE(g.row(0).find("ORVEX Compatibility and Diagnostics"), std::string::npos) << g.dump();
    // The help line sits on the 25th row only when the line is 80x25.
    EXPECT_NE(g.row(24).find("[ENTER] Select   [ESC] Go Back"), std::string::npos) << g.dump();
    int x = -1, y = -1;
    ASSERT_TRUE(g.vt().find("Main Menu", &x, &y));
    EXPECT_EQ(y, 8) << g.dump();          // the 40x8 menu centred on 25 rows
}

TEST_F(Zoo, BasicCompatibilityRuns) { probe(0, basic_items); }

TEST_F(Zoo, AdvancedCompatibilityRuns) { probe(1, advanced_items); }

// What the machine reports of itself during the burn-in: from the shell,
// for when diskburn runs, an entry in the BMC's event log for an
// uncorrectable memory error, and a corrected machine check on CPU 0's
// bank 4, made by mce-inject in software so that the kernel logs it at
// once. The floppy test reads both back from the record.
TEST_F(Zoo, TheMachineWillReportErrorsDuringTheBurnIn)
{
    Guest &g = *guest;
    ASSERT_EQ(quit_to_shell(g), "") << g.dump();
    // The BMC answered at boot: the entry will be new to its log.
    EXPECT_EQ(shell_value(g, "$(grep -c '\"sel\":{\"answered\":1' /run/rundiags/health/baseline.json)"), "1")
        << g.dump();
    g.send("printf '0x04 0x0c 0x01 0x6f 0x01 0xff 0xff\\n' >/tmp/sel-event; modprobe mce-inject; "
           "mount -t debugfs debugfs /sys/kernel/debug\r");
    ASSERT_EQ(shell_value(g, "$(cat /sys/kernel/debug/mce-inject/flags)"), "sw") << g.dump();
    g.send("setsid sh -c 'until pidof diskburn; do sleep 1; done; sleep 5; ipmitool sel add /tmp/sel-event; "
           "cd /sys/kernel/debug/mce-inject && echo 0 >cpu && echo 0x9000004000010090 >status && echo 4 >bank' "
           "</dev/null >/dev/null 2>&1 &\r");
    g.send("exit\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 60000)) << g.dump();
}

TEST_F(Zoo, BurnInPassesAndLeavesThePatternOnEveryDisk)
{
    Guest &g = *guest;
    ASSERT_TRUE(start_burnin(g)) << g.dump();
    // A full disk pass is done when diskburn has been started again.
    g.wait_until([&] { return disk_loop(g) >= 2 || g.row(3).find("FAIL") != std::string::npos; }, 300000);
    ASSERT_GE(disk_loop(g), 2) << g.dump();
    EXPECT_EQ(g.row(3).find("FAIL"), std::string::npos) << g.dump();
    // Long enough for two network passes of 8 s as well.
    g.settle(20000, 20000);
    EXPECT_EQ(g.row(4).find("FAIL"), std::string::npos) << g.dump();
    EXPECT_EQ(g.row(4).find("BAD"), std::string::npos) << g.dump();
    stop_burnin(g);
    ASSERT_TRUE(g.wait_text("** PASSED - Press Enter When Done **", 120000)) << g.dump();
    for (const Part &p : kParts) {
        if (p.kind == Kind::Disk) {
            EXPECT_EQ(pattern_problem(dir->file(p.id + ".img")), "") << p.id;
        }
    }
    g.send("\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();
    // The machine check's lines went over the screen (the kernel's
    // emergencies reach the console): the operator repaints it.
    g.send("\x0c");
    g.settle(500, 5000);
}

// The record's health part: report.txt's first line and HEALTH section,
// report.json's "health" member.
std::pair<size_t, size_t> health_bytes(const std::string &report, const std::string &json)
{
    size_t section = report.find("\nHEALTH: "), member = json.find("\n   \"health\" : {");
    size_t txt = report.find('\n') + 1 + (section == std::string::npos ? 0 : report.find("\n\n", section) - section);
    return {txt, member == std::string::npos ? 0 : json.find("\n   }", member) + 5 - member};
}

// The floppy's logs tell what the probe saw and what the burn-in tested.
TEST_F(Zoo, FloppyHoldsTheReportsAndThisRunsLogs)
{
    Guest &g = *guest;
    choose(g, 4);
    ASSERT_TRUE(g.wait_text("Insert Floppy Disk", 30000)) << g.dump();
    g.send("\r");
    ASSERT_TRUE(g.wait_until([&] {
        return g.has_text("Successfully copied the data to the floppy disk.") ||
               g.has_text("copying the data to the floppy disk!");
    }, 180000)) << g.dump();
    EXPECT_TRUE(g.has_text("Successfully copied the data to the floppy disk.")) << g.dump();
    g.send("\r");
    ASSERT_TRUE(g.wait_gone("Success!", 30000)) << g.dump();

    std::string img = dir->file("floppy.img");
    std::string list = floppy_list(img);
    for (const char *f : {"REPORT.TXT", "REPORT.JSON", "COMPAT.LOG", "COMPAT-A.LOG", "BURNIN.LOG"})
        EXPECT_NE(upper(list).find(f), std::string::npos) << f << " not in\n" << list;
    std::string basic = "\n" + floppy_file(img, "compat.log");
    std::string adv = "\n" + floppy_file(img, "compat-a.log");
    std::string burn = floppy_file(img, "burnin.log");
    EXPECT_EQ(stray_items(basic_items, basic), "");
    EXPECT_EQ(stray_items(advanced_items, adv), "");
    for (const Part &p : kParts) {
        if (p.kind != Kind::Port) {
            EXPECT_TRUE(std::regex_search(basic, std::regex(controller_pattern(p)))) << p.id << "\n" << basic;
        }
        if (p.kind == Kind::Controller)
            continue;
        std::string name = name_in(basic, p);
        EXPECT_NE(name, "") << p.id << "\n" << basic;
        std::string tested = p.kind == Kind::Disk ? " " + name + ": verified in" : "Port " + name + ": received";
        EXPECT_NE(burn.find(tested), std::string::npos) << p.id << "\n" << burn;
        if (p.id == "nic-e1000e")
            e1000e_port = name;
    }
    // The SATA disk answers SMART; its health is read and good.
    EXPECT_TRUE(std::regex_search(adv, std::regex(smart_pattern(kSata)))) << adv;
    EXPECT_GE(count_of(burn, "Network: Pass complete"), 2u) << burn;
    EXPECT_NE(burn.find("   Disk: PASSED"), std::string::npos) << burn;
    EXPECT_NE(burn.find("Network: PASSED"), std::string::npos) << burn;
    // The medium's own warning reached the Details list before any disk
    // was named, each disk was named with what it held, and the record
    // keeps both.
    const std::string warned = "   Disk: Medium warning: ignoring kernel argument rundiags.9LIVES=1";
    EXPECT_LT(burn.find(warned), burn.find("   Disk: Disk ")) << burn;
    EXPECT_NE(burn.find(" holds: "), std::string::npos) << burn;
    std::string report = floppy_file(img, "report.txt");
    EXPECT_NE(report.find("QEMU"), std::string::npos) << report;
    EXPECT_NE(report.find("ignoring kernel argument rundiags.9LIVES=1"), std::string::npos) << report;
    EXPECT_NE(report.find("held before"), std::string::npos) << report;
    std::string json = floppy_file(img, "report.json");
    EXPECT_EQ(json.substr(0, 1), "{") << json;

    // What the machine reported during the burn-in: the BMC's entry for an
    // uncorrectable memory error fails the health; the machine check is
    // named with its bank and status.
    std::string first = report.substr(0, report.find('\n'));
    EXPECT_TRUE(std::regex_match(first, std::regex("Health: failed; burn-in: PASSED; not reported: memory errors.*")))
        << report;
    EXPECT_TRUE(std::regex_search(report, std::regex("\n  failed +BMC +Memory #0x01: Uncorrectable ECC, Asserted \\(SEL entry ")))
        << report;
    EXPECT_NE(report.find("\n  noted      machine check CPU 0, bank 4: 1 corrected machine-check error, "
                          "last status 9000004000010090\n"), std::string::npos) << report;
    EXPECT_TRUE(std::regex_search(json, std::regex("\"last_status\" : \"9000004000010090\""))) << json;
    auto [txt, member] = health_bytes(report, json);
    std::printf("[ medium   ] zoo record: \"%s\"; health %zu bytes of report.txt, %zu of report.json\n", first.c_str(),
                txt, member);
}

TEST_F(Zoo, BurnInFailsNamingAPortWithoutLink)
{
    Guest &g = *guest;
    g.command("set_link nic-e1000e off");
    ASSERT_TRUE(start_burnin(g)) << g.dump();
    ASSERT_TRUE(g.wait_text("FAILED (code", 120000)) << g.dump();
    EXPECT_NE(g.row(4).find("FAIL"), std::string::npos) << g.dump();
    stop_burnin(g);
    ASSERT_TRUE(g.wait_text("** FAILED - Press Enter When Done **", 120000)) << g.dump();
    // The port is named in the Details list, the netburn line that says
    // why the pass failed; the verdicts close the list.
    std::vector<std::string> rows = details_rows(g, 10, 22);
    auto listed = [&](const std::string &text) {
        return std::any_of(rows.begin(), rows.end(), [&](const std::string &r) { return r.find(text) != r.npos; });
    };
    std::string port = "Network: Port " + (e1000e_port.empty() ? "eth" : e1000e_port) + ":";
    EXPECT_TRUE(listed(port)) << port << "\n" << g.dump();
    EXPECT_TRUE(listed("Network: FAILED (code 4)")) << g.dump();
    EXPECT_TRUE(listed("   Disk: PASSED")) << g.dump();
    g.command("set_link nic-e1000e on");
    g.send("\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();
}

// The shell after the program: its greeting, what the start-up left for
// the helpers, the tools the record needs; after a killed program the
// terminal is set straight again; poweroff ends.
TEST_F(Zoo, TheShellAfterTheProgram)
{
    Guest &g = *guest;
    ASSERT_EQ(quit_to_shell(g), "") << g.dump();
    EXPECT_TRUE(g.has_text("exit       returns to the rundiags menu")) << g.dump();
    EXPECT_TRUE(g.has_text("poweroff   switches the machine off")) << g.dump();
    EXPECT_TRUE(g.has_text("stick labelled RUNDIAGS")) << g.dump();
    const std::string warning = "ignoring kernel argument rundiags.9LIVES=1: not a variable name";
    EXPECT_TRUE(g.has_text("  " + warning)) << g.dump();
    const std::string port = e1000e_port.empty() ? "eth0" : e1000e_port;
    const struct {
        std::string expr, want;   // a pattern
    } answers[] = {
        {"$NETBURN_RATE $DISKBURN_BOOT_DEVICE", "100 "},   // no boot device: not booted from the medium
        {"$(cat /run/rundiags/run)", "[0-9]{8}T[0-9]{6}Z-[0-9a-f]{4}"},
        {"$(cat /run/rundiags/warnings)", warning},
        {"$(ethtool -i " + port + " | head -n 1)", "driver: e1000e"},
        {"$(smartctl -V | head -n 1 | cut -d ' ' -f 1)", "smartctl"},
    };
    for (const auto &a : answers)
        EXPECT_TRUE(std::regex_match(shell_value(g, a.expr), std::regex(a.want))) << a.expr << "\n" << g.dump();

    // Back in the program, the operator repaints the screen (Ctrl-L), which
    // turns autowrap off, and the program is killed: nothing restores the
    // terminal then but the shell that follows.
    g.send("setsid sh -c 'until pidof rundiags; do sleep 1; done; sleep 15; kill -9 $(pidof rundiags)' "
           "</dev/null >/dev/null 2>&1 &\r");
    g.send("exit\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 60000)) << g.dump();
    size_t before = g.serial_output().size();
    g.send("\x0c");
    ASSERT_TRUE(g.wait_until([&] { return g.serial_output().find("\x1b[?7l", before) != std::string::npos; }, 10000))
        << g.dump();
    ASSERT_TRUE(g.wait_text("rundiags has ended.", 60000)) << g.dump();
    // A line longer than the terminal wraps onto the next row.
    g.send("s=; for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17; do s=${s}WRAP-; done; echo \"$s\"\r");
    static const std::regex wrapped("(WRAP-){16}\\n(WRAP-)\\s*\\n");
    EXPECT_TRUE(g.wait_until([&] { return std::regex_search(g.vt().dump(), wrapped); }, 30000)) << g.dump();
    g.send("poweroff\r");
    EXPECT_TRUE(g.wait_exit(60000)) << g.dump();
}

} // namespace
