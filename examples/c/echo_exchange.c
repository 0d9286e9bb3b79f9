/*
 * echo_exchange: sends one command to a device on a serial port and prints its reply.
 *
 *   echo_exchange PORT [COMMAND]
 *
 * PORT is a device name as the platform knows it (COM3, \\.\COM12, /dev/ttyUSB0). COMMAND
 * (default AT) is sent followed by a carriage return. The reply is printed with control and
 * non-ASCII bytes escaped. Exit status 0 when a reply came, 1 otherwise.
 *
 * Build on Linux: cc -std=c99 examples/c/echo_exchange.c -I include -L build/linux -lquenlex
 */
#include <stdio.h>
#include <string.h>

#include "quenlex.h"

enum {
    BAUD_RATE = 115200,
    /* The longest command this program sends, carriage return included. */
    COMMAND_MAX = 250,
    /* Room for the longest reply expected. After its first byte, quenlex_read waits up to
     * 3 ms for each further byte the buffer could take, so a buffer close to the reply's size
     * returns soonest. */
    CHUNK_SIZE = 64,
    REPLY_MAX = 1024,
    /* quenlex_read waits only 5 ms for a first byte, so it is called again and again: 400
     * empty reads in a row (about 2 seconds without a byte) end the wait for a reply. */
    QUIET_READS_MAX = 400
};

/* Prints bytes as a quoted C string, so zero bytes, line ends and bytes above 0x7F show. */
static void print_quoted(const char *label, const char *bytes, int count) {
    int i;
    printf("%s \"", label);
    for (i = 0; i < count; ++i) {
        unsigned char c = (unsigned char)bytes[i];
        if (c == '\r') {
            fputs("\\r", stdout);
        } else if (c == '\n') {
            fputs("\\n", stdout);
        } else if (c == '\\' || c == '"') {
            printf("\\%c", c);
        } else if (c >= 0x20 && c < 0x7F) {
            putchar(c);
        } else {
            printf("\\x%02x", c);
        }
    }
    puts("\"");
}

/* Reports the failed call with the error code it left; asked at once, on this thread. */
static int fail(const char *call) {
    fprintf(stderr, "%s failed: error %d\n", call, quenlex_getError());
    return 1;
}

/* Collects a reply ending with a line feed into reply[0..REPLY_MAX) and returns its length;
 * 0 when none came or a read failed (then *failed is set). */
static int collect_reply(char *reply, int *failed) {
    /* A 0 from quenlex_read means silence or failure; only a new error code tells them apart,
     * since successful calls leave the code as it was. */
    const int code_before = quenlex_getError();
    char chunk[CHUNK_SIZE];
    int length = 0;
    int quiet_reads = 0;
    *failed = 0;
    while (length < REPLY_MAX && quiet_reads < QUIET_READS_MAX) {
        int count = quenlex_read(chunk, (int)sizeof chunk);
        if (count == 0) {
            if (quenlex_getError() != code_before) {
                *failed = 1;
                return 0;
            }
            ++quiet_reads;
            continue;
        }
        quiet_reads = 0;
        /* The count, not strlen: the reply may hold zero bytes. */
        if (count > REPLY_MAX - length) {
            count = REPLY_MAX - length;
        }
        memcpy(reply + length, chunk, (size_t)count);
        length += count;
        if (reply[length - 1] == '\n') {
            break;
        }
    }
    return length;
}

int main(int argc, char **argv) {
    const char *port;
    const char *text;
    size_t text_length;
    char command[COMMAND_MAX + 1];
    char check[7];
    char reply[REPLY_MAX];
    int length;
    int failed;

    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s PORT [COMMAND]\n", argv[0]);
        return 2;
    }
    port = argv[1];
    text = argc == 3 ? argv[2] : "AT";
    text_length = strlen(text);
    if (text_length >= COMMAND_MAX) {
        fprintf(stderr, "command too long\n");
        return 2;
    }
    memcpy(command, text, text_length);
    command[text_length] = '\r';
    command[text_length + 1] = '\0';

    /* TEST needs no port: it shows the library is there and answers. */
    if (TEST(check) != 6) {
        fprintf(stderr, "TEST gave an unexpected result\n");
        return 1;
    }
    printf("library says \"%s\"\n", check);

    if (!quenlex_open(port, BAUD_RATE)) {
        return fail("quenlex_open");
    }
    printf("opened %s at %d baud\n", port, BAUD_RATE);

    if (!quenlex_write(command)) {
        int status = fail("quenlex_write");
        quenlex_close();
        return status;
    }
    print_quoted("sent", command, (int)strlen(command));

    length = collect_reply(reply, &failed);
    if (failed) {
        int status = fail("quenlex_read");
        quenlex_close();
        return status;
    }
    quenlex_close();
    if (length == 0) {
        fprintf(stderr, "no reply\n");
        return 1;
    }
    print_quoted("reply", reply, length);
    return 0;
}
