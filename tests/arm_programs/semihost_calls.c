/* Makes many semihosting calls, one character each (SYS_WRITEC), to measure how fast the
 * debugger serves them: as many as its first argument says (100 without one). */
#include <stdlib.h>

static void writeCharacter(char c) {
    register int operation __asm__("r0") = 3;
    register const char* argument __asm__("r1") = &c;
#ifdef __thumb__
    __asm__ volatile("svc 0xab" : "+r"(operation) : "r"(argument) : "memory");
#else
    __asm__ volatile("svc 0x123456" : "+r"(operation) : "r"(argument) : "memory");
#endif
}

int main(int argc, char** argv) {
    const int calls = argc > 1 ? atoi(argv[1]) : 100;
    for (int i = 1; i <= calls; ++i) writeCharacter(i % 64 == 0 ? '\n' : '.');
    writeCharacter('\n');
    return 0;
}
