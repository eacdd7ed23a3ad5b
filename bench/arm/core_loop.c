/* The emulated core's speed: touches PAGES pages of 4 KiB (one byte written in each, in a table
 * linked apart at 0x02000000 that takes no room in the file and that the start-up code leaves
 * alone), then runs an 8-instruction loop ITERATIONS times and exits. The same ELF runs under a
 * user-mode emulator for comparison. */
#include <stdio.h>

#ifndef PAGES
#define PAGES 1
#endif
#define ITERATIONS 250000000u

/* "nobits": the section is only reserved; the '@' makes the assembler ignore the flags the
 * compiler appends. */
__attribute__((section(".pages,\"aw\",%nobits @"))) static volatile unsigned char pages[PAGES][4096];

static unsigned spin(unsigned n) {
    unsigned a = 0, b = 1, c = 2;
    __asm__ volatile(
        "1:\n"
        "add %0, %0, #1\n"
        "add %1, %1, %0\n"
        "eor %2, %2, %1\n"
        "add %0, %0, %2\n"
        "sub %1, %1, #3\n"
        "orr %2, %2, #1\n"
        "subs %3, %3, #1\n"
        "bne 1b\n"
        : "+r"(a), "+r"(b), "+r"(c), "+r"(n)
        :
        : "cc");
    return a + b + c;
}

int main(void) {
    for (unsigned p = 0; p < PAGES; ++p) pages[p][p % 4096] = (unsigned char)p;
    printf("%u\n", spin(ITERATIONS));
    return 0;
}
