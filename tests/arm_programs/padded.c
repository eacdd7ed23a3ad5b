/* Prints a table the linker puts on its own 4-KiB boundary: the bytes between the sections before
   it and the table lie inside the program's segment but belong to no section. */
#include <stdio.h>

__attribute__((section(".padded"), aligned(4096), used)) static const char table[] =
    "aligned table";

int main(void) {
    printf("%s at %p\n", table, (const void*)table);
    return 0;
}
