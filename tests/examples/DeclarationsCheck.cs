// Checks the C# example's declarations of the functions its exchange does not use. Compiled
// together with QuenlexExample.cs; given the port of the device run_example.py --check plays,
// which answers CHARS with the bytes 00 FF FF and hangs up on BYE. Started without a
// controlling terminal, so the settings dialog cannot show.
using System;
using System.ComponentModel;

static class DeclarationsCheck
{
    static int failures;

    static void Check(string what, object got, object expected)
    {
        bool same = got.Equals(expected);
        Console.WriteLine($"{(same ? "ok" : "FAIL")}: {what}: {got}" +
                          (same ? "" : $", expected {expected}"));
        if (!same)
            ++failures;
    }

    static int Main(string[] args)
    {
        string port = args[0];
        int available = Quenlex.quenlex_available(port + ".missing");
        Check("available(missing)", Tuple.Create(available, Quenlex.quenlex_getError()),
              Tuple.Create(0, 2));
        Check("available(port)", Quenlex.quenlex_available(port), 1);
        // No terminal for the dialog: the port is still configured, and the code says why.
        Check("configure(port)",
              Tuple.Create(Quenlex.quenlex_configure(port), Quenlex.quenlex_getError()),
              Tuple.Create(1, 50));

        using (var device = new QuenlexPort(port, 115200))
        {
            device.Write("CHARS\r");
            Check("readChar of 00", Quenlex.quenlex_readChar(), 0);
            Check("readChar of FF, sign-extended", Quenlex.quenlex_readChar(), -1);
            Check("ReadByte of FF", device.ReadByte(), (byte)0xFF);
            device.Write("BYE\r");
            try
            {
                device.ReadByte();
                Check("ReadByte after a hang-up", "a byte", "Win32Exception");
            }
            catch (Win32Exception error)
            {
                Check("ReadByte after a hang-up", error.NativeErrorCode, 1167);
            }
        }
        return failures == 0 ? 0 : 1;
    }
}
