{ The test oracle for the binary component stream: converts a text form file
  to binary with Free Pascal's own converter (unit Classes).
  Usage: text2bin <input.txt> <output.bin>
  Built and run by make-fixtures.sh and by the FpcOracle test. }
program text2bin;
{$mode objfpc}{$H+}
uses Classes;
var
  Source, Dest: TFileStream;
begin
  Source := TFileStream.Create(ParamStr(1), fmOpenRead);
  Dest := TFileStream.Create(ParamStr(2), fmCreate);
  try
    ObjectTextToBinary(Source, Dest);
  finally
    Dest.Free;
    Source.Free;
  end;
end.
