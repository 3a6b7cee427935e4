// Per-call cost of the client against the same exchange over raw pipes, and a new client's first
// answer against a bare start of the bridge and one exchange.
//   java -cp acbr-ponte.jar bench/Bench.java PONTE ACBR_DIR [CONSULTAS=3000] [RODADAS=5] [PARES=11]
// Per call: CONSULTAS version queries through one bridge each way, in blocks of 100 taken in turn,
// the median of RODADAS rounds; a third way, raw pipes read by a thread of their own that hands
// each answer to the waiting call (as the client must, to keep its time limit), shows what that
// hop costs by itself. First answer: PARES pairs after one warm-up pair, the order swapped
// every pair; the median.
import br.com.acbrponte.OpcoesDaPonte;
import br.com.acbrponte.Ponte;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.locks.LockSupport;

public class Bench {
    static final byte[] COMANDO = "{\"cmd\":\"versao\"}\n".getBytes(StandardCharsets.UTF_8);
    static String ponte;
    static String acbrDir;

    static Process iniciar() throws IOException {
        ProcessBuilder inicio = new ProcessBuilder(ponte);
        inicio.environment().put("ACBR_DIR", acbrDir);
        inicio.redirectError(ProcessBuilder.Redirect.DISCARD);
        return inicio.start();
    }

    static void trocar(OutputStream entrada, InputStream saida, byte[] bloco) throws IOException {
        entrada.write(COMANDO);
        entrada.flush();
        int lidos = 0;
        while (true) {
            int n = saida.read(bloco, lidos, bloco.length - lidos);
            if (n <= 0) {
                throw new EOFException();
            }
            lidos += n;
            if (bloco[lidos - 1] == '\n') {
                return;
            }
        }
    }

    /** Raw pipes whose output a thread of its own reads, waking the waiting call at each answer. */
    static final class ComLeitor {
        final Process processo;
        final OutputStream entrada;
        volatile int respostas;
        volatile Thread esperando;

        ComLeitor() throws IOException {
            processo = iniciar();
            entrada = processo.getOutputStream();
            Thread leitor = new Thread(() -> {
                byte[] bloco = new byte[16384];
                try {
                    int n;
                    InputStream saida = processo.getInputStream();
                    while ((n = saida.read(bloco)) > 0) {
                        if (bloco[n - 1] == '\n') {
                            respostas++;
                            Thread quem = esperando;
                            if (quem != null) {
                                LockSupport.unpark(quem);
                            }
                        }
                    }
                } catch (IOException e) {
                    // closed: the end
                }
            });
            leitor.setDaemon(true);
            leitor.start();
        }

        void trocar() throws IOException {
            int antes = respostas;
            esperando = Thread.currentThread();
            entrada.write(COMANDO);
            entrada.flush();
            while (respostas == antes) {
                LockSupport.park();
            }
            esperando = null;
        }

        void terminar() throws Exception {
            entrada.close();
            processo.waitFor();
        }
    }

    static OpcoesDaPonte opcoes() {
        return OpcoesDaPonte.builder().executavel(ponte).acbrDir(acbrDir).comandosPorPonte(0).build();
    }

    /** Microseconds per query: raw pipes, the client, raw pipes with a reader thread. */
    static double[] rodada(int consultas) throws Exception {
        Process processo = iniciar();
        OutputStream entrada = processo.getOutputStream();
        InputStream saida = processo.getInputStream();
        byte[] bloco = new byte[65536];
        ComLeitor comLeitor = new ComLeitor();
        long bruta = 0;
        long cliente = 0;
        long brutaComLeitor = 0;
        try (Ponte p = new Ponte(opcoes())) {
            trocar(entrada, saida, bloco);
            p.versao();
            comLeitor.trocar();
            for (int feitas = 0; feitas < consultas; feitas += 100) {
                int vez = Math.min(100, consultas - feitas);
                long t0 = System.nanoTime();
                for (int i = 0; i < vez; i++) {
                    trocar(entrada, saida, bloco);
                }
                long t1 = System.nanoTime();
                for (int i = 0; i < vez; i++) {
                    p.versao();
                }
                long t2 = System.nanoTime();
                for (int i = 0; i < vez; i++) {
                    comLeitor.trocar();
                }
                long t3 = System.nanoTime();
                bruta += t1 - t0;
                cliente += t2 - t1;
                brutaComLeitor += t3 - t2;
            }
        }
        entrada.close();
        processo.waitFor();
        comLeitor.terminar();
        return new double[] {bruta / 1e3 / consultas, cliente / 1e3 / consultas, brutaComLeitor / 1e3 / consultas};
    }

    static double primeiraBruta() throws Exception {
        long t0 = System.nanoTime();
        Process processo = iniciar();
        trocar(processo.getOutputStream(), processo.getInputStream(), new byte[65536]);
        double us = (System.nanoTime() - t0) / 1e3;
        processo.getOutputStream().close();
        processo.waitFor();
        return us;
    }

    static double primeiraDoCliente() throws Exception {
        long t0 = System.nanoTime();
        double us;
        try (Ponte p = new Ponte(opcoes())) {
            p.versao();
            us = (System.nanoTime() - t0) / 1e3;
        }
        return us;
    }

    static double mediana(List<Double> valores) {
        List<Double> ordem = new ArrayList<>(valores);
        Collections.sort(ordem);
        return ordem.get(ordem.size() / 2);
    }

    static void mostrar(String nome, List<Double> valores, double base) {
        double m = mediana(valores);
        StringBuilder todos = new StringBuilder();
        for (double v : valores) {
            todos.append(String.format(Locale.ROOT, " %.1f", v));
        }
        System.out.println(String.format(Locale.ROOT, "%-17s %9.1f us  %5.2fx  [%s]", nome, m, m / base, todos.toString().trim()));
    }

    public static void main(String[] argumentos) throws Exception {
        if (argumentos.length < 2) {
            System.err.println("uso: Bench PONTE ACBR_DIR [CONSULTAS=3000] [RODADAS=5] [PARES=11]");
            System.exit(2);
        }
        ponte = Paths.get(argumentos[0]).toAbsolutePath().toString();
        acbrDir = Paths.get(argumentos[1]).toAbsolutePath().toString();
        int consultas = argumentos.length > 2 ? Integer.parseInt(argumentos[2]) : 3000;
        int rodadas = argumentos.length > 3 ? Integer.parseInt(argumentos[3]) : 5;
        int pares = argumentos.length > 4 ? Integer.parseInt(argumentos[4]) : 11;
        rodada(consultas); // warms up the JIT on both paths
        List<Double> brutas = new ArrayList<>();
        List<Double> doCliente = new ArrayList<>();
        List<Double> comLeitor = new ArrayList<>();
        for (int r = 0; r < rodadas; r++) {
            double[] tempos = rodada(consultas);
            brutas.add(tempos[0]);
            doCliente.add(tempos[1]);
            comLeitor.add(tempos[2]);
        }
        primeiraBruta();
        primeiraDoCliente();
        List<Double> primeirasBrutas = new ArrayList<>();
        List<Double> primeirasDoCliente = new ArrayList<>();
        for (int i = 0; i < pares; i++) {
            // In turn, the order swapped every pair: neither side always starts on a warmer machine.
            if (i % 2 == 0) {
                primeirasBrutas.add(primeiraBruta());
                primeirasDoCliente.add(primeiraDoCliente());
            } else {
                primeirasDoCliente.add(primeiraDoCliente());
                primeirasBrutas.add(primeiraBruta());
            }
        }
        System.out.println("Java " + System.getProperty("java.version") + ", ponte " + ponte + ", ACBR_DIR " + acbrDir + ", " + consultas + " consultas, mediana de "
            + rodadas + " rodadas; primeira resposta: mediana de " + pares + " pares");
        mostrar("bruta", brutas, mediana(brutas));
        mostrar("cliente", doCliente, mediana(brutas));
        mostrar("bruta_com_leitor", comLeitor, mediana(brutas));
        mostrar("primeira_bruta", primeirasBrutas, mediana(primeirasBrutas));
        mostrar("primeira_cliente", primeirasDoCliente, mediana(primeirasBrutas));
    }
}
