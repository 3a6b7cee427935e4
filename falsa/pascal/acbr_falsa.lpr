{ A stand-in for ACBrLib NFe written as the real library is: a Free Pascal (Lazarus) library
  with the thread manager (cthreads), Classes and SysUtils, the four handle-based entry points
  exported with the C calling convention, and every exception caught at the entry point.

  It answers the same name, version and call record as the C stand-in (falsa/acbr_falsa.c), and
  reads or writes the same configuration file (falsa_configuracao.pas), so the same tests run
  against both. ACBR_FALSA_DEFEITO picks one way to misbehave as a Pascal
  library can (see falsa_defeitos.pas). Built without cthreads when SEM_CTHREADS is defined, to
  tell the thread manager's own cost per load apart from the bridge's. }
library acbr_falsa;

{$mode objfpc}{$H+}

uses
  {$IFNDEF SEM_CTHREADS}cthreads,{$ENDIF}
  Classes, SysUtils, falsa_configuracao, falsa_registro, falsa_defeitos;

const
  { Tells a handle this library made from any other pointer (the C stand-in's value). }
  MAGIA = QWord($4143427246414C53);
  NOME_PADRAO = 'ACBrLibNFe (falsa)';
  VERSAO_PADRAO = '0.0.0-falsa';

type
  PHandleFalso = ^THandleFalso;
  THandleFalso = record
    Magia: QWord;
    Configuracao: TConfiguracao; { what the configuration file said, read by NFE_Inicializar }
  end;
  PPointer = ^Pointer;
  PInt32 = ^Int32;

function HandleValido(Handle: Pointer): Boolean;
begin
  Result := (Handle <> nil) and (PHandleFalso(Handle)^.Magia = MAGIA);
end;

type
  TTexto = (ttNome, ttVersao);

{ Copies at most the size given and leaves the length written in it. The text: the environment
  variable's when it is set (even empty), else the configuration file's, else the default. }
function EscreverTexto(Handle: Pointer; Destino: PChar; Tamanho: PInt32; Qual: TTexto): Int32;
const
  VARIAVEIS: array[TTexto] of string = ('ACBR_FALSA_NOME', 'ACBR_FALSA_VERSAO');
  PADROES: array[TTexto] of string = (NOME_PADRAO, VERSAO_PADRAO);
var
  Texto: string;
  Capacidade, Comprimento: Int32;
begin
  if not HandleValido(Handle) or (Destino = nil) or (Tamanho = nil) then
    Exit(-1);
  Texto := GetEnvironmentVariable(VARIAVEIS[Qual]);
  if (Texto = '') and not VariavelDefinida(VARIAVEIS[Qual]) then
    with PHandleFalso(Handle)^.Configuracao do
      if (Qual = ttNome) and TemNome then
        Texto := Nome
      else if (Qual = ttVersao) and TemVersao then
        Texto := Versao
      else
        Texto := PADROES[Qual];
  Capacidade := Tamanho^;
  if Capacidade < 0 then
    Capacidade := 0;
  Comprimento := Length(Texto);
  if Comprimento > Capacidade then
    Comprimento := Capacidade;
  if Comprimento > 0 then
    Move(Texto[1], Destino^, Comprimento);
  Tamanho^ := Comprimento;
  Result := 0;
end;

function NFE_Inicializar(Handle: PPointer; eArqConfig, eChaveCrypt: PChar): Int32; cdecl;
var
  Novo: PHandleFalso;
  Caminho: string;
  Configuracao: TConfiguracao;
begin
  Registrar('inicializar');
  try
    if (Handle = nil) or (eArqConfig = nil) or (eChaveCrypt = nil) then
      Exit(-2);
    CometerDefeito(ppInicializar);
    { As the library does: a configuration file that cannot be read, or a missing one that
      cannot be written, fails the initialisation. }
    Caminho := CaminhoDaConfiguracao(eArqConfig);
    if Caminho = '' then
      Registrar('configuracao')
    else
      Registrar('configuracao ' + Caminho);
    if (Caminho = '') or not CarregarConfiguracao(Caminho, Configuracao) then
      Exit(-1);
    New(Novo);
    Novo^.Magia := MAGIA;
    Novo^.Configuracao := Configuracao;
    Handle^ := Novo;
    Result := 0;
  except
    Result := -3;
  end;
end;

function NFE_Finalizar(Handle: Pointer): Int32; cdecl;
begin
  Registrar('finalizar');
  try
    if not HandleValido(Handle) then
      Exit(-1);
    PHandleFalso(Handle)^.Magia := 0;
    Dispose(PHandleFalso(Handle));
    Result := 0;
  except
    Result := -3;
  end;
end;

function NFE_Nome(Handle: Pointer; sNome: PChar; esTamanho: PInt32): Int32; cdecl;
begin
  Registrar('nome');
  { The misbehaviour that escapes must escape, so it runs outside the handler. }
  if DefeitoEscapa then
    CometerDefeito(ppNome);
  try
    if not DefeitoEscapa then
      CometerDefeito(ppNome);
    Result := EscreverTexto(Handle, sNome, esTamanho, ttNome);
  except
    Result := -3;
  end;
end;

function NFE_Versao(Handle: Pointer; sVersao: PChar; esTamanho: PInt32): Int32; cdecl;
begin
  Registrar('versao');
  try
    Result := EscreverTexto(Handle, sVersao, esTamanho, ttVersao);
  except
    Result := -3;
  end;
end;

exports
  NFE_Inicializar,
  NFE_Finalizar,
  NFE_Nome,
  NFE_Versao;

begin
end.
