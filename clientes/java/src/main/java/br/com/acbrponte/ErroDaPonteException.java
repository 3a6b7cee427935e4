package br.com.acbrponte;

/** {@link Ponte#versao()} got {@code {"ok":false,"erro":...}}; the message is that text, exactly. */
public final class ErroDaPonteException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;
    private final String erro;

    /** An error for the bridge's text. */
    public ErroDaPonteException(String erro) {
        super(erro);
        this.erro = erro;
    }

    /** The bridge's {@code erro} text, exactly. */
    public String erro() {
        return erro;
    }
}
