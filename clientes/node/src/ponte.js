// The host's handle on the bridge: calls queued and served one at a time by a bridge process that
// starts on the first call and is replaced after a crash, a time-out, a stray line, or every so
// many commands.

import { lerResposta, linhaDoComando } from './comando.js';
import { CopiaDaPonte } from './copia.js';
import { ErroDaPonte, PonteFechada, RespostaInvalida } from './erros.js';
import { ARQUITETURAS, VERSAO, localizarPonte, pastaPorUsuario } from './localizacao.js';
import { Processo } from './processo.js';

const TEMPO_LIMITE_PADRAO_MS = 30_000;
const COMANDOS_POR_PONTE_PADRAO = 1000;
const MAIOR_ESPERA_MS = 2 ** 31 - 1; // setTimeout's largest delay
// Given this long to exit after its input is closed; then it is killed.
const ESPERA_AO_FECHAR_MS = 2000;
const LINHA_VERSAO = '{"cmd":"versao"}\n';

function texto(valor, nome) {
    if (valor === undefined || valor === null) return undefined;
    if (typeof valor !== 'string') throw new TypeError(`${nome} deve ser um texto: ${typeof valor}`);
    if (valor === '') throw new RangeError(`${nome} não pode ser vazio`);
    return valor;
}

function numero(valor, nome, padrao, valido, regra) {
    if (valor === undefined) return padrao;
    if (typeof valor !== 'number') throw new TypeError(`${nome} deve ser um número: ${typeof valor}`);
    if (!valido(valor)) throw new RangeError(`${nome} deve ser ${regra}: ${valor}`);
    return valor;
}

const textoOuAusente = (valor) => valor === undefined || typeof valor === 'string';

/** `{"ok":true}` whose name and version are texts or absent, or `{"ok":false}` with a text. */
function versaoValida(resposta) {
    if (resposta.ok) return textoOuAusente(resposta.nome) && textoOuAusente(resposta.versao);
    return typeof resposta.erro === 'string';
}

export class Ponte {
    #executavel;
    #acbrDir;
    #tempoLimite;
    #comandosPorPonte;
    #arquitetura;
    #pastaDeConfiguracao;
    /** @type {Processo | null} */
    #processo = null;
    /** @type {CopiaDaPonte | null} */
    #copia = null;
    /** Settles when the last call made so far has finished. */
    #fila = Promise.resolve();
    #fechamento = null;

    /**
     * @param {import('./index.js').OpcoesDaPonte} [opcoes]
     */
    constructor(opcoes = {}) {
        if (opcoes === null || typeof opcoes !== 'object') throw new TypeError('as opções devem ser um objeto');
        const { executavel, acbrDir, tempoLimite, comandosPorPonte, arquitetura, pastaDeConfiguracao } = opcoes;
        this.#executavel = texto(executavel, 'executavel');
        this.#acbrDir = texto(acbrDir, 'acbrDir');
        this.#tempoLimite = numero(
            tempoLimite,
            'tempoLimite',
            TEMPO_LIMITE_PADRAO_MS,
            (n) => n > 0 && n <= MAIOR_ESPERA_MS,
            `maior que 0 e no máximo ${MAIOR_ESPERA_MS} (ms)`,
        );
        this.#comandosPorPonte = numero(
            comandosPorPonte,
            'comandosPorPonte',
            COMANDOS_POR_PONTE_PADRAO,
            (n) => Number.isSafeInteger(n) && n >= 0,
            'um inteiro maior ou igual a 0',
        );
        this.#arquitetura = texto(arquitetura, 'arquitetura');
        if (this.#arquitetura !== undefined && !ARQUITETURAS.includes(this.#arquitetura)) {
            throw new RangeError(`arquitetura deve ser 'x64' ou 'x86': ${this.#arquitetura}`);
        }
        this.#pastaDeConfiguracao = texto(pastaDeConfiguracao, 'pastaDeConfiguracao');
    }

    /** The running bridge's process id, or undefined when none is running. */
    get pid() {
        return this.#processo?.pid;
    }

    /** The library's name and version. Rejects with ErroDaPonte with the bridge's text. */
    async versao() {
        const resposta = await this.#trocar(LINHA_VERSAO, true);
        if (resposta.ok) return { nome: resposta.nome, versao: resposta.versao };
        throw new ErroDaPonte(resposta.erro);
    }

    /**
     * Sends one command and resolves with the decoded answer, failures included. A string is
     * sent as it is, as one line; any other value as its compact JSON.
     */
    async enviar(comando) {
        return this.#trocar(linhaDoComando(comando), false);
    }

    /**
     * Lets the calls already made finish, closes the bridge's input, gives it 2 s to exit, then
     * kills it. Later calls reject with PonteFechada. Closing again gives the same promise.
     */
    fechar() {
        this.#fechamento ??= this.#fila.then(() => this.#retirar((processo) => processo.encerrar(ESPERA_AO_FECHAR_MS)));
        return this.#fechamento;
    }

    #trocar(linha, validarVersao) {
        if (this.#fechamento !== null) return Promise.reject(new PonteFechada());
        const chamada = this.#fila.then(() => this.#atender(linha, validarVersao));
        // A failed call must not stop the ones behind it.
        this.#fila = chamada.then(nada, nada);
        return chamada;
    }

    async #atender(linha, validarVersao) {
        const processo = this.#pronto() ?? (await this.#iniciar());
        let resposta;
        try {
            const bruta = await processo.trocar(linha, this.#tempoLimite);
            resposta = lerResposta(bruta);
            if (validarVersao && !versaoValida(resposta)) throw new RespostaInvalida(bruta.toString('utf8'));
        } catch (erro) {
            // Not retried: a command that crashed or hung the bridge may do it again. One that
            // answered out of the protocol may be out of step: it goes too.
            await this.#retirar((p) => p.matar());
            throw erro;
        }
        return resposta;
    }

    /** The running bridge when it can take the next command. */
    #pronto() {
        const processo = this.#processo;
        if (processo === null || !processo.ociosa) return undefined;
        if (this.#comandosPorPonte > 0 && processo.comandos >= this.#comandosPorPonte) return undefined;
        return processo;
    }

    async #iniciar() {
        const anterior = this.#processo;
        if (anterior !== null) {
            // Served its share: closed as fechar() does. Ended, or out of step: killed.
            await this.#retirar((p) => (p.ociosa ? p.encerrar(ESPERA_AO_FECHAR_MS) : p.matar()));
        }
        // Every bridge, first or fresh, gets the host's environment as it is when it starts.
        const executavel = this.#localizar();
        const ambiente = this.#acbrDir === undefined ? process.env : { ...process.env, ACBR_DIR: this.#acbrDir };
        this.#processo = await Processo.iniciar(executavel, ambiente);
        return this.#processo;
    }

    /** The bridge to start now: the option, ACBR_PONTE, the package's (its checked copy), PATH. */
    #localizar() {
        const achada = localizarPonte(this.#executavel, this.#arquitetura);
        if (typeof achada === 'string') return achada;
        const pasta = this.#pastaDeConfiguracao ?? pastaPorUsuario();
        const copia = this.#copia;
        if (
            copia === null ||
            copia.origem.caminho !== achada.caminho ||
            copia.origem.sha256 !== achada.sha256 ||
            copia.pasta !== pasta
        ) {
            this.#copia = new CopiaDaPonte(achada, pasta, VERSAO);
        }
        return this.#copia.pronta();
    }

    async #retirar(como) {
        const processo = this.#processo;
        this.#processo = null;
        if (processo !== null) await como(processo);
    }
}

function nada() {}

// `await using ponte = new Ponte()` where the runtime knows the symbol (Node.js 18.18, 20.4).
if (typeof Symbol.asyncDispose === 'symbol') {
    Object.defineProperty(Ponte.prototype, Symbol.asyncDispose, {
        value: function () {
            return this.fechar();
        },
        writable: true,
        configurable: true,
    });
}
