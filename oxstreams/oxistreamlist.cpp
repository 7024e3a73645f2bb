#include <algorithm>

#include "oxistreamlist.h"

OxIStreamList::~OxIStreamList()
{
    for (auto &m : members)
        if (m.owned)
            delete m.stream;
}

void OxIStreamList::append(OxStream *stream, bool owned)
{
    if (stream)
        members.push_back({stream, owned});
}

void OxIStreamList::unlink(OxStream *stream)
{
    // Never deletes: whoever unlinks a stream takes it back.
    members.erase(std::remove_if(members.begin(), members.end(), [&](const Member &m) { return m.stream == stream; }),
                  members.end());
}

int OxIStreamList::runonce(int ms)
{
    std::vector<OxStream *> list;
    list.reserve(members.size());
    for (auto &m : members)
        list.push_back(m.stream);
    return ox_wait_streams(list.data(), list.size(), ms);
}
