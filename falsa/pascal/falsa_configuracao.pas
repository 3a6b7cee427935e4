{ The library's configuration file, as NFE_Inicializar finds it: the path it was given, or,
  given an empty one, the platform's file name in the folder of the running executable
  (ExtractFilePath(ParamStr(0)), as the library takes it). An existing file is read; a missing
  one is written with a default content (Rewrite inside try/except). The stand-in's own settings
  are in its section [Falsa]: Nome= and Versao= give the texts it answers.

  The same file name, default content and reading rules as the C stand-in
  (falsa/configuracao.c), so the same tests run against both. }
unit falsa_configuracao;

{$mode objfpc}{$H+}

interface

type
  TConfiguracao = record
    Nome, Versao: string;
    TemNome, TemVersao: Boolean; { whether [Falsa] has the key }
  end;

{ eArqConfig when it is not empty, else the file beside the executable; '' when the
  executable's path is unknown. }
function CaminhoDaConfiguracao(eArqConfig: PChar): string;
{ Reads the file, or writes the default one when nothing is at that path. False when the
  existing file cannot be read or the missing one cannot be written. }
function CarregarConfiguracao(const Caminho: string; out Configuracao: TConfiguracao): Boolean;

implementation

uses
  {$IFDEF UNIX}BaseUnix,{$ENDIF} StrUtils, SysUtils;

const
  NOME_DO_ARQUIVO = {$IFDEF WINDOWS}'ACBrLib.ini'{$ELSE}'acbrlib.ini'{$ENDIF};
  CONTEUDO_PADRAO: array[0..6] of string = (
    '[Principal]',
    'LogNivel=0',
    'LogPath=',
    '',
    '[Falsa]',
    '; Nome=ACBrLibNFe (falsa)',
    '; Versao=0.0.0-falsa'
  );
  BOM = #$EF#$BB#$BF;

function CaminhoDaConfiguracao(eArqConfig: PChar): string;
var
  Executavel: string;
begin
  if eArqConfig^ <> #0 then
    Exit(StrPas(eArqConfig));
  Executavel := ParamStr(0);
  if Executavel = '' then
    Exit('');
  Result := ExtractFilePath(Executavel) + NOME_DO_ARQUIVO;
end;

{ Anything at all at that path, as stat(2) sees it: a folder there is an existing file that
  cannot be read, not a missing one. }
function Existe(const Caminho: string): Boolean;
{$IFDEF UNIX}
var
  Estado: Stat;
begin
  Result := fpStat(Caminho, Estado) = 0;
end;
{$ELSE}
begin
  Result := FileExists(Caminho) or DirectoryExists(Caminho);
end;
{$ENDIF}

{ The whole file; False when it cannot be opened or a read fails (a folder, for one). }
function LerInteiro(const Caminho: string; out Texto: string): Boolean;
var
  Arquivo: THandle;
  Lidos, Bloco: Int64;
begin
  Texto := '';
  Arquivo := FileOpen(Caminho, fmOpenRead or fmShareDenyNone);
  if Arquivo = THandle(-1) then
    Exit(False);
  try
    Lidos := 0;
    repeat
      SetLength(Texto, Lidos + 4096);
      Bloco := FileRead(Arquivo, Texto[Lidos + 1], 4096);
      if Bloco < 0 then
        Exit(False);
      Inc(Lidos, Bloco);
    until Bloco = 0;
    SetLength(Texto, Lidos);
    Result := True;
  finally
    FileClose(Arquivo);
  end;
end;

function Branco(C: Char): Boolean;
begin
  Result := (C = ' ') or (C = #9);
end;

function Aparar(const Texto: string): string;
var
  Inicio, Fim: Integer;
begin
  Inicio := 1;
  Fim := Length(Texto);
  while (Inicio <= Fim) and Branco(Texto[Inicio]) do
    Inc(Inicio);
  while (Fim >= Inicio) and Branco(Texto[Fim]) do
    Dec(Fim);
  Result := Copy(Texto, Inicio, Fim - Inicio + 1);
end;

{ SysUtils.LowerCase changes ASCII letters only: the host's locale must not change what a key
  means. }
function IgualSemCaixa(const A, B: string): Boolean;
begin
  Result := LowerCase(A) = LowerCase(B);
end;

{ Lines end in LF, a CR before it is dropped, blanks around lines, names and values are
  ignored, and so are a UTF-8 byte order mark, empty lines, comments (';' or '#'), lines
  without '=' and keys the stand-in does not know. Section and key names ignore ASCII case;
  the first occurrence of a key counts. }
procedure Interpretar(Texto: string; var Configuracao: TConfiguracao);
var
  Inicio, Fim, Fecha, Igual: Integer;
  Linha, Chave, Valor: string;
  NaSecao: Boolean;
begin
  if Copy(Texto, 1, 3) = BOM then
    Delete(Texto, 1, 3);
  NaSecao := False;
  Inicio := 1;
  while Inicio <= Length(Texto) do
  begin
    Fim := PosEx(#10, Texto, Inicio);
    if Fim = 0 then
      Fim := Length(Texto) + 1;
    Linha := Copy(Texto, Inicio, Fim - Inicio);
    Inicio := Fim + 1;
    if (Linha <> '') and (Linha[Length(Linha)] = #13) then
      SetLength(Linha, Length(Linha) - 1);
    Linha := Aparar(Linha);
    if (Linha = '') or (Linha[1] = ';') or (Linha[1] = '#') then
      Continue;
    if Linha[1] = '[' then
    begin
      Fecha := Pos(']', Linha);
      if Fecha = 0 then
        Fecha := Length(Linha) + 1;
      NaSecao := IgualSemCaixa(Aparar(Copy(Linha, 2, Fecha - 2)), 'Falsa');
      Continue;
    end;
    Igual := Pos('=', Linha);
    if not NaSecao or (Igual = 0) then
      Continue;
    Chave := Aparar(Copy(Linha, 1, Igual - 1));
    Valor := Aparar(Copy(Linha, Igual + 1, Length(Linha)));
    if IgualSemCaixa(Chave, 'Nome') and not Configuracao.TemNome then
    begin
      Configuracao.Nome := Valor;
      Configuracao.TemNome := True;
    end
    else if IgualSemCaixa(Chave, 'Versao') and not Configuracao.TemVersao then
    begin
      Configuracao.Versao := Valor;
      Configuracao.TemVersao := True;
    end;
  end;
end;

function Criar(const Caminho: string): Boolean;
var
  Arquivo: Text;
  Linha: string;
begin
  try
    AssignFile(Arquivo, Caminho);
    Rewrite(Arquivo);
    try
      for Linha in CONTEUDO_PADRAO do
        WriteLn(Arquivo, Linha);
    finally
      CloseFile(Arquivo);
    end;
    Result := True;
  except
    Result := False;
  end;
end;

function CarregarConfiguracao(const Caminho: string; out Configuracao: TConfiguracao): Boolean;
var
  Texto: string;
begin
  Configuracao := Default(TConfiguracao);
  if not Existe(Caminho) then
    Exit(Criar(Caminho));
  if not LerInteiro(Caminho, Texto) then
    Exit(False);
  Interpretar(Texto, Configuracao);
  Result := True;
end;

end.
