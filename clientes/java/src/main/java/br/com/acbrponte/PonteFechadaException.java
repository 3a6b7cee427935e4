package br.com.acbrponte;

/** A call on a {@link Ponte} that was closed. */
public final class PonteFechadaException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;

    /** The error. */
    public PonteFechadaException() {
        super("a Ponte foi fechada");
    }
}
