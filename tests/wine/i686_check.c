/* The smallest 32-bit Windows program: scripts/setup.sh runs it under Wine to
   learn whether this machine executes i686 code at all. */
#include <windows.h>
#include <stdio.h>

int main(void) {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    printf("i686 runs%s\n", wow64 ? " under WoW64" : "");
    return 0;
}
