package br.com.acbrponte;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

/** A host process of the race on the first copy: waits for the start file, then makes its first
 * call, which places the packaged bridge.
 *   java br.com.acbrponte.Corrida PACOTE PASTA ACBR_DIR LARGADA */
final class Corrida {
    private Corrida() {
    }

    public static void main(String[] argumentos) throws Exception {
        Path pacote = Paths.get(argumentos[0]);
        Path largada = Paths.get(argumentos[3]);
        OpcoesDaPonte opcoes = OpcoesDaPonte.builder().pastaDeConfiguracao(argumentos[1]).acbrDir(argumentos[2]).build();
        try (Ponte ponte = new Ponte(opcoes, new Arredores(System::getenv, chave -> PonteDoPacote.daPasta(pacote, chave)))) {
            System.out.println("pronto");
            System.out.flush();
            while (!Files.exists(largada)) {
                Thread.onSpinWait();
            }
            System.out.println(ponte.versao().nome());
        }
    }
}
