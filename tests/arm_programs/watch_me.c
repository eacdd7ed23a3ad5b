/* Initialised globals to watch: a 12-byte struct written member by member and four counters;
   and a host command, which the server runs only when allowed. */
#include <stdio.h>
#include <string.h>

/* The semihosting host-command call itself (the C library's system() may not make it). */
#ifdef __thumb__
#define SEMIHOSTING_CALL "svc 0xab"
#else
#define SEMIHOSTING_CALL "svc 0x123456"
#endif

static int host_command(const char* command) {
    int block[2] = {(int)command, (int)strlen(command)};
    register int r0 __asm__("r0") = 0x12;
    register int* r1 __asm__("r1") = block;
    __asm__ volatile(SEMIHOSTING_CALL : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

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
    printf("origin %d %d %d system %d\n", origin.x, origin.y, origin.z, host_command("exit 0"));
    return 0;
}
