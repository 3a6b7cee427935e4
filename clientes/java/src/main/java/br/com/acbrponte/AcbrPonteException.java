package br.com.acbrponte;

/** Base class of every error a {@link Ponte} raises about the bridge. Wrong arguments and options
 * are {@link IllegalArgumentException}s instead. */
public class AcbrPonteException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    // The stderr tail goes into a message up to this many bytes of UTF-8 (the accessor keeps it all).
    private static final int SUFIXO_MAXIMO = 1000;

    /** An error with its message. */
    public AcbrPonteException(String mensagem) {
        super(mensagem);
    }

    /** An error with its message and the system's error behind it. */
    public AcbrPonteException(String mensagem, Throwable causa) {
        super(mensagem, causa);
    }

    /** The end of standard error, for a message: empty, or a line feed, {@code stderr:}, a line
     * feed and at most the last 1000 bytes of the tail without white space at its ends. */
    static String sufixo(String stderr) {
        String texto = EspacoBranco.aparar(stderr);
        if (texto.isEmpty()) {
            return "";
        }
        byte[] dados = texto.getBytes(java.nio.charset.StandardCharsets.UTF_8);
        if (dados.length > SUFIXO_MAXIMO) {
            int inicio = dados.length - SUFIXO_MAXIMO;
            while (inicio < dados.length && (dados[inicio] & 0xC0) == 0x80) { // a whole character first
                inicio++;
            }
            texto = "..." + new String(dados, inicio, dados.length - inicio, java.nio.charset.StandardCharsets.UTF_8);
        }
        return "\nstderr:\n" + texto;
    }
}
