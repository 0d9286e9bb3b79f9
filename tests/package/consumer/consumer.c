/* A tiny host built against an installed quenlex: the header, the library and the version
 * header must all come from the install prefix. */
#include <quenlex.h>
#include <quenlex_version.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    char out[8] = {0};
    if (TEST(out) != 6 || strcmp(out, "DENEME") != 0) {
        fprintf(stderr, "consumer: TEST answered wrongly\n");
        return 1;
    }
    if (quenlex_open("/dev/quenlex-consumer-no-such-port", 9600) != 0 || quenlex_getError() != 2) {
        fprintf(stderr, "consumer: opening a missing device did not fail with error 2\n");
        return 1;
    }
    printf("consumer: quenlex %s answers TEST with %s\n", QUENLEX_VERSION_STRING, out);
    return 0;
}
