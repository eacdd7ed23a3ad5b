/* 65536 words of the linear congruential sequence x' = x * 1103515245 + 12345 (mod 2^32) from
 * x = 1, for load_table.c. */
    .section .rodata
    .balign 4
    .global load_table, load_table_end
load_table:
    .set value, 1
    .rept 65536
    .word value
    .set value, (value * 1103515245 + 12345) & 0xffffffff
    .endr
load_table_end:
