// The whole program on an emulated server booted straight from the kernel
// and initramfs: scratch virtio disks, a SATA disk on AHCI, an e1000 and a
// virtio-net port on one QEMU hub (their frames reach each other and nothing
// leaves this machine), a floppy drive with a blank disk, ttyS0 as console.
// One boot serves the suite; its tests run in this order, each starting
// and ending at the main menu.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "guest.h"
#include "medium_util.h"

namespace {

constexpr int kBootMs = 180000;
constexpr off_t kScratch = 128 << 20;

class Server : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new ScratchDir;
        for (const char *f : {"vd1.img", "vd2.img", "sata.img"})
            make_image(dir->file(f), kScratch);
        make_image(dir->file("floppy.img"), 1474560);
        std::vector<std::string> a = server_base();
        std::vector<std::string> more = {
            "-kernel", medium_file("vmlinuz"), "-initrd", medium_file("initrd.img"),
            "-append", "console=ttyS0,115200n8 quiet rundiags.NETBURN_PASS_SECONDS=4 rundiags.NETBURN_RATE=1000",
            "-drive", "if=none,id=vd1,format=raw,file=" + dir->file("vd1.img"),
            "-device", "virtio-blk-pci,drive=vd1,serial=SCRATCH1",
            "-drive", "if=none,id=vd2,format=raw,file=" + dir->file("vd2.img"),
            "-device", "virtio-blk-pci,drive=vd2,serial=SCRATCH2",
            "-drive", "if=none,id=sata,format=raw,file=" + dir->file("sata.img"),
            "-device", "ide-hd,bus=ide.0,drive=sata,serial=SATA0001,model=QEMU SATA scratch",
            "-drive", "if=none,id=fd,format=raw,file=" + dir->file("floppy.img"),
            "-device", "isa-fdc,id=fdc0", "-device", "floppy,drive=fd,drive-type=144",
            "-netdev", "hubport,id=hp1,hubid=0", "-device", "e1000,netdev=hp1,id=nic-e1000,mac=52:54:00:12:00:01",
            "-netdev", "hubport,id=hp2,hubid=0", "-device", "virtio-net-pci,netdev=hp2,id=nic-virtio,mac=52:54:00:12:00:02",
        };
        a.insert(a.end(), more.begin(), more.end());
        guest = new Guest(dir->path(), a);
        if (guest->started())
            booted = guest->wait_text("Main Menu", kBootMs);
        std::printf("[ medium   ] direct kernel boot: main menu after %.1f s\n", guest->seconds());
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

    static ScratchDir *dir;
    static Guest *guest;
    static bool booted;
    static std::string e1000_port;   // its interface name, from the probe's log
};
ScratchDir *Server::dir = nullptr;
Guest *Server::guest = nullptr;
bool Server::booted = false;
std::string Server::e1000_port;

TEST_F(Server, BootsToTheMainMenuOnTtyS0At80x25)
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

TEST_F(Server, BasicCompatibilityNamesTheEmulatedServer)
{
    Guest &g = *guest;
    Summary s = run_compat(g, 0);
    ASSERT_TRUE(s.finished) << g.dump();
    EXPECT_NE(s.text.find("QEMU"), std::string::npos) << s.text;          // the CPU model
    EXPECT_TRUE(std::regex_search(s.text, std::regex("Memory:.*[0-9]"))) << s.text;
    EXPECT_NE(s.text.find("ttyS0"), std::string::npos) << s.text;
    EXPECT_NE(s.text.find("e1000"), std::string::npos) << s.text;
    EXPECT_NE(s.text.find("virtio"), std::string::npos) << s.text;
    EXPECT_NE(s.text.find("vda"), std::string::npos) << s.text;
    EXPECT_NE(s.text.find("sda"), std::string::npos) << s.text;
    leave_to_menu(g);
}

TEST_F(Server, AdvancedCompatibilityReadsSmart)
{
    Guest &g = *guest;
    Summary s = run_compat(g, 1);
    ASSERT_TRUE(s.finished) << g.dump();
    EXPECT_NE(s.text.find("e1000"), std::string::npos) << s.text;
    EXPECT_NE(s.text.find("sda"), std::string::npos) << s.text;
    leave_to_menu(g);
}

TEST_F(Server, BurnInPassesAndLeavesThePatternOnTheDisks)
{
    Guest &g = *guest;
    ASSERT_TRUE(start_burnin(g)) << g.dump();
    // A full disk pass is done when diskburn has been started again.
    g.wait_until([&] { return disk_loop(g) >= 2 || g.row(3).find("FAIL") != std::string::npos; }, 300000);
    ASSERT_GE(disk_loop(g), 2) << g.dump();
    EXPECT_EQ(g.row(3).find("FAIL"), std::string::npos) << g.dump();
    // Long enough for two network passes of 4 s as well.
    g.settle(10000, 10000);
    EXPECT_EQ(g.row(4).find("FAIL"), std::string::npos) << g.dump();
    EXPECT_EQ(g.row(4).find("BAD"), std::string::npos) << g.dump();
    stop_burnin(g);
    ASSERT_TRUE(g.wait_text("** PASSED - Press Enter When Done **", 120000)) << g.dump();
    for (const char *f : {"vd1.img", "vd2.img", "sata.img"})
        EXPECT_EQ(pattern_problem(dir->file(f)), "") << f;
    g.send("\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();
}

TEST_F(Server, FloppyHoldsTheReportsAndThisRunsLogs)
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
    std::string burn = floppy_file(img, "burnin.log");
    EXPECT_GE(count_of(burn, "Network: Pass complete"), 2u) << burn;
    EXPECT_GE(count_of(burn, ": verified in"), 3u) << burn;
    EXPECT_NE(burn.find("   Disk: PASSED"), std::string::npos) << burn;
    EXPECT_NE(burn.find("Network: PASSED"), std::string::npos) << burn;
    std::string basic = floppy_file(img, "compat.log");
    std::string adv = floppy_file(img, "compat-a.log");
    EXPECT_EQ(basic.find("UNSUPPORTED"), std::string::npos) << basic;
    EXPECT_EQ(adv.find("UNSUPPORTED"), std::string::npos) << adv;
    // The SATA disk answers SMART; its health is read and good (in the
    // verdict lines of its DISK entry, before the next entry).
    auto sda = adv.find(" - sda (");
    ASSERT_NE(sda, std::string::npos) << adv;
    std::string entry = adv.substr(sda, adv.find("\nDISK:", sda) - sda);
    EXPECT_NE(entry.find("SMART health PASSED"), std::string::npos) << entry;
    std::smatch m;
    if (std::regex_search(basic, m, std::regex("NETWORK: .*, ([a-z0-9]+) \\(e1000\\)")))
        e1000_port = m[1];
    EXPECT_NE(e1000_port, "") << basic;
    std::string report = floppy_file(img, "report.txt");
    EXPECT_NE(report.find("QEMU"), std::string::npos) << report;
    std::string json = floppy_file(img, "report.json");
    EXPECT_EQ(json.substr(0, 1), "{") << json;
}

TEST_F(Server, BurnInFailsNamingAPortWithoutLink)
{
    Guest &g = *guest;
    g.command("set_link nic-e1000 off");
    ASSERT_TRUE(start_burnin(g)) << g.dump();
    ASSERT_TRUE(g.wait_text("FAILED (code", 120000)) << g.dump();
    EXPECT_NE(g.row(4).find("FAIL"), std::string::npos) << g.dump();
    // The port is named in the Details list, the netburn line that says
    // why the pass failed.
    EXPECT_TRUE(g.has_text("Network: Port " + (e1000_port.empty() ? "eth" : e1000_port))) << g.dump();
    stop_burnin(g);
    ASSERT_TRUE(g.wait_text("** FAILED - Press Enter When Done **", 120000)) << g.dump();
    EXPECT_TRUE(g.has_text("Network: FAILED (code 4)")) << g.dump();
    EXPECT_TRUE(g.has_text("   Disk: PASSED")) << g.dump();
    g.command("set_link nic-e1000 on");
    g.send("\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 30000)) << g.dump();
}

TEST_F(Server, QuitGivesAShellExitGivesTheMenuPoweroffEnds)
{
    Guest &g = *guest;
    ASSERT_EQ(quit_to_shell(g), "") << g.dump();
    EXPECT_TRUE(g.has_text("exit       returns to the rundiags menu")) << g.dump();
    EXPECT_TRUE(g.has_text("poweroff   switches the machine off")) << g.dump();
    // The helpers' settings from the kernel command line, and no boot
    // device for a kernel that was not booted from the medium.
    g.send("echo \"rate=[$NETBURN_RATE] boot=[$DISKBURN_BOOT_DEVICE]\"\r");
    EXPECT_TRUE(g.wait_text("rate=[1000] boot=[]", 30000)) << g.dump();
    g.send("exit\r");
    ASSERT_TRUE(g.wait_text("Main Menu", 60000)) << g.dump();
    ASSERT_EQ(quit_to_shell(g), "") << g.dump();
    g.send("poweroff\r");
    EXPECT_TRUE(g.wait_exit(60000)) << g.dump();
}

} // namespace
