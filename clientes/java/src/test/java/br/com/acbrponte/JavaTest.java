package br.com.acbrponte;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.File;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.time.Duration;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.atomic.AtomicReference;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** What is Java's own: interrupts, closing from another thread, the client's threads, many
 * threads at once, and two host processes placing the same copy. */
class JavaTest {
    private final Map<String, String> ambiente = new HashMap<>(System.getenv());

    @BeforeEach
    void haPonte() {
        Assumptions.assumeTrue(Apoio.haPonte(), Apoio.SEM_PONTE);
    }

    @AfterEach
    void nadaFicou() {
        assertEquals(List.of(), Apoio.filhos(), "child processes left behind");
        assertEquals(List.of(), Apoio.threadsDaPonte(), "threads left behind");
    }

    private Ponte ponte(Duration tempoLimite, int comandosPorPonte) {
        OpcoesDaPonte opcoes = OpcoesDaPonte.builder().executavel(Apoio.PONTE).acbrDir(Apoio.FALSA_C.toString())
            .tempoLimite(tempoLimite).comandosPorPonte(comandosPorPonte).build();
        return new Ponte(opcoes, new Arredores(() -> new HashMap<>(ambiente), chave -> null));
    }

    @Test
    void umaThreadInterrompidaMataAPonteEAProximaChamadaComecaOutra() throws Exception {
        try (Ponte ponte = ponte(Duration.ofSeconds(30), 1)) {
            ponte.versao();
            long primeira = ponte.pid().getAsLong();
            ambiente.put("ACBR_FALSA_DEFEITO", "dorme");
            AtomicReference<Throwable> obtido = new AtomicReference<>();
            Thread chamadora = new Thread(() -> {
                try {
                    ponte.versao();
                } catch (Throwable erro) {
                    obtido.set(erro);
                }
            });
            chamadora.start();
            long prazo = System.nanoTime() + Duration.ofSeconds(10).toNanos();
            while ((!ponte.pid().isPresent() || ponte.pid().getAsLong() == primeira) && System.nanoTime() < prazo) {
                Thread.sleep(5); // the bridge with no defect served the first call; a new one starts for this
            }
            Thread.sleep(200);
            chamadora.interrupt();
            chamadora.join(10_000);
            assertFalse(chamadora.isAlive());
            assertTrue(obtido.get() instanceof InterruptedException, String.valueOf(obtido.get()));
            assertFalse(ponte.pid().isPresent(), "the bridge whose answer was still to come is gone");
            ambiente.remove("ACBR_FALSA_DEFEITO");
            assertEquals(Apoio.ESPERADA, ponte.versao());
        }
    }

    @Test
    void umaThreadJaInterrompidaNaoTocaAPonte() throws Exception {
        try (Ponte ponte = ponte(Duration.ofSeconds(30), 1000)) {
            ponte.versao();
            long pid = ponte.pid().getAsLong();
            Thread.currentThread().interrupt();
            assertThrows(InterruptedException.class, ponte::versao);
            assertFalse(Thread.interrupted());
            assertEquals(pid, ponte.pid().getAsLong());
            assertEquals(Apoio.ESPERADA, ponte.versao());
        }
    }

    @Test
    void fecharDeOutraThreadEsperaAChamadaEmCurso() throws Exception {
        Ponte ponte = ponte(Duration.ofMillis(1500), 1000);
        ambiente.put("ACBR_FALSA_DEFEITO", "dorme");
        List<String> ordem = java.util.Collections.synchronizedList(new ArrayList<>());
        Thread chamadora = new Thread(() -> {
            try {
                ponte.versao();
                ordem.add("respondeu");
            } catch (TempoEsgotadoException esperado) {
                ordem.add("tempo esgotado");
            } catch (Exception erro) {
                ordem.add(erro.toString());
            }
        });
        chamadora.start();
        while (!ponte.pid().isPresent()) {
            Thread.sleep(5);
        }
        Thread fechadora = new Thread(() -> {
            ponte.close();
            ordem.add("fechada");
        });
        fechadora.start();
        fechadora.join(10_000);
        chamadora.join(10_000);
        // The call ran to its own limit: closing let it finish instead of cutting it short.
        assertEquals(java.util.Set.of("tempo esgotado", "fechada"), java.util.Set.copyOf(ordem));
        assertThrows(PonteFechadaException.class, ponte::versao);
        assertFalse(ponte.pid().isPresent());
    }

    @Test
    void nenhumaThreadFicaDepoisDeFechar() throws Exception {
        try (Ponte ponte = ponte(Duration.ofMillis(1000), 1)) {
            for (int i = 0; i < 5; i++) {
                ponte.versao();
            }
            assertFalse(Apoio.threadsDaPonte().isEmpty());
            ambiente.put("ACBR_FALSA_DEFEITO", "dorme");
            assertThrows(TempoEsgotadoException.class, ponte::versao);
            ambiente.put("ACBR_FALSA_DEFEITO", "acesso_nulo");
            assertThrows(PonteEncerradaException.class, ponte::versao);
            ambiente.remove("ACBR_FALSA_DEFEITO");
            assertEquals(Apoio.ESPERADA, ponte.versao());
            // Retired bridges left no thread: only the running one's two readers.
            assertEquals(2, Apoio.threadsDaPonte().size(), Apoio.threadsDaPonte().toString());
        }
        // nadaFicou() checks that none is left after close().
    }

    @Test
    void duzentasChamadasAoMesmoTempo() throws Exception {
        int quantas = 200;
        try (Ponte ponte = ponte(Duration.ofSeconds(60), 0)) {
            CyclicBarrier largada = new CyclicBarrier(quantas);
            Object[] recebidas = new Object[quantas];
            List<Thread> threads = new ArrayList<>();
            for (int i = 0; i < quantas; i++) {
                int n = i;
                Thread thread = new Thread(() -> {
                    try {
                        largada.await();
                        recebidas[n] = n % 2 == 0 ? ponte.versao() : ponte.enviar("{\"cmd\":\"d" + n + "\"}").erro();
                    } catch (Exception erro) {
                        recebidas[n] = erro;
                    }
                });
                thread.start();
                threads.add(thread);
            }
            for (Thread thread : threads) {
                thread.join();
            }
            for (int i = 0; i < quantas; i++) {
                Object esperado = i % 2 == 0 ? Apoio.ESPERADA : "comando inválido: unknown variant `d" + i
                    + "`, expected `versao` at line 1 column " + (10 + String.valueOf(i).length());
                assertEquals(esperado, recebidas[i], "call " + i);
            }
        }
    }

    @Test
    void doisProcessosColocamAMesmaCopia() throws Exception {
        Assumptions.assumeTrue(Localizacao.chave(null) != null, "no packaged bridge on this platform");
        String java = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        // The classes of the client and of this test, wherever the test runner loaded them from.
        String classes = Paths.get(Ponte.class.getProtectionDomain().getCodeSource().getLocation().toURI()) + File.pathSeparator
            + Paths.get(Corrida.class.getProtectionDomain().getCodeSource().getLocation().toURI());
        for (int rodada = 0; rodada < 3; rodada++) {
            Path pasta = Files.createTempDirectory("acbr-ponte-corrida-");
            try {
                Path pacote = pasta.resolve("pacote");
                Apoio.empacotar(pacote, Localizacao.chave(null), Paths.get(Apoio.PONTE));
                Path config = pasta.resolve("config");
                Path largada = pasta.resolve("largada");
                List<Process> hosts = new ArrayList<>();
                List<BufferedReader> saidas = new ArrayList<>();
                for (int i = 0; i < 2; i++) {
                    ProcessBuilder inicio = new ProcessBuilder(java, "-cp", classes, Corrida.class.getName(), pacote.toString(),
                        config.toString(), Apoio.FALSA_C.toString(), largada.toString())
                        .redirectError(ProcessBuilder.Redirect.INHERIT);
                    inicio.environment().remove("ACBR_PONTE"); // the packaged bridge, then
                    Process host = inicio.start();
                    hosts.add(host);
                    saidas.add(new BufferedReader(new InputStreamReader(host.getInputStream(), StandardCharsets.UTF_8)));
                }
                for (BufferedReader saida : saidas) {
                    assertEquals("pronto", saida.readLine());
                }
                Files.createFile(largada);
                for (int i = 0; i < 2; i++) {
                    assertEquals(Apoio.ESPERADA.nome(), saidas.get(i).readLine());
                    assertEquals(0, hosts.get(i).waitFor());
                    saidas.get(i).close();
                }
                List<String> restantes;
                try (Stream<Path> nomes = Files.list(config)) {
                    restantes = nomes.map(p -> p.getFileName().toString()).filter(n -> !n.equals("acbrlib.ini")).collect(Collectors.toList());
                }
                assertEquals(1, restantes.size(), restantes.toString());
                assertTrue(restantes.get(0).startsWith("acbr-ponte-" + Ponte.VERSAO_DO_CLIENTE + "-"), restantes.toString());
            } finally {
                Apoio.apagar(pasta);
            }
        }
    }

    @Test
    void opcoesErradasSaoErrosDeArgumento() {
        assertThrows(IllegalArgumentException.class, () -> OpcoesDaPonte.builder().tempoLimite(Duration.ZERO));
        assertThrows(IllegalArgumentException.class, () -> OpcoesDaPonte.builder().tempoLimite(Duration.ofMillis(-1)));
        assertThrows(IllegalArgumentException.class, () -> OpcoesDaPonte.builder().comandosPorPonte(-1));
        assertThrows(IllegalArgumentException.class, () -> OpcoesDaPonte.builder().executavel(""));
    }

    @Test
    void umSurrogateSozinhoERecusado() {
        ComandoRecusadoException erro = assertThrows(ComandoRecusadoException.class, () -> Comando.linhaDoComando("{\"cmd\":\"\uD800\"}"));
        assertEquals("o comando não é UTF-8 válido", erro.getMessage());
    }
}
