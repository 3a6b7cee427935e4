package br.com.acbrponte;

/** The answer was not what the protocol says (not a JSON object with a boolean {@code ok}, or a
 * version answer of the wrong shape): something else wrote to the bridge's output, so later
 * answers could not be trusted to match their calls. The bridge was discarded. */
public final class RespostaInvalidaException extends AcbrPonteException {
    private static final long serialVersionUID = 1L;
    private static final int MAXIMO_NA_MENSAGEM = 200;
    private final String linha;

    /** An error for the line read, without its line feed. */
    public RespostaInvalidaException(String linha) {
        super("resposta inválida da ponte: " + cortar(linha));
        this.linha = linha;
    }

    /** The line, as text, without its line feed. */
    public String linha() {
        return linha;
    }

    private static String cortar(String linha) {
        if (linha.codePointCount(0, linha.length()) <= MAXIMO_NA_MENSAGEM) {
            return linha;
        }
        return linha.substring(0, linha.offsetByCodePoints(0, MAXIMO_NA_MENSAGEM)) + "...";
    }
}
