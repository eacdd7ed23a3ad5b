/* Works on host files in the directory named by its first argument: creates, writes, seeks,
   reads back, measures, renames and removes one file, and leaves a second one for inspection. */
#include <stdio.h>
#include <string.h>

/* The C library's rename() goes through link() and unlink(), which the semihosting library
   lacks; its own _rename() makes the host's rename call. */
int _rename(const char* from, const char* to);

static char path[256];
static char other[256];

static const char* in(const char* dir, const char* name, char* out) {
    snprintf(out, 256, "%s/%s", dir, name);
    return out;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        printf("usage: file_io DIR\n");
        return 1;
    }
    FILE* f = fopen(in(argv[1], "scratch.txt", path), "w+");
    if (!f) {
        printf("cannot create %s\n", path);
        return 1;
    }
    fputs("0123456789abcdef", f);
    fseek(f, 4, SEEK_SET);
    char part[5] = {0};
    size_t got = fread(part, 1, 4, f);
    fseek(f, 0, SEEK_END);
    long length = ftell(f);
    fclose(f);
    printf("read %u bytes: %s, length %ld\n", (unsigned)got, part, length);

    if (_rename(path, in(argv[1], "renamed.txt", other)) != 0) printf("rename failed\n");
    if (fopen(path, "r") != NULL) printf("old name still there\n");
    if (remove(other) != 0) printf("remove failed\n");

    FILE* kept = fopen(in(argv[1], "kept.bin", path), "wb");
    static const unsigned char bytes[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF, '\n', '\r'};
    fwrite(bytes, 1, sizeof bytes, kept);
    fclose(kept);
    printf("done\n");
    return 0;
}
