/* Ends with a status of its own. */
#include <stdlib.h>

int main(void) {
    exit(3);
}
