// The table of client cases every acbr-ponte client runs (clientes/casos/casos.json): each row,
// with each of its stand-ins, is one test here.
//
// The rows run the bridge named by ACBR_PONTE (tools/testar-cliente-node.sh sets it to
// <build>/acbr-ponte; without it, build/ci of this repository); the stand-ins are found beside
// it: <build>/acbr (C), <build>/falsa/pascal (Free Pascal, absent without fpc) and
// <build>/falsa/<variant>.

import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import * as acbrPonte from '../src/index.js';
import { VERSAO, chaveDaPlataforma, usarPastaDoPacote } from '../src/localizacao.js';

const AQUI = path.dirname(fileURLToPath(import.meta.url));
const PONTE = path.resolve(process.env.ACBR_PONTE || path.join(AQUI, '../../../build/ci/acbr-ponte'));
const BUILD = path.dirname(PONTE);
const FALSA_C = path.join(BUILD, 'acbr');
const FALSA_PASCAL = path.join(BUILD, 'falsa', 'pascal');
const VARIANTES = path.join(BUILD, 'falsa');
// The table and the simulated bridges every client shares, beside this client in the repository,
// or where ACBR_PONTE_CASOS says.
const CASOS = [process.env.ACBR_PONTE_CASOS, path.join(AQUI, '../../casos'), path.join(AQUI, '../casos')].find(
    (pasta) => pasta && fs.existsSync(path.join(pasta, 'casos.json')),
);
const PONTES_SIMULADAS = path.join(CASOS ?? '', 'pontes');
const TABELA = JSON.parse(fs.readFileSync(path.join(CASOS ?? '.', 'casos.json'), 'utf8'));
const PADROES = TABELA.padroes;
const LINUX = process.platform === 'linux';
const OUTRO_USUARIO = 65534;
const PADRAO = { nome: 'ACBrLibNFe (falsa)', versao: '0.0.0-falsa' };

const SEM_PONTE = `no built bridge at ${PONTE} (ACBR_PONTE names it; tools/testar-cliente-node.sh sets it)`;
const SEM_PASCAL = 'the Free Pascal stand-in was not built (fpc missing)';

/** Rows this client cannot run, with the reason. Node.js runs them all. */
const NAO_EXECUTAVEIS = {};

const NOMES = [
    'ponte',
    'acbr_dir',
    'variantes',
    'arquivo_da_lib',
    'pasta',
    'dados',
    'pasta_da_ponte',
    'nome_da_copia',
    'nome_da_copia_x86',
];
const MARCADOR = new RegExp(`\\{(${NOMES.join('|')})\\}`, 'g');

function substituir(valor, nomes) {
    if (typeof valor === 'string') return valor.replace(MARCADOR, (achado, nome) => nomes[nome] ?? achado);
    if (Array.isArray(valor)) return valor.map((item) => substituir(item, nomes));
    if (valor !== null && typeof valor === 'object') {
        return Object.fromEntries(Object.entries(valor).map(([chave, item]) => [chave, substituir(item, nomes)]));
    }
    return valor;
}

const haPonte = () => fs.existsSync(PONTE);
const haPascal = () =>
    fs.existsSync(FALSA_PASCAL) && fs.readdirSync(FALSA_PASCAL).some((nome) => /\.(so|dll)$/.test(nome));
const sha256 = (caminho) => createHash('sha256').update(fs.readFileSync(caminho)).digest('hex');
const dormir = (ms) => new Promise((resolver) => setTimeout(resolver, ms));

function definir(nome, valor) {
    if (valor === null || valor === undefined) delete process.env[nome];
    else process.env[nome] = valor;
}

/** Why the machine does not meet a row's condition, or undefined when it does. */
function falta(exigencia) {
    switch (exigencia) {
        case 'linux':
            return LINUX ? undefined : 'needs Linux';
        case 'posix':
            return process.platform !== 'win32' ? undefined : 'needs POSIX';
        case 'root':
            return process.geteuid?.() === 0 ? undefined : 'needs root to give a file to another user';
        case 'x64':
            return ['linux-x64', 'win-x64'].includes(chaveDaPlataforma(undefined))
                ? undefined
                : 'needs a 64-bit x86 host';
        case 'threads':
            return undefined; // calls at once are promises here
        default:
            throw new Error(`unknown condition ${exigencia}`);
    }
}

/** This process's children, zombies included, with their state letter (Z: zombie). */
function filhos() {
    const achados = {};
    for (const nome of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(nome)) continue;
        let dados;
        try {
            dados = fs.readFileSync(`/proc/${nome}/stat`, 'utf8');
        } catch {
            continue; // ended while we looked
        }
        // The command name may hold spaces and parentheses: the fields follow the last ')'.
        const [estado, pai] = dados.slice(dados.lastIndexOf(')') + 2).split(' ');
        if (Number(pai) === process.pid) achados[nome] = estado;
    }
    return achados;
}

const descritores = () => fs.readdirSync('/proc/self/fd').length;

/** One row of the table, run with one stand-in. */
class Linha {
    constructor(t, caso, falsa) {
        this.t = t;
        this.caso = caso;
        this.falsa = falsa;
        this.pasta = fs.mkdtempSync(path.join(os.tmpdir(), 'acbr-ponte-caso-'));
        this.dados = path.join(this.pasta, 'dados');
        fs.mkdirSync(this.dados);
        this.ambienteOriginal = new Map();
        this.pids = [];
        this.nomes = {};
    }

    // --- setting up
    acbrDir() {
        if (this.falsa === 'c') return FALSA_C;
        if (this.falsa === 'pascal') return FALSA_PASCAL;
        if (this.falsa.startsWith('variante:')) return path.join(VARIANTES, this.falsa.slice('variante:'.length));
        assert.equal(this.falsa, 'vazia');
        const vazia = path.join(this.pasta, 'vazia');
        fs.mkdirSync(vazia, { recursive: true });
        return vazia;
    }

    /** The file a bridge source names. */
    fonte(nome) {
        if (nome === 'construida') return PONTE;
        if (nome.startsWith('simulada:')) return path.join(PONTES_SIMULADAS, `${nome.slice('simulada:'.length)}.sh`);
        if (nome === 'inexistente') return path.join(this.pasta, 'nao-existe');
        assert.equal(nome, 'sem_permissao');
        const caminho = path.join(this.pasta, 'sem-permissao');
        fs.writeFileSync(caminho, '#!/bin/sh\n');
        fs.chmodSync(caminho, 0o644);
        return caminho;
    }

    definir(nome, valor) {
        if (!this.ambienteOriginal.has(nome)) this.ambienteOriginal.set(nome, process.env[nome]);
        definir(nome, valor);
    }

    desfazer() {
        for (const [nome, valor] of this.ambienteOriginal) definir(nome, valor);
        usarPastaDoPacote(undefined);
        for (const raiz of [this.pasta]) {
            // Folders made read-only or given away by a row are put back so they can be removed.
            for (const entrada of fs.readdirSync(raiz, { recursive: true, withFileTypes: true })) {
                const caminho = path.join(entrada.parentPath ?? entrada.path, entrada.name);
                if (entrada.isDirectory()) fs.chmodSync(caminho, 0o700);
            }
        }
        fs.rmSync(this.pasta, { recursive: true, force: true });
    }

    /** Sets ACBR_PONTE, PATH and the package as the row says; returns the executavel option. */
    prepararPonte() {
        let ponte = this.caso.ponte ?? PADROES.ponte;
        if (typeof ponte === 'string') {
            ponte = { executavel: ponte }; // a bridge given by path: the rest of the search is never reached
        } else {
            const caminhos = path.join(this.pasta, 'path');
            fs.mkdirSync(caminhos);
            if ('path' in ponte) fs.copyFileSync(this.fonte(ponte.path), path.join(caminhos, 'acbr-ponte'));
            this.definir('PATH', caminhos);
        }
        this.definir(
            'ACBR_PONTE',
            !('ACBR_PONTE' in ponte) ? undefined : ponte.ACBR_PONTE ? this.fonte(ponte.ACBR_PONTE) : '',
        );
        const pacote = path.join(this.pasta, 'pacote');
        fs.mkdirSync(pacote);
        const chave = chaveDaPlataforma(undefined) ?? 'linux-x64';
        for (const [qual, fonte] of Object.entries(ponte.pacote ?? {})) {
            const chaveDaFonte = qual === 'nativa' ? chave : `${chave.split('-')[0]}-x86`;
            const pasta = path.join(pacote, chaveDaFonte);
            fs.mkdirSync(pasta, { recursive: true });
            const origem = this.fonte(fonte);
            fs.copyFileSync(origem, path.join(pasta, 'acbr-ponte'));
            const resumo = sha256(origem);
            fs.writeFileSync(path.join(pasta, 'acbr-ponte.sha256'), `${resumo}  acbr-ponte\n`);
            const nome = `acbr-ponte-${VERSAO}-${chaveDaFonte}-${resumo.slice(0, 16)}`;
            this.nomes[qual === 'nativa' ? 'nome_da_copia' : 'nome_da_copia_x86'] = nome;
        }
        usarPastaDoPacote(pacote);
        return 'executavel' in ponte ? this.fonte(ponte.executavel) : undefined;
    }

    // --- running
    async executar() {
        const acbrDir = this.acbrDir();
        Object.assign(this.nomes, {
            ponte: PONTE,
            acbr_dir: acbrDir,
            variantes: VARIANTES,
            arquivo_da_lib: fs
                .readdirSync(FALSA_C)
                .sort()
                .find((nome) => /\.(so|dll)$/.test(nome)),
            pasta: this.pasta,
            dados: this.dados,
            pasta_da_ponte: path.join(this.dados, 'acbr-ponte'),
        });
        const executavel = this.prepararPonte();
        this.definir('XDG_DATA_HOME', this.dados);
        for (const [nome, valor] of Object.entries(substituir(this.caso.ambiente ?? {}, this.nomes))) {
            this.definir(nome, valor);
        }
        const opcoes = { ...PADROES, ...substituir(this.caso.opcoes ?? {}, this.nomes) };
        const descritoresAntes = LINUX ? descritores() : 0;
        const ponte = new acbrPonte.Ponte({
            executavel,
            acbrDir: 'acbr_dir' in opcoes ? (opcoes.acbr_dir ?? undefined) : acbrDir,
            tempoLimite: opcoes.tempo_limite_ms,
            comandosPorPonte: opcoes.comandos_por_ponte,
            arquitetura: opcoes.arquitetura,
            pastaDeConfiguracao: opcoes.pasta_de_configuracao,
        });
        try {
            for (const chamada of substituir(this.caso.chamadas, this.nomes)) {
                for (let vez = 0; vez < (chamada.repetir ?? 1); vez++) await this.chamar(ponte, chamada);
            }
        } finally {
            await ponte.fechar();
        }
        if ('pids_por_ponte' in this.caso) {
            const seguidas = [];
            this.pids.forEach((pid, i) => {
                if (i > 0 && pid === this.pids[i - 1]) seguidas[seguidas.length - 1]++;
                else seguidas.push(1);
            });
            assert.deepEqual(seguidas, this.caso.pids_por_ponte);
        }
        if (LINUX) {
            assert.deepEqual(filhos(), {}, 'child processes left behind');
            assert.equal(descritores(), descritoresAntes, 'descriptors left open');
        }
    }

    async chamar(ponte, chamada) {
        for (const [nome, valor] of Object.entries(chamada.ambiente ?? {})) this.definir(nome, valor);
        for (const acao of chamada.antes ?? []) await this.agir(acao, ponte);
        const espera = chamada.espera ?? {};
        const antes = ponte.pid;
        if (chamada.metodo === 'simultaneas') {
            await this.simultaneas(ponte, chamada.quantas);
            return;
        }
        if (chamada.metodo === 'fechar') {
            await ponte.fechar();
            this.conferirPid(espera, antes, ponte.pid);
            return;
        }
        let valor;
        let erro;
        try {
            valor = await (chamada.metodo === 'versao' ? ponte.versao() : ponte.enviar(chamada.comando));
        } catch (e) {
            if (!(e instanceof acbrPonte.ErroAcbrPonte)) throw e;
            erro = e;
        }
        if (erro !== undefined) {
            assert.ok('erro' in espera, `unexpected ${erro.name}: ${erro.message}`);
            this.conferirErro(erro, espera.erro);
            if (chamada.matar_pid_do_stderr) process.kill(Number(erro.stderr.trim()), 'SIGKILL');
        } else if ('versao' in espera) {
            assert.deepEqual(valor, {
                nome: espera.versao.nome ?? undefined,
                versao: espera.versao.versao ?? undefined,
            });
        } else if ('resposta' in espera) {
            assert.deepEqual(valor, espera.resposta);
        } else {
            assert.fail(`${chamada.metodo} returned ${JSON.stringify(valor)}, expected ${JSON.stringify(espera)}`);
        }
        this.pids.push(ponte.pid);
        this.conferirPid(espera, antes, ponte.pid);
        for (const caminho of espera.existe ?? []) assert.ok(existe(caminho), `${caminho} does not exist`);
        for (const caminho of espera.nao_existe ?? []) assert.ok(!existe(caminho), `${caminho} exists`);
        if (espera.conta_linhas) {
            const { arquivo, linha, vezes } = espera.conta_linhas;
            const linhas = fs.readFileSync(arquivo, 'utf8').split(/\r?\n/);
            assert.equal(linhas.filter((l) => l === linha).length, vezes, linhas.join('|'));
        }
    }

    conferirPid(espera, antes, depois) {
        if (espera.pid === 'nenhum') assert.equal(depois, undefined);
        else if (espera.pid === 'mesmo') {
            assert.notEqual(depois, undefined);
            assert.equal(depois, antes);
        } else if (espera.pid === 'novo') {
            assert.notEqual(depois, undefined);
            assert.notEqual(depois, antes);
        }
    }

    conferirErro(erro, espera) {
        assert.equal(erro.name, espera.classe, erro.message);
        assert.ok(erro instanceof acbrPonte[espera.classe], espera.classe);
        const stderr = erro.stderr ?? '';
        for (const [campo, valor] of Object.entries(espera)) {
            switch (campo) {
                case 'classe':
                    break;
                case 'tempo_limite_ms':
                    assert.equal(erro.tempoLimite, valor);
                    break;
                case 'mensagem':
                    assert.equal(erro.message, valor);
                    break;
                case 'mensagem_comeca':
                    assert.ok(erro.message.startsWith(valor), erro.message);
                    break;
                case 'stderr_contem':
                    for (const trecho of valor) assert.ok(stderr.includes(trecho), stderr);
                    break;
                case 'stderr_nao_contem':
                    for (const trecho of valor) assert.ok(!stderr.includes(trecho), stderr);
                    break;
                case 'stderr_termina':
                    assert.ok(stderr.endsWith(valor), stderr.slice(-100));
                    break;
                case 'stderr_bytes': {
                    const bytes = Buffer.byteLength(stderr);
                    assert.ok(valor[0] <= bytes && bytes <= valor[1], String(bytes));
                    break;
                }
                default:
                    // Absent is null for status and sinal (as child_process has them), else undefined.
                    assert.equal(erro[campo], valor ?? (['status', 'sinal'].includes(campo) ? null : undefined), campo);
            }
        }
    }

    async agir(acao, ponte) {
        const caminho = acao.caminho ?? '';
        switch (acao.acao) {
            case 'criar_pasta':
                fs.mkdirSync(caminho, { recursive: true });
                fs.chmodSync(caminho, Number.parseInt(acao.modo, 8));
                break;
            case 'mudar_modo':
                fs.chmodSync(caminho, Number.parseInt(acao.modo, 8));
                break;
            case 'mudar_dono':
                fs.chownSync(caminho, OUTRO_USUARIO, OUTRO_USUARIO);
                break;
            case 'escrever':
                if (existe(caminho)) fs.unlinkSync(caminho);
                fs.writeFileSync(caminho, acao.conteudo);
                fs.chmodSync(caminho, Number.parseInt(acao.modo, 8));
                break;
            case 'link_simbolico':
                fs.symlinkSync(acao.alvo, caminho);
                break;
            case 'remover':
                fs.unlinkSync(caminho);
                break;
            case 'matar_ponte': {
                const pid = ponte.pid;
                assert.notEqual(pid, undefined);
                process.kill(pid, 'SIGKILL');
                // Gone from the table once this process has reaped it, and so seen it end.
                for (let fim = Date.now() + 10_000; fs.existsSync(`/proc/${pid}`) && Date.now() < fim;)
                    await dormir(10);
                break;
            }
            default:
                throw new Error(`unknown action ${acao.acao}`);
        }
    }

    async simultaneas(ponte, quantas) {
        const chamadas = Array.from({ length: quantas }, (_, i) =>
            i % 2 === 0 ? ponte.versao() : ponte.enviar(`{"cmd":"c${i}"}`),
        );
        const recebidas = await Promise.allSettled(chamadas);
        recebidas.forEach((recebida, i) => {
            assert.equal(recebida.status, 'fulfilled', String(recebida.reason));
            if (i % 2 === 0) assert.deepEqual(recebida.value, PADRAO);
            else {
                const coluna = 8 + `c${i}`.length + 1;
                assert.deepEqual(recebida.value, {
                    ok: false,
                    erro: `comando inválido: unknown variant \`c${i}\`, expected \`versao\` at line 1 column ${coluna}`,
                });
            }
        });
    }
}

function existe(caminho) {
    return fs.lstatSync(caminho, { throwIfNoEntry: false }) !== undefined;
}

const contagem = { registradas: 0, executadas: 0, puladas: new Map() };

function pular(t, nome, motivo) {
    contagem.puladas.set(nome, motivo);
    t.skip(motivo);
}

before(async () => {
    // The first child process opens descriptors of Node.js's own (the SIGCHLD pipe) for good.
    if (!haPonte()) return;
    const ponte = new acbrPonte.Ponte({ executavel: PONTE, acbrDir: FALSA_C });
    await ponte.versao();
    await ponte.fechar();
});

for (const caso of TABELA.casos) {
    for (const falsa of caso.falsas ?? PADROES.falsas) {
        const nome = `${caso.nome} (${falsa})`;
        contagem.registradas++;
        test(`${nome}: ${caso.descricao}`, async (t) => {
            if (!haPonte()) return pular(t, nome, SEM_PONTE);
            if (caso.nome in NAO_EXECUTAVEIS) return pular(t, nome, NAO_EXECUTAVEIS[caso.nome]);
            for (const exigencia of caso.exige ?? []) {
                const motivo = falta(exigencia);
                if (motivo) return pular(t, nome, motivo);
            }
            if (falsa === 'pascal' && !haPascal()) return pular(t, nome, SEM_PASCAL);
            const linha = new Linha(t, caso, falsa);
            try {
                await linha.executar();
            } finally {
                linha.desfazer();
            }
            contagem.executadas++;
        });
    }
}

test('the whole table became tests, and each ran or was skipped with its reason', (t) => {
    // An empty or half-read table must fail, not pass with nothing run.
    const nomes = new Set(TABELA.casos.map((caso) => caso.nome));
    assert.ok(TABELA.casos.length >= 60, `${TABELA.casos.length} rows`);
    const esperadas = TABELA.casos.reduce((soma, caso) => soma + (caso.falsas ?? PADROES.falsas).length, 0);
    assert.equal(contagem.registradas, esperadas);
    for (const nome of Object.keys(NAO_EXECUTAVEIS)) assert.ok(nomes.has(nome), nome);
    t.diagnostic(
        `${TABELA.casos.length} rows, ${contagem.registradas} tests: ${contagem.executadas} passed, ${contagem.puladas.size} skipped`,
    );
    for (const [nome, motivo] of contagem.puladas) t.diagnostic(`skipped ${nome}: ${motivo}`);
});
