package br.com.acbrponte;

import java.math.BigDecimal;
import java.math.BigInteger;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/** A strict JSON reader (the answers' grammar): objects become {@code Map}s, arrays
 * {@code List}s, numbers {@code Long}, {@code BigInteger} or {@code BigDecimal}, null
 * {@link #NULO}. */
final class Json {
    /** JSON's null, so that a member holding it is told from a member left out. */
    static final Object NULO = new Object() {
        @Override
        public String toString() {
            return "null";
        }
    };

    private static final int PROFUNDIDADE_MAXIMA = 512;

    private final String texto;
    private int posicao;

    private Json(String texto) {
        this.texto = texto;
    }

    /** The value of the whole text, or IllegalArgumentException. */
    static Object ler(String texto) {
        Json leitor = new Json(texto);
        leitor.espacos();
        Object valor = leitor.valor(0);
        leitor.espacos();
        if (leitor.posicao != texto.length()) {
            throw leitor.erro("text after the value");
        }
        return valor;
    }

    private IllegalArgumentException erro(String motivo) {
        return new IllegalArgumentException(motivo + " at " + posicao);
    }

    private void espacos() {
        while (posicao < texto.length()) {
            char c = texto.charAt(posicao);
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                return;
            }
            posicao++;
        }
    }

    private char atual() {
        if (posicao >= texto.length()) {
            throw erro("unexpected end");
        }
        return texto.charAt(posicao);
    }

    private Object valor(int profundidade) {
        if (profundidade > PROFUNDIDADE_MAXIMA) {
            throw erro("too deep");
        }
        char c = atual();
        switch (c) {
            case '{':
                return objeto(profundidade);
            case '[':
                return lista(profundidade);
            case '"':
                return cadeia();
            case 't':
                return palavra("true", Boolean.TRUE);
            case 'f':
                return palavra("false", Boolean.FALSE);
            case 'n':
                return palavra("null", NULO);
            default:
                return numero();
        }
    }

    private Object palavra(String palavra, Object valor) {
        if (!texto.startsWith(palavra, posicao)) {
            throw erro("unexpected character");
        }
        posicao += palavra.length();
        return valor;
    }

    private Map<String, Object> objeto(int profundidade) {
        posicao++;
        Map<String, Object> membros = new LinkedHashMap<>();
        espacos();
        if (atual() == '}') {
            posicao++;
            return membros;
        }
        while (true) {
            espacos();
            if (atual() != '"') {
                throw erro("expected a member name");
            }
            String nome = cadeia();
            espacos();
            if (atual() != ':') {
                throw erro("expected ':'");
            }
            posicao++;
            espacos();
            membros.put(nome, valor(profundidade + 1));
            espacos();
            char c = atual();
            posicao++;
            if (c == '}') {
                return membros;
            }
            if (c != ',') {
                throw erro("expected ',' or '}'");
            }
        }
    }

    private List<Object> lista(int profundidade) {
        posicao++;
        List<Object> itens = new ArrayList<>();
        espacos();
        if (atual() == ']') {
            posicao++;
            return itens;
        }
        while (true) {
            espacos();
            itens.add(valor(profundidade + 1));
            espacos();
            char c = atual();
            posicao++;
            if (c == ']') {
                return itens;
            }
            if (c != ',') {
                throw erro("expected ',' or ']'");
            }
        }
    }

    private String cadeia() {
        posicao++;
        StringBuilder saida = null;
        int inicio = posicao;
        while (true) {
            char c = atual();
            if (c == '"') {
                String pedaco = texto.substring(inicio, posicao);
                posicao++;
                return saida == null ? pedaco : saida.append(pedaco).toString();
            }
            if (c < 0x20) {
                throw erro("control character in a string");
            }
            if (c != '\\') {
                posicao++;
                continue;
            }
            if (saida == null) {
                saida = new StringBuilder();
            }
            saida.append(texto, inicio, posicao);
            posicao++;
            char escape = atual();
            posicao++;
            switch (escape) {
                case '"': saida.append('"'); break;
                case '\\': saida.append('\\'); break;
                case '/': saida.append('/'); break;
                case 'b': saida.append('\b'); break;
                case 'f': saida.append('\f'); break;
                case 'n': saida.append('\n'); break;
                case 'r': saida.append('\r'); break;
                case 't': saida.append('\t'); break;
                case 'u':
                    if (posicao + 4 > texto.length()) {
                        throw erro("short \\u escape");
                    }
                    int codigo = 0;
                    for (int i = 0; i < 4; i++) {
                        int digito = Character.digit(texto.charAt(posicao++), 16);
                        if (digito < 0) {
                            throw erro("bad \\u escape");
                        }
                        codigo = codigo * 16 + digito;
                    }
                    saida.append((char) codigo);
                    break;
                default:
                    throw erro("bad escape");
            }
            inicio = posicao;
        }
    }

    private Object numero() {
        int inicio = posicao;
        if (posicao < texto.length() && texto.charAt(posicao) == '-') {
            posicao++;
        }
        if (posicao < texto.length() && texto.charAt(posicao) == '0') {
            posicao++;
        } else if (!digitos()) {
            throw erro("unexpected character");
        }
        boolean inteiro = true;
        if (posicao < texto.length() && texto.charAt(posicao) == '.') {
            posicao++;
            inteiro = false;
            if (!digitos()) {
                throw erro("digits expected");
            }
        }
        if (posicao < texto.length() && (texto.charAt(posicao) == 'e' || texto.charAt(posicao) == 'E')) {
            posicao++;
            inteiro = false;
            if (posicao < texto.length() && (texto.charAt(posicao) == '+' || texto.charAt(posicao) == '-')) {
                posicao++;
            }
            if (!digitos()) {
                throw erro("digits expected");
            }
        }
        String numero = texto.substring(inicio, posicao);
        if (!inteiro) {
            return new BigDecimal(numero);
        }
        BigInteger valor = new BigInteger(numero);
        return valor.bitLength() < 64 ? (Object) valor.longValue() : valor;
    }

    private boolean digitos() {
        int inicio = posicao;
        while (posicao < texto.length() && texto.charAt(posicao) >= '0' && texto.charAt(posicao) <= '9') {
            posicao++;
        }
        return posicao > inicio;
    }
}
