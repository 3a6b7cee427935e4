// What a call gives back: the version, the decoded answer, the bridge's failure texts exactly,
// and what is refused before anything is written.

import assert from 'node:assert/strict';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, describe, test } from 'node:test';
import { ErroAcbrPonte, ErroDaPonte, Ponte } from '../src/index.js';
import { definirAmbiente, executavel, falsaC, falsas, variantes, versaoFalsa } from './ambiente.js';

function abrir(t, opcoes = {}) {
    const ponte = new Ponte({ executavel, acbrDir: falsaC.dir, tempoLimite: 10_000, ...opcoes });
    t.after(() => ponte.fechar());
    return ponte;
}

describe('success', () => {
    for (const falsa of falsas) {
        test(`versao() with the ${falsa.nome} stand-in`, { skip: falsa.pular }, async (t) => {
            const ponte = abrir(t, { acbrDir: falsa.dir });
            assert.deepEqual(await ponte.versao(), versaoFalsa);
            definirAmbiente(t, { ACBR_FALSA_NOME: 'Emissão 日本 🧾', ACBR_FALSA_VERSAO: '9.9' });
            // The running bridge keeps the environment it started with.
            assert.deepEqual(await ponte.versao(), versaoFalsa);
        });
    }

    const ausentes = [
        { variante: 'sem_nome', esperado: { nome: undefined, versao: '0.0.0-falsa' } },
        { variante: 'sem_nome_nem_versao', esperado: { nome: undefined, versao: undefined } },
    ];
    for (const { variante, esperado } of ausentes) {
        test(`versao() leaves out what the answer leaves out: ${variante}`, async (t) => {
            const ponte = abrir(t, { acbrDir: path.join(variantes, variante) });
            assert.deepEqual(await ponte.versao(), esperado);
        });
    }

    test('non-ASCII texts come back whole', async (t) => {
        // About 6 KiB, under the library's 8192-byte cap, of characters two to four bytes long.
        const nome = 'Emissão 日本 🧾 '.repeat(300);
        definirAmbiente(t, { ACBR_FALSA_NOME: nome });
        const ponte = abrir(t);
        assert.equal((await ponte.versao()).nome, nome.trim());
    });

    const formas = [
        { comando: '{"cmd":"versao"}', descricao: 'a line of text' },
        { comando: '  {"cmd":"versao"}\r', descricao: 'a line with blanks around' },
        { comando: { cmd: 'versao' }, descricao: 'an object' },
        { comando: ['versao'], descricao: 'an array' },
    ];
    for (const { comando, descricao } of formas) {
        test(`enviar() takes ${descricao}`, async (t) => {
            assert.deepEqual(await abrir(t).enviar(comando), { ok: true, ...versaoFalsa });
        });
    }
});

describe('failure texts, exactly', () => {
    const vazio = mkdtempSync(path.join(tmpdir(), 'acbr-ponte-vazio-'));
    const casos = [
        {
            descricao: 'library missing',
            acbrDir: vazio,
            erro: `biblioteca não encontrada em ${vazio}/libacbrnfe64.so`,
        },
        {
            descricao: 'NFE_Inicializar fails',
            acbrDir: path.join(variantes, 'inicializar_falha'),
            erro: 'NFE_Inicializar devolveu -1',
        },
        {
            descricao: 'NFE_Inicializar at address 0',
            acbrDir: path.join(variantes, 'inicializar_endereco_nulo'),
            erro: 'NFE_Inicializar ausente: símbolo sem endereço',
        },
    ];
    for (const caso of casos) {
        test(`versao() rejects with ErroDaPonte: ${caso.descricao}`, async (t) => {
            const ponte = abrir(t, { acbrDir: caso.acbrDir });
            const erro = await ponte.versao().then(assert.fail, (e) => e);
            assert.ok(erro instanceof ErroDaPonte && erro instanceof ErroAcbrPonte);
            assert.equal(erro.erro, caso.erro);
            assert.equal(erro.message, caso.erro);
            // An error answer is no reason to replace the bridge.
            const pid = ponte.pid;
            await ponte.versao().catch(() => {});
            assert.equal(ponte.pid, pid);
        });
    }
    after(() => rmSync(vazio, { recursive: true, force: true }));

    const invalidos = [
        { comando: '{}', erro: 'comando inválido: missing field `cmd` at line 1 column 2' },
        {
            comando: { cmd: 'Versao' },
            erro: 'comando inválido: unknown variant `Versao`, expected `versao` at line 1 column 15',
        },
        // A byte-order mark is not white space to the bridge: it is sent and answered.
        { comando: '\uFEFF', erro: 'comando inválido: expected value at line 1 column 1' },
        // JSON.stringify escapes an unpaired surrogate, which the bridge reads and refuses.
        { comando: { cmd: '\uD800' }, erro: 'comando inválido: unexpected end of hex escape at line 1 column 15' },
    ];
    for (const { comando, erro } of invalidos) {
        test(`enviar() resolves with the answer: ${JSON.stringify(comando)}`, async (t) => {
            assert.deepEqual(await abrir(t).enviar(comando), { ok: false, erro });
        });
    }
});

describe('refused before anything is written', () => {
    const ciclo = {};
    ciclo.eu = ciclo;
    const casos = [
        { descricao: 'empty', comando: '', tipo: RangeError },
        { descricao: 'blanks, tab, CR', comando: ' \t\r', tipo: RangeError },
        { descricao: 'Unicode white space', comando: '\u00A0\u2028\u3000\u0085', tipo: RangeError },
        { descricao: 'a line feed at the end', comando: '{"cmd":"versao"}\n', tipo: RangeError },
        { descricao: 'two commands', comando: '{"cmd":"versao"}\n{"cmd":"versao"}', tipo: RangeError },
        { descricao: 'an unpaired surrogate', comando: '{"cmd":"\uDC00"}', tipo: RangeError },
        { descricao: 'undefined', comando: undefined, tipo: TypeError },
        { descricao: 'a function', comando: () => {}, tipo: TypeError },
        { descricao: 'a symbol', comando: Symbol('versao'), tipo: TypeError },
        { descricao: 'a BigInt', comando: 1n, tipo: TypeError },
        { descricao: 'a cycle', comando: ciclo, tipo: TypeError },
    ];
    for (const { descricao, comando, tipo } of casos) {
        test(`${tipo.name}: ${descricao}`, async (t) => {
            const ponte = abrir(t);
            await assert.rejects(ponte.enviar(comando), tipo);
            // Nothing was started, so nothing was written.
            assert.equal(ponte.pid, undefined);
        });
    }

    const opcoes = [
        { opcoes: { tempoLimite: 0 }, tipo: RangeError },
        { opcoes: { tempoLimite: Number.NaN }, tipo: RangeError },
        { opcoes: { tempoLimite: 2 ** 31 }, tipo: RangeError },
        { opcoes: { tempoLimite: '30s' }, tipo: TypeError },
        { opcoes: { comandosPorPonte: -1 }, tipo: RangeError },
        { opcoes: { comandosPorPonte: 1.5 }, tipo: RangeError },
        { opcoes: { executavel: 42 }, tipo: TypeError },
        { opcoes: { executavel: '' }, tipo: RangeError },
        { opcoes: { acbrDir: 42 }, tipo: TypeError },
    ];
    for (const { opcoes: o, tipo } of opcoes) {
        test(`new Ponte(${JSON.stringify(o)}) throws ${tipo.name}`, () => {
            assert.throws(() => new Ponte(o), tipo);
        });
    }
});

describe('where each bridge comes from', () => {
    test('the environment as it is when the bridge starts, not when the Ponte is made', async (t) => {
        const ponte = abrir(t, { comandosPorPonte: 1 });
        definirAmbiente(t, { ACBR_FALSA_NOME: 'primeira' });
        assert.equal((await ponte.versao()).nome, 'primeira');
        process.env.ACBR_FALSA_NOME = 'segunda';
        assert.equal((await ponte.versao()).nome, 'segunda');
    });

    test('acbrDir wins over ACBR_DIR in the environment', async (t) => {
        definirAmbiente(t, { ACBR_DIR: path.join(variantes, 'inicializar_falha') });
        assert.deepEqual(await abrir(t).versao(), versaoFalsa);
        await assert.rejects(abrir(t, { acbrDir: undefined }).versao(), ErroDaPonte);
    });

    test('the executable defaults to ACBR_PONTE, read when the Ponte is made', async (t) => {
        definirAmbiente(t, { ACBR_PONTE: executavel, ACBR_DIR: falsaC.dir });
        const ponte = new Ponte();
        t.after(() => ponte.fechar());
        process.env.ACBR_PONTE = '/nao/existe/acbr-ponte';
        assert.deepEqual(await ponte.versao(), versaoFalsa);
    });
});
