// Ordered lists of text values.
#pragma once

#include <cstddef>
#include <deque>

#include "oxstring.h"

class OxListBase {
public:
    virtual ~OxListBase() = default;
    virtual size_t count() const = 0;
};

// Items are reachable by index in constant time: scrolling lists with a
// million lines index into one on every redraw.
class OxStringList : public OxListBase {
public:
    size_t count() const override { return items.size(); }
    bool empty() const { return items.empty(); }

    // Appends the pieces of text between separator bytes; runs of separators
    // give no empty piece. limit > 0 stops after that many pieces, the last one
    // then holding the rest of the text; 0 means no limit.
    void split(const OxString &text, const char *separators, int limit = 0);
    // Removes and returns the first item (the empty text when there is none).
    OxString popstr();

    void append(const OxString &text) { items.push_back(text); }
    const OxString &operator[](size_t i) const { return items[i]; }
    OxString &operator[](size_t i) { return items[i]; }
    void clear() { items.clear(); }

    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }

private:
    std::deque<OxString> items;
};
