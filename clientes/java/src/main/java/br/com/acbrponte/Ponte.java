package br.com.acbrponte;

import java.time.Duration;
import java.util.Map;
import java.util.OptionalLong;
import java.util.concurrent.locks.ReentrantLock;

/** A client of the acbr-ponte bridge.
 *
 * <pre>{@code
 * try (Ponte ponte = new Ponte()) {
 *     Versao versao = ponte.versao();
 * }
 * }</pre>
 *
 * <p>The bridge starts on the first call, with the environment as it is then, and so does every
 * later one: after a crash, a hang past the time limit, an answer that was not one, and every
 * {@code comandosPorPonte} commands. Calls from several threads are served one at a time, in turn.
 * The bridge this jar carries for the platform runs from its copy in the configuration folder. */
public final class Ponte implements AutoCloseable {
    /** This client's version, which names the copy of the packaged bridge. */
    public static final String VERSAO_DO_CLIENTE = "0.1.0";

    // Given this long to exit after its input is closed; then it is killed.
    private static final Duration ESPERA_AO_FECHAR = Duration.ofSeconds(2);

    private final OpcoesDaPonte opcoes;
    private final Arredores arredores;
    private final ReentrantLock turno = new ReentrantLock(true);
    private volatile Processo processo; // written under the turn; read by pid()
    private CopiaDaPonte copia;

    private final Object estado = new Object();
    private boolean fechada;
    private int pendentes; // calls made and not yet finished, so that closing lets them finish first

    /** A client with every option at its default. Starts nothing. */
    public Ponte() {
        this(OpcoesDaPonte.builder().build());
    }

    /** A client with these options. Starts nothing. */
    public Ponte(OpcoesDaPonte opcoes) {
        this(opcoes, Arredores.DO_PROCESSO);
    }

    Ponte(OpcoesDaPonte opcoes, Arredores arredores) {
        if (opcoes == null) {
            throw new IllegalArgumentException("opcoes não pode ser null");
        }
        this.opcoes = opcoes;
        this.arredores = arredores;
    }

    /** The options it was made with. */
    public OpcoesDaPonte opcoes() {
        return opcoes;
    }

    /** The process id of the running bridge, or empty when none is running. */
    public OptionalLong pid() {
        Processo atual = processo;
        return atual == null ? OptionalLong.empty() : OptionalLong.of(atual.pid);
    }

    /** The library's name and version.
     *
     * @throws ErroDaPonteException with the bridge's text when the library could not tell them
     * @throws AcbrPonteException when the bridge could not answer (see its subclasses)
     * @throws InterruptedException when the calling thread was interrupted while it waited; the
     *     bridge was killed, and the next call starts a fresh one */
    public Versao versao() throws InterruptedException {
        Resposta resposta = trocar(Comando.LINHA_DA_VERSAO, true);
        if (resposta.ok()) {
            return new Versao(resposta.nome(), resposta.versao());
        }
        throw new ErroDaPonteException(resposta.erro());
    }

    /** Sends one command, a line of text as it is, and returns the answer, failures included.
     *
     * @throws ComandoRecusadoException before anything is written, for a command that is blank,
     *     holds a line feed or a lone surrogate
     * @throws AcbrPonteException when the bridge could not answer (see its subclasses)
     * @throws InterruptedException when the calling thread was interrupted while it waited; the
     *     bridge was killed, and the next call starts a fresh one */
    public Resposta enviar(String linha) throws InterruptedException {
        if (linha == null) {
            throw new IllegalArgumentException("linha não pode ser null");
        }
        return trocar(Comando.linhaDoComando(linha), false);
    }

    /** Lets the calls already made finish, closes the bridge's input, gives it 2 s to exit, then
     * kills it; the process is reaped. Later calls raise {@link PonteFechadaException}. Closing
     * twice is harmless. An interrupt while it waits is kept for the caller. */
    @Override
    public void close() {
        boolean interrompida = false;
        synchronized (estado) {
            fechada = true;
            while (pendentes > 0) {
                try {
                    estado.wait();
                } catch (InterruptedException e) {
                    interrompida = true;
                }
            }
        }
        turno.lock();
        try {
            Processo atual = processo;
            processo = null;
            if (atual != null) {
                atual.encerrar(ESPERA_AO_FECHAR);
            }
        } finally {
            turno.unlock();
        }
        if (interrompida) {
            Thread.currentThread().interrupt();
        }
    }

    @Override
    public String toString() {
        Processo atual = processo;
        return "Ponte[executavel=" + opcoes.executavel() + ", pid=" + (atual == null ? "null" : atual.pid) + "]";
    }

    private Resposta trocar(byte[] linha, boolean versao) throws InterruptedException {
        synchronized (estado) {
            if (fechada) {
                throw new PonteFechadaException();
            }
            pendentes++;
        }
        try {
            turno.lockInterruptibly();
            try {
                // The limit counts from here: the start of a bridge started for this call included.
                long prazo = System.nanoTime() + opcoes.tempoLimite().toNanos();
                Processo atual = pronto();
                try {
                    byte[] lida = null;
                    if (atual.comandos > 0) {
                        lida = atual.trocarSeViva(linha, prazo, opcoes.tempoLimite());
                        if (lida == null) { // it had ended while idle, unseen: the command reached nobody
                            processo = null;
                            atual.matar(false);
                            atual = pronto();
                        }
                    }
                    if (lida == null) {
                        lida = atual.trocar(linha, prazo, opcoes.tempoLimite());
                    }
                    Resposta resposta = Comando.lerResposta(lida);
                    if (versao && !resposta.formaDeVersao()) {
                        throw new RespostaInvalidaException(resposta.linha());
                    }
                    return resposta;
                } catch (Throwable erro) {
                    // Failed, or interrupted with an answer still to come that would be taken for
                    // the next call's: this bridge is done.
                    processo = null;
                    atual.matar(false);
                    throw erro;
                }
            } finally {
                turno.unlock();
            }
        } finally {
            synchronized (estado) {
                if (--pendentes == 0) {
                    estado.notifyAll();
                }
            }
        }
    }

    private Processo pronto() {
        Processo atual = processo;
        if (atual != null) {
            if (!atual.ociosa()) {
                processo = null;
                atual.matar(false);
            } else if (opcoes.comandosPorPonte() > 0 && atual.comandos >= opcoes.comandosPorPonte()) {
                processo = null;
                atual.encerrar(ESPERA_AO_FECHAR);
            } else {
                return atual;
            }
        }
        Map<String, String> ambiente = arredores == Arredores.DO_PROCESSO ? null : arredores.ambiente.get();
        String executavel = executavel(ambiente == null ? System.getenv() : ambiente);
        atual = new Processo(executavel, ambiente, opcoes.acbrDir());
        processo = atual;
        return atual;
    }

    /** The bridge to start now: the option, ACBR_PONTE, the package's (its checked copy), PATH. */
    private String executavel(Map<String, String> ambiente) {
        if (opcoes.executavel() != null) {
            return Localizacao.comExe(opcoes.executavel());
        }
        String doAmbiente = ambiente.get("ACBR_PONTE");
        if (doAmbiente != null && !doAmbiente.isEmpty()) {
            return Localizacao.comExe(doAmbiente);
        }
        String chave = Localizacao.chave(opcoes.arquitetura());
        PonteDoPacote origem = chave == null ? null : arredores.pacote.apply(chave);
        if (origem != null) {
            String pasta = opcoes.pastaDeConfiguracao() != null ? opcoes.pastaDeConfiguracao()
                : Localizacao.pastaPorUsuario(ambiente);
            if (copia == null || !copia.origem.mesma(origem) || !copia.pasta.equals(pasta)) {
                copia = new CopiaDaPonte(origem, pasta, VERSAO_DO_CLIENTE);
            }
            return copia.pronta();
        }
        String achado = Localizacao.noPath(ambiente);
        if (achado == null) {
            throw new PonteNaoIniciadaException(Localizacao.NAO_ENCONTRADA, null);
        }
        return achado;
    }
}
