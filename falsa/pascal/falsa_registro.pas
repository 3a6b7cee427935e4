{ The call record: one word per line appended to the file named by ACBR_FALSA_REGISTRO, the
  file opened and closed for every word so that the record survives whatever the process does
  next. Loading and unloading are recorded by this unit's initialization and finalization. }
unit falsa_registro;

{$mode objfpc}{$H+}

interface

procedure Registrar(const Palavra: string);
{ GetEnvironmentVariable answers '' both for an unset and for an empty variable. }
function VariavelDefinida(const Nome: string): Boolean;

implementation

uses
  SysUtils;

function VariavelDefinida(const Nome: string): Boolean;
var
  Indice: Integer;
begin
  for Indice := 1 to GetEnvironmentVariableCount do
    if Pos(Nome + '=', GetEnvironmentString(Indice)) = 1 then
      Exit(True);
  Result := False;
end;

procedure Registrar(const Palavra: string);
var
  Arquivo: string;
  Registro: Text;
begin
  Arquivo := GetEnvironmentVariable('ACBR_FALSA_REGISTRO');
  if Arquivo = '' then
    Exit;
  { I/O errors leave a result to test instead of raising: the record must never disturb a call. }
  {$I-}
  Assign(Registro, Arquivo);
  Append(Registro);
  if IOResult <> 0 then
    Rewrite(Registro);
  if IOResult = 0 then
  begin
    WriteLn(Registro, Palavra);
    Close(Registro);
  end;
  InOutRes := 0;
  {$I+}
end;

initialization
  Registrar('carregar');

finalization
  Registrar('descarregar');

end.
