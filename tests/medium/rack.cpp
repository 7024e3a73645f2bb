#include "rack.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "files.h"
#include "medium_util.h"

Rack::Rack(const std::string &dir, const std::string &source_top, const std::vector<std::string> &settings)
    : name("rk" + std::to_string(getpid())), folder(dir), top(source_top), args(settings)
{
    net("down");   // what a killed earlier run of this process id left
    ok = net("up") == 0;
}

Rack::~Rack()
{
    stop();
    net("down");
}

int Rack::net(const char *verb) const
{
    std::string cmd = top + "/tests/medium/rack_net.sh " + verb + " " + name + " >>'" + folder + ".net.log' 2>&1";
    return std::system(cmd.c_str());
}

std::string Rack::start()
{
    if (server > 0)
        return "";
    std::vector<std::string> argv = {"ip", "netns", "exec", col(), top + "/scripts/rack-server", folder,
                                     "--interface", "c0"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out = folder + ".log";
    server = spawn_logged(argv, out, true);
    for (int i = 0; i < 100; i++) {
        if (at_collector("curl -s -o /dev/null -w %{http_code} http://10.77.0.1/boot/rack.ipxe") == "200")
            return "";
        if (waitpid(server, nullptr, WNOHANG) == server) {
            server = -1;
            return "rack-server ended";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return "nginx did not answer within 20 s";
}

void Rack::stop()
{
    if (server <= 0)
        return;
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    server = -1;
}

std::string Rack::log() const
{
    return "--- rack-server:\n" + read_file(folder + ".log") + "--- nginx:\n" +
           read_file(folder + "/run/nginx-error.log") + "--- dnsmasq:\n" + read_file(folder + "/run/dnsmasq.log");
}

std::string Rack::at_collector(const std::string &cmd) const
{
    std::string quoted;
    for (char c : cmd)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return host_output("ip netns exec " + col() + " sh -c '" + quoted + "' 2>&1");
}
