// Where the tests find the built bridge and the stand-in libraries, and small helpers for the
// environment and the process table. tools/testar-cliente-node.sh sets ACBR_PONTE; without it
// the bridge of build/ci in this repository is used.

import { existsSync, readdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const raiz = fileURLToPath(new URL('../../..', import.meta.url));

export const executavel = path.resolve(process.env.ACBR_PONTE || path.join(raiz, 'build/ci/acbr-ponte'));
const build = path.dirname(executavel);
/** Where the stand-in's variants were built, one directory each. */
export const variantes = path.join(build, 'falsa');
export const aqui = path.dirname(fileURLToPath(import.meta.url));
export const auxiliares = path.join(aqui, 'auxiliares');

const semPascal = existsSync(path.join(variantes, 'pascal', 'libacbrnfe64.so'))
    ? false
    : `sem a falsa em Free Pascal em ${variantes}/pascal (o build não encontrou o fpc)`;

/** The stand-ins every behaviour is checked against; `pular` is node:test's skip reason. */
export const falsas = [
    { nome: 'C', dir: path.join(build, 'acbr'), pular: false },
    { nome: 'Pascal', dir: path.join(variantes, 'pascal'), pular: semPascal },
];
export const falsaC = falsas[0];
export const falsaPascal = falsas[1];

export const versaoFalsa = { nome: 'ACBrLibNFe (falsa)', versao: '0.0.0-falsa' };

/**
 * Sets (or with undefined, removes) environment variables for the rest of test `t`.
 * @param {import('node:test').TestContext} t
 * @param {Record<string, string | undefined>} variaveis
 */
export function definirAmbiente(t, variaveis) {
    for (const [nome, valor] of Object.entries(variaveis)) {
        const antes = process.env[nome];
        t.after(() => mudar(nome, antes));
        mudar(nome, valor);
    }
}

export function mudar(nome, valor) {
    if (valor === undefined) delete process.env[nome];
    else process.env[nome] = valor;
}

/** This process's children as the kernel lists them, zombies included. */
export function filhos() {
    const lista = [];
    for (const entrada of readdirSync('/proc')) {
        if (!/^\d+$/.test(entrada)) continue;
        let stat;
        try {
            stat = readFileSync(`/proc/${entrada}/stat`, 'utf8');
        } catch {
            continue; // ended while we looked
        }
        // "pid (comm) state ppid ...": comm may hold spaces and parentheses.
        const [estado, pai] = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
        if (Number(pai) === process.pid) lista.push({ pid: Number(entrada), estado });
    }
    return lista;
}

/** True while /proc lists the process, zombie or not. */
export function existe(pid) {
    return existsSync(`/proc/${pid}`);
}

export function descritores() {
    return readdirSync('/proc/self/fd').length;
}

export async function ate(condicao, ms = 5000) {
    const fim = Date.now() + ms;
    while (!condicao()) {
        if (Date.now() > fim) return false;
        await new Promise((r) => setTimeout(r, 20));
    }
    return true;
}
