/* Prints a greeting on the debugger's console. */
#include <stdio.h>

int main(void) {
    printf("Hello, world!\n");
    return 0;
}
