package br.com.acbrponte;

/** No bridge was found, or it could not be started; the system's error, if any, is the cause. */
public class PonteNaoIniciadaException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;
    private final String executavel;

    /** An error with its message and the path tried (null when none was found). */
    public PonteNaoIniciadaException(String mensagem, String executavel) {
        super(mensagem);
        this.executavel = executavel;
    }

    /** An error with its message, the path tried and the system's error. */
    public PonteNaoIniciadaException(String mensagem, String executavel, Throwable causa) {
        super(mensagem, causa);
        this.executavel = executavel;
    }

    /** The path that was tried, or null when none was found. */
    public String executavel() {
        return executavel;
    }
}
