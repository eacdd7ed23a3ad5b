/* A program to debug from a source-level debugger: a global, a function with a local, a loop,
   console output and a normal exit. */
#include <stdio.h>

int total;

int add(int value) {
    int doubled = value * 2;
    total = total + doubled;
    return doubled;
}

int main(void) {
    int sum = 0;
    for (int i = 1; i <= 3; ++i) {
        sum += add(i);
    }
    printf("sum %d total %d\n", sum, total);
    return 0;
}
