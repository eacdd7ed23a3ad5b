/* Folds a 256 KiB table of pseudo-random words (load_table.S) into one value and prints it: a
 * load that misplaces, drops or repeats any block of the table prints another value. */
#include <stdint.h>
#include <stdio.h>

extern const uint32_t load_table[];
extern const uint32_t load_table_end[];

int main(void) {
    uint32_t fold = 0;
    for (const uint32_t* word = load_table; word < load_table_end; ++word)
        fold = fold * 31u + *word;
    printf("table fold %08lx\n", (unsigned long)fold);
    return 0;
}
