// A host that opens a Ponte, makes one call and never closes it: it must still exit by itself.
// Prints the bridge's process id and what the call gave.
import { Ponte } from '../../src/index.js';

const ponte = new Ponte({ tempoLimite: Number(process.argv[2] ?? 10_000) });
try {
    const versao = await ponte.versao();
    console.log(ponte.pid, JSON.stringify(versao));
} catch (erro) {
    console.log(0, erro.name);
}
