/*
 * quenlex: simple, exact access to one serial port through nine plain C functions.
 *
 * Every function returns 0 on failure; quenlex_getError(), asked on the same thread right
 * after the failing call, gives the Win32 error code behind it (on POSIX, the same codes
 * mapped from errno). The library holds one port per process and expects one call at a
 * time; TEST and quenlex_getError may be called at any time from any thread.
 *
 * Calling convention: on 32-bit Windows every function is __cdecl (the caller removes the
 * arguments), unlike the Win32 API's own __stdcall. Hosts declaring the functions by hand
 * must say so (C#: CallingConvention.Cdecl; Python: ctypes.CDLL; Delphi: cdecl).
 */
#ifndef QUENLEX_H
#define QUENLEX_H

#if defined(QUENLEX_BUILDING) && defined(QUENLEX_STATIC)
#error "Define either QUENLEX_BUILDING or QUENLEX_STATIC, not both"
#endif

#if defined(_WIN32)
#define QUENLEX_CALL __cdecl
#if defined(QUENLEX_STATIC)
#define QUENLEX_API
#elif defined(QUENLEX_BUILDING)
#define QUENLEX_API __declspec(dllexport)
#else
#define QUENLEX_API __declspec(dllimport)
#endif
#else
#define QUENLEX_CALL
#if defined(QUENLEX_BUILDING) && defined(__GNUC__)
#define QUENLEX_API __attribute__((visibility("default")))
#else
#define QUENLEX_API
#endif
#endif

#ifdef __cplusplus
#define QUENLEX_NOEXCEPT noexcept
extern "C" {
#else
#define QUENLEX_NOEXCEPT
#endif

/* Returns the calling thread's last error code (Win32 numbering), unchanged. */
QUENLEX_API int QUENLEX_CALL quenlex_getError(void) QUENLEX_NOEXCEPT;

/* Returns 1 when the named device can be opened now (a query-only open and close), else 0. */
QUENLEX_API int QUENLEX_CALL quenlex_available(const char *portName) QUENLEX_NOEXCEPT;

/* Closes the open port, if any; returns nothing. */
QUENLEX_API void QUENLEX_CALL quenlex_close(void) QUENLEX_NOEXCEPT;

/* Shows the port settings dialog and applies what it leaves; returns 1, or 0 when the
 * port could not be opened or its configuration could not be read. */
QUENLEX_API int QUENLEX_CALL quenlex_configure(const char *portName) QUENLEX_NOEXCEPT;

/* Writes "DENEME" and a zero byte into out (7 bytes) and returns 6; returns 0 for NULL. */
QUENLEX_API int QUENLEX_CALL TEST(char *out) QUENLEX_NOEXCEPT;

/* Opens the port exclusively at baudRate, 8N1, fixed time-outs; returns 1, or 0 on failure. */
QUENLEX_API int QUENLEX_CALL quenlex_open(const char *portName, int baudRate) QUENLEX_NOEXCEPT;

/* Returns the count of bytes received into buffer (1 to bufferSize - 1, zero-terminated),
 * or 0 when nothing came within 5 ms or the read failed. */
QUENLEX_API int QUENLEX_CALL quenlex_read(char *buffer, int bufferSize) QUENLEX_NOEXCEPT;

/* Waits for one byte and returns it sign-extended (0xFF gives -1); 0 on failure. */
QUENLEX_API int QUENLEX_CALL quenlex_readChar(void) QUENLEX_NOEXCEPT;

/* Sends text without its terminator; returns nonzero when all of it was handed over, else 0. */
QUENLEX_API int QUENLEX_CALL quenlex_write(const char *text) QUENLEX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QUENLEX_H */
