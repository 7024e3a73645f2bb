#include "oxstream.h"

// Without a target the clone is an ended stream that takes no output.

bool OxStreamClone::isok() const { return clone && clone->isok(); }
int OxStreamClone::geterr() const { return clone ? clone->geterr() : 0; }
int OxStreamClone::getrfd() const { return clone ? clone->getrfd() : -1; }
int OxStreamClone::getwfd() const { return clone ? clone->getwfd() : -1; }

bool OxStreamClone::getline(OxString &line, int waitms, char sep, size_t readahead)
{
    return clone && clone->getline(line, waitms, sep, readahead);
}

bool OxStreamClone::isreadable() { return clone && clone->isreadable(); }

bool OxStreamClone::select(int ms, bool readable, bool writable, bool exception)
{
    return clone && clone->select(ms, readable, writable, exception);
}

size_t OxStreamClone::read(OxDynBuf &buf, size_t max) { return clone ? clone->read(buf, max) : 0; }
bool OxStreamClone::write(const char *data, size_t n) { return clone && clone->write(data, n); }

void OxStreamClone::delay_output(bool on)
{
    if (clone)
        clone->delay_output(on);
}

bool OxStreamClone::flush(int waitms) { return clone && clone->flush(waitms); }

int OxStreamClone::runonce(int ms)
{
    // Waits through our own hooks so that a subclass that overrides them
    // (or isok) is honoured.
    OxStream *self = this;
    return ox_wait_streams(&self, 1, ms);
}

bool OxStreamClone::ready_now() const { return clone && clone->ready_now(); }

void OxStreamClone::pre_select(std::vector<pollfd> &fds)
{
    if (clone)
        clone->pre_select(fds);
}

void OxStreamClone::post_select(const pollfd *fds, size_t n)
{
    if (clone)
        clone->post_select(fds, n);
}

int OxStreamClone::next_timeout_ms() const { return clone ? clone->next_timeout_ms() : -1; }
