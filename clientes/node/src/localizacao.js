// Where the bridge comes from: the path given, ACBR_PONTE, the bridge in this package's platform
// package for the platform key, or acbr-ponte on PATH.

import { accessSync, constants, readFileSync, statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { homedir } from 'node:os';
import path from 'node:path';
import { PonteNaoIniciada } from './erros.js';

const require = createRequire(import.meta.url);

/** This package's version: part of the copy's name, and the platform packages' own. */
export const VERSAO = require('../package.json').version;
export const NOME_DO_EXECUTAVEL = 'acbr-ponte';
export const ARQUITETURAS = Object.freeze(['x64', 'x86']);
export const NAO_ENCONTRADA =
    'acbr-ponte não encontrado: dê o caminho da ponte, defina ACBR_PONTE, instale o pacote com a ' +
    'ponte desta plataforma ou ponha acbr-ponte no PATH';

const WINDOWS = process.platform === 'win32';
const SISTEMAS = { linux: 'linux', win32: 'win' };
const PALAVRAS = { x64: 'x64', ia32: 'x86' };
/**
 * The npm package that carries each key's bridge, as bin/<key>/acbr-ponte[.exe] beside its
 * acbr-ponte.sha256; a 64-bit system's package carries its 32-bit bridge too.
 */
const PACOTES = {
    'linux-x64': '@acbr-ponte/linux-x64',
    'linux-x86': '@acbr-ponte/linux-ia32',
    'win-x64': '@acbr-ponte/win32-x64',
    'win-x86': '@acbr-ponte/win32-ia32',
};
const SHA256 = /^[0-9a-f]{64}$/;

// The tests put a package's bridges in a folder of their own (<folder>/<key>/acbr-ponte).
let pastaDeTeste;
/** For the tests only: look for the package's bridges in `pasta` (undefined: where npm put them). */
export function usarPastaDoPacote(pasta) {
    pastaDeTeste = pasta;
}

/**
 * `linux-x64`, `win-x86`, ...: the system and the word size of this process, or of
 * `arquitetura`; undefined where no bridge is packaged (the library exists for neither).
 * @param {'x64' | 'x86' | undefined} arquitetura
 */
export function chaveDaPlataforma(arquitetura) {
    const sistema = SISTEMAS[process.platform];
    const palavra = arquitetura ?? PALAVRAS[process.arch];
    return sistema === undefined || palavra === undefined ? undefined : `${sistema}-${palavra}`;
}

/**
 * The bridge to start: a path to run as it is (the option, ACBR_PONTE, PATH), or the package's
 * bridge, which runs from its copy in the configuration folder.
 * @returns {string | {chave: string, caminho: string, sha256: string}}
 * @throws {PonteNaoIniciada} none found, or the package's checksum is damaged
 */
export function localizarPonte(executavel, arquitetura) {
    if (executavel !== undefined) return comExe(executavel);
    const doAmbiente = process.env.ACBR_PONTE;
    if (doAmbiente) return comExe(doAmbiente);
    const chave = chaveDaPlataforma(arquitetura);
    const doPacote = chave === undefined ? undefined : ponteDoPacote(chave);
    if (doPacote !== undefined) return doPacote;
    const achada = noPath();
    if (achada === undefined) throw new PonteNaoIniciada(NAO_ENCONTRADA, undefined);
    return achada;
}

/**
 * The packaged bridge for `chave` and the sha256 its package gives for it, or undefined when no
 * installed package carries one.
 */
export function ponteDoPacote(chave) {
    const nome = NOME_DO_EXECUTAVEL + (chave.startsWith('win-') ? '.exe' : '');
    for (const pasta of pastasDoPacote(chave)) {
        const caminho = path.join(pasta, chave, nome);
        if (!statSync(caminho, { throwIfNoEntry: false })?.isFile()) continue;
        let sha256 = '';
        try {
            sha256 = readFileSync(path.join(pasta, chave, `${NOME_DO_EXECUTAVEL}.sha256`))
                .subarray(0, 64)
                .toString('latin1');
        } catch {
            // told below, as a damaged package
        }
        if (!SHA256.test(sha256)) {
            throw new PonteNaoIniciada(
                `a ponte do pacote ${caminho} não confere com o sha256 que o pacote traz`,
                caminho,
            );
        }
        return { chave, caminho, sha256 };
    }
    return undefined;
}

/** The bin folders of the installed platform packages that may carry `chave`'s bridge. */
function pastasDoPacote(chave) {
    if (pastaDeTeste !== undefined) return [pastaDeTeste];
    // The host's own package first: npm installs only the one whose os and cpu fit, and on a
    // 64-bit system it carries the 32-bit bridge too.
    const nomes = new Set([PACOTES[`${SISTEMAS[process.platform]}-${PALAVRAS[process.arch]}`], PACOTES[chave]]);
    const pastas = [];
    for (const nome of nomes) {
        if (nome === undefined) continue;
        try {
            pastas.push(path.join(path.dirname(require.resolve(`${nome}/package.json`)), 'bin'));
        } catch {
            // not installed (npm skips the packages of other platforms)
        }
    }
    return pastas;
}

function noPath() {
    const nome = NOME_DO_EXECUTAVEL + (WINDOWS ? '.exe' : '');
    const caminhos = process.env.PATH ?? (WINDOWS ? '' : '/bin:/usr/bin');
    for (const pasta of caminhos.split(path.delimiter)) {
        if (pasta === '') continue; // never the current folder by accident
        const caminho = path.join(pasta, nome);
        try {
            if (!statSync(caminho).isFile()) continue;
            if (!WINDOWS) accessSync(caminho, constants.X_OK);
            return caminho;
        } catch {
            // not there, or not executable: the next folder
        }
    }
    return undefined;
}

/** On Windows, a path given without `.exe` names the file with it, when only that exists. */
function comExe(caminho) {
    if (
        WINDOWS &&
        !statSync(caminho, { throwIfNoEntry: false }) &&
        statSync(`${caminho}.exe`, { throwIfNoEntry: false })
    ) {
        return `${caminho}.exe`;
    }
    return caminho;
}

/** The per-user folder where the bridge from the package is placed. */
export function pastaPorUsuario() {
    let base;
    if (WINDOWS) {
        base = process.env.LOCALAPPDATA || path.join(homedir(), 'AppData', 'Local');
    } else {
        base = process.env.XDG_DATA_HOME ?? '';
        if (!path.isAbsolute(base)) base = path.join(homedir(), '.local', 'share');
    }
    return path.join(base, NOME_DO_EXECUTAVEL);
}
