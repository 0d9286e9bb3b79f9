// quenlex_configure with no display (the behaviour run) and with the dialog on a display
// that the runner watches and answers with the keyboard (the dialog run).
#include "context.h"

namespace {

// Shows the dialog for `port` while the runner presses `keys` in it; checks result 1 and that
// the runner saw the dialog.
void configureWithDialog(Context &ctx, const std::string &name, const std::string &port,
                         const std::string &keys) {
    std::string arranged = ctx.peer.ask("dialog " + port + " " + name + " " + keys);
    if (!ctx.report.check(name + ": runner ready", arranged == "ok", arranged)) {
        return;
    }
    int result = ctx.lib.configure(port.c_str());
    ctx.report.check(name + ": result 1", result == 1,
                     format("result %d, error %d", result, ctx.lib.getError()));
    std::string seen = ctx.peer.ask("dialog-done");
    ctx.report.check(name + ": dialog shown and answered", seen == "ok", seen);
}

}  // namespace

void runConfigureCases(Context &ctx) {
    Report &r = ctx.report;

    int result = ctx.lib.configure(ctx.missing.c_str());
    int error = ctx.lib.getError();
    r.check("configure a missing name", result == 0 && error == ERROR_FILE_NOT_FOUND,
            format("result %d, error %d", result, error));

    // An ordinary file has no configuration to show: 0, and its handle is given up again.
    result = ctx.lib.configure(ctx.plainFile.c_str());
    r.check("configure an ordinary file", result == 0, format("result %d", result));
    r.check("configure closed the file again", fileIsFree(ctx.plainFile));

    // Without a display Wine cannot show the dialog: CommConfigDialogA fails at once and the
    // record goes back unchanged. The library reports 1 all the same.
    ctx.peer.setLine(ctx.portB, 4800);
    result = ctx.lib.configure(ctx.portB.c_str());
    r.check("configure a closed port without a display", result == 1,
            format("result %d, error %d", result, ctx.lib.getError()));
    r.check("the temporary port was closed", !ctx.peer.held(ctx.portB));
    std::string settings = ctx.peer.lineSettings(ctx.portB);
    r.check("the closed port's settings are kept", settings == lineAt(4800), settings);
    r.check("no port open afterwards: write gives 0", ctx.lib.write("x") == 0);

    if (!r.check("open for configure", ctx.lib.open(ctx.portA.c_str(), 57600) == 1)) {
        return;
    }
    result = ctx.lib.configure(ctx.portA.c_str());
    r.check("configure the open port without a display", result == 1, format("result %d", result));
    r.check("the open port stays open", ctx.peer.held(ctx.portA));
    settings = ctx.peer.lineSettings(ctx.portA);
    r.check("the open port's settings are kept", settings == lineAt(57600), settings);
    r.check("the open port still works",
            ctx.lib.write("ok") != 0 && ctx.peer.receive(ctx.portA, 2) == "ok");
    ctx.lib.close();
}

void runDialogCases(Context &ctx) {
    Report &r = ctx.report;

    // Cancel on a port that is not open: the record goes back as it was, the port is closed.
    ctx.peer.setLine(ctx.portA, 9600);
    configureWithDialog(ctx, "cancel", ctx.portA, "Escape");
    r.check("cancel: the temporary port was closed", !ctx.peer.held(ctx.portA));
    std::string settings = ctx.peer.lineSettings(ctx.portA);
    r.check("cancel: settings unchanged", settings == lineAt(9600), settings);

    // Confirm after choosing the next lower speed in the list (9600 -> 4800).
    configureWithDialog(ctx, "confirm", ctx.portA, "Up Return");
    r.check("confirm: the temporary port was closed", !ctx.peer.held(ctx.portA));
    settings = ctx.peer.lineSettings(ctx.portA);
    r.check("confirm: the chosen speed was applied", settings == lineAt(4800), settings);

    // With the port open the choice takes effect on it at once and it stays open. (Speeds that
    // termios lacks, such as 14400, Wine sets as 38400 with a custom divisor, which a
    // pseudo-terminal ignores; the cases move only between standard speeds.)
    if (!r.check("open for the dialog", ctx.lib.open(ctx.portA.c_str(), 1200) == 1)) {
        return;
    }
    configureWithDialog(ctx, "confirm-open", ctx.portA, "Down Return");
    r.check("confirm-open: the port stays open", ctx.peer.held(ctx.portA));
    settings = ctx.peer.lineSettings(ctx.portA);
    r.check("confirm-open: the chosen speed is in force", settings == lineAt(2400), settings);
    r.check("confirm-open: the port still works",
            ctx.lib.write("ok") != 0 && ctx.peer.receive(ctx.portA, 2) == "ok");
    ctx.lib.close();
    r.check("the port is closed at the end", !ctx.peer.held(ctx.portA));
}
