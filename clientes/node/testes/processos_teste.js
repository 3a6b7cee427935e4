// What is left in the system: no child process (zombies included) and no descriptor after
// closing, whatever happened before; and a host that never closes still exits by itself.

import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { before, describe, test } from 'node:test';
import { promisify } from 'node:util';
import { Ponte, PonteEncerrada, TempoEsgotado } from '../src/index.js';
import {
    ate,
    auxiliares,
    descritores,
    executavel,
    existe,
    falsaC,
    filhos,
    mudar,
    versaoFalsa,
} from './ambiente.js';

const executar = promisify(execFile);

function vivo(pid) {
    try {
        const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
        return stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3) !== 'Z';
    } catch {
        return false;
    }
}

async function comDefeito(defeito, corpo) {
    mudar('ACBR_FALSA_DEFEITO', defeito);
    try {
        return await corpo();
    } finally {
        mudar('ACBR_FALSA_DEFEITO', undefined);
    }
}

describe('nothing left after closing', { skip: process.platform !== 'linux' && 'reads /proc' }, () => {
    before(async () => {
        // The first child process opens descriptors of Node.js's own (the SIGCHLD pipe) for good.
        const ponte = new Ponte({ executavel, acbrDir: falsaC.dir });
        await ponte.versao();
        await ponte.fechar();
    });

    const casos = [
        { descricao: 'a Ponte never used', uso: async () => {} },
        { descricao: 'an answered call', uso: async (ponte) => assert.deepEqual(await ponte.versao(), versaoFalsa) },
        {
            descricao: 'a time-out',
            uso: (ponte) => comDefeito('dorme', () => assert.rejects(ponte.versao(), TempoEsgotado)),
        },
        {
            descricao: 'a crash',
            uso: (ponte) => comDefeito('acesso_nulo', () => assert.rejects(ponte.versao(), PonteEncerrada)),
        },
        {
            descricao: 'a crash then an answer',
            uso: async (ponte) => {
                await comDefeito('acesso_nulo', () => assert.rejects(ponte.versao(), PonteEncerrada));
                assert.deepEqual(await ponte.versao(), versaoFalsa);
            },
        },
        {
            descricao: 'five fresh bridges',
            uso: async (ponte) => {
                for (let i = 0; i < 9; i++) await ponte.versao();
            },
        },
        {
            descricao: 'calls still queued when closing',
            uso: (ponte) => {
                for (let i = 0; i < 20; i++) ponte.versao();
            },
        },
    ];
    for (const { descricao, uso } of casos) {
        test(descricao, async () => {
            const antes = descritores();
            const ponte = new Ponte({ executavel, acbrDir: falsaC.dir, tempoLimite: 1000, comandosPorPonte: 2 });
            await uso(ponte);
            await ponte.fechar();
            assert.deepEqual(filhos(), []);
            assert.equal(descritores(), antes);
        });
    }

    test('a timed-out bridge is killed and reaped before the call fails', async () => {
        const ponte = new Ponte({ executavel, acbrDir: falsaC.dir, tempoLimite: 1000 });
        let pid;
        await comDefeito('dorme', async () => {
            const chamada = ponte.versao();
            await ate(() => ponte.pid !== undefined);
            pid = ponte.pid;
            await assert.rejects(chamada, TempoEsgotado);
        });
        assert.ok(!existe(pid));
        await ponte.fechar();
    });
});

describe('a host that never closes its Ponte exits by itself', () => {
    const script = path.join(auxiliares, 'sem_fechar.js');
    const casos = [
        { descricao: 'after an answer', defeito: undefined, saida: /^(\d+) (\{.*\})\n$/ },
        { descricao: 'after a time-out', defeito: 'dorme', saida: /^0 TempoEsgotado\n$/ },
    ];
    for (const { descricao, defeito, saida } of casos) {
        test(descricao, async () => {
            const ambiente = { ...process.env, ACBR_PONTE: executavel, ACBR_DIR: falsaC.dir };
            if (defeito !== undefined) ambiente.ACBR_FALSA_DEFEITO = defeito;
            // The bound only keeps a broken client from hanging the suite; it is no timing check.
            const { stdout } = await executar(process.execPath, [script, '1000'], { env: ambiente, timeout: 30_000 });
            const achado = saida.exec(stdout);
            assert.ok(achado, stdout);
            if (defeito === undefined) {
                assert.deepEqual(JSON.parse(achado[2]), versaoFalsa);
                // Its input closed with the host, the bridge ends too.
                assert.ok(await ate(() => !vivo(Number(achado[1]))), `a ponte ${achado[1]} continua viva`);
            }
        });
    }
});
