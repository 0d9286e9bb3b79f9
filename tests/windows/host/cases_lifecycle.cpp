// Probing, opening, reopening and closing ports; the peer tells whether the device is held.
#include "context.h"

namespace {

void checkAvailable(Context &ctx) {
    Report &r = ctx.report;
    r.check("available on a free port", ctx.lib.available(ctx.portA.c_str()) == 1);
    r.check("available leaves the port closed", !ctx.peer.held(ctx.portA));
    int result = ctx.lib.available(ctx.missing.c_str());
    int error = ctx.lib.getError();
    r.check("available on a missing name", result == 0 && error == ERROR_FILE_NOT_FOUND,
            format("result %d, error %d", result, error));
    r.check("available on an ordinary file", ctx.lib.available(ctx.plainFile.c_str()) == 1);
    r.check("available closes its probe of the file", fileIsFree(ctx.plainFile));
}

void checkOpenClose(Context &ctx) {
    Report &r = ctx.report;
    const char *a = ctx.portA.c_str();
    const char *b = ctx.portB.c_str();

    SetLastError(1234);
    ctx.lib.close();
    r.check("close with no port open makes no call", ctx.lib.getError() == 1234);

    r.check("open", ctx.lib.open(a, 9600) == 1, format("error %d", ctx.lib.getError()));
    r.check("open holds the device", ctx.peer.held(ctx.portA));
    std::string settings = ctx.peer.lineSettings(ctx.portA);
    r.check("open sets speed and 8N1", settings == lineAt(9600), settings);

    // The same port again: closed first, so the exclusive open succeeds.
    r.check("reopen of the same port", ctx.lib.open(a, 19200) == 1,
            format("error %d", ctx.lib.getError()));
    settings = ctx.peer.lineSettings(ctx.portA);
    r.check("reopen applies the new speed", settings == lineAt(19200), settings);

    // A probe of the open port: whatever it says, the open port stays as it was. (Windows
    // refuses the probe of a port held exclusively; Wine does not enforce that for ports.)
    int probe = ctx.lib.available(a);
    ctx.report.note(format("available on the open port gives %d", probe));
    r.check("available leaves the open port open", ctx.peer.held(ctx.portA));
    r.check("the open port still works after the probe", ctx.lib.write("p") != 0);
    r.check("peer got the byte after the probe", ctx.peer.receive(ctx.portA, 1) == "p");

    r.check("open of another port", ctx.lib.open(b, 57600) == 1);
    r.check("the first port was closed", !ctx.peer.held(ctx.portA));
    r.check("the second port is held", ctx.peer.held(ctx.portB));
    settings = ctx.peer.lineSettings(ctx.portB);
    r.check("second port settings", settings == lineAt(57600), settings);

    int result = ctx.lib.open(ctx.missing.c_str(), 9600);
    int error = ctx.lib.getError();
    r.check("open of a missing name while a port is open",
            result == 0 && error == ERROR_FILE_NOT_FOUND,
            format("result %d, error %d", result, error));
    r.check("the old port was closed first", !ctx.peer.held(ctx.portB));
    r.check("no port open: write gives 0", ctx.lib.write("x") == 0);

    r.check("open after a failed open", ctx.lib.open(a, 4800) == 1);
    ctx.lib.close();
    r.check("close releases the device", !ctx.peer.held(ctx.portA));
    SetLastError(1234);
    ctx.lib.close();
    r.check("second close makes no call", ctx.lib.getError() == 1234);

    // An ordinary file opens but has no line state. Windows reports ERROR_INVALID_FUNCTION,
    // Wine ERROR_INVALID_HANDLE: only "a nonzero code" is common to both.
    result = ctx.lib.open(ctx.plainFile.c_str(), 9600);
    error = ctx.lib.getError();
    r.check("open of an ordinary file fails", result == 0 && error != 0,
            format("result %d, error %d", result, error));
    r.check("the file's handle was closed again", fileIsFree(ctx.plainFile));
    r.check("no port open after the file", ctx.lib.write("x") == 0);
}

}  // namespace

void runLifecycleCases(Context &ctx) {
    checkAvailable(ctx);
    checkOpenClose(ctx);
}
