/* Reads one line from the debugger's console and echoes it. */
#include <stdio.h>

int main(void) {
    char line[80];
    printf("name? ");
    fflush(stdout);
    if (fgets(line, sizeof line, stdin) == NULL) {
        printf("no input\n");
        return 1;
    }
    printf("echo: %s", line);
    return 0;
}
