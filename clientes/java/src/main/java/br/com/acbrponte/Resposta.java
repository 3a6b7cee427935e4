package br.com.acbrponte;

import java.util.Map;

/** An answer of the bridge, failures included: its {@code ok}, the texts it holds (each null when
 * the answer leaves it out or holds something else there) and the line as received. */
public final class Resposta {
    private final boolean ok;
    private final String nome;
    private final String versao;
    private final String erro;
    private final String linha;
    private final boolean formaDeVersao;

    Resposta(Map<String, Object> objeto, String linha) {
        this.ok = (Boolean) objeto.get("ok");
        this.nome = texto(objeto.get("nome"));
        this.versao = texto(objeto.get("versao"));
        this.erro = texto(objeto.get("erro"));
        this.linha = linha;
        Object ausente = "";
        this.formaDeVersao = ok
            ? objeto.getOrDefault("nome", ausente) instanceof String && objeto.getOrDefault("versao", ausente) instanceof String
            : objeto.get("erro") instanceof String;
    }

    /** {@code {"ok":true}} whose name and version are texts or absent, or {@code {"ok":false}}
     * with a text: what a version query may answer. */
    boolean formaDeVersao() {
        return formaDeVersao;
    }

    private static String texto(Object valor) {
        return valor instanceof String ? (String) valor : null;
    }

    /** Whether the command succeeded. */
    public boolean ok() {
        return ok;
    }

    /** The {@code nome} text, or null. */
    public String nome() {
        return nome;
    }

    /** The {@code versao} text, or null. */
    public String versao() {
        return versao;
    }

    /** The {@code erro} text, or null. */
    public String erro() {
        return erro;
    }

    /** The answer line as received, without its line feed. */
    public String linha() {
        return linha;
    }

    @Override
    public String toString() {
        return linha;
    }
}
