package br.com.acbrponte;

/** A command that cannot be sent as one line (blank, holding a line feed, not UTF-8); it is
 * refused before anything is written, so the bridge is not touched. */
public final class ComandoRecusadoException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;

    /** An error with its message. */
    public ComandoRecusadoException(String mensagem) {
        super(mensagem);
    }
}
