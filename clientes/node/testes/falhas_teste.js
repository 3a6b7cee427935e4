// A bridge that hangs, dies, cannot start or breaks the protocol: the call fails with the right
// error and the next call is answered by a fresh bridge.

import assert from 'node:assert/strict';
import { chmodSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { performance } from 'node:perf_hooks';
import { after, describe, test } from 'node:test';
import { ErroAcbrPonte, Ponte, PonteEncerrada, TempoEsgotado } from '../src/index.js';
import {
    auxiliares,
    definirAmbiente,
    executavel,
    existe,
    falsaC,
    falsaPascal,
    falsas,
    mudar,
    versaoFalsa,
} from './ambiente.js';

function abrir(t, opcoes) {
    const ponte = new Ponte({ executavel, tempoLimite: 10_000, ...opcoes });
    t.after(() => ponte.fechar());
    return ponte;
}

/** Starts the bridge with one answered call and gives its process id. */
async function iniciar(ponte) {
    assert.deepEqual(await ponte.versao(), versaoFalsa);
    return ponte.pid;
}

describe('a library that hangs in NFE_Inicializar', () => {
    const limite = 1500;
    for (const falsa of falsas) {
        test(`TempoEsgotado within the limit plus one second, then an answer (${falsa.nome})`, {
            skip: falsa.pular,
        }, async (t) => {
            const ponte = abrir(t, { acbrDir: falsa.dir, tempoLimite: limite });
            const pid = await iniciar(ponte);
            definirAmbiente(t, { ACBR_FALSA_DEFEITO: 'dorme' });
            // The running bridge was started without the misbehaviour; a fresh one gets it.
            assert.deepEqual(await ponte.versao(), versaoFalsa);
            const ponteNova = abrir(t, { acbrDir: falsa.dir, tempoLimite: limite });
            const inicio = performance.now();
            const erro = await ponteNova.versao().then(assert.fail, (e) => e);
            const decorrido = performance.now() - inicio;
            assert.ok(erro instanceof TempoEsgotado, String(erro));
            assert.equal(erro.tempoLimite, limite);
            assert.ok(decorrido < limite + 1000, `${decorrido} ms`);
            mudar('ACBR_FALSA_DEFEITO', undefined);
            assert.deepEqual(await ponteNova.versao(), versaoFalsa);
            assert.equal(ponte.pid, pid);
        });
    }
});

describe('a bridge that ends during a call', () => {
    const casos = [
        { falsa: falsaC, defeito: 'acesso_nulo', status: null, sinal: 'SIGSEGV', stderr: /^$/ },
        { falsa: falsaPascal, defeito: 'acesso_nulo', status: null, sinal: 'SIGSEGV', stderr: /^$/ },
        {
            falsa: falsaPascal,
            defeito: 'excecao',
            status: 217,
            sinal: null,
            stderr: /^An unhandled exception occurred at \$[0-9A-F]+:\nException: falha da biblioteca\n/,
        },
    ];
    for (const { falsa, defeito, status, sinal, stderr } of casos) {
        test(`${defeito} (${falsa.nome}): PonteEncerrada, then a fresh bridge answers`, {
            skip: falsa.pular,
        }, async (t) => {
            const ponte = abrir(t, { acbrDir: falsa.dir });
            definirAmbiente(t, { ACBR_FALSA_DEFEITO: defeito });
            const erro = await ponte.versao().then(assert.fail, (e) => e);
            assert.ok(erro instanceof PonteEncerrada, String(erro));
            assert.equal(erro.status, status);
            assert.equal(erro.sinal, sinal);
            assert.match(erro.stderr, stderr);
            assert.equal(ponte.pid, undefined);
            mudar('ACBR_FALSA_DEFEITO', undefined);
            assert.deepEqual(await ponte.versao(), versaoFalsa);
        });
    }

    test('a bridge that exits with status 0 before answering', async (t) => {
        const erro = await abrir(t, { executavel: '/bin/true' }).enviar('{"cmd":"versao"}').then(assert.fail, (e) => e);
        assert.ok(erro instanceof PonteEncerrada, String(erro));
        assert.equal(erro.status, 0);
        assert.equal(erro.sinal, null);
    });

    test('a bridge killed while idle is replaced by the next call', async (t) => {
        const ponte = abrir(t, { acbrDir: falsaC.dir });
        const pid = await iniciar(ponte);
        process.kill(pid, 'SIGKILL');
        while (existe(pid)) await new Promise((r) => setTimeout(r, 10));
        assert.deepEqual(await ponte.versao(), versaoFalsa);
        assert.notEqual(ponte.pid, pid);
    });

    test('standard error is read all the time and only its tail is kept', async (t) => {
        definirAmbiente(t, { ACBR_PONTE_REAL: executavel });
        const ponte = abrir(t, { executavel: path.join(auxiliares, 'erro_cheio.sh'), acbrDir: falsaC.dir });
        // Answered at all only if the 1 MiB written before the bridge started was read.
        assert.deepEqual(await ponte.versao(), versaoFalsa);
        definirAmbiente(t, { ACBR_FALSA_DEFEITO: 'acesso_nulo' });
        const erro = await abrir(t, {
            executavel: path.join(auxiliares, 'erro_cheio.sh'),
            acbrDir: falsaC.dir,
        }).versao().then(assert.fail, (e) => e);
        assert.ok(erro instanceof PonteEncerrada, String(erro));
        assert.ok(erro.stderr.endsWith('ããfim.\n'));
        assert.ok(Buffer.byteLength(erro.stderr) <= 8192 && Buffer.byteLength(erro.stderr) > 8100);
        // The cut fell inside a character: the tail starts at the next whole one.
        assert.ok(erro.stderr.startsWith('ã'));
    });
});

describe('a bridge that cannot be started', () => {
    const pasta = mkdtempSync(path.join(tmpdir(), 'acbr-ponte-'));
    const semPermissao = path.join(pasta, 'sem-permissao');
    writeFileSync(semPermissao, '#!/bin/sh\n');
    chmodSync(semPermissao, 0o644);
    const casos = [
        { descricao: 'no such file', executavel: path.join(pasta, 'nao-existe'), codigo: 'ENOENT' },
        { descricao: 'not executable', executavel: semPermissao, codigo: 'EACCES' },
    ];
    for (const caso of casos) {
        test(`${caso.descricao}: ErroAcbrPonte with the system's error, every call`, async (t) => {
            const ponte = abrir(t, { executavel: caso.executavel });
            for (let vez = 0; vez < 2; vez++) {
                const erro = await ponte.versao().then(assert.fail, (e) => e);
                assert.ok(erro instanceof ErroAcbrPonte && !(erro instanceof PonteEncerrada), String(erro));
                assert.equal(erro.cause?.code, caso.codigo);
            }
        });
    }
    after(() => rmSync(pasta, { recursive: true, force: true }));
});

describe('a bridge that breaks the protocol is replaced', () => {
    const falsoExecutavel = path.join(auxiliares, 'fora_do_protocolo.sh');
    const casos = [
        { resposta: 'lixo', erro: /^resposta inválida da ponte: isto não é JSON$/ },
        { resposta: 'lista', erro: /^resposta inválida da ponte: \[true\]$/ },
    ];
    for (const { resposta, erro } of casos) {
        test(`an answer that is not a JSON object: ${resposta}`, async (t) => {
            definirAmbiente(t, { RESPOSTA: resposta });
            await assert.rejects(abrir(t, { executavel: falsoExecutavel }).enviar('{}'), (e) => {
                assert.ok(e instanceof ErroAcbrPonte);
                assert.match(e.message, erro);
                return true;
            });
        });
    }

    test('two lines for one command: the extra one is never taken for the next answer', async (t) => {
        definirAmbiente(t, { RESPOSTA: 'duas' });
        const ponte = abrir(t, { executavel: falsoExecutavel });
        const primeira = await ponte.enviar('{}');
        const segunda = await ponte.enviar('{}');
        assert.equal(primeira.ok, true);
        assert.notEqual(segunda.pid, primeira.pid);
    });
});
