// Received bytes go to standard output exactly as they came.
#ifndef QUENLEX_TOOLS_RAW_OUTPUT_H
#define QUENLEX_TOOLS_RAW_OUTPUT_H

namespace quenlex_cli {

// On Windows, standard output turns "\n" into "\r\n" unless it is switched to binary;
// elsewhere there is nothing to do.
void make_stdout_binary();

}  // namespace quenlex_cli

#endif
