// What the port settings dialog offers, how it reads the user's answers, and how the
// answers map onto the line state. No terminal here: the conversation is in
// config_dialog.cpp, the terminal in dialog_terminal.cpp.
#ifndef QUENLEX_POSIX_DIALOG_SETTINGS_H
#define QUENLEX_POSIX_DIALOG_SETTINGS_H

#include <cstddef>

#include "serial_device/serial_device.h"

namespace quenlex::posix::dialog {

// The flow control modes on offer; kOther is a mix of DCB flags none of them describes
// (set by a program, never by the dialog), which the dialog keeps unless the user picks a mode.
enum class Flow { kNone, kRtsCts, kXonXoff, kOther };

// The speeds offered, in bit/s, ascending.
extern const DWORD kSpeeds[];
extern const std::size_t kSpeedCount;

// The flow control a line state amounts to, as the line state layer reports the modes.
Flow flow_of(const DCB &dcb);

// Sets the flow control fields of the line state for kNone, kRtsCts or kXonXoff: the
// record then reads back as that mode through flow_of() and through the device.
void set_flow(DCB &dcb, Flow flow);

// Each parser takes a trimmed answer and returns true with the value for an acceptable one.
// Words are accepted in any case and by their first letter where that is unambiguous.
bool parse_speed(const char *answer, DWORD current, DWORD &speed);  // current is accepted too
bool parse_data_bits(const char *answer, BYTE &data_bits);
bool parse_parity(const char *answer, BYTE &parity);
bool parse_stop_bits(const char *answer, BYTE &stop_bits);
bool parse_flow(const char *answer, Flow &flow);
bool parse_yes_no(const char *answer, bool &yes);  // an empty answer is "no"

// Whether the values can stand in a record at all.
bool speed_valid(DWORD speed);
bool data_bits_valid(BYTE data_bits);
bool parity_valid(BYTE parity);
// 1.5 stop bits go with 5 data bits only, 2 stop bits with 6 to 8.
bool stop_bits_fit(BYTE data_bits, BYTE stop_bits);

// Display names; "?" for a value the record should not hold.
const char *parity_name(BYTE parity);
const char *stop_bits_name(BYTE stop_bits);
const char *flow_name(Flow flow);

// Copies text into out (of size bytes, always terminated) with every byte that is not
// printable ASCII shown as '?' and an over-long text cut short with "...": a device name
// is shown on the user's terminal and must not carry escape sequences to it.
void printable_copy(const char *text, char *out, std::size_t size);

}  // namespace quenlex::posix::dialog

#endif
