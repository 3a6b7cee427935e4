package br.com.acbrponte;

import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

/** A bridge the package carries for a platform key, and the sha256 the package gives for it. */
final class PonteDoPacote {
    /** Opens the bridge's bytes. */
    interface Fonte {
        InputStream abrir() throws IOException;
    }

    final String chave;
    /** Where it is, for messages: a path, or the jar's URL of it. */
    final String caminho;
    final String sha256;
    final Fonte fonte;

    PonteDoPacote(String chave, String caminho, String sha256, Fonte fonte) {
        this.chave = chave;
        this.caminho = caminho;
        this.sha256 = sha256;
        this.fonte = fonte;
    }

    boolean mesma(PonteDoPacote outra) {
        return outra != null && chave.equals(outra.chave) && caminho.equals(outra.caminho) && sha256.equals(outra.sha256);
    }

    static String nome(String chave) {
        return Localizacao.NOME + (chave.startsWith("win-") ? ".exe" : "");
    }

    /** The bridge this jar carries for {@code chave} (bin/&lt;key&gt;/ beside this class), or null. */
    static PonteDoPacote doJar(String chave) {
        URL ponte = PonteDoPacote.class.getResource("bin/" + chave + "/" + nome(chave));
        if (ponte == null) {
            return null;
        }
        String sha256;
        try (InputStream soma = PonteDoPacote.class.getResourceAsStream("bin/" + chave + "/" + Localizacao.NOME + ".sha256")) {
            sha256 = soma == null ? "" : new String(soma.readNBytes(64), StandardCharsets.US_ASCII);
        } catch (IOException erro) {
            sha256 = "";
        }
        return conferida(chave, ponte.toString(), sha256, ponte::openStream);
    }

    /** The bridge in {@code pasta}/&lt;key&gt;/, laid out as in the jar, or null. */
    static PonteDoPacote daPasta(Path pasta, String chave) {
        Path ponte = pasta.resolve(chave).resolve(nome(chave));
        if (!Files.isRegularFile(ponte)) {
            return null;
        }
        String sha256;
        try (InputStream soma = Files.newInputStream(pasta.resolve(chave).resolve(Localizacao.NOME + ".sha256"))) {
            sha256 = new String(soma.readNBytes(64), StandardCharsets.US_ASCII);
        } catch (IOException erro) {
            sha256 = "";
        }
        return conferida(chave, ponte.toString(), sha256, () -> Files.newInputStream(ponte));
    }

    private static PonteDoPacote conferida(String chave, String caminho, String sha256, Fonte fonte) {
        if (!sha256.matches("[0-9a-f]{64}")) {
            throw new PonteNaoIniciadaException("a ponte do pacote " + caminho + " não confere com o sha256 que o pacote traz", caminho);
        }
        return new PonteDoPacote(chave, caminho, sha256, fonte);
    }
}
