/* Prints the size of every public structure the Python package lays out again with ctypes, as
 * the compiler lays it out from the library's headers; the package's test compares them. */
#include <stddef.h>
#include <stdio.h>

#include "tovlink.h"

int main(void) {
    printf("TargetInfo %zu\n", sizeof(TargetInfo));
    printf("RegisterDescriptor %zu\n", sizeof(RegisterDescriptor));
    printf("ImageOptions %zu\n", sizeof(TOV_ImageOptions));
    printf("FlashOptions %zu\n", sizeof(TOV_FlashOptions));
    printf("FlashReport %zu\n", sizeof(TOV_FlashReport));
    printf("ConsoleCallbacks %zu\n", sizeof(TOV_ConsoleCallbacks));
    printf("RunResult %zu\n", sizeof(TOV_RunResult));
    return 0;
}
