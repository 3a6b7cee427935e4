package br.com.acbrponte;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.time.Duration;
import java.util.ArrayDeque;
import java.util.Arrays;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.LockSupport;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** One running bridge: its three pipes, the answer lines and its end.
 *
 * <p>The calling thread writes the command and waits for the answer line. A thread of the
 * bridge's own reads its output with blocking reads and hands each line straight to the waiting
 * call; another drains standard error all the time into the {@link Cauda}, so a chatty library
 * never blocks the bridge. A waiting call also looks every so often whether the bridge has ended,
 * since a process the library started may hold the output open after the bridge is gone.
 *
 * <p>Exchanges are not thread-safe: the {@link Ponte} serves them one at a time. */
final class Processo {
    // Without a line or the end of the output, how often a waiting call asks whether the bridge has ended.
    private static final long INTERVALO_DE_VIGIA = TimeUnit.MILLISECONDS.toNanos(100);
    // How long an ended bridge's output and standard error may take to arrive, and its exit.
    private static final long ACABAMENTO = TimeUnit.MILLISECONDS.toNanos(1000);
    // Commands up to this size go into the pipe's free space at once; longer ones are written
    // from a thread of their own, so that a bridge that stopped reading cannot hold the call past
    // its limit.
    private static final int ESCRITA_DIRETA = 4096;
    private static final Pattern MOTIVO = Pattern.compile("error=(\\d+), (.*)$");
    // A copy just placed may be busy for a moment when a process another thread of the host started
    // still holds it open for writing; its start is tried again.
    private static final int TENTATIVAS = 5;

    private final Process processo;
    final long pid;
    int comandos;
    private final OutputStream entrada;
    private final InputStream saida;
    private final InputStream erro;
    private final Cauda cauda = new Cauda();
    private final Thread leitor;
    private final Thread drenagem;
    private Thread escritor;

    private final Object trava = new Object();
    private final ArrayDeque<byte[]> linhas = new ArrayDeque<>(); // lines read and not yet taken
    private boolean fimDaSaida;
    private volatile Thread esperando; // the call waiting for a line, woken by the reader
    private boolean concluido;

    /** Starts {@code executavel} with {@code ambiente} (null: the process's own) and
     * {@code acbrDir} as ACBR_DIR when not null. */
    Processo(String executavel, Map<String, String> ambiente, String acbrDir) {
        ProcessBuilder inicio = new ProcessBuilder(executavel);
        if (ambiente != null) {
            Map<String, String> variaveis = inicio.environment();
            variaveis.clear();
            variaveis.putAll(ambiente);
        }
        if (acbrDir != null) {
            inicio.environment().put("ACBR_DIR", acbrDir);
        }
        processo = iniciar(inicio, executavel);
        pid = processo.pid();
        entrada = processo.getOutputStream();
        saida = processo.getInputStream();
        erro = processo.getErrorStream();
        // Daemons: a Ponte never closed must not keep the host alive.
        leitor = new Thread(this::lerSaida, "acbr-ponte " + pid + " stdout");
        leitor.setDaemon(true);
        leitor.start();
        drenagem = new Thread(this::drenarErro, "acbr-ponte " + pid + " stderr");
        drenagem.setDaemon(true);
        drenagem.start();
    }

    private static Process iniciar(ProcessBuilder inicio, String executavel) {
        for (int tentativa = 1; ; tentativa++) {
            try {
                return inicio.start();
            } catch (IOException erro) {
                String mensagem = String.valueOf(erro.getMessage());
                Matcher motivo = MOTIVO.matcher(mensagem);
                boolean ocupado = motivo.find() && motivo.group(1).equals("26");
                if (ocupado && tentativa < TENTATIVAS) {
                    try {
                        Thread.sleep(10L * tentativa);
                        continue;
                    } catch (InterruptedException interrompida) {
                        Thread.currentThread().interrupt();
                    }
                }
                String razao = motivo.find(0) ? motivo.group(2) : mensagem;
                throw new PonteNaoIniciadaException("não foi possível iniciar a ponte " + executavel + ": " + razao, executavel, erro);
            }
        }
    }

    /** Alive, and nothing unasked-for in its output (a line, or its end): ready for a command. */
    boolean ociosa() {
        synchronized (trava) {
            if (!linhas.isEmpty() || fimDaSaida || concluido) {
                return false;
            }
        }
        return processo.isAlive();
    }

    /** Writes one command line and returns its answer line (without its line feed). Past
     * {@code prazo} (a {@link System#nanoTime()} instant) the process is killed
     * ({@link TempoEsgotadoException}); if it ends first, {@link PonteEncerradaException}. Either
     * way it is reaped before the error is raised. An interrupted wait leaves the bridge to the
     * caller, which kills it. */
    byte[] trocar(byte[] linha, long prazo, Duration tempoLimite) throws InterruptedException {
        escrever(linha);
        return resposta(prazo, tempoLimite);
    }

    /** As {@link #trocar}, but null when the bridge had already ended before the command: its
     * input refused the line, so nothing reached it and the command may go to another. The reader
     * and the process's reaper may not have seen the end of a bridge that died while idle. */
    byte[] trocarSeViva(byte[] linha, long prazo, Duration tempoLimite) throws InterruptedException {
        return escrever(linha) ? resposta(prazo, tempoLimite) : null;
    }

    private byte[] resposta(long prazo, Duration tempoLimite) throws InterruptedException {
        esperando = Thread.currentThread();
        try {
            while (true) {
                boolean fim;
                synchronized (trava) {
                    byte[] resposta = linhas.poll();
                    if (resposta != null) {
                        return resposta;
                    }
                    fim = fimDaSaida;
                }
                long falta = prazo - System.nanoTime();
                if (fim || falta <= 0) {
                    break;
                }
                esperar(Math.min(falta, INTERVALO_DE_VIGIA));
                synchronized (trava) {
                    if (!linhas.isEmpty() || fimDaSaida) {
                        continue;
                    }
                }
                if (!processo.isAlive()) {
                    break;
                }
            }
        } finally {
            esperando = null;
        }
        return falhou(prazo, tempoLimite);
    }

    /** Parks the calling thread until the reader hands it something, or for {@code nanos}. The
     * reader wakes it directly (a monitor's wait and notify cost a second hand-over per answer). */
    private static void esperar(long nanos) throws InterruptedException {
        LockSupport.parkNanos(nanos);
        if (Thread.interrupted()) {
            throw new InterruptedException();
        }
    }

    private void acordar() {
        Thread quem = esperando;
        if (quem != null) {
            LockSupport.unpark(quem);
        }
    }

    /** False when a line written at once was refused (see {@link #escreverAgora}). */
    private boolean escrever(byte[] linha) {
        comandos++;
        if (linha.length <= ESCRITA_DIRETA) {
            return escreverAgora(linha);
        }
        escritor = new Thread(() -> escreverAgora(linha), "acbr-ponte " + pid + " stdin");
        escritor.setDaemon(true);
        escritor.start();
        return true;
    }

    /** False when the bridge's input refused the line: it closed its input or ended. */
    private boolean escreverAgora(byte[] linha) {
        try {
            entrada.write(linha);
            entrada.flush();
            return true;
        } catch (IOException erro) {
            return false; // its end is told by its output
        }
    }

    /** No line came: the limit passed, or the bridge ended. */
    private byte[] falhou(long prazo, Duration tempoLimite) throws InterruptedException {
        boolean terminou;
        synchronized (trava) {
            terminou = fimDaSaida;
        }
        if (!terminou && processo.isAlive() && System.nanoTime() - prazo >= 0) {
            matar(true);
            throw new TempoEsgotadoException(tempoLimite, cauda.texto());
        }
        // Ended: an answer it wrote just before is still an answer.
        long ate = System.nanoTime() + ACABAMENTO;
        esperando = Thread.currentThread();
        try {
            while (true) {
                synchronized (trava) {
                    byte[] resposta = linhas.poll();
                    if (resposta != null) {
                        return resposta;
                    }
                    if (fimDaSaida) {
                        break;
                    }
                }
                long falta = ate - System.nanoTime();
                if (falta <= 0) {
                    break;
                }
                esperar(falta);
            }
        } finally {
            esperando = null;
        }
        if (!processo.waitFor(ACABAMENTO, TimeUnit.NANOSECONDS)) {
            // Its output ended but it lives on: it will never answer again.
            processo.destroyForcibly();
        }
        aguardar(processo);
        int codigo = processo.exitValue();
        concluir(true);
        if (!Localizacao.WINDOWS && codigo > 128 && codigo <= 128 + Sinais.MAIOR) {
            throw new PonteEncerradaException(null, codigo - 128, cauda.texto());
        }
        throw new PonteEncerradaException(codigo, null, cauda.texto());
    }

    /** Closes its input, gives it {@code espera} to exit, then kills it; reaped either way. */
    void encerrar(Duration espera) {
        synchronized (trava) {
            if (concluido) {
                return;
            }
        }
        try {
            entrada.close();
        } catch (IOException erro) {
            // Gone already.
        }
        try {
            if (!processo.waitFor(espera.toNanos(), TimeUnit.NANOSECONDS)) {
                processo.destroyForcibly();
            }
        } catch (InterruptedException interrompida) {
            processo.destroyForcibly();
            Thread.currentThread().interrupt();
        }
        aguardar(processo);
        concluir(false);
    }

    /** Kills it and reaps it. {@code esperarErro}: its standard error is wanted for an error. */
    void matar(boolean esperarErro) {
        synchronized (trava) {
            if (concluido) {
                return;
            }
        }
        processo.destroyForcibly();
        aguardar(processo);
        concluir(esperarErro);
    }

    /** Waits for the process to be reaped; an interrupt is kept for the caller, not obeyed: a
     * killed process is reaped at once. */
    private static void aguardar(Process processo) {
        boolean interrompida = false;
        while (true) {
            try {
                processo.waitFor();
                break;
            } catch (InterruptedException e) {
                interrompida = true;
            }
        }
        if (interrompida) {
            Thread.currentThread().interrupt();
        }
    }

    /** Once it is reaped: its threads end with its pipes (what it wrote to standard error kept),
     * and the pipes are closed. A process it left behind may hold the pipes open, so this waits a
     * moment and no more. */
    private void concluir(boolean esperarErro) {
        synchronized (trava) {
            if (concluido) {
                return;
            }
            concluido = true;
        }
        long ate = System.nanoTime() + ACABAMENTO;
        boolean interrompida = false;
        for (Thread thread : new Thread[] {drenagem, leitor, escritor}) {
            if (thread == null) {
                continue;
            }
            long falta = ate - System.nanoTime();
            try {
                if (falta > 0) {
                    TimeUnit.NANOSECONDS.timedJoin(thread, falta);
                }
            } catch (InterruptedException e) {
                interrompida = true;
            }
        }
        for (AutoCloseableIo fluxo : new AutoCloseableIo[] {entrada::close, erro::close, saida::close}) {
            try {
                fluxo.close();
            } catch (IOException e) {
                // Closed already.
            }
        }
        if (interrompida) {
            Thread.currentThread().interrupt();
        }
    }

    private interface AutoCloseableIo {
        void close() throws IOException;
    }

    private void lerSaida() {
        byte[] bloco = new byte[16384];
        ByteArrayOutputStream parcial = new ByteArrayOutputStream();
        try {
            int lidos;
            while ((lidos = saida.read(bloco)) > 0) {
                ArrayDeque<byte[]> novas = null;
                int inicio = 0;
                for (int i = 0; i < lidos; i++) {
                    if (bloco[i] != '\n') {
                        continue;
                    }
                    byte[] linha;
                    if (parcial.size() == 0) {
                        linha = Arrays.copyOfRange(bloco, inicio, i);
                    } else {
                        parcial.write(bloco, inicio, i - inicio);
                        linha = parcial.toByteArray();
                        parcial.reset();
                    }
                    if (novas == null) {
                        novas = new ArrayDeque<>();
                    }
                    novas.add(linha);
                    inicio = i + 1;
                }
                parcial.write(bloco, inicio, lidos - inicio);
                if (novas != null) {
                    // Every line of one read at once: a line nobody asked for, written with the
                    // answer, is there before the call that took the answer returns.
                    synchronized (trava) {
                        linhas.addAll(novas);
                    }
                    acordar();
                }
            }
        } catch (IOException erro) {
            // Closed: the end.
        } finally {
            synchronized (trava) {
                fimDaSaida = true;
            }
            acordar();
        }
    }

    private void drenarErro() {
        byte[] bloco = new byte[16384];
        try {
            int lidos;
            while ((lidos = erro.read(bloco)) > 0) {
                cauda.acrescentar(bloco, lidos);
            }
        } catch (IOException e) {
            // Closed: the end.
        }
    }
}
