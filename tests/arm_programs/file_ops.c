/* Carries out the host file operations listed in "ops.txt", one a line: "read NAME",
   "write NAME", "remove NAME", "rename OLD NEW", "system COMMAND" (one word), and "hold NAME",
   which writes and flushes the file and then spins with it open. Prints each line with its
   outcome: "ok" or "refused" (system: its result). */
#include <stdio.h>
#include <string.h>

/* The C library's rename() goes through link() and unlink(), which the semihosting library
   lacks, and its system() fails without asking the host; the semihosting library's own
   _rename() and _system() make the host's calls. */
int _rename(const char* from, const char* to);
int _system(const char* command);

static char line[600];
static char op[16];
static char name[280];
static char other[280];

static int writeFile(const char* path, int hold) {
    FILE* f = fopen(path, "w");
    int ok = f != NULL && fputs("written\n", f) >= 0 && fflush(f) == 0;
    if (f && hold) {
        printf("hold %s: %s\n", path, ok ? "ok" : "refused");
        fflush(stdout);
        for (;;) {
        }
    }
    return f != NULL && fclose(f) == 0 && ok;
}

int main(void) {
    FILE* list = fopen("ops.txt", "r");
    if (!list) {
        printf("no ops.txt\n");
        return 1;
    }
    while (fgets(line, sizeof line, list)) {
        other[0] = '\0';
        if (sscanf(line, "%15s %279s %279s", op, name, other) < 2) continue;
        int ok = 0;
        if (strcmp(op, "read") == 0) {
            FILE* f = fopen(name, "r");
            ok = f != NULL && fgetc(f) != EOF;
            if (f) fclose(f);
        } else if (strcmp(op, "write") == 0 || strcmp(op, "hold") == 0) {
            ok = writeFile(name, strcmp(op, "hold") == 0);
        } else if (strcmp(op, "remove") == 0) {
            ok = remove(name) == 0;
        } else if (strcmp(op, "rename") == 0) {
            ok = _rename(name, other) == 0;
        } else if (strcmp(op, "system") == 0) {
            printf("system %s: %d\n", name, _system(name));
            continue;
        }
        printf("%s %s%s%s: %s\n", op, name, other[0] ? " " : "", other, ok ? "ok" : "refused");
    }
    fclose(list);
    printf("done\n");
    return 0;
}
