#include "Actor.h"

namespace Actor {

namespace {
Who g_who;
bool g_set = false;
} // namespace

void set(const Who &who)
{
    g_who = who;
    g_set = true;
}

void clear()
{
    g_who = Who();
    g_set = false;
}

const Who &current() { return g_who; }
bool isSet() { return g_set; }

} // namespace Actor
