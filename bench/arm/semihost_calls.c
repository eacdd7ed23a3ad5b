/* The round trip of a semihosting call: CALLS clock requests (each a stop of the core, a service
 * on the host and a restart), then the exit. */
#ifndef CALLS
#define CALLS 0
#endif

static unsigned clockCall(void) {
    register unsigned op __asm__("r0") = 0x10; /* SYS_CLOCK */
    register unsigned arg __asm__("r1") = 0;
    __asm__ volatile("svc 0x123456" : "+r"(op) : "r"(arg) : "memory");
    return op;
}

int main(void) {
    for (unsigned i = 0; i < CALLS; ++i) clockCall();
    return 0;
}
