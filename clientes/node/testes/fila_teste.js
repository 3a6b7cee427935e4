// Many calls at once, fresh bridges every so many commands, a library that writes to the
// standard streams, and closing.

import assert from 'node:assert/strict';
import { describe, test } from 'node:test';
import { ErroAcbrPonte, Ponte } from '../src/index.js';
import { definirAmbiente, executavel, existe, falsaC, falsas, versaoFalsa } from './ambiente.js';

function abrir(t, opcoes = {}) {
    const ponte = new Ponte({ executavel, acbrDir: falsaC.dir, tempoLimite: 10_000, ...opcoes });
    t.after(() => ponte.fechar());
    return ponte;
}

describe('one command at a time', () => {
    test('200 overlapping calls, every answer to its own call', async (t) => {
        const ponte = abrir(t, { comandosPorPonte: 0 });
        // Every other call is a command whose error text names it, so a mix-up shows.
        const chamadas = Array.from({ length: 200 }, (_, i) =>
            i % 2 === 0 ? ponte.versao() : ponte.enviar({ cmd: `c${i}` }),
        );
        const respostas = await Promise.all(chamadas);
        respostas.forEach((resposta, i) => {
            if (i % 2 === 0) assert.deepEqual(resposta, versaoFalsa);
            else {
                assert.deepEqual(resposta, {
                    ok: false,
                    erro: `comando inválido: unknown variant \`c${i}\`, expected \`versao\` at line 1 column ${10 + String(i).length}`,
                });
            }
        });
    });

    test('a failing call does not stop the ones queued behind it', async (t) => {
        const ponte = abrir(t);
        const [bom, ruim, outro] = await Promise.allSettled([ponte.versao(), ponte.enviar(''), ponte.versao()]);
        assert.deepEqual(bom.value, versaoFalsa);
        assert.ok(ruim.reason instanceof RangeError);
        assert.deepEqual(outro.value, versaoFalsa);
    });
});

describe('a fresh bridge every so many commands', () => {
    const casos = [
        { comandosPorPonte: 10, chamadas: 35, pontes: 4 },
        { comandosPorPonte: 1, chamadas: 3, pontes: 3 },
        { comandosPorPonte: 0, chamadas: 35, pontes: 1 },
    ];
    for (const { comandosPorPonte, chamadas, pontes } of casos) {
        test(`${chamadas} calls with comandosPorPonte ${comandosPorPonte}: ${pontes} bridge(s)`, async (t) => {
            const ponte = abrir(t, { comandosPorPonte });
            const pids = [];
            for (let i = 0; i < chamadas; i++) {
                assert.deepEqual(await ponte.versao(), versaoFalsa);
                pids.push(ponte.pid);
            }
            const distintos = [...new Set(pids)];
            assert.equal(distintos.length, pids.length === 0 ? 0 : pontes);
            // Each one is replaced only once it has ended.
            for (const pid of distintos.slice(0, -1)) assert.ok(!existe(pid), `${pid} ainda existe`);
        });
    }
});

describe('a library that writes to the standard streams', () => {
    const defeitos = ['escreve_linha', 'escreve_sem_fim', 'escreve_descritor', 'escreve_erro'];
    for (const falsa of falsas) {
        for (const defeito of defeitos) {
            test(`${defeito} (${falsa.nome}): every answer still right`, { skip: falsa.pular }, async (t) => {
                definirAmbiente(t, { ACBR_FALSA_DEFEITO: defeito });
                const ponte = abrir(t, { acbrDir: falsa.dir });
                for (let i = 0; i < 5; i++) {
                    assert.deepEqual(await ponte.versao(), versaoFalsa);
                    assert.equal((await ponte.enviar({ cmd: `c${i}` })).ok, false);
                }
            });
        }
    }
});

describe('closing', () => {
    test('fechar() lets the calls already made finish, then refuses new ones', async (t) => {
        const ponte = abrir(t);
        const chamadas = [ponte.versao(), ponte.versao(), ponte.versao()];
        const fechamento = ponte.fechar();
        assert.equal(ponte.fechar(), fechamento);
        for (const resposta of await Promise.all(chamadas)) assert.deepEqual(resposta, versaoFalsa);
        await fechamento;
        assert.equal(ponte.pid, undefined);
        await assert.rejects(ponte.versao(), (e) => e instanceof ErroAcbrPonte && /fechada/.test(e.message));
    });

    test('Symbol.asyncDispose closes', { skip: typeof Symbol.asyncDispose !== 'symbol' && 'no Symbol.asyncDispose' }, async (t) => {
        const ponte = abrir(t);
        assert.deepEqual(await ponte.versao(), versaoFalsa);
        const pid = ponte.pid;
        await ponte[Symbol.asyncDispose]();
        assert.ok(!existe(pid));
        await assert.rejects(ponte.versao(), ErroAcbrPonte);
    });
});
