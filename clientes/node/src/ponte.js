// The host's handle on the bridge: a queue of calls served one at a time by a bridge process that
// starts on the first call and is replaced after a crash, a time-out or every so many commands.

import { linhaDoComando } from './comando.js';
import { ErroAcbrPonte, ErroDaPonte } from './erros.js';
import { Processo } from './processo.js';

const TEMPO_LIMITE_PADRAO_MS = 30_000;
const COMANDOS_POR_PONTE_PADRAO = 1000;
const MAIOR_ESPERA_MS = 2 ** 31 - 1; // setTimeout's largest delay

function executavelPadrao() {
    const doAmbiente = process.env.ACBR_PONTE;
    if (doAmbiente) return doAmbiente;
    return process.platform === 'win32' ? 'acbr-ponte.exe' : 'acbr-ponte';
}

function opcaoNumerica(valor, nome, padrao, valido, regra) {
    if (valor === undefined) return padrao;
    if (typeof valor !== 'number') throw new TypeError(`${nome} deve ser um número`);
    if (!valido(valor)) throw new RangeError(`${nome} deve ser ${regra}: ${valor}`);
    return valor;
}

function opcaoTexto(valor, nome) {
    if (valor === undefined || valor === null) return undefined;
    if (typeof valor !== 'string') throw new TypeError(`${nome} deve ser um texto`);
    return valor;
}

const textoOuAusente = (valor) => valor === undefined || typeof valor === 'string';

export class Ponte {
    #executavel;
    #acbrDir;
    #tempoLimite;
    #comandosPorPonte;
    /** @type {Processo | null} */
    #processo = null;
    #atendidos = 0;
    #fila = Promise.resolve();
    #fechamento = null;

    constructor(opcoes = {}) {
        const { executavel, acbrDir, tempoLimite, comandosPorPonte } = opcoes;
        this.#executavel = opcaoTexto(executavel, 'executavel') ?? executavelPadrao();
        if (this.#executavel === '') throw new RangeError('executavel não pode ser vazio');
        this.#acbrDir = opcaoTexto(acbrDir, 'acbrDir');
        this.#tempoLimite = opcaoNumerica(
            tempoLimite,
            'tempoLimite',
            TEMPO_LIMITE_PADRAO_MS,
            (n) => n > 0 && n <= MAIOR_ESPERA_MS,
            `maior que 0 e no máximo ${MAIOR_ESPERA_MS} (ms)`,
        );
        this.#comandosPorPonte = opcaoNumerica(
            comandosPorPonte,
            'comandosPorPonte',
            COMANDOS_POR_PONTE_PADRAO,
            (n) => Number.isSafeInteger(n) && n >= 0,
            'um inteiro maior ou igual a 0',
        );
    }

    /** The running bridge's process id; undefined before the first call, after a failure or once closed. */
    get pid() {
        return this.#processo?.utilizavel ? this.#processo.pid : undefined;
    }

    async versao() {
        const resposta = await this.enviar({ cmd: 'versao' });
        if (resposta.ok === false && typeof resposta.erro === 'string') throw new ErroDaPonte(resposta.erro);
        if (resposta.ok === true && textoOuAusente(resposta.nome) && textoOuAusente(resposta.versao)) {
            return { nome: resposta.nome, versao: resposta.versao };
        }
        throw new ErroAcbrPonte(`resposta inesperada da ponte: ${JSON.stringify(resposta)}`);
    }

    async enviar(comando) {
        const linha = linhaDoComando(comando);
        if (this.#fechamento !== null) throw new ErroAcbrPonte('a Ponte está fechada');
        return this.#enfileirar(() => this.#atender(linha));
    }

    /** Waits for the calls already made, then ends the bridge. Later calls are refused. */
    fechar() {
        if (this.#fechamento === null) this.#fechamento = this.#enfileirar(() => this.#descartar());
        return this.#fechamento;
    }

    // A failed call must not stop the ones queued behind it.
    #enfileirar(tarefa) {
        const resultado = this.#fila.then(tarefa);
        this.#fila = resultado.then(
            () => {},
            () => {},
        );
        return resultado;
    }

    async #atender(linha) {
        const processo = await this.#processoPronto();
        let texto;
        try {
            texto = await processo.pedir(linha, this.#tempoLimite);
        } catch (erro) {
            // Not retried: a command that crashed or hung the bridge may do it again.
            await this.#descartar();
            throw erro;
        }
        this.#atendidos++;
        let resposta;
        try {
            resposta = JSON.parse(texto);
        } catch {
            resposta = undefined;
        }
        if (resposta === null || typeof resposta !== 'object' || Array.isArray(resposta)) {
            await this.#descartar();
            throw new ErroAcbrPonte(`resposta inválida da ponte: ${texto.slice(0, 200)}`);
        }
        return resposta;
    }

    // Every bridge, first or fresh, gets the host's environment as it is when it starts.
    async #processoPronto() {
        const atual = this.#processo;
        const cheio = this.#comandosPorPonte > 0 && this.#atendidos >= this.#comandosPorPonte;
        if (atual !== null && (!atual.utilizavel || cheio)) await this.#descartar();
        if (this.#processo === null) {
            const ambiente = { ...process.env };
            if (this.#acbrDir !== undefined) ambiente.ACBR_DIR = this.#acbrDir;
            this.#processo = new Processo(this.#executavel, ambiente);
            this.#atendidos = 0;
        }
        return this.#processo;
    }

    async #descartar() {
        const processo = this.#processo;
        this.#processo = null;
        if (processo !== null) await processo.encerrar();
    }
}

// `await using ponte = new Ponte()` where the runtime knows the symbol (Node.js 20.4, 18.18).
if (typeof Symbol.asyncDispose === 'symbol') {
    Object.defineProperty(Ponte.prototype, Symbol.asyncDispose, {
        value: function () {
            return this.fechar();
        },
        writable: true,
        configurable: true,
    });
}
