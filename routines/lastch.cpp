#include "routines/lastch.hpp"

namespace routines {

int lastch(const char* s, int n)
{
    for (int i = n; i >= 1; --i)
        if (s[i - 1] != ' ') return i;
    return 0;
}

}  // namespace routines
