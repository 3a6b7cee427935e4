package br.com.acbrponte;

import java.nio.file.Path;
import java.time.Duration;

/** The options of a {@link Ponte}, made with {@link #builder()}; every one has a default. */
public final class OpcoesDaPonte {
    private final String executavel;
    private final String acbrDir;
    private final Duration tempoLimite;
    private final int comandosPorPonte;
    private final Arquitetura arquitetura;
    private final String pastaDeConfiguracao;

    private OpcoesDaPonte(Builder b) {
        executavel = b.executavel;
        acbrDir = b.acbrDir;
        tempoLimite = b.tempoLimite;
        comandosPorPonte = b.comandosPorPonte;
        arquitetura = b.arquitetura;
        pastaDeConfiguracao = b.pastaDeConfiguracao;
    }

    /** A builder with every option at its default. */
    public static Builder builder() {
        return new Builder();
    }

    /** The bridge's path, or null: looked for ({@code ACBR_PONTE}, the packaged bridge, PATH). */
    public String executavel() {
        return executavel;
    }

    /** The {@code ACBR_DIR} every bridge gets, or null: the environment's. */
    public String acbrDir() {
        return acbrDir;
    }

    /** How long a call may wait for its answer (default 30 s). */
    public Duration tempoLimite() {
        return tempoLimite;
    }

    /** A bridge that has served this many commands is replaced before the next call (default
     * 1000; 0: never). */
    public int comandosPorPonte() {
        return comandosPorPonte;
    }

    /** Which packaged bridge to run, or null: the host process's own word size. */
    public Arquitetura arquitetura() {
        return arquitetura;
    }

    /** Where the packaged bridge is placed, and so where the library keeps its configuration
     * file, or null: the per-user folder. */
    public String pastaDeConfiguracao() {
        return pastaDeConfiguracao;
    }

    /** Sets the options; each setter checks its value ({@link IllegalArgumentException}). */
    public static final class Builder {
        private String executavel;
        private String acbrDir;
        private Duration tempoLimite = Duration.ofSeconds(30);
        private int comandosPorPonte = 1000;
        private Arquitetura arquitetura;
        private String pastaDeConfiguracao;

        private Builder() {
        }

        /** The bridge's path (null: looked for). */
        public Builder executavel(Path caminho) {
            return executavel(caminho == null ? null : caminho.toString());
        }

        /** The bridge's path (null: looked for). */
        public Builder executavel(String caminho) {
            if (caminho != null && caminho.isEmpty()) {
                throw new IllegalArgumentException("executavel não pode ser vazio");
            }
            executavel = caminho;
            return this;
        }

        /** The folder of the library, given to every bridge as {@code ACBR_DIR} (null: the
         * environment's). */
        public Builder acbrDir(Path pasta) {
            return acbrDir(pasta == null ? null : pasta.toString());
        }

        /** The folder of the library, given to every bridge as {@code ACBR_DIR} (null: the
         * environment's). */
        public Builder acbrDir(String pasta) {
            acbrDir = pasta;
            return this;
        }

        /** How long a call may wait for its answer, counted from when its command is written;
         * past it the bridge is killed. Positive. */
        public Builder tempoLimite(Duration tempo) {
            if (tempo == null || tempo.isNegative() || tempo.isZero()) {
                throw new IllegalArgumentException("tempoLimite deve ser positivo: " + tempo);
            }
            tempoLimite = tempo;
            return this;
        }

        /** A bridge that has served this many commands is replaced before the next call; 0:
         * never. */
        public Builder comandosPorPonte(int comandos) {
            if (comandos < 0) {
                throw new IllegalArgumentException("comandosPorPonte deve ser um inteiro >= 0: " + comandos);
            }
            comandosPorPonte = comandos;
            return this;
        }

        /** Which packaged bridge to run: {@link Arquitetura#X86} runs the 32-bit bridge from a
         * 64-bit host (null: the host's own). */
        public Builder arquitetura(Arquitetura qual) {
            arquitetura = qual;
            return this;
        }

        /** Where the packaged bridge is placed (null: the per-user folder). */
        public Builder pastaDeConfiguracao(Path pasta) {
            return pastaDeConfiguracao(pasta == null ? null : pasta.toString());
        }

        /** Where the packaged bridge is placed (null: the per-user folder). */
        public Builder pastaDeConfiguracao(String pasta) {
            if (pasta != null && pasta.isEmpty()) {
                throw new IllegalArgumentException("pastaDeConfiguracao não pode ser vazia");
            }
            pastaDeConfiguracao = pasta;
            return this;
        }

        /** The options. */
        public OpcoesDaPonte build() {
            return new OpcoesDaPonte(this);
        }
    }
}
