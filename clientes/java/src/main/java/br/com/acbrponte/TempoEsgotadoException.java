package br.com.acbrponte;

import java.time.Duration;

/** No answer within the time limit: the bridge was killed, and the next call starts a fresh one. */
public final class TempoEsgotadoException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;
    private final Duration tempoLimite;
    private final String stderr;

    /** An error for the limit that passed and the tail of the bridge's standard error. */
    public TempoEsgotadoException(Duration tempoLimite, String stderr) {
        super("a ponte não respondeu em " + milissegundos(tempoLimite) + " ms e foi encerrada" + sufixo(stderr));
        this.tempoLimite = tempoLimite;
        this.stderr = stderr;
    }

    /** The time limit that passed. */
    public Duration tempoLimite() {
        return tempoLimite;
    }

    /** The last 8 KiB of the bridge's standard error. */
    public String stderr() {
        return stderr;
    }

    static long milissegundos(Duration tempo) {
        return Math.round(tempo.toNanos() / 1e6);
    }
}
