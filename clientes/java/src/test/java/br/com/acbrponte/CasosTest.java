package br.com.acbrponte;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.reflect.Method;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.time.Duration;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.CyclicBarrier;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.DynamicTest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestFactory;

/** The table of client cases every acbr-ponte client runs (clientes/casos/casos.json): each row,
 * with each of its stand-ins, is one dynamic test here. */
class CasosTest {
    /** Rows this client cannot run, with the reason. Java runs them all. */
    static final Map<String, String> NAO_EXECUTAVEIS = Map.of();

    private static final int OUTRO_USUARIO = 65534;
    private static final Pattern MARCADOR = Pattern.compile(
        "\\{(ponte|acbr_dir|variantes|arquivo_da_lib|pasta|dados|pasta_da_ponte|nome_da_copia|nome_da_copia_x86)\\}");

    @SuppressWarnings("unchecked")
    static Map<String, Object> tabela() throws Exception {
        String texto = new String(Files.readAllBytes(Apoio.CASOS.resolve("casos.json")), StandardCharsets.UTF_8);
        return (Map<String, Object>) Json.ler(texto);
    }

    @SuppressWarnings("unchecked")
    static List<Map<String, Object>> casos(Map<String, Object> tabela) {
        return (List<Map<String, Object>>) tabela.get("casos");
    }

    @SuppressWarnings("unchecked")
    static List<String> falsas(Map<String, Object> tabela, Map<String, Object> caso) {
        return (List<String>) caso.getOrDefault("falsas", ((Map<String, Object>) tabela.get("padroes")).get("falsas"));
    }

    @TestFactory
    Stream<DynamicTest> tabelaDeCasos() throws Exception {
        Map<String, Object> tabela = tabela();
        List<DynamicTest> testes = new ArrayList<>();
        for (Map<String, Object> caso : casos(tabela)) {
            for (String falsa : falsas(tabela, caso)) {
                String nome = caso.get("nome") + " (" + falsa + "): " + caso.get("descricao");
                testes.add(DynamicTest.dynamicTest(nome, () -> {
                    Assumptions.assumeTrue(Apoio.haPonte(), Apoio.SEM_PONTE);
                    String motivo = NAO_EXECUTAVEIS.get((String) caso.get("nome"));
                    Assumptions.assumeTrue(motivo == null, motivo);
                    new Linha(tabela, caso, falsa).executar();
                }));
            }
        }
        return testes.stream();
    }

    @Test
    void aTabelaInteiraViraTestes() throws Exception {
        // An empty or half-read table must fail, not pass with nothing run.
        Map<String, Object> tabela = tabela();
        List<Map<String, Object>> casos = casos(tabela);
        assertTrue(casos.size() >= 60, "rows: " + casos.size());
        long esperados = casos.stream().mapToLong(c -> falsas(tabela, c).size()).sum();
        assertEquals(esperados, tabelaDeCasos().count());
        List<Object> nomes = new ArrayList<>();
        casos.forEach(c -> nomes.add(c.get("nome")));
        assertTrue(nomes.containsAll(NAO_EXECUTAVEIS.keySet()), "unknown rows listed as not runnable");
    }

    /** One row of the table, run with one stand-in. */
    static final class Linha {
        private final Map<String, Object> padroes;
        private final Map<String, Object> caso;
        private final String falsa;
        private final Map<String, String> ambiente = new HashMap<>(System.getenv());
        private final Map<String, String> nomes = new HashMap<>();
        private final List<Long> pids = new ArrayList<>();
        private Path pasta;
        private Path pacote;

        @SuppressWarnings("unchecked")
        Linha(Map<String, Object> tabela, Map<String, Object> caso, String falsa) {
            this.padroes = (Map<String, Object>) tabela.get("padroes");
            this.caso = caso;
            this.falsa = falsa;
        }

        @SuppressWarnings("unchecked")
        void executar() throws Exception {
            for (Object exigencia : (List<Object>) caso.getOrDefault("exige", List.of())) {
                String motivo = falta((String) exigencia);
                Assumptions.assumeTrue(motivo == null, motivo);
            }
            pasta = Files.createTempDirectory("acbr-ponte-caso-");
            try {
                executarNaPasta();
            } finally {
                Apoio.apagar(pasta);
            }
        }

        @SuppressWarnings("unchecked")
        private void executarNaPasta() throws Exception {
            Path dados = Files.createDirectory(pasta.resolve("dados"));
            String acbrDir = acbrDir();
            nomes.put("ponte", Apoio.PONTE);
            nomes.put("acbr_dir", acbrDir);
            nomes.put("variantes", Apoio.VARIANTES.toString());
            nomes.put("arquivo_da_lib", Apoio.arquivoDaBiblioteca());
            nomes.put("pasta", pasta.toString());
            nomes.put("dados", dados.toString());
            nomes.put("pasta_da_ponte", dados.resolve("acbr-ponte").toString());
            String executavel = prepararPonte();
            definir("XDG_DATA_HOME", dados.toString());
            for (Map.Entry<String, Object> variavel : ((Map<String, Object>) substituir(caso.getOrDefault("ambiente", Map.of()))).entrySet()) {
                definir(variavel.getKey(), variavel.getValue());
            }
            Map<String, Object> opcoes = new HashMap<>(padroes);
            opcoes.putAll((Map<String, Object>) substituir(caso.getOrDefault("opcoes", Map.of())));
            OpcoesDaPonte.Builder construtor = OpcoesDaPonte.builder()
                .executavel(executavel)
                .tempoLimite(Duration.ofMillis(((Number) opcoes.get("tempo_limite_ms")).longValue()))
                .comandosPorPonte(((Number) opcoes.get("comandos_por_ponte")).intValue());
            Object dir = opcoes.containsKey("acbr_dir") ? opcoes.get("acbr_dir") : acbrDir;
            construtor.acbrDir(dir == Json.NULO ? null : (String) dir);
            if (opcoes.get("arquitetura") instanceof String) {
                construtor.arquitetura("x86".equals(opcoes.get("arquitetura")) ? Arquitetura.X86 : Arquitetura.X64);
            }
            if (opcoes.get("pasta_de_configuracao") instanceof String) {
                construtor.pastaDeConfiguracao((String) opcoes.get("pasta_de_configuracao"));
            }
            long pipesAntes = Apoio.pipes();
            Path pacoteDaLinha = pacote;
            Ponte ponte = new Ponte(construtor.build(),
                new Arredores(() -> new HashMap<>(ambiente), chave -> PonteDoPacote.daPasta(pacoteDaLinha, chave)));
            try {
                for (Object chamada : (List<Object>) substituir(caso.get("chamadas"))) {
                    Map<String, Object> c = (Map<String, Object>) chamada;
                    long vezes = ((Number) c.getOrDefault("repetir", 1L)).longValue();
                    for (long i = 0; i < vezes; i++) {
                        chamar(ponte, c);
                    }
                }
            } finally {
                ponte.close();
            }
            if (caso.containsKey("pids_por_ponte")) {
                List<Object> seguidas = new ArrayList<>();
                for (int i = 0; i < pids.size(); i++) {
                    if (i > 0 && pids.get(i).equals(pids.get(i - 1))) {
                        seguidas.set(seguidas.size() - 1, (Long) seguidas.get(seguidas.size() - 1) + 1);
                    } else {
                        seguidas.add(1L);
                    }
                }
                assertEquals(caso.get("pids_por_ponte"), seguidas);
            }
            assertEquals(List.of(), Apoio.filhos(), "child processes left behind");
            assertEquals(pipesAntes, Apoio.pipes(), "pipes left open");
        }

        private static String falta(String exigencia) {
            switch (exigencia) {
                case "linux":
                    return Localizacao.LINUX ? null : "needs Linux";
                case "posix":
                    return !Localizacao.WINDOWS ? null : "needs POSIX";
                case "root":
                    return !Localizacao.WINDOWS && Usuario.efetivo() == 0 ? null : "needs root to give a file to another user";
                case "x64": {
                    String chave = Localizacao.chave(null);
                    return "linux-x64".equals(chave) || "win-x64".equals(chave) ? null : "needs a 64-bit x86 host";
                }
                case "threads":
                    return null;
                default:
                    throw new AssertionError("unknown condition " + exigencia);
            }
        }

        private String acbrDir() throws Exception {
            if (falsa.equals("c")) {
                return Apoio.FALSA_C.toString();
            }
            if (falsa.equals("pascal")) {
                Assumptions.assumeTrue(Apoio.haPascal(), Apoio.SEM_PASCAL);
                return Apoio.FALSA_PASCAL.toString();
            }
            if (falsa.startsWith("variante:")) {
                return Apoio.VARIANTES.resolve(falsa.substring("variante:".length())).toString();
            }
            assertEquals("vazia", falsa);
            return Files.createDirectories(pasta.resolve("vazia")).toString();
        }

        /** The file a bridge source names. */
        private Path fonte(String nome) throws Exception {
            if (nome.equals("construida")) {
                return Paths.get(Apoio.PONTE);
            }
            if (nome.startsWith("simulada:")) {
                return Apoio.CASOS.resolve("pontes").resolve(nome.substring("simulada:".length()) + ".sh");
            }
            if (nome.equals("inexistente")) {
                return pasta.resolve("nao-existe");
            }
            assertEquals("sem_permissao", nome);
            Path caminho = pasta.resolve("sem-permissao");
            Files.write(caminho, "#!/bin/sh\n".getBytes(StandardCharsets.UTF_8));
            Files.setPosixFilePermissions(caminho, Apoio.permissoes(0644));
            return caminho;
        }

        private void definir(String nome, Object valor) {
            if (valor == null || valor == Json.NULO) {
                ambiente.remove(nome);
            } else {
                ambiente.put(nome, (String) valor);
            }
        }

        /** Sets ACBR_PONTE, PATH and the package as the row says; returns the executavel option. */
        @SuppressWarnings("unchecked")
        private String prepararPonte() throws Exception {
            Object dado = caso.getOrDefault("ponte", padroes.get("ponte"));
            Map<String, Object> ponte;
            if (dado instanceof String) {
                // A bridge given by path: the rest of the search is never reached.
                ponte = Map.of("executavel", dado);
            } else {
                ponte = (Map<String, Object>) dado;
                Path caminhos = Files.createDirectory(pasta.resolve("path"));
                if (ponte.containsKey("path")) {
                    Files.copy(fonte((String) ponte.get("path")), caminhos.resolve("acbr-ponte"), StandardCopyOption.COPY_ATTRIBUTES);
                }
                definir("PATH", caminhos.toString());
            }
            if (!ponte.containsKey("ACBR_PONTE")) {
                definir("ACBR_PONTE", null);
            } else {
                String valor = (String) ponte.get("ACBR_PONTE");
                definir("ACBR_PONTE", valor.isEmpty() ? "" : fonte(valor).toString());
            }
            pacote = Files.createDirectory(pasta.resolve("pacote"));
            String chave = Localizacao.chave(null) == null ? "linux-x64" : Localizacao.chave(null);
            for (Map.Entry<String, Object> item : ((Map<String, Object>) ponte.getOrDefault("pacote", Map.of())).entrySet()) {
                String chaveDaFonte = item.getKey().equals("nativa") ? chave : chave.split("-")[0] + "-x86";
                String resumo = Apoio.empacotar(pacote, chaveDaFonte, fonte((String) item.getValue()));
                String nome = "acbr-ponte-" + Ponte.VERSAO_DO_CLIENTE + "-" + chaveDaFonte + "-" + resumo.substring(0, 16);
                nomes.put(item.getKey().equals("nativa") ? "nome_da_copia" : "nome_da_copia_x86", nome);
            }
            return ponte.containsKey("executavel") ? fonte((String) ponte.get("executavel")).toString() : null;
        }

        @SuppressWarnings("unchecked")
        private Object substituir(Object valor) {
            if (valor instanceof String) {
                Matcher achado = MARCADOR.matcher((String) valor);
                StringBuilder saida = new StringBuilder();
                while (achado.find()) {
                    achado.appendReplacement(saida, Matcher.quoteReplacement(nomes.getOrDefault(achado.group(1), achado.group())));
                }
                return achado.appendTail(saida).toString();
            }
            if (valor instanceof List) {
                List<Object> lista = new ArrayList<>();
                for (Object item : (List<Object>) valor) {
                    lista.add(substituir(item));
                }
                return lista;
            }
            if (valor instanceof Map) {
                Map<String, Object> mapa = new LinkedHashMap<>();
                for (Map.Entry<String, Object> item : ((Map<String, Object>) valor).entrySet()) {
                    mapa.put(item.getKey(), substituir(item.getValue()));
                }
                return mapa;
            }
            return valor;
        }

        @SuppressWarnings("unchecked")
        private void chamar(Ponte ponte, Map<String, Object> chamada) throws Exception {
            for (Map.Entry<String, Object> variavel : ((Map<String, Object>) chamada.getOrDefault("ambiente", Map.of())).entrySet()) {
                definir(variavel.getKey(), variavel.getValue());
            }
            for (Object acao : (List<Object>) chamada.getOrDefault("antes", List.of())) {
                agir((Map<String, Object>) acao, ponte);
            }
            Map<String, Object> espera = (Map<String, Object>) chamada.getOrDefault("espera", Map.of());
            String metodo = (String) chamada.get("metodo");
            Long antes = pid(ponte);
            if (metodo.equals("simultaneas")) {
                simultaneas(ponte, ((Number) chamada.get("quantas")).intValue());
                return;
            }
            if (metodo.equals("fechar")) {
                ponte.close();
                conferirPid(espera, antes, pid(ponte));
                return;
            }
            try {
                Object valor = metodo.equals("versao") ? ponte.versao() : ponte.enviar((String) chamada.get("comando"));
                if (espera.containsKey("versao")) {
                    Map<String, Object> esperada = (Map<String, Object>) espera.get("versao");
                    assertEquals(new Versao(texto(esperada.get("nome")), texto(esperada.get("versao"))), valor);
                } else if (espera.containsKey("resposta")) {
                    assertEquals(espera.get("resposta"), Json.ler(((Resposta) valor).linha()));
                } else {
                    fail(metodo + " returned " + valor + ", expected " + espera);
                }
            } catch (AcbrPonteException erro) {
                assertTrue(espera.containsKey("erro"), "unexpected " + erro);
                conferirErro(erro, (Map<String, Object>) espera.get("erro"));
                if (Boolean.TRUE.equals(chamada.get("matar_pid_do_stderr"))) {
                    long neta = Long.parseLong(((PonteEncerradaException) erro).stderr().trim());
                    ProcessHandle.of(neta).ifPresent(ProcessHandle::destroyForcibly);
                }
            }
            pids.add(pid(ponte));
            conferirPid(espera, antes, pid(ponte));
            for (Object caminho : (List<Object>) espera.getOrDefault("existe", List.of())) {
                assertTrue(Files.exists(Paths.get((String) caminho), LinkOption.NOFOLLOW_LINKS), caminho + " does not exist");
            }
            for (Object caminho : (List<Object>) espera.getOrDefault("nao_existe", List.of())) {
                assertFalse(Files.exists(Paths.get((String) caminho), LinkOption.NOFOLLOW_LINKS), caminho + " exists");
            }
            if (espera.containsKey("conta_linhas")) {
                Map<String, Object> conta = (Map<String, Object>) espera.get("conta_linhas");
                List<String> linhas = Files.readAllLines(Paths.get((String) conta.get("arquivo")));
                assertEquals(((Number) conta.get("vezes")).longValue(),
                    linhas.stream().filter(conta.get("linha")::equals).count(), linhas.toString());
            }
        }

        private static String texto(Object valor) {
            return valor == Json.NULO ? null : (String) valor;
        }

        private static Long pid(Ponte ponte) {
            return ponte.pid().isPresent() ? ponte.pid().getAsLong() : null;
        }

        private static void conferirPid(Map<String, Object> espera, Long antes, Long depois) {
            Object quando = espera.get("pid");
            if ("nenhum".equals(quando)) {
                assertEquals(null, depois);
            } else if ("mesmo".equals(quando)) {
                assertTrue(depois != null);
                assertEquals(antes, depois);
            } else if ("novo".equals(quando)) {
                assertTrue(depois != null);
                assertNotEquals(antes, depois);
            }
        }

        @SuppressWarnings("unchecked")
        private static void conferirErro(AcbrPonteException erro, Map<String, Object> espera) throws Exception {
            assertEquals(espera.get("classe") + "Exception", erro.getClass().getSimpleName(), erro.toString());
            String mensagem = erro.getMessage();
            String stderr = erro instanceof TempoEsgotadoException ? ((TempoEsgotadoException) erro).stderr()
                : erro instanceof PonteEncerradaException ? ((PonteEncerradaException) erro).stderr() : "";
            for (Map.Entry<String, Object> campo : espera.entrySet()) {
                Object valor = campo.getValue() == Json.NULO ? null : campo.getValue();
                switch (campo.getKey()) {
                    case "classe":
                        break;
                    case "tempo_limite_ms":
                        assertEquals(((Number) valor).longValue(), ((TempoEsgotadoException) erro).tempoLimite().toMillis());
                        break;
                    case "status": {
                        Integer status = ((PonteEncerradaException) erro).status();
                        assertEquals(valor == null ? null : ((Number) valor).intValue(), status, "status");
                        break;
                    }
                    case "mensagem":
                        assertEquals(valor, mensagem);
                        break;
                    case "mensagem_comeca":
                        assertTrue(mensagem.startsWith((String) valor), mensagem);
                        break;
                    case "stderr_contem":
                        for (Object trecho : (List<Object>) valor) {
                            assertTrue(stderr.contains((String) trecho), stderr);
                        }
                        break;
                    case "stderr_nao_contem":
                        for (Object trecho : (List<Object>) valor) {
                            assertFalse(stderr.contains((String) trecho), stderr);
                        }
                        break;
                    case "stderr_termina":
                        assertTrue(stderr.endsWith((String) valor), stderr.substring(Math.max(0, stderr.length() - 100)));
                        break;
                    case "stderr_bytes": {
                        List<Object> limites = (List<Object>) valor;
                        int bytes = stderr.getBytes(StandardCharsets.UTF_8).length;
                        assertTrue(((Number) limites.get(0)).intValue() <= bytes && bytes <= ((Number) limites.get(1)).intValue(),
                            "stderr bytes: " + bytes);
                        break;
                    }
                    default: {
                        // erro, sinal, linha, executavel, caminho, motivo, stderr: its accessor
                        Method acessor = erro.getClass().getMethod(campo.getKey());
                        assertEquals(valor, acessor.invoke(erro), campo.getKey());
                    }
                }
            }
        }

        private void agir(Map<String, Object> acao, Ponte ponte) throws Exception {
            String tipo = (String) acao.get("acao");
            Path caminho = Paths.get((String) acao.getOrDefault("caminho", ""));
            switch (tipo) {
                case "criar_pasta":
                    Files.createDirectories(caminho);
                    Files.setPosixFilePermissions(caminho, Apoio.permissoes(Integer.parseInt((String) acao.get("modo"), 8)));
                    break;
                case "mudar_modo":
                    Files.setPosixFilePermissions(caminho, Apoio.permissoes(Integer.parseInt((String) acao.get("modo"), 8)));
                    break;
                case "mudar_dono":
                    Files.setAttribute(caminho, "unix:uid", OUTRO_USUARIO);
                    Files.setAttribute(caminho, "unix:gid", OUTRO_USUARIO);
                    break;
                case "escrever":
                    Files.deleteIfExists(caminho);
                    Files.write(caminho, ((String) acao.get("conteudo")).getBytes(StandardCharsets.UTF_8));
                    Files.setPosixFilePermissions(caminho, Apoio.permissoes(Integer.parseInt((String) acao.get("modo"), 8)));
                    break;
                case "link_simbolico":
                    Files.createSymbolicLink(caminho, Paths.get((String) acao.get("alvo")));
                    break;
                case "remover":
                    Files.delete(caminho);
                    break;
                case "matar_ponte": {
                    long pid = ponte.pid().getAsLong();
                    ProcessHandle.of(pid).ifPresent(ProcessHandle::destroyForcibly);
                    long prazo = System.nanoTime() + Duration.ofSeconds(10).toNanos();
                    while ("Z?".indexOf(Apoio.estadoDoProcesso(pid)) < 0 && System.nanoTime() < prazo) {
                        Thread.sleep(10);
                    }
                    break;
                }
                default:
                    throw new AssertionError("unknown action " + tipo);
            }
        }

        private void simultaneas(Ponte ponte, int quantas) throws Exception {
            CyclicBarrier largada = new CyclicBarrier(quantas);
            Object[] recebidas = new Object[quantas];
            Thread[] threads = new Thread[quantas];
            for (int i = 0; i < quantas; i++) {
                int n = i;
                threads[i] = new Thread(() -> {
                    try {
                        largada.await();
                        recebidas[n] = n % 2 == 0 ? ponte.versao() : Json.ler(ponte.enviar("{\"cmd\":\"c" + n + "\"}").linha());
                    } catch (Exception erro) { // reported below, with the others
                        recebidas[n] = erro;
                    }
                });
                threads[i].start();
            }
            for (Thread thread : threads) {
                thread.join();
            }
            for (int i = 0; i < quantas; i++) {
                if (i % 2 == 0) {
                    assertEquals(Apoio.ESPERADA, recebidas[i]);
                } else {
                    int coluna = 8 + ("c" + i).length() + 1;
                    Map<String, Object> esperada = new LinkedHashMap<>();
                    esperada.put("ok", false);
                    esperada.put("erro", "comando inválido: unknown variant `c" + i + "`, expected `versao` at line 1 column " + coluna);
                    assertEquals(esperada, recebidas[i]);
                }
            }
        }
    }
}
