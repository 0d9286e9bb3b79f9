{ echo_exchange: sends one command to a device on a serial port through quenlex and prints
  the reply.

    echo_exchange PORT [COMMAND]

  PORT is a device name as the platform knows it (COM3, \\.\COM12, /dev/ttyUSB0). COMMAND
  (default AT) is sent followed by a carriage return; the reply is printed with control and
  non-ASCII bytes escaped. Exit status 0 when a reply came, 1 otherwise.

  Build: fpc echo_exchange.pas; on Linux add -Fl<folder of libquenlex.so>. }
program echo_exchange;

{$mode objfpc}{$H+}

const
{$IFDEF WINDOWS}
  QuenlexLib = 'quenlex.dll';
{$ELSE}
  QuenlexLib = 'quenlex'; { linked as -lquenlex, loaded as libquenlex.so.1 }
{$ENDIF}

{ The nine functions. cdecl on every one; LongInt, which is 32 bits in every mode (Integer
  is 16 bits in Free Pascal's default mode); PAnsiChar, which is bytes in every compiler. }
function quenlex_getError: LongInt; cdecl; external QuenlexLib;
function quenlex_available(portName: PAnsiChar): LongInt; cdecl; external QuenlexLib;
procedure quenlex_close; cdecl; external QuenlexLib;
function quenlex_configure(portName: PAnsiChar): LongInt; cdecl; external QuenlexLib;
function TEST(outBuffer: PAnsiChar): LongInt; cdecl; external QuenlexLib;
function quenlex_open(portName: PAnsiChar; baudRate: LongInt): LongInt; cdecl; external QuenlexLib;
function quenlex_read(buffer: PAnsiChar; bufferSize: LongInt): LongInt; cdecl; external QuenlexLib;
function quenlex_readChar: LongInt; cdecl; external QuenlexLib;
function quenlex_write(text: PAnsiChar): LongInt; cdecl; external QuenlexLib;

const
  BaudRate = 115200;
  { Room for the longest reply expected: after its first byte, quenlex_read waits up to 3 ms
    for each further byte the buffer could take. }
  ChunkSize = 64;
  { quenlex_read waits only 5 ms for a first byte, so it is called again and again: 400 empty
    reads in a row (about 2 seconds without a byte) end the wait for a reply. }
  QuietReadsMax = 400;

{ Bytes as a quoted C string, so zero bytes, line ends and bytes above $7F show. }
function Quoted(const Data: RawByteString): string;
var
  I: Integer;
  C: Byte;
begin
  Result := '"';
  for I := 1 to Length(Data) do
  begin
    C := Ord(Data[I]);
    case C of
      13: Result := Result + '\r';
      10: Result := Result + '\n';
      Ord('\'), Ord('"'): Result := Result + '\' + Chr(C);
      $20, $21, $23..$5B, $5D..$7E: Result := Result + Chr(C);
    else
      Result := Result + '\x' + LowerCase(HexStr(C, 2));
    end;
  end;
  Result := Result + '"';
end;

{ Reports the failed call with the error code it left, asked at once on this thread, then
  closes the port (harmless when none is open) and ends the program. }
procedure Fail(const Call: string);
begin
  WriteLn(StdErr, Call, ' failed: error ', quenlex_getError);
  quenlex_close;
  Halt(1);
end;

var
  Port, Command: AnsiString;
  Check: array[0..6] of AnsiChar;
  Chunk: array[0..ChunkSize - 1] of AnsiChar;
  Reply, Part: RawByteString;
  Count, QuietReads, CodeBefore: LongInt;
begin
  if (ParamCount < 1) or (ParamCount > 2) then
  begin
    WriteLn(StdErr, 'usage: echo_exchange PORT [COMMAND]');
    Halt(2);
  end;
  Port := ParamStr(1);
  if ParamCount = 2 then Command := ParamStr(2) else Command := 'AT';
  Command := Command + #13;

  { TEST needs no port: it shows the library is found and the declarations work. }
  if TEST(@Check[0]) <> 6 then
  begin
    WriteLn(StdErr, 'TEST gave an unexpected result');
    Halt(1);
  end;
  WriteLn('library says "', PAnsiChar(@Check[0]), '"');

  if quenlex_open(PAnsiChar(Port), BaudRate) = 0 then Fail('quenlex_open');
  WriteLn('opened ', Port, ' at ', BaudRate, ' baud');
  if quenlex_write(PAnsiChar(Command)) = 0 then Fail('quenlex_write');
  WriteLn('sent ', Quoted(Command));

  { A 0 from quenlex_read means silence or failure; only a new error code tells them apart,
    since successful calls leave the code as it was. }
  CodeBefore := quenlex_getError;
  Reply := '';
  QuietReads := 0;
  while (QuietReads < QuietReadsMax) and
        ((Reply = '') or (Reply[Length(Reply)] <> #10)) do
  begin
    Count := quenlex_read(@Chunk[0], ChunkSize);
    if Count = 0 then
    begin
      if quenlex_getError <> CodeBefore then Fail('quenlex_read');
      Inc(QuietReads);
      Continue;
    end;
    QuietReads := 0;
    SetString(Part, PAnsiChar(@Chunk[0]), Count); { by count: the reply may hold zero bytes }
    Reply := Reply + Part;
  end;
  quenlex_close;
  if Reply = '' then
  begin
    WriteLn(StdErr, 'no reply');
    Halt(1);
  end;
  WriteLn('reply ', Quoted(Reply));
end.
