#include "oxstringlist.h"

#include <cstring>

void OxStringList::split(const OxString &text, const char *separators, int limit)
{
    std::string_view t = text.view();
    std::string_view seps(separators ? separators : "");
    auto issep = [&](char c) { return c != '\0' && seps.find(c) != std::string_view::npos; };
    size_t i = 0, n = t.size();
    int pieces = 0;
    while (i < n) {
        while (i < n && issep(t[i]))
            ++i;
        if (i >= n)
            break;
        if (limit > 0 && pieces == limit - 1) {
            items.emplace_back(t.substr(i));
            return;
        }
        size_t j = i;
        while (j < n && !issep(t[j]))
            ++j;
        items.emplace_back(t.substr(i, j - i));
        ++pieces;
        i = j;
    }
}

OxString OxStringList::popstr()
{
    if (items.empty())
        return OxString();
    OxString first = std::move(items.front());
    items.pop_front();
    return first;
}
