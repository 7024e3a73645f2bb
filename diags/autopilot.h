// Unattended runs: the settings' steps walked through the operator's own
// screens, each question answered after a countdown with the key an
// operator would press, in a window of the automation's own; any key on
// the terminal takes over. Also the timed burn-in's clock and the live
// state file, which work without the automation too.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "eventagent.h"
#include "ovlwin.h"
#include "racksettings.h"

// What the live state file tells of the program.
struct LiveState {
    std::string step = "menu";
    std::string network, disk, message, verdict;
    std::string at_end;   // "poweroff" or "reboot" once an unattended run ends so
    int netpass = 0, diskpass = 0;
    long long time_left = -1;
};

class Autopilot : public EventAgent {
public:
    explicit Autopilot(RackSettings settings);
    ~Autopilot() override;

    const RackSettings &settings() const { return set; }
    // The main menu waits for a choice: the next step's entry, or the end.
    void at_menu();
    // A question waits: answered with `key` after the countdown. A
    // question that leaves a step's last screen is not answered after the
    // last step when the run is to stay there.
    void question(const char *what, int key, bool leaves = false);
    // Before the burn-in's first question: what diskburn will destroy and
    // leave out, as its listing says, shown for the countdown to read.
    void list_disks();
    // What the program is at, for the window and the state file.
    LiveState &state() { return live; }
    void publish(bool now = false);
    // Seconds the burn-in has left (-1: not timed or not running).
    void time_left(long long seconds);
    // The program ends: the state file says what the medium is to do.
    void at_exit();

    long long due() const override;
    void supply(std::vector<Event> &out) override;
    bool intercept(const Event &key) override;
    void overlay(bool on) override;

private:
    void plan(const std::string &what, std::vector<int> keys, int seconds);
    void stop(const std::string &why);
    std::string bar() const;
    void show_bar();
    void show_disks();

    RackSettings set;
    bool on;
    size_t nextstep = 0;
    std::vector<int> planned;
    std::string doing;
    long long answer_at = -1;
    long long lastwrite = 0;
    std::string lastjson;
    std::string automation;
    std::vector<std::string> disks;
    LiveState live;
    bool unwritten = false;
    std::unique_ptr<PlWin> barwin;
    std::unique_ptr<OvlWin> diskwin;
};

// The program's one automation; nullptr when no setting asks for one.
extern Autopilot *autopilot;

// Where a screen asks a question: the automation's answer to it, when one runs.
void autopilot_answer(const char *what, int key, bool leaves = false);
