/* The one place the library's version is written down. CMake reads the numbers from
 * here, the Windows version resource includes this file, and hosts may use it too. */
#ifndef QUENLEX_VERSION_H
#define QUENLEX_VERSION_H

#define QUENLEX_VERSION_MAJOR 1
#define QUENLEX_VERSION_MINOR 0
#define QUENLEX_VERSION_PATCH 0
#define QUENLEX_VERSION_TWEAK 1
#define QUENLEX_VERSION_STRING "1.0.0.1"

#endif
