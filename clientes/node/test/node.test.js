// What is Node.js's own and not in the shared table: the options' types, JSON values and lone
// surrogates, calls queued as promises, the event loop (an idle bridge holds no host), closing
// with Symbol.asyncDispose, the TypeScript declarations, and two host processes placing the same
// copy of the packaged bridge at once.

import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { inspect, promisify } from 'node:util';
import * as acbrPonte from '../src/index.js';
import { ComandoRecusado, Ponte, PonteEncerrada, PonteFechada, PonteNaoIniciada } from '../src/index.js';
import { VERSAO, chaveDaPlataforma, usarPastaDoPacote } from '../src/localizacao.js';

const executar = promisify(execFile);
const AQUI = path.dirname(fileURLToPath(import.meta.url));
const PACOTE = path.join(AQUI, '..');
const PONTE = path.resolve(process.env.ACBR_PONTE || path.join(AQUI, '../../../build/ci/acbr-ponte'));
const FALSA_C = path.join(path.dirname(PONTE), 'acbr');
const SEM_PONTE = !fs.existsSync(PONTE) && `no built bridge at ${PONTE} (ACBR_PONTE names it)`;
const LINUX = process.platform === 'linux';
const PADRAO = { nome: 'ACBrLibNFe (falsa)', versao: '0.0.0-falsa' };

function abrir(t, opcoes = {}) {
    const ponte = new Ponte({ executavel: PONTE, acbrDir: FALSA_C, ...opcoes });
    t.after(() => ponte.fechar());
    return ponte;
}

function temporaria(t) {
    const pasta = fs.mkdtempSync(path.join(os.tmpdir(), 'acbr-ponte-node-'));
    t.after(() => fs.rmSync(pasta, { recursive: true, force: true }));
    return pasta;
}

/** Runs a host program (an ES module) in a Node.js process of its own. */
function host(programa, { cwd = AQUI, env = {} } = {}) {
    // The bound only keeps a broken client from hanging the suite; it is no timing check.
    return executar(process.execPath, ['--input-type=module', '-e', programa], {
        cwd,
        env: { ...process.env, ...env },
        timeout: 60_000,
    });
}

/** True while the process exists and is not a zombie. */
function vivo(pid) {
    try {
        const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
        return stat[stat.lastIndexOf(')') + 2] !== 'Z';
    } catch {
        return false;
    }
}

async function ate(condicao, ms = 10_000) {
    for (const fim = Date.now() + ms; !condicao(); await new Promise((r) => setTimeout(r, 20))) {
        if (Date.now() > fim) return false;
    }
    return true;
}

describe('options', () => {
    const errados = [
        [{ tempoLimite: 0 }, RangeError],
        [{ tempoLimite: -1 }, RangeError],
        [{ tempoLimite: Number.NaN }, RangeError],
        [{ tempoLimite: Number.POSITIVE_INFINITY }, RangeError],
        [{ tempoLimite: 2 ** 31 }, RangeError],
        [{ tempoLimite: '30000' }, TypeError],
        [{ tempoLimite: 30n }, TypeError],
        [{ comandosPorPonte: -1 }, RangeError],
        [{ comandosPorPonte: 1.5 }, RangeError],
        [{ comandosPorPonte: true }, TypeError],
        [{ executavel: 42 }, TypeError],
        [{ executavel: '' }, RangeError],
        [{ acbrDir: new URL('file:///x') }, TypeError],
        [{ arquitetura: 'arm64' }, RangeError],
        [{ arquitetura: 64 }, TypeError],
        [{ pastaDeConfiguracao: '' }, RangeError],
        [{ pastaDeConfiguracao: ['/x'] }, TypeError],
    ];
    for (const [opcoes, tipo] of errados) {
        test(`new Ponte(${inspect(opcoes)}) throws ${tipo.name}`, () => {
            assert.throws(
                () => new Ponte(opcoes),
                (erro) => erro.constructor === tipo,
            );
        });
    }
    test('null and undefined options take the defaults, and nothing starts', () => {
        for (const opcoes of [undefined, {}, { executavel: undefined, acbrDir: null, arquitetura: undefined }]) {
            assert.equal(new Ponte(opcoes).pid, undefined);
        }
        assert.throws(() => new Ponte('acbr-ponte'), TypeError);
    });
});

describe('JSON values and lone surrogates', { skip: SEM_PONTE }, () => {
    test('a value goes as compact JSON, its non-ASCII text as it is', async (t) => {
        const ponte = abrir(t);
        assert.deepEqual(await ponte.enviar({ cmd: 'versao' }), { ok: true, ...PADRAO });
        assert.deepEqual(await ponte.enviar(['versao']), { ok: true, ...PADRAO });
        // Not escaped: the column counts the two bytes of each of ç and ã.
        const avisos = [
            [{ cmd: 'ação' }, 'unknown variant `ação`, expected `versao` at line 1 column 15'],
            // A line feed in a text is escaped: the value goes as one line.
            [{ cmd: 'a\nb' }, 'unknown variant `a\nb`, expected `versao` at line 1 column 13'],
            // A character beyond the BMP is a pair, which UTF-8 carries whole.
            [{ cmd: '🧾' }, 'unknown variant `🧾`, expected `versao` at line 1 column 13'],
            // A backslash before "ud800" is text, not an escape: sent, and answered.
            [{ cmd: '\\ud800' }, 'unknown variant `\\ud800`, expected `versao` at line 1 column 16'],
        ];
        for (const [comando, erro] of avisos) {
            assert.deepEqual(await ponte.enviar(comando), { ok: false, erro: `comando inválido: ${erro}` });
        }
    });

    test('what has no JSON form or no UTF-8 form is refused before anything is written', async (t) => {
        const ciclo = {};
        ciclo.eu = ciclo;
        const recusados = [
            [undefined, 'o comando não tem forma JSON: JSON.stringify gives nothing for undefined'],
            [() => {}, 'o comando não tem forma JSON: JSON.stringify gives nothing for function'],
            [Symbol('versao'), 'o comando não tem forma JSON: JSON.stringify gives nothing for symbol'],
            [10n, 'o comando não tem forma JSON: Do not know how to serialize a BigInt'],
            [ciclo, 'o comando não tem forma JSON: Converting circular structure to JSON'],
            [
                {
                    toJSON() {
                        throw new Error('não');
                    },
                },
                'o comando não tem forma JSON: não',
            ],
            ['{"cmd":"\uD800"}', 'o comando não é UTF-8 válido'],
            ['\uDFFF', 'o comando não é UTF-8 válido'],
            [{ cmd: '\uDC00' }, 'o comando não é UTF-8 válido'],
            [['ok', '\\', '\uD83E'], 'o comando não é UTF-8 válido'],
        ];
        const ponte = abrir(t);
        for (const [comando, mensagem] of recusados) {
            const erro = await ponte.enviar(comando).then(assert.fail, (e) => e);
            assert.ok(erro instanceof ComandoRecusado, String(erro));
            assert.ok(erro.message.startsWith(mensagem), erro.message);
            assert.equal(ponte.pid, undefined, 'nothing was started, so nothing was written');
        }
    });
});

describe('calls queued as promises', { skip: SEM_PONTE }, () => {
    test('a failed call does not stop the ones queued behind it', async (t) => {
        const ponte = abrir(t, { executavel: path.join(AQUI, 'falha_no_meio.sh') });
        const [antes, falha, depois] = await Promise.allSettled([
            ponte.enviar('{"cmd":"a"}'),
            ponte.enviar('{"cmd":"morre"}'),
            ponte.enviar('{"cmd":"b"}'),
        ]);
        assert.deepEqual(antes.value, { ok: true });
        assert.ok(falha.reason instanceof PonteEncerrada && falha.reason.status === 7, String(falha.reason));
        assert.deepEqual(depois.value, { ok: true });
    });

    test('fechar() lets the calls already made finish, then refuses new ones', async (t) => {
        const ponte = abrir(t);
        const chamadas = [ponte.versao(), ponte.enviar({ cmd: 'versao' }), ponte.versao()];
        const fechamento = ponte.fechar();
        assert.equal(ponte.fechar(), fechamento, 'closing again gives the same promise');
        await assert.rejects(ponte.versao(), PonteFechada);
        const respostas = await Promise.all(chamadas);
        assert.deepEqual(respostas, [PADRAO, { ok: true, ...PADRAO }, PADRAO]);
        await fechamento;
        assert.equal(ponte.pid, undefined);
    });

    test(
        'Symbol.asyncDispose closes it',
        { skip: typeof Symbol.asyncDispose !== 'symbol' && 'no Symbol.asyncDispose' },
        async (t) => {
            const ponte = abrir(t);
            assert.deepEqual(await ponte.versao(), PADRAO);
            const pid = ponte.pid;
            await ponte[Symbol.asyncDispose]();
            assert.equal(ponte.pid, undefined);
            if (LINUX) assert.ok(!vivo(pid), `the bridge ${pid} lives on`);
            await assert.rejects(ponte.versao(), PonteFechada);
        },
    );
});

describe('the event loop', { skip: SEM_PONTE }, () => {
    const programa = `
        import { Ponte } from ${JSON.stringify(new URL('../src/index.js', import.meta.url).href)};
        const ponte = new Ponte({ tempoLimite: 1000 });
        try {
            const versao = await ponte.versao();
            console.log(ponte.pid, JSON.stringify(versao));
        } catch (erro) {
            console.log(0, erro.name);
        }`;
    const casos = [
        { descricao: 'after an answer', defeito: undefined, saida: /^(\d+) (\{.*\})\n$/ },
        { descricao: 'after a time-out', defeito: 'dorme', saida: /^0 TempoEsgotado\n$/ },
    ];
    for (const { descricao, defeito, saida } of casos) {
        test(`a host that never closes its Ponte exits by itself, ${descricao}`, async () => {
            const env = { ACBR_PONTE: PONTE, ACBR_DIR: FALSA_C, ACBR_FALSA_DEFEITO: defeito ?? '' };
            const { stdout } = await host(programa, { env });
            const achado = saida.exec(stdout);
            assert.ok(achado, stdout);
            if (defeito === undefined) {
                assert.deepEqual(JSON.parse(achado[2]), PADRAO);
                // Its input closed with the host, the bridge ends too.
                if (LINUX) assert.ok(await ate(() => !vivo(Number(achado[1]))), `the bridge ${achado[1]} lives on`);
            }
        });
    }

    test('a pending call keeps the host alive until it is answered', async () => {
        // Nothing but the call holds the event loop while the bridge takes its time to start.
        const espera = `
            import { Ponte } from ${JSON.stringify(new URL('../src/index.js', import.meta.url).href)};
            new Ponte().versao().then((v) => console.log(v.nome));`;
        const lenta = `#!/bin/sh\nsleep 0.5\nexec ${JSON.stringify(PONTE)}\n`;
        const pasta = fs.mkdtempSync(path.join(os.tmpdir(), 'acbr-ponte-node-'));
        try {
            fs.writeFileSync(path.join(pasta, 'lenta.sh'), lenta, { mode: 0o755 });
            const { stdout } = await host(espera, {
                env: { ACBR_PONTE: path.join(pasta, 'lenta.sh'), ACBR_DIR: FALSA_C },
            });
            assert.equal(stdout, `${PADRAO.nome}\n`);
        } finally {
            fs.rmSync(pasta, { recursive: true, force: true });
        }
    });
});

describe('TypeScript declarations', () => {
    const declaracoes = fs.readFileSync(path.join(PACOTE, 'src/index.d.ts'), 'utf8');

    test('declare exactly the classes the module exports', () => {
        const classes = [...declaracoes.matchAll(/^export (?:declare )?class (\w+)/gm)].map((achado) => achado[1]);
        assert.deepEqual(classes.sort(), Object.keys(acbrPonte).sort());
        for (const nome of Object.keys(acbrPonte)) {
            if (nome !== 'Ponte')
                assert.ok(
                    acbrPonte[nome].prototype instanceof acbrPonte.ErroAcbrPonte || nome === 'ErroAcbrPonte',
                    nome,
                );
        }
        // LocalInseguro is a PonteNaoIniciada in both.
        assert.ok(acbrPonte.LocalInseguro.prototype instanceof PonteNaoIniciada);
        assert.match(declaracoes, /class LocalInseguro extends PonteNaoIniciada/);
    });

    const tsc = path.join(PACOTE, 'tipos', 'node_modules', '.bin', process.platform === 'win32' ? 'tsc.cmd' : 'tsc');
    const semTsc = !fs.existsSync(tsc) && 'TypeScript is not installed (npm --prefix tipos ci)';
    for (const projeto of ['tipos/tsconfig.json', 'tipos/tsconfig.esnext.json']) {
        test(`tsc accepts the examples and refuses the misuses: ${projeto}`, { skip: semTsc }, async () => {
            await executar(tsc, ['-p', path.join(PACOTE, projeto)], { cwd: PACOTE, timeout: 120_000 });
        });
    }
});

describe('the packaged bridge', { skip: SEM_PONTE || (!LINUX && 'the bridge of a Linux package') }, () => {
    const chave = chaveDaPlataforma(undefined);
    const nomeDoPacote = { 'linux-x64': '@acbr-ponte/linux-x64', 'linux-x86': '@acbr-ponte/linux-ia32' }[chave];

    /** A project whose node_modules holds this package and its platform package, as npm puts them. */
    function projeto(t, sha256 = undefined) {
        const raiz = temporaria(t);
        const principal = path.join(raiz, 'node_modules', 'acbr-ponte');
        fs.mkdirSync(principal, { recursive: true });
        fs.cpSync(path.join(PACOTE, 'src'), path.join(principal, 'src'), { recursive: true });
        fs.copyFileSync(path.join(PACOTE, 'package.json'), path.join(principal, 'package.json'));
        const plataforma = path.join(raiz, 'node_modules', nomeDoPacote);
        fs.mkdirSync(path.join(plataforma, 'bin', chave), { recursive: true });
        fs.writeFileSync(
            path.join(plataforma, 'package.json'),
            JSON.stringify({ name: nomeDoPacote, version: VERSAO }),
        );
        fs.copyFileSync(PONTE, path.join(plataforma, 'bin', chave, 'acbr-ponte'));
        const resumo = sha256 ?? createHash('sha256').update(fs.readFileSync(PONTE)).digest('hex');
        fs.writeFileSync(path.join(plataforma, 'bin', chave, 'acbr-ponte.sha256'), `${resumo}  acbr-ponte\n`);
        return { raiz, config: path.join(raiz, 'config'), resumo };
    }

    test(
        'two host processes placing the same copy at once both answer, and leave one copy',
        { skip: !nomeDoPacote && `no package for ${chave}` },
        async (t) => {
            const { raiz, config, resumo } = projeto(t);
            // Each host is found its bridge by the package's name, from node_modules, as an installed one is.
            const programa = `
            import { Ponte } from 'acbr-ponte';
            import { once } from 'node:events';
            await once(process.stdin, 'data');
            const ponte = new Ponte({ pastaDeConfiguracao: process.argv[1] });
            console.log((await ponte.versao()).nome);
            await ponte.fechar();
            process.stdin.destroy();`;
            const env = { ...process.env, ACBR_PONTE: '', ACBR_DIR: FALSA_C, PATH: '/usr/bin:/bin' };
            const hosts = Array.from({ length: 4 }, () =>
                spawn(process.execPath, ['--input-type=module', '-e', programa, config], { cwd: raiz, env }),
            );
            const saidas = hosts.map((filho) => {
                let texto = '';
                filho.stdout.on('data', (pedaco) => (texto += pedaco));
                filho.stderr.on('data', (pedaco) => (texto += pedaco));
                return new Promise((resolver) => filho.on('close', (status) => resolver({ status, texto })));
            });
            await new Promise((resolver) => setTimeout(resolver, 300)); // all up, then all at once
            for (const filho of hosts) filho.stdin.write('\n');
            for (const saida of await Promise.all(saidas))
                assert.deepEqual(saida, { status: 0, texto: `${PADRAO.nome}\n` });
            assert.deepEqual(
                fs.readdirSync(config).filter((nome) => nome.startsWith('acbr-ponte')),
                [`acbr-ponte-${VERSAO}-${chave}-${resumo.slice(0, 16)}`],
            );
            assert.deepEqual(
                fs.readdirSync(config).filter((nome) => nome.endsWith('.tmp')),
                [],
                'temporary copies left',
            );
            assert.equal(fs.statSync(config).mode & 0o777, 0o700);
        },
    );

    test('a bridge that does not match the sha256 its package gives is not copied', async (t) => {
        const { raiz, config } = projeto(t, '0'.repeat(64));
        usarPastaDoPacote(path.join(raiz, 'node_modules', nomeDoPacote ?? 'x', 'bin'));
        t.after(() => usarPastaDoPacote(undefined));
        const antes = process.env.ACBR_PONTE;
        delete process.env.ACBR_PONTE;
        t.after(() => {
            if (antes !== undefined) process.env.ACBR_PONTE = antes;
        });
        const ponte = abrir(t, { executavel: undefined, pastaDeConfiguracao: config });
        const erro = await ponte.versao().then(assert.fail, (e) => e);
        assert.ok(erro instanceof PonteNaoIniciada && !(erro instanceof acbrPonte.LocalInseguro), String(erro));
        assert.match(erro.message, /^a ponte do pacote .* não confere com o sha256 que o pacote traz$/);
        assert.deepEqual(fs.readdirSync(config), [], 'nothing is left of the copy');
    });
});
