// CommConfigDialogA: the port settings dialog, as a line-oriented conversation on the
// process's controlling terminal. It shows the record's settings, asks for each one with the
// current value as the answer Enter keeps, shows the result and asks for confirmation. Only
// a confirmation writes to the record; everything else leaves it as it was.
#include <cstdio>
#include <cstring>

#include "serial_device/posix/dialog_settings.h"
#include "serial_device/posix/dialog_terminal.h"

namespace quenlex::posix::dialog {
namespace {

constexpr std::size_t kAnswerSize = 32;
constexpr std::size_t kNameSize = 81;
constexpr std::size_t kTextSize = 256;

// The settings the dialog offers, as chosen so far.
struct Settings {
    DWORD speed;
    BYTE data_bits;
    BYTE parity;
    BYTE stop_bits;
    Flow flow;
};

Settings settings_of(const DCB &dcb) {
    return {dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits, flow_of(dcb)};
}

enum Item { kSpeed, kDataBits, kParity, kStopBits, kFlow, kItemCount };

const char *const kLabels[kItemCount] = {"Speed", "Data bits", "Parity", "Stop bits",
                                         "Flow control"};

// One setting as the summaries show it; "?" for a value no record should hold.
void value_text(const Settings &settings, Item item, char *out, std::size_t size) {
    switch (item) {
        case kSpeed:
            if (speed_valid(settings.speed)) {
                std::snprintf(out, size, "%lu bit/s", static_cast<unsigned long>(settings.speed));
            } else {
                std::snprintf(out, size, "?");
            }
            return;
        case kDataBits:
            if (data_bits_valid(settings.data_bits)) {
                std::snprintf(out, size, "%u", static_cast<unsigned>(settings.data_bits));
            } else {
                std::snprintf(out, size, "?");
            }
            return;
        case kParity:
            std::snprintf(out, size, "%s", parity_name(settings.parity));
            return;
        case kStopBits:
            std::snprintf(out, size, "%s", stop_bits_name(settings.stop_bits));
            return;
        case kFlow:
        case kItemCount:
            break;
    }
    std::snprintf(out, size, "%s", flow_name(settings.flow));
}

// The five settings, one a line; with `before`, each changed one says what it was.
void show_settings(Terminal &terminal, const Settings &settings, const Settings *before) {
    for (int i = 0; i < kItemCount; ++i) {
        Item item = static_cast<Item>(i);
        char value[48];
        value_text(settings, item, value, sizeof value);
        char line[kTextSize];
        int length = std::snprintf(line, sizeof line, "  %-13s %s", kLabels[i], value);
        if (before != nullptr && length > 0) {
            char old_value[48];
            value_text(*before, item, old_value, sizeof old_value);
            if (std::strcmp(value, old_value) != 0) {
                std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                              "   (was %s)", old_value);
            }
        }
        terminal.say(line);
        terminal.say("\n");
    }
}

// Asks one question until accept() takes the answer; accept() says why when it does not.
// An empty answer keeps the value when there is one to keep; "?" shows the help. False when
// the user cancels or the input ends.
template <typename Accept>
bool ask(Terminal &terminal, const char *prompt, bool has_default, const char *help,
         Accept accept) {
    char answer[kAnswerSize];
    for (;;) {
        terminal.say(prompt);
        if (terminal.read_line(answer, sizeof answer) != LineEnd::kLine) {
            return false;
        }
        if (answer[0] == '\0') {
            if (has_default) {
                return true;
            }
            terminal.say("  An answer is needed here; ? shows the choices.\n");
        } else if (std::strcmp(answer, "?") == 0) {
            terminal.say(help);
        } else if (accept(answer)) {
            return true;
        }
    }
}

// "Label (choices) [current]: ", or without the brackets when there is nothing to keep.
void make_prompt(char *out, std::size_t size, const char *label, const char *choices,
                 const char *current) {
    if (current != nullptr) {
        std::snprintf(out, size, "%s (%s) [%s]: ", label, choices, current);
    } else {
        std::snprintf(out, size, "%s (%s): ", label, choices);
    }
}

void speed_help(char *out, std::size_t size) {
    std::size_t used = static_cast<std::size_t>(std::snprintf(out, size, "  Speeds on offer:"));
    for (std::size_t i = 0; i < kSpeedCount && used < size; ++i) {
        const char *separator = i % 10 == 0 ? "\n   " : "";
        int n = std::snprintf(out + used, size - used, "%s %lu", separator,
                              static_cast<unsigned long>(kSpeeds[i]));
        used += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (used < size) {
        std::snprintf(out + used, size - used, "\n");
    }
}

bool ask_speed(Terminal &terminal, Settings &chosen) {
    char current[16];
    std::snprintf(current, sizeof current, "%lu", static_cast<unsigned long>(chosen.speed));
    bool has_default = speed_valid(chosen.speed);
    char prompt[kTextSize];
    make_prompt(prompt, sizeof prompt, "Speed", "bit/s", has_default ? current : nullptr);
    char help[kTextSize * 2];
    speed_help(help, sizeof help);
    return ask(terminal, prompt, has_default, help, [&](const char *answer) {
        if (parse_speed(answer, chosen.speed, chosen.speed)) {
            return true;
        }
        char complaint[kTextSize];
        std::snprintf(complaint, sizeof complaint, "  %s is not a speed on offer; ? lists them.\n",
                      answer);
        terminal.say(complaint);
        return false;
    });
}

bool ask_data_bits(Terminal &terminal, Settings &chosen) {
    char current[8];
    std::snprintf(current, sizeof current, "%u", static_cast<unsigned>(chosen.data_bits));
    bool has_default = data_bits_valid(chosen.data_bits);
    char prompt[kTextSize];
    make_prompt(prompt, sizeof prompt, "Data bits", "5-8", has_default ? current : nullptr);
    return ask(terminal, prompt, has_default, "  Bits per character: 5, 6, 7 or 8.\n",
               [&](const char *answer) {
                   if (parse_data_bits(answer, chosen.data_bits)) {
                       return true;
                   }
                   terminal.say("  Data bits are 5, 6, 7 or 8.\n");
                   return false;
               });
}

bool ask_parity(Terminal &terminal, Settings &chosen) {
    bool has_default = parity_valid(chosen.parity);
    char prompt[kTextSize];
    make_prompt(prompt, sizeof prompt, "Parity", "none, odd, even, mark, space",
                has_default ? parity_name(chosen.parity) : nullptr);
    return ask(terminal, prompt, has_default,
               "  The parity bit: none, odd, even, mark (always 1) or space (always 0).\n",
               [&](const char *answer) {
                   if (parse_parity(answer, chosen.parity)) {
                       return true;
                   }
                   terminal.say("  Parity is none, odd, even, mark or space.\n");
                   return false;
               });
}

// Asked after the data bits, whose count decides which stop bits can go with them.
bool ask_stop_bits(Terminal &terminal, Settings &chosen) {
    bool five = chosen.data_bits == 5;
    const char *choices = five ? "1, 1.5" : "1, 2";
    bool has_default = stop_bits_fit(chosen.data_bits, chosen.stop_bits);
    char prompt[kTextSize];
    make_prompt(prompt, sizeof prompt, "Stop bits", choices,
                has_default ? stop_bits_name(chosen.stop_bits) : nullptr);
    const char *help = five ? "  With 5 data bits: 1 or 1.5 stop bits.\n"
                            : "  With 6 to 8 data bits: 1 or 2 stop bits.\n";
    return ask(terminal, prompt, has_default, help, [&](const char *answer) {
        BYTE stop_bits = ONESTOPBIT;
        if (!parse_stop_bits(answer, stop_bits)) {
            terminal.say("  Stop bits are 1, 1.5 or 2.\n");
            return false;
        }
        if (!stop_bits_fit(chosen.data_bits, stop_bits)) {
            terminal.say(five ? "  2 stop bits do not go with 5 data bits.\n"
                              : "  1.5 stop bits go with 5 data bits only.\n");
            return false;
        }
        chosen.stop_bits = stop_bits;
        return true;
    });
}

bool ask_flow(Terminal &terminal, Settings &chosen) {
    char prompt[kTextSize];
    make_prompt(prompt, sizeof prompt, "Flow control", "none, rts/cts, xon/xoff",
                flow_name(chosen.flow));
    return ask(terminal, prompt, true,
               "  none; rts/cts: hardware handshake on the RTS and CTS lines;\n"
               "  xon/xoff: software handshake with the XON and XOFF characters.\n",
               [&](const char *answer) {
                   if (parse_flow(answer, chosen.flow)) {
                       return true;
                   }
                   terminal.say("  Flow control is none, rts/cts or xon/xoff.\n");
                   return false;
               });
}

bool ask_confirmation(Terminal &terminal, bool &yes) {
    yes = false;
    return ask(terminal, "Apply these settings? [y/N]: ", true, "  y applies them, n cancels.\n",
               [&](const char *answer) {
                   if (parse_yes_no(answer, yes)) {
                       return true;
                   }
                   terminal.say("  Please answer y or n.\n");
                   return false;
               });
}

// The whole conversation. True when the user confirms; `chosen` then holds the choices.
bool converse(Terminal &terminal, const char *name, const Settings &before, Settings &chosen) {
    char heading[kTextSize];
    std::snprintf(heading, sizeof heading, "\nPort settings for %s\n", name);
    terminal.say(heading);
    show_settings(terminal, before, nullptr);
    terminal.say("Enter keeps the value in brackets, ? shows the choices, Ctrl-C cancels.\n\n");

    chosen = before;
    bool yes = false;
    bool answered = ask_speed(terminal, chosen) && ask_data_bits(terminal, chosen) &&
                    ask_parity(terminal, chosen) && ask_stop_bits(terminal, chosen) &&
                    ask_flow(terminal, chosen);
    if (answered) {
        std::snprintf(heading, sizeof heading, "\nNew settings for %s\n", name);
        terminal.say(heading);
        show_settings(terminal, chosen, &before);
        answered = ask_confirmation(terminal, yes);
    }
    terminal.say(answered && yes ? "Settings confirmed.\n"
                                 : "Cancelled: the settings stay as they were.\n");
    return answered && yes;
}

// The record's line state with the choices in it; fields the dialog does not show, and flow
// control the user left as it was, stay exactly as they were.
DCB with_choices(const DCB &dcb, const Settings &before, const Settings &chosen) {
    DCB result = dcb;
    result.BaudRate = chosen.speed;
    result.ByteSize = chosen.data_bits;
    result.Parity = chosen.parity;
    result.StopBits = chosen.stop_bits;
    if (chosen.flow != before.flow) {
        set_flow(result, chosen.flow);
    }
    return result;
}

}  // namespace
}  // namespace quenlex::posix::dialog

BOOL CommConfigDialogA(LPCSTR lpszName, HWND /*hWnd: no windows here*/, LPCOMMCONFIG lpCC) {
    using namespace quenlex::posix::dialog;
    if (lpCC == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char name[kNameSize];
    printable_copy(lpszName != nullptr ? lpszName : "the port", name, sizeof name);

    Settings before = settings_of(lpCC->dcb);
    Settings chosen = before;
    bool confirmed;
    {
        Terminal terminal;
        if (!terminal.open()) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        confirmed = converse(terminal, name, before, chosen);
    }  // the terminal has its own modes back from here on
    if (!confirmed) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    DCB dcb = with_choices(lpCC->dcb, before, chosen);
    std::memcpy(&lpCC->dcb, &dcb, sizeof dcb);
    return TRUE;
}
