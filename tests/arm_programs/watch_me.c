/* Initialised globals to watch: a 12-byte struct written member by member and four counters;
   and a host command, which the server runs only when allowed. */
#include <stdio.h>
#include <stdlib.h>

struct point {
    int x, y, z;
};

/* The watch over the struct covers the aligned 16 bytes around it: the counters lie beyond. */
struct point origin __attribute__((aligned(16))) = {7, 8, 9};
volatile int a __attribute__((aligned(16))) = 10;
volatile int b = 20, c = 30, d = 40;

int main(void) {
    for (int i = 1; i <= 2; ++i) {
        a = i;
        b = i;
        c = i;
        d = i;
    }
    origin.x = 1;
    origin.y = 2;
    origin.z = 3;
    printf("origin %d %d %d system %d\n", origin.x, origin.y, origin.z, system("exit 0"));
    return 0;
}
