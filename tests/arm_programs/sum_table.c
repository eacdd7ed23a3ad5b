/* Sums a 16 MiB table of constants (linked at 0x01000000, well clear of the stack) and prints
 * the sum: the program only fits a target whose whole memory the core reaches. */
#include <stdio.h>

#define WORDS (4u * 1024u * 1024u)

__attribute__((section(".table"))) const unsigned table[WORDS] = {
    [0 ... WORDS / 4 - 1] = 1,
    [WORDS / 4 ... WORDS / 2 - 1] = 3,
    [WORDS / 2 ... WORDS - 2] = 7,
    [WORDS - 1] = 0x1000,
};

__attribute__((noinline)) unsigned sum(const volatile unsigned* words, unsigned count) {
    unsigned total = 0;
    for (unsigned i = 0; i < count; ++i) total += words[i];
    return total;
}

int main(void) {
    printf("sum %u\n", sum(table, WORDS));
    return 0;
}
