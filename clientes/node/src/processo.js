// One running bridge: its process, its three pipes, the answer lines it writes, the tail of its
// standard error and how it ends. It serves one request at a time; the Ponte decides when to
// start, reuse or retire one.

import { spawn } from 'node:child_process';
import { Cauda } from './cauda.js';
import { ErroAcbrPonte, PonteEncerrada, TempoEsgotado } from './erros.js';

const BYTES_DA_CAUDA = 8192;
// After the exit status arrives, how long the pipes may take to deliver what the bridge wrote
// before it ended (the Free Pascal runtime's message, say). A process the bridge started could
// hold them open forever, hence a bound.
const ESPERA_PELOS_TUBOS_MS = 500;
// How long the bridge gets to exit by itself once its input is closed.
const ESPERA_PELA_SAIDA_MS = 2000;
// How long a killed process may take to be reported gone before the caller moves on.
const ESPERA_APOS_MATAR_MS = 1000;

function comLimite(promessa, ms) {
    let relogio;
    const limite = new Promise((resolver) => {
        relogio = setTimeout(resolver, ms);
    });
    return Promise.race([promessa, limite]).finally(() => clearTimeout(relogio));
}

export class Processo {
    #filho;
    #pedacosDaLinha = [];
    #cauda = new Cauda(BYTES_DA_CAUDA);
    /** The request waiting for a line: {resolver, rejeitar, relogio}. */
    #pedido = null;
    /** {status, sinal} once the process has ended. */
    #saida = null;
    #erroDeInicio = null;
    /** Set when the process must not be used again: it misbehaved, timed out or is ending. */
    #descartado = false;
    #terminou;

    /**
     * Starts the bridge. A failure to start (no such file, no permission) is reported by the
     * first request, as the system reports it only after this returns.
     * @param {string} executavel
     * @param {NodeJS.ProcessEnv} ambiente
     */
    constructor(executavel, ambiente) {
        const filho = spawn(executavel, [], { env: ambiente, stdio: 'pipe', windowsHide: true });
        this.#filho = filho;
        let sair;
        const saiu = new Promise((resolver) => {
            sair = resolver;
        });
        const fechou = new Promise((resolver) => filho.once('close', resolver));
        // Ended: the status is known and the pipes have delivered what they hold, or the
        // bound has passed.
        this.#terminou = saiu.then(() => comLimite(fechou, ESPERA_PELOS_TUBOS_MS));

        filho.once('exit', (status, sinal) => {
            this.#saida = { status, sinal };
            sair();
        });
        filho.on('error', (erro) => {
            // Emitted when starting fails (and then no 'exit' follows) or when a kill fails.
            if (filho.pid === undefined && this.#erroDeInicio === null) {
                this.#erroDeInicio = erro;
                this.#saida = { status: null, sinal: null };
                sair();
            }
        });
        // A write to a bridge that has just died fails with EPIPE; the exit status tells the
        // story, so the pipes' own errors are only swallowed.
        for (const tubo of [filho.stdin, filho.stdout, filho.stderr]) tubo.on('error', () => {});
        filho.stdout.on('data', (pedaco) => this.#aoLerSaida(pedaco));
        filho.stderr.on('data', (pedaco) => this.#cauda.acrescentar(pedaco));
        this.#terminou.then(() => this.#aoTerminar());
        this.#soltar();
    }

    /** The process id, or undefined when it could not be started. */
    get pid() {
        return this.#filho.pid;
    }

    /** True while the process may take another request. */
    get utilizavel() {
        return this.#saida === null && !this.#descartado;
    }

    /**
     * Writes one line and resolves with the answer line (without its line feed). Rejects with
     * TempoEsgotado (the process is killed), PonteEncerrada, or ErroAcbrPonte when the bridge
     * could not be started.
     * @param {string} linha without its line feed
     * @param {number} tempoLimite in milliseconds
     * @returns {Promise<string>}
     */
    pedir(linha, tempoLimite) {
        return new Promise((resolver, rejeitar) => {
            this.#prender();
            const relogio = setTimeout(() => this.#esgotar(tempoLimite), tempoLimite);
            this.#pedido = { resolver, rejeitar, relogio };
            if (this.#saida !== null) {
                // Ended but perhaps not yet reported: the report answers this request.
                this.#terminou.then(() => this.#aoTerminar());
                return;
            }
            this.#filho.stdin.write(`${linha}\n`, 'utf8');
        });
    }

    /**
     * Closes the bridge's input, waits briefly for it to exit and kills it if it does not.
     * Resolves once it is gone (or, should the system not report a killed process, soon after).
     */
    async encerrar() {
        this.#descartado = true;
        if (this.#saida === null) {
            this.#prender();
            this.#filho.stdin.end();
            await comLimite(this.#terminou, ESPERA_PELA_SAIDA_MS);
            if (this.#saida === null) this.#matar();
        }
        await comLimite(this.#terminou, ESPERA_APOS_MATAR_MS);
        this.#soltar();
    }

    #matar() {
        this.#descartado = true;
        // SIGKILL; on Windows every signal is TerminateProcess.
        if (this.#saida === null) this.#filho.kill('SIGKILL');
    }

    async #esgotar(tempoLimite) {
        const pedido = this.#pedido;
        if (pedido === null) return;
        this.#pedido = null;
        this.#matar();
        // Reaped before the caller hears of it, and the tail holds all the bridge wrote.
        await comLimite(this.#terminou, ESPERA_APOS_MATAR_MS);
        this.#soltar();
        pedido.rejeitar(new TempoEsgotado(tempoLimite, this.#cauda.texto()));
    }

    #aoLerSaida(pedaco) {
        let inicio = 0;
        for (;;) {
            const fim = pedaco.indexOf(0x0a, inicio);
            if (fim < 0) {
                if (inicio < pedaco.length) this.#pedacosDaLinha.push(pedaco.subarray(inicio));
                return;
            }
            this.#pedacosDaLinha.push(pedaco.subarray(inicio, fim));
            // Decoded only when whole, so a character split between two reads stays whole.
            const linha = Buffer.concat(this.#pedacosDaLinha).toString('utf8');
            this.#pedacosDaLinha = [];
            inicio = fim + 1;
            this.#entregar(linha);
        }
    }

    #entregar(linha) {
        const pedido = this.#pedido;
        if (pedido === null || this.#descartado) {
            // A line nobody asked for: the answers can no longer be matched to the requests.
            this.#matar();
            return;
        }
        this.#pedido = null;
        clearTimeout(pedido.relogio);
        this.#soltar();
        pedido.resolver(linha);
    }

    #aoTerminar() {
        const pedido = this.#pedido;
        if (pedido === null) {
            this.#soltar();
            return;
        }
        this.#pedido = null;
        clearTimeout(pedido.relogio);
        this.#soltar();
        if (this.#erroDeInicio !== null) {
            pedido.rejeitar(
                new ErroAcbrPonte(`não foi possível iniciar a ponte: ${this.#erroDeInicio.message}`, {
                    cause: this.#erroDeInicio,
                }),
            );
            return;
        }
        const { status, sinal } = this.#saida;
        pedido.rejeitar(new PonteEncerrada(status, sinal, this.#cauda.texto()));
    }

    // An idle bridge must not keep the host's event loop alive; one serving a request must.
    #prender() {
        this.#filho.ref();
        for (const tubo of [this.#filho.stdin, this.#filho.stdout, this.#filho.stderr]) tubo.ref?.();
    }

    #soltar() {
        this.#filho.unref();
        for (const tubo of [this.#filho.stdin, this.#filho.stdout, this.#filho.stderr]) tubo.unref?.();
    }
}
