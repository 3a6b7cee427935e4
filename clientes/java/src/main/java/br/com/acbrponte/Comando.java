package br.com.acbrponte;

import java.nio.ByteBuffer;
import java.nio.CharBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;
import java.util.Map;

/** Commands into lines and lines into answers: what is refused before anything is written, and
 * what is not an answer. */
final class Comando {
    private Comando() {
    }

    static final byte[] LINHA_DA_VERSAO = "{\"cmd\":\"versao\"}\n".getBytes(StandardCharsets.UTF_8);

    /** The line for {@code comando}, line feed included, or ComandoRecusadoException for what the
     * bridge would answer never (a blank line), more than once (a line feed inside) or could not
     * read (not UTF-8). */
    static byte[] linhaDoComando(String comando) {
        if (comando.indexOf('\n') >= 0) {
            throw new ComandoRecusadoException("o comando tem uma quebra de linha: a ponte o leria como mais de uma linha");
        }
        if (EspacoBranco.aparar(comando).isEmpty()) {
            throw new ComandoRecusadoException("comando em branco: a ponte não responde a linhas em branco");
        }
        ByteBuffer dados;
        try {
            dados = StandardCharsets.UTF_8.newEncoder()
                .onMalformedInput(CodingErrorAction.REPORT)
                .onUnmappableCharacter(CodingErrorAction.REPORT)
                .encode(CharBuffer.wrap(comando));
        } catch (CharacterCodingException erro) { // a lone surrogate
            throw new ComandoRecusadoException("o comando não é UTF-8 válido");
        }
        byte[] linha = new byte[dados.remaining() + 1];
        dados.get(linha, 0, linha.length - 1);
        linha[linha.length - 1] = '\n';
        return linha;
    }

    /** The answer of a line (without its line feed), or RespostaInvalidaException. */
    @SuppressWarnings("unchecked")
    static Resposta lerResposta(byte[] linha) {
        String texto;
        try {
            texto = StandardCharsets.UTF_8.newDecoder()
                .onMalformedInput(CodingErrorAction.REPORT)
                .onUnmappableCharacter(CodingErrorAction.REPORT)
                .decode(ByteBuffer.wrap(linha)).toString();
        } catch (CharacterCodingException erro) {
            throw new RespostaInvalidaException(new String(linha, StandardCharsets.UTF_8));
        }
        Object valor;
        try {
            valor = Json.ler(texto);
        } catch (IllegalArgumentException erro) {
            valor = null;
        }
        if (!(valor instanceof Map) || !(((Map<String, Object>) valor).get("ok") instanceof Boolean)) {
            throw new RespostaInvalidaException(texto);
        }
        return new Resposta((Map<String, Object>) valor, texto);
    }
}
