// The cost of a call through the Node.js client against the same exchange over raw pipes.
//
//   node clientes/node/bench/custo.js --ponte PONTE [--acbr-dir DIR] [--chamadas 3000]
//       [--rodadas 5] [--pares 11]
//
// Per call: CHAMADAS version queries through one Ponte (recycling off) against the same lines
// written to a bridge started with child_process.spawn and read back by a line reader, in blocks
// of 100 taken in turn, the order swapped every round; the median of RODADAS rounds. First answer:
// a new Ponte's first versao() against a bare spawn and one exchange (closing counted on neither
// side), PARES pairs after one warm-up pair, the order swapped every pair; the median. The client
// gets no path: the bridge reaches it through ACBR_PONTE, as a host's environment would give it.
//
// Prints one line per measure, `<nome> <mediana> us <razao>x [<cada rodada>]`.

import { spawn } from 'node:child_process';
import path from 'node:path';
import { parseArgs } from 'node:util';
import { Ponte } from '../src/index.js';

const LINHA = '{"cmd":"versao"}\n';
const BLOCO = 100;

/** A bridge on plain pipes: each answer line resolves the oldest waiting exchange. */
class Crua {
    #filho;
    #resto = '';
    #esperando = [];

    constructor(ponte) {
        this.#filho = spawn(ponte, [], { stdio: ['pipe', 'pipe', 'ignore'] });
        this.#filho.stdout.setEncoding('utf8');
        this.#filho.stdout.on('data', (pedaco) => {
            let texto = this.#resto + pedaco;
            let fim;
            while ((fim = texto.indexOf('\n')) >= 0) {
                const linha = texto.slice(0, fim);
                texto = texto.slice(fim + 1);
                const { resolver, rejeitar } = this.#esperando.shift();
                if (linha.startsWith('{"ok":true')) resolver(linha);
                else rejeitar(new Error(`resposta inesperada: ${linha}`));
            }
            this.#resto = texto;
        });
    }

    trocar() {
        return new Promise((resolver, rejeitar) => {
            this.#esperando.push({ resolver, rejeitar });
            this.#filho.stdin.write(LINHA);
        });
    }

    terminar() {
        return new Promise((resolver) => {
            this.#filho.once('close', resolver);
            this.#filho.stdin.end();
        });
    }
}

const agora = () => process.hrtime.bigint();
const microssegundos = (ns) => Number(ns) / 1e3;

/** Microseconds per call on each side. */
async function rodada(ponte, chamadas, clientePrimeiro) {
    const crua = new Crua(ponte);
    const cliente = new Ponte({ comandosPorPonte: 0 });
    await crua.trocar();
    await cliente.versao();
    const lados = { bruta: () => crua.trocar(), cliente: () => cliente.versao() };
    const tempos = { bruta: 0n, cliente: 0n };
    const ordem = clientePrimeiro ? ['cliente', 'bruta'] : ['bruta', 'cliente'];
    for (let feitas = 0; feitas < chamadas; feitas += BLOCO) {
        const vez = Math.min(BLOCO, chamadas - feitas);
        for (const lado of ordem) {
            const chamar = lados[lado];
            const inicio = agora();
            for (let i = 0; i < vez; i++) await chamar();
            tempos[lado] += agora() - inicio;
        }
    }
    await cliente.fechar();
    await crua.terminar();
    return { bruta: microssegundos(tempos.bruta) / chamadas, cliente: microssegundos(tempos.cliente) / chamadas };
}

async function primeiraBruta(ponte) {
    const inicio = agora();
    const crua = new Crua(ponte);
    await crua.trocar();
    const tempo = agora() - inicio;
    await crua.terminar();
    return microssegundos(tempo);
}

async function primeiraDoCliente() {
    const inicio = agora();
    const cliente = new Ponte();
    await cliente.versao();
    const tempo = agora() - inicio;
    await cliente.fechar();
    return microssegundos(tempo);
}

function mediana(valores) {
    const ordem = [...valores].sort((a, b) => a - b);
    const meio = Math.floor(ordem.length / 2);
    return ordem.length % 2 === 1 ? ordem[meio] : (ordem[meio - 1] + ordem[meio]) / 2;
}

function mostrar(nome, valores, base) {
    const m = mediana(valores);
    const cada = valores.map((v) => v.toFixed(1)).join(' ');
    console.log(`${nome.padEnd(17)} ${m.toFixed(1).padStart(9)} us  ${(m / base).toFixed(2).padStart(5)}x  [${cada}]`);
}

const { values: opcoes } = parseArgs({
    options: {
        ponte: { type: 'string', default: process.env.ACBR_PONTE },
        'acbr-dir': { type: 'string' },
        chamadas: { type: 'string', default: '3000' },
        rodadas: { type: 'string', default: '5' },
        pares: { type: 'string', default: '11' },
    },
});
if (!opcoes.ponte) {
    console.error('uso: node bench/custo.js --ponte PONTE [--acbr-dir DIR] [--chamadas N] [--rodadas N] [--pares N]');
    process.exit(2);
}
const ponte = path.resolve(opcoes.ponte);
const chamadas = Number(opcoes.chamadas);
const rodadas = Number(opcoes.rodadas);
const pares = Number(opcoes.pares);
// Both sides start their bridges with this environment.
process.env.ACBR_PONTE = ponte;
if (opcoes['acbr-dir']) process.env.ACBR_DIR = path.resolve(opcoes['acbr-dir']);

await rodada(ponte, Math.min(chamadas, 500), false); // warms the JIT on both paths
const medidas = { bruta: [], cliente: [], primeira_bruta: [], primeira_cliente: [] };
for (let r = 0; r < rodadas; r++) {
    const tempos = await rodada(ponte, chamadas, r % 2 === 1);
    medidas.bruta.push(tempos.bruta);
    medidas.cliente.push(tempos.cliente);
}
const primeiras = { primeira_bruta: () => primeiraBruta(ponte), primeira_cliente: primeiraDoCliente };
await primeiraBruta(ponte);
await primeiraDoCliente();
for (let par = 0; par < pares; par++) {
    const ordem = par % 2 === 0 ? ['primeira_bruta', 'primeira_cliente'] : ['primeira_cliente', 'primeira_bruta'];
    for (const lado of ordem) medidas[lado].push(await primeiras[lado]());
}

console.log(
    `Node.js ${process.version}, ponte ${ponte}, ACBR_DIR ${process.env.ACBR_DIR ?? '(none)'}, ${chamadas} chamadas, ` +
        `mediana de ${rodadas} rodadas; primeira resposta: mediana de ${pares} pares`,
);
const bruta = mediana(medidas.bruta);
const primeira = mediana(medidas.primeira_bruta);
for (const [nome, valores] of Object.entries(medidas)) {
    mostrar(nome, valores, nome.startsWith('primeira') ? primeira : bruta);
}
