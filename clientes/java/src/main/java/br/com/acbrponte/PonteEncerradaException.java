package br.com.acbrponte;

/** The bridge ended during the call without answering. The call is not retried (the same command
 * may crash it again); the next call starts a fresh bridge. */
public final class PonteEncerradaException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;
    private final Integer status;
    private final Integer numeroDoSinal;
    private final String stderr;

    /** An error for an exit status, or (when {@code numeroDoSinal} is not null) a signal. */
    public PonteEncerradaException(Integer status, Integer numeroDoSinal, String stderr) {
        super(mensagem(status, numeroDoSinal) + sufixo(stderr));
        this.status = numeroDoSinal == null ? status : null;
        this.numeroDoSinal = numeroDoSinal;
        this.stderr = stderr;
    }

    /** The exit status, or null when a signal ended it. */
    public Integer status() {
        return status;
    }

    /** The name of the signal that ended it ({@code "SIGSEGV"}, ...), or null: ended by itself,
     * or by a signal without a name here (see {@link #numeroDoSinal()}). The runtime reports a
     * process a signal ended as 128 + the signal's number, so a status from 129 to 192 reads as
     * a signal. */
    public String sinal() {
        return numeroDoSinal == null ? null : Sinais.nome(numeroDoSinal);
    }

    /** The number of the signal that ended it, or null. */
    public Integer numeroDoSinal() {
        return numeroDoSinal;
    }

    /** The last 8 KiB of the bridge's standard error, where the Free Pascal runtime reports an
     * unhandled exception. */
    public String stderr() {
        return stderr;
    }

    private static String mensagem(Integer status, Integer sinal) {
        if (sinal != null) {
            String nome = Sinais.nome(sinal);
            return "a ponte encerrou pelo sinal " + sinal + (nome == null ? "" : " (" + nome + ")") + " sem responder";
        }
        return "a ponte encerrou com o status " + status + " sem responder";
    }
}
