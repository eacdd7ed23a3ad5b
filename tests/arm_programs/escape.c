/* Tries to reach host files outside its directory and reports what it got; makes one file
   inside. */
#include <stdio.h>

int main(void) {
    FILE* up = fopen("../outside", "w");
    FILE* system_file = fopen("/etc/passwd", "r");
    FILE* inside = fopen("inside.txt", "w");
    if (inside) {
        fputs("kept\n", inside);
        fclose(inside);
    }
    printf("up %s, passwd %s, inside %s\n", up ? "opened" : "refused",
           system_file ? "opened" : "refused", inside ? "opened" : "refused");
    return 0;
}
