// Streams watched together: the one wait of a program's event loop.
#pragma once

#include <vector>

#include "oxstream.h"

// The list does not own its members unless asked.
class OxIStreamList : public OxStream {
public:
    ~OxIStreamList() override;
    void append(OxStream *stream, bool owned = false);
    void unlink(OxStream *stream);
    size_t count() const { return members.size(); }

    // Waits up to `ms` (-1: no limit) until a member has input, has reached
    // its end (until the caller has seen that end), or still holds a
    // complete line; lets each member take in its input. Returns the number
    // of members ready; 0 on timeout or interruption through the wake or kick
    // descriptor.
    int runonce(int ms) override;
    bool isok() const override { return true; }

private:
    struct Member {
        OxStream *stream;
        bool owned;
    };
    std::vector<Member> members;
};
