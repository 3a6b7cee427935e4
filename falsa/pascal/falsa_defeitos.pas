{ The misbehaviours a Free Pascal library can show inside an entry point, chosen by the
  environment variable ACBR_FALSA_DEFEITO (read at every call; unset or empty: none):

    escreve_linha      WriteLn to standard output (NFE_Nome)
    escreve_sem_fim    Write to standard output with no line end (NFE_Nome)
    escreve_descritor  fpWrite straight to descriptor 1 (NFE_Nome)
    escreve_erro       WriteLn to standard error (NFE_Nome)
    le_entrada         ReadLn from standard input (NFE_Nome)
    excecao            raises an exception that no handler catches (NFE_Nome)
    acesso_nulo        writes through a nil pointer (NFE_Nome)
    muda_diretorio     changes the working directory to / (NFE_Nome)
    sigpipe_padrao     sets SIGPIPE back to its default action (NFE_Nome)
    instala_sinais     installs handlers of its own for SIGINT, SIGTERM, SIGHUP, SIGQUIT,
                       SIGCHLD, SIGSEGV, SIGBUS, SIGFPE and SIGILL, left behind when the
                       library is unloaded (NFE_Nome)
    muda_fpu           rounds toward zero and traps invalid operations, division by zero
                       and overflow (NFE_Nome)
    dorme              sleeps for ten minutes (NFE_Inicializar)
}
unit falsa_defeitos;

{$mode objfpc}{$H+}

interface

type
  TPonto = (ppInicializar, ppNome);

{ Commits the chosen misbehaviour if it belongs at this entry point. }
procedure CometerDefeito(Ponto: TPonto);
{ True when the chosen misbehaviour must escape the entry point's exception handler. }
function DefeitoEscapa: Boolean;

implementation

uses
  BaseUnix, Math, SysUtils;

const
  MENSAGEM = 'mensagem da biblioteca';

function Defeito: string;
begin
  Result := GetEnvironmentVariable('ACBR_FALSA_DEFEITO');
end;

function DefeitoEscapa: Boolean;
begin
  Result := (Defeito = 'excecao') or (Defeito = 'acesso_nulo');
end;

procedure TratarSinal(Sinal: cint); cdecl;
begin
end;

procedure InstalarSinais;
var
  Acao: SigActionRec;
  Sinal: cint;
begin
  FillChar(Acao, SizeOf(Acao), 0);
  Acao.sa_handler := SigActionHandler(@TratarSinal);
  for Sinal in [SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGSEGV, SIGBUS, SIGFPE, SIGILL] do
    fpSigAction(Sinal, @Acao, nil);
end;

procedure CometerDefeito(Ponto: TPonto);
var
  Nome, Linha: string;
begin
  Nome := Defeito;
  if Ponto = ppInicializar then
  begin
    if Nome = 'dorme' then
      Sleep(10 * 60 * 1000);
    Exit;
  end;
  if Nome = 'escreve_linha' then
    WriteLn(MENSAGEM)
  else if Nome = 'escreve_sem_fim' then
    Write('sem fim de linha')
  else if Nome = 'escreve_descritor' then
    fpWrite(1, MENSAGEM + #10, Length(MENSAGEM) + 1)
  else if Nome = 'escreve_erro' then
    WriteLn(StdErr, MENSAGEM)
  else if Nome = 'le_entrada' then
    ReadLn(Linha)
  else if Nome = 'excecao' then
    raise Exception.Create('falha da biblioteca')
  else if Nome = 'acesso_nulo' then
    PInteger(nil)^ := 1
  else if Nome = 'muda_diretorio' then
    SetCurrentDir('/')
  else if Nome = 'sigpipe_padrao' then
    fpSignal(SIGPIPE, SignalHandler(SIG_DFL))
  else if Nome = 'instala_sinais' then
    InstalarSinais
  else if Nome = 'muda_fpu' then
  begin
    SetRoundMode(rmTruncate);
    SetExceptionMask([exDenormalized, exUnderflow, exPrecision]);
  end;
end;

end.
