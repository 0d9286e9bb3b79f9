// QuenlexExample: sends one command to a device on a serial port through quenlex and prints
// the reply.
//
//   QuenlexExample.exe PORT [COMMAND]          (with Mono: mono QuenlexExample.exe ...)
//
// PORT is a device name as the platform knows it (COM3, \\.\COM12, /dev/ttyUSB0). COMMAND
// (default AT) is sent followed by a carriage return; the reply is printed with control and
// non-ASCII bytes escaped. Exit status 0 when a reply came, 1 otherwise.
//
// Build: csc QuenlexExample.cs (Windows) or mcs QuenlexExample.cs (Mono).
using System;
using System.ComponentModel;
using System.Runtime.InteropServices;
using System.Text;

// The nine functions, exactly as quenlex.h declares them. "quenlex" is quenlex.dll on
// Windows; Mono looks for libquenlex.so, or for what QuenlexExample.exe.config maps it to.
static class Quenlex
{
    const string Library = "quenlex";

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    public static extern int quenlex_getError();

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Ansi)]
    public static extern int quenlex_available(string portName);

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    public static extern void quenlex_close();

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Ansi)]
    public static extern int quenlex_configure(string portName);

    // Writes "DENEME" and a zero byte: pass a StringBuilder with a capacity of 7 or more.
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Ansi)]
    public static extern int TEST(StringBuilder outText);

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Ansi)]
    public static extern int quenlex_open(string portName, int baudRate);

    // Writes the bytes received and a zero after them into buffer (bufferSize >= 2 bytes).
    // A byte[], not a StringBuilder: the bytes may include zeros, which would end a string,
    // and values above 0x7F, which a string conversion would change.
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    public static extern int quenlex_read([Out] byte[] buffer, int bufferSize);

    // The byte sign-extended to an int: 0xFF comes back as -1; (byte) or & 0xFF undoes it.
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    public static extern int quenlex_readChar();

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Ansi)]
    public static extern int quenlex_write(string text);
}

// The library's serial port, closed by Dispose. The library holds one port per process:
// opening a second QuenlexPort closes the first. Make one call at a time.
sealed class QuenlexPort : IDisposable
{
    // quenlex_read waits only 5 ms for a first byte, so it is called again and again: 400
    // empty reads in a row (about 2 s without a byte) end the wait for a reply.
    const int QuietReadsMax = 400;

    public QuenlexPort(string name, int baudRate)
    {
        if (Quenlex.quenlex_open(name, baudRate) == 0)
            throw Failure("quenlex_open");
    }

    public void Dispose() => Quenlex.quenlex_close();

    // Asked right after the failing call, on the same thread: the code is per thread and the
    // next failure replaces it.
    static Win32Exception Failure(string function)
    {
        int code = Quenlex.quenlex_getError();
        return new Win32Exception(code, $"{function} failed: error {code}");
    }

    public void Write(string text)
    {
        if (Quenlex.quenlex_write(text) == 0)
            throw Failure("quenlex_write");
    }

    // The bytes received in one burst, at most size - 1; empty after 5 ms of silence.
    public byte[] Read(int size = 64)
    {
        // A 0 means silence or failure. Successful calls leave the error code as it was, so
        // only a changed code shows a failure.
        int codeBefore = Quenlex.quenlex_getError();
        var buffer = new byte[size];
        int count = Quenlex.quenlex_read(buffer, size);
        if (count == 0 && Quenlex.quenlex_getError() != codeBefore)
            throw Failure("quenlex_read");
        Array.Resize(ref buffer, count); // by count: the bytes may include zeros
        return buffer;
    }

    // Waits, with no time limit, for one byte.
    public byte ReadByte()
    {
        int codeBefore = Quenlex.quenlex_getError();
        int value = Quenlex.quenlex_readChar();
        if (value == 0 && Quenlex.quenlex_getError() != codeBefore)
            throw Failure("quenlex_readChar");
        return unchecked((byte)value);
    }

    // A reply up to its line feed; ends early after QuietReadsMax empty reads in a row.
    public byte[] ReadReply()
    {
        var reply = new System.Collections.Generic.List<byte>();
        int quietReads = 0;
        while (quietReads < QuietReadsMax && (reply.Count == 0 || reply[reply.Count - 1] != '\n'))
        {
            byte[] chunk = Read();
            quietReads = chunk.Length == 0 ? quietReads + 1 : 0;
            reply.AddRange(chunk);
        }
        return reply.ToArray();
    }
}

static class Program
{
    const int BaudRate = 115200;

    // Bytes as a quoted C string, so zero bytes, line ends and bytes above 0x7F show.
    static string Quoted(byte[] data)
    {
        var text = new StringBuilder("\"");
        foreach (byte b in data)
        {
            if (b == '\r') text.Append("\\r");
            else if (b == '\n') text.Append("\\n");
            else if (b == '\\' || b == '"') text.Append('\\').Append((char)b);
            else if (b >= 0x20 && b < 0x7F) text.Append((char)b);
            else text.Append("\\x").Append(b.ToString("x2"));
        }
        return text.Append('"').ToString();
    }

    static int Main(string[] args)
    {
        if (args.Length < 1 || args.Length > 2)
        {
            Console.Error.WriteLine("usage: QuenlexExample PORT [COMMAND]");
            return 2;
        }
        string portName = args[0];
        string command = (args.Length == 2 ? args[1] : "AT") + "\r";

        // TEST needs no port: it shows the library is found and the declarations work.
        var check = new StringBuilder(7);
        if (Quenlex.TEST(check) != 6)
        {
            Console.Error.WriteLine("TEST gave an unexpected result");
            return 1;
        }
        Console.WriteLine($"library says \"{check}\"");

        byte[] reply;
        try
        {
            using (var port = new QuenlexPort(portName, BaudRate))
            {
                Console.WriteLine($"opened {portName} at {BaudRate} baud");
                port.Write(command);
                Console.WriteLine("sent " + Quoted(Encoding.ASCII.GetBytes(command)));
                reply = port.ReadReply();
            }
        }
        catch (Win32Exception error)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
        if (reply.Length == 0)
        {
            Console.Error.WriteLine("no reply");
            return 1;
        }
        Console.WriteLine("reply " + Quoted(reply));
        return 0;
    }
}
