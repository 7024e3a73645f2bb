// The rack of the rack test: the two network namespaces rack_net.sh makes
// (a switch and the collector) and scripts/rack-server running in the
// collector's, as a child of the test. Both go away with the object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class Rack {
public:
    // `dir` is the collector's folder; `settings` go to rack-server after
    // its interface.
    Rack(const std::string &dir, const std::string &source_top, const std::vector<std::string> &settings);
    ~Rack();
    Rack(const Rack &) = delete;
    Rack &operator=(const Rack &) = delete;

    bool made() const { return ok; }
    std::string sw() const { return name + "-sw"; }
    std::string col() const { return name + "-col"; }

    // Starts the collector and waits until nginx answers: "" then, else why.
    std::string start();
    // Ends it as Ctrl-C would (dnsmasq and nginx with it).
    void stop();

    const std::string &dir() const { return folder; }
    std::string records() const { return folder + "/www/records"; }
    // rack-server's own lines and nginx's and dnsmasq's logs.
    std::string log() const;
    // What a shell command run in the collector's namespace writes.
    std::string at_collector(const std::string &cmd) const;

private:
    int net(const char *verb) const;

    std::string name, folder, top;
    std::vector<std::string> args;
    bool ok = false;
    pid_t server = -1;
};
