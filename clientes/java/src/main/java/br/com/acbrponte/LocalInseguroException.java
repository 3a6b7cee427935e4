package br.com.acbrponte;

/** The folder the packaged bridge runs from, or its copy there, could be changed by someone else
 * (or was): nothing was run. */
public final class LocalInseguroException extends PonteNaoIniciadaException {
    private static final long serialVersionUID = 1L;
    private final String caminho;
    private final String motivo;

    /** An error for the path and what is wrong with it. */
    public LocalInseguroException(String caminho, String motivo) {
        super("local inseguro para a ponte: " + caminho + ": " + motivo, null);
        this.caminho = caminho;
        this.motivo = motivo;
    }

    /** The folder or the copy. */
    public String caminho() {
        return caminho;
    }

    /** What is wrong with it. */
    public String motivo() {
        return motivo;
    }
}
