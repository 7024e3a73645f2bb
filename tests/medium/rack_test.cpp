// A rack on this machine: inside two network namespaces of its own (a
// switch, and the collector running scripts/rack-server: dnsmasq and
// nginx), an emulated server with two ports on the switch netboots the
// medium over DHCP and HTTP and runs unattended (advanced probe, a timed
// burn-in of a minute over a scratch disk and its own two ports, copy),
// while the collector is away for 10 s in the middle, to a complete record
// on the collector; two machines played on the host by the sim/ helpers
// send theirs to the same collector. Nothing leaves the namespaces.
//
// The netboot always runs. The unattended run and the uploads need the
// program's unattended mode and the medium's uploader: until the medium
// carries both, the test checks the netboot by hand from the guest's shell
// (the settings reached the system, one PUT from the guest reaches the
// collector) and says what it waits for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "guest.h"
#include "medium_util.h"
#include "rack.h"
#include "rack_scenario.h"

namespace {

constexpr int kBootMs = 300000;
const std::string kMachine = "RACK-0001";

std::string tests_dir() { return RUNDIAGS_MEDIUM_TESTS; }
std::string source_top() { return tests_dir() + "/../.."; }

// What is missing on this machine for the rack; "" when nothing.
std::string missing_tools()
{
    if (geteuid() != 0)
        return "root";
    for (const char *t : {"ip", "nginx", "dnsmasq", "curl", "zstd", "cpio", "chromium"})
        if (host_output(std::string("command -v ") + t).empty())
            return t;
    return "";
}

std::vector<std::string> rack_settings()
{
    return {"--medium", medium_dir(), "--kernel-args", "console=ttyS0,115200n8",
            "--set", "RUNDIAGS_STEPS=advanced,burnin,copy",
            "--set", "RUNDIAGS_BURNIN_TIME=1m",
            "--set", "RUNDIAGS_DESTROY=every-disk-but-the-boot-device",
            "--set", "RUNDIAGS_COUNTDOWN=3",
            "--set", "RUNDIAGS_AT_END=poweroff",
            "--set", "RUNDIAGS_UPLOAD_PATIENCE=300",
            "--set", "NETBURN_PASS_SECONDS=15",
            "--set", "NETBURN_RATE=200",
            "--set", "DISKBURN_GRACE_SECONDS=0"};
}

// The emulated server: BIOS with its console on the serial line, a scratch
// disk, the boot port (virtio-net, QEMU's iPXE ROM) and a second port
// (e1000), both on the switch; its serial number names its record.
std::vector<std::string> rack_server_args(const ScratchDir &d)
{
    make_image(d.file("scratch.img"), 64 << 20);
    std::vector<std::string> a = server_base();
    a[1] = "q35,graphics=off";
    a.insert(a.end(), {"-smbios", "type=1,serial=" + kMachine,
                       "-netdev", "tap,id=boot,ifname=tap0,script=no,downscript=no",
                       "-device", "virtio-net-pci,netdev=boot,mac=52:54:00:77:00:01,bootindex=0",
                       "-netdev", "tap,id=second,ifname=tap1,script=no,downscript=no",
                       "-device", "e1000,netdev=second,mac=52:54:00:77:00:02",
                       "-drive", "if=none,id=scratch,format=raw,file=" + d.file("scratch.img"),
                       "-device", "virtio-blk-pci,drive=scratch,serial=rack-scratch"});
    return a;
}

// Seconds from power-on to each step of the netboot, as iPXE and then the
// program show it on the serial line: the address from the rack's DHCP,
// the rack's script, the kernel and initramfs over HTTP, the program.
struct Timeline {
    double dhcp = -1, script = -1, initrd = -1, program = -1;
};

// `text`, and later `then` (iPXE's "... ok" may follow the percentages of
// a slow download).
bool raw_has(Guest &g, const std::string &text, const std::string &then = "")
{
    return g.wait_until([&] {
        size_t at = g.serial_output().find(text);
        return at != std::string::npos && g.serial_output().find(then, at + text.size()) != std::string::npos;
    }, kBootMs);
}

Timeline netboot(Guest &g)
{
    Timeline t;
    if (raw_has(g, "net0: 10.77.0."))
        t.dhcp = g.seconds();
    if (raw_has(g, "rack.ipxe : "))
        t.script = g.seconds();
    if (raw_has(g, "initrd.img...", "ok"))
        t.initrd = g.seconds();
    if (g.wait_text("ORVEX Compatibility and Diagnostics", kBootMs))
        t.program = g.seconds();
    return t;
}

// The netboot checked from the guest's shell while the unattended mode is
// not there: the settings reached the helpers' environment, the boot port
// got its address from the rack's DHCP and nginx takes a PUT from the
// guest, which the collector keeps byte for byte.
void netboot_by_hand(Guest &g, Rack &c)
{
    ASSERT_TRUE(g.wait_text("Main Menu", 60000)) << g.dump();
    ASSERT_EQ(quit_to_shell(g), "") << g.dump();
    EXPECT_EQ(shell_value(g, "$RUNDIAGS_STEPS $RUNDIAGS_BURNIN_TIME $RUNDIAGS_DESTROY $RUNDIAGS_NETBOOT"),
              "advanced,burnin,copy 1m every-disk-but-the-boot-device 1");
    EXPECT_EQ(shell_value(g, "$RUNDIAGS_RESULTS"), "http://10.77.0.1/records/");
    bool addressed = g.wait_until([&] {
        return shell_value(g, "$(grep -c 'netup: eth[0-9]* 10.77.0' /run/rundiags/netup.log)") == "1";
    }, 60000);
    ASSERT_TRUE(addressed) << shell_value(g, "$(cat /run/rundiags/netup.log | tr '\\n' ' ')");
    EXPECT_EQ(shell_value(g, "$(curl -sS -T /run/rundiags.env ${RUNDIAGS_RESULTS}netboot/rundiags.env"
                             " -o /dev/null -w %{http_code} 2>&1)"), "201");
    std::string kept = read_file(c.records() + "/netboot/rundiags.env");
    EXPECT_NE(kept.find("export RUNDIAGS_STEPS='advanced,burnin,copy'\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("export RUNDIAGS_DESTROY='every-disk-but-the-boot-device'\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("export RUNDIAGS_NETBOOT=1\n"), std::string::npos) << kept;
    EXPECT_EQ(shell_value(g, "$(sha256sum </run/rundiags.env)").substr(0, 64),
              checksum(c.records() + "/netboot/rundiags.env"));
    g.send("poweroff\r");
    EXPECT_TRUE(g.wait_exit(60000)) << g.dump();
}

TEST(Rack, NetbootsAndRunsUnattendedToTheCollector)
{
    if (std::string m = missing_tools(); !m.empty())
        GTEST_SKIP() << "the rack needs " << m;
    ScratchDir d;
    Rack c(d.file("collector"), source_top(), rack_settings());
    ASSERT_TRUE(c.made()) << "cannot make the rack's namespaces: " << read_file(d.file("collector.net.log"));
    ASSERT_EQ(c.start(), "") << c.log();

    Guest g(d.path(), rack_server_args(d), true, {"ip", "netns", "exec", c.sw()});
    ASSERT_TRUE(g.started()) << g.failure();
    Timeline t = netboot(g);
    std::printf("[ medium   ] rack netboot: DHCP %.1f s, rack.ipxe %.1f s, kernel and initramfs %.1f s, "
                "program %.1f s\n", t.dhcp, t.script, t.initrd, t.program);
    ASSERT_GE(t.program, 0) << g.dump() << c.log();
    std::string access = read_file(c.dir() + "/run/nginx-access.log");
    for (const char *f : {"GET /boot/rack.ipxe ", "GET /boot/vmlinuz ", "GET /boot/initrd.img "})
        EXPECT_NE(access.find(f), std::string::npos) << f << " is not in\n" << access;

    std::string waits = rack_waits_for(source_top());
    if (!waits.empty()) {
        netboot_by_hand(g, c);
        if (!HasFailure())
            GTEST_SKIP() << "the netboot passed; the unattended run waits for " << waits;
        return;
    }
    unattended_rack(g, c, d, kMachine, source_top());
}

} // namespace
