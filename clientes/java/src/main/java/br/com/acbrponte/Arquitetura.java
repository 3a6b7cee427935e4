package br.com.acbrponte;

/** The word size of the packaged bridge to run. */
public enum Arquitetura {
    /** The 64-bit bridge (x86-64). */
    X64("x64"),
    /** The 32-bit bridge (x86), which can load a 32-bit build of the library from a 64-bit host. */
    X86("x86");

    private final String nome;

    Arquitetura(String nome) {
        this.nome = nome;
    }

    /** {@code "x64"} or {@code "x86"}, as in the platform keys. */
    public String nome() {
        return nome;
    }
}
