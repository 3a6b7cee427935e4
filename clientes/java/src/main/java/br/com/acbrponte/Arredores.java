package br.com.acbrponte;

import java.util.Map;
import java.util.function.Function;
import java.util.function.Supplier;

/** What a Ponte takes from around it: the environment (read at every start of a bridge) and the
 * packaged bridges. The host's are the process's environment and this jar; the tests give theirs. */
final class Arredores {
    static final Arredores DO_PROCESSO = new Arredores(System::getenv, PonteDoPacote::doJar);

    final Supplier<Map<String, String>> ambiente;
    final Function<String, PonteDoPacote> pacote;

    Arredores(Supplier<Map<String, String>> ambiente, Function<String, PonteDoPacote> pacote) {
        this.ambiente = ambiente;
        this.pacote = pacote;
    }
}
