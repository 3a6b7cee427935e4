package br.com.acbrponte;

import java.util.Objects;

/** The library's name and version; each is null when the bridge's answer leaves it out. */
public final class Versao {
    private final String nome;
    private final String numero;

    /** A name and a version, either of them null. */
    public Versao(String nome, String numero) {
        this.nome = nome;
        this.numero = numero;
    }

    /** The library's name, or null. */
    public String nome() {
        return nome;
    }

    /** The library's version, or null. */
    public String numero() {
        return numero;
    }

    @Override
    public boolean equals(Object outro) {
        return outro instanceof Versao && Objects.equals(nome, ((Versao) outro).nome)
            && Objects.equals(numero, ((Versao) outro).numero);
    }

    @Override
    public int hashCode() {
        return Objects.hash(nome, numero);
    }

    @Override
    public String toString() {
        return "Versao[nome=" + nome + ", numero=" + numero + "]";
    }
}
