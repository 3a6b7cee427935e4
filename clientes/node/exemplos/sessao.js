// A short session against a built bridge and the Free Pascal stand-in: a query, then a crash,
// another crash and a hang, each followed by a call that is answered. The stand-in misbehaves as
// ACBR_FALSA_DEFEITO says in the environment a bridge starts with, so this Ponte starts a fresh
// bridge for every command (comandosPorPonte: 1); a host would keep the default.
//
//   node exemplos/sessao.js [BUILD_DIR]      (default: build/ci of this repository)
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Ponte } from '../src/index.js';

const build = path.resolve(process.argv[2] ?? fileURLToPath(new URL('../../../build/ci', import.meta.url)));
const ponte = new Ponte({
    executavel: path.join(build, 'acbr-ponte'),
    acbrDir: path.join(build, 'falsa', 'pascal'),
    tempoLimite: 2000,
    comandosPorPonte: 1,
});

async function consultar(defeito) {
    if (defeito === undefined) delete process.env.ACBR_FALSA_DEFEITO;
    else process.env.ACBR_FALSA_DEFEITO = defeito;
    const inicio = performance.now();
    try {
        const { nome, versao } = await ponte.versao();
        console.log(`versao() -> ${JSON.stringify({ nome, versao })}  [ponte ${ponte.pid}]`);
    } catch (erro) {
        const ms = Math.round(performance.now() - inicio);
        const campos = { status: erro.status, sinal: erro.sinal, tempoLimite: erro.tempoLimite };
        const presentes = Object.entries(campos).filter(([, valor]) => valor !== undefined && valor !== null);
        console.log(`versao() -> ${erro.name}: ${erro.message.split('\n')[0]}  [${ms} ms]`);
        if (presentes.length > 0) console.log(`    ${presentes.map(([k, v]) => `${k}=${v}`).join(' ')}`);
        for (const linha of (erro.stderr ?? '').split('\n').filter(Boolean).slice(0, 2)) {
            console.log(`    stderr: ${linha}`);
        }
    }
}

try {
    console.log('-- consulta normal');
    await consultar();
    for (const defeito of ['excecao', 'acesso_nulo', 'dorme']) {
        console.log(`-- ACBR_FALSA_DEFEITO=${defeito}, depois sem defeito`);
        await consultar(defeito);
        await consultar();
    }
} finally {
    await ponte.fechar();
}
