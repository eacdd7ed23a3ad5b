/* Runs until stopped: calls tick() for ever, which counts in a global. */
volatile unsigned ticks;

__attribute__((noinline)) void tick(void) {
    ticks = ticks + 1;
}

int main(void) {
    for (;;) tick();
}
