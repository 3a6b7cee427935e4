#!/usr/bin/env node
// Makes the npm packages of acbr-ponte: the main package, and the four platform packages that
// carry the release bridges, each listed in the main package's optionalDependencies and picked by
// npm by its `os`, `cpu` and `libc`. Each platform package is made in a fresh folder from the
// binaries (nothing of them is committed) and packed with `npm pack`, whose tarballs are the same
// bytes whenever the binaries are: npm gives every entry the same time and owner.
//
//   node scripts/pacotes.js BINARIOS DESTINO
//
// BINARIOS (default: $ACBR_PONTE_BINARIOS) holds <key>/acbr-ponte for linux-x64 and linux-x86
// and <key>/acbr-ponte.exe for win-x64 and win-x86. A platform package whose bridges are not all
// there is left out, with a message. DESTINO receives the tarballs; the platform packages'
// folders are made in DESTINO/plataformas. Prints each tarball's name, size and sha256.

import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const PACOTE = fileURLToPath(new URL('..', import.meta.url));
const principal = JSON.parse(fs.readFileSync(path.join(PACOTE, 'package.json'), 'utf8'));

/** Each platform package: npm's os and cpu, and the keys it carries (its own first). */
const PLATAFORMAS = [
    {
        nome: '@acbr-ponte/linux-x64',
        os: 'linux',
        cpu: 'x64',
        chaves: ['linux-x64', 'linux-x86'],
        sistema: 'Linux x86-64',
    },
    { nome: '@acbr-ponte/linux-ia32', os: 'linux', cpu: 'ia32', chaves: ['linux-x86'], sistema: 'Linux x86' },
    { nome: '@acbr-ponte/win32-x64', os: 'win32', cpu: 'x64', chaves: ['win-x64', 'win-x86'], sistema: 'Windows x64' },
    { nome: '@acbr-ponte/win32-ia32', os: 'win32', cpu: 'ia32', chaves: ['win-x86'], sistema: 'Windows x86' },
];

function falhar(mensagem) {
    console.error(`pacotes.js: ${mensagem}`);
    process.exit(1);
}

const [binarios = process.env.ACBR_PONTE_BINARIOS, destino] = process.argv.slice(2);
if (!binarios || !destino) falhar('uso: node scripts/pacotes.js BINARIOS DESTINO (BINARIOS: $ACBR_PONTE_BINARIOS)');

// The main package must ask for exactly these packages, at its own version.
const esperadas = Object.fromEntries(PLATAFORMAS.map(({ nome }) => [nome, principal.version]).sort());
const pedidas = Object.fromEntries(Object.entries(principal.optionalDependencies ?? {}).sort());
if (JSON.stringify(pedidas) !== JSON.stringify(esperadas)) {
    falhar(`optionalDependencies em package.json devem ser ${JSON.stringify(esperadas)}: ${JSON.stringify(pedidas)}`);
}

const nomeDoExecutavel = (chave) => (chave.startsWith('win-') ? 'acbr-ponte.exe' : 'acbr-ponte');

/** Makes one platform package's folder; false when a bridge it carries is missing. */
function montar(plataforma, pasta) {
    const faltam = plataforma.chaves.filter(
        (chave) => !fs.existsSync(path.join(binarios, chave, nomeDoExecutavel(chave))),
    );
    if (faltam.length > 0) {
        console.log(`${plataforma.nome}: left out, no bridge for ${faltam.join(', ')} in ${binarios}`);
        return false;
    }
    fs.rmSync(pasta, { recursive: true, force: true });
    for (const chave of plataforma.chaves) {
        const nome = nomeDoExecutavel(chave);
        const dados = fs.readFileSync(path.join(binarios, chave, nome));
        fs.mkdirSync(path.join(pasta, 'bin', chave), { recursive: true });
        // Modes set here, whatever the binaries' and the umask: they are part of the tarball.
        escrever(path.join(pasta, 'bin', chave, nome), dados, 0o755);
        const resumo = createHash('sha256').update(dados).digest('hex');
        escrever(path.join(pasta, 'bin', chave, 'acbr-ponte.sha256'), `${resumo}  ${nome}\n`, 0o644);
    }
    const manifesto = {
        name: plataforma.nome,
        version: principal.version,
        description: `The acbr-ponte bridge for ${plataforma.sistema}, for the acbr-ponte package`,
        license: principal.license,
        private: principal.private,
        os: [plataforma.os],
        cpu: [plataforma.cpu],
        // The Linux bridges are linked against glibc: npm 10.4 and later skip them on musl.
        ...(plataforma.os === 'linux' ? { libc: ['glibc'] } : {}),
        files: ['bin/'],
        // Yarn: the bridge is a file to copy out, which it cannot be from inside a zip.
        preferUnplugged: true,
    };
    escrever(path.join(pasta, 'package.json'), `${JSON.stringify(manifesto, null, 2)}\n`, 0o644);
    const chaves = plataforma.chaves.map((chave) => `\`bin/${chave}/${nomeDoExecutavel(chave)}\``).join(' and ');
    escrever(
        path.join(pasta, 'README.md'),
        `# ${plataforma.nome}\n\nThe acbr-ponte bridge for ${plataforma.sistema}: ${chaves}, each beside its ` +
            '`acbr-ponte.sha256`.\nInstalled by the `acbr-ponte` package, as one of its optional dependencies, ' +
            'where npm finds it fits;\nthat package runs it from a checked copy in a per-user folder. ' +
            'Not meant to be used directly.\n',
        0o644,
    );
    return true;
}

function escrever(caminho, dados, modo) {
    fs.writeFileSync(caminho, dados);
    fs.chmodSync(caminho, modo);
}

function empacotar(pasta) {
    const saida = execFileSync('npm', ['pack', '--json', '--pack-destination', path.resolve(destino)], {
        cwd: pasta,
        encoding: 'utf8',
        stdio: ['ignore', 'pipe', 'inherit'],
        shell: process.platform === 'win32',
    });
    const [{ filename }] = JSON.parse(saida);
    const caminho = path.join(path.resolve(destino), filename);
    const resumo = createHash('sha256').update(fs.readFileSync(caminho)).digest('hex');
    console.log(`${filename}  ${fs.statSync(caminho).size} bytes  sha256 ${resumo}`);
}

fs.mkdirSync(destino, { recursive: true });
const plataformas = path.join(destino, 'plataformas');
empacotar(PACOTE);
let feitos = 0;
for (const plataforma of PLATAFORMAS) {
    const pasta = path.join(plataformas, plataforma.nome.split('/')[1]);
    if (!montar(plataforma, pasta)) continue;
    empacotar(pasta);
    feitos++;
}
if (feitos === 0) falhar(`no platform package made: no bridges in ${binarios}`);
