// One running bridge: its process, its three pipes, the answer lines it writes, the tail of its
// standard error and how it ends. It serves one command at a time; the Ponte decides when to
// start, reuse or retire one.

import { spawn } from 'node:child_process';
import { Cauda } from './cauda.js';
import { PonteEncerrada, PonteNaoIniciada, TempoEsgotado } from './erros.js';
import { razao } from './sistema.js';

// How long the pipes may take to give what an ended bridge wrote (a process the bridge started
// may hold them open for good), and a killed one to be reported gone.
const ACABAMENTO_MS = 1000;

/** Resolves with true when `promessa` settles within `ms`, else with false. */
function comLimite(promessa, ms) {
    let relogio;
    const limite = new Promise((resolver) => {
        relogio = setTimeout(resolver, ms, false);
    });
    return Promise.race([promessa.then(() => true), limite]).finally(() => clearTimeout(relogio));
}

export class Processo {
    #filho;
    #cauda = new Cauda();
    /** Bytes read past the last answer line. */
    #pedacos = [];
    /** The command waiting for its line: {resolver, rejeitar, relogio}. */
    #pedido = null;
    /** {status, sinal} once the process has exited. */
    #saida = null;
    #saiu;
    /** Settles once the process has exited and its pipes are closed (or the bound has passed). */
    #terminou;
    /** Set when it must take no other command: it misbehaved, timed out, ended or is ending. */
    #descartado = false;
    /** Commands written to it. */
    comandos = 0;

    /**
     * Starts a bridge.
     * @param {string} executavel
     * @param {NodeJS.ProcessEnv} ambiente
     * @returns {Promise<Processo>}
     * @throws {PonteNaoIniciada}
     */
    static async iniciar(executavel, ambiente) {
        const naoIniciada = (erro) =>
            new PonteNaoIniciada(`não foi possível iniciar a ponte ${executavel}: ${razao(erro)}`, executavel, {
                cause: erro,
            });
        let filho;
        try {
            filho = spawn(executavel, [], { env: ambiente, stdio: 'pipe', windowsHide: true });
        } catch (erro) {
            throw naoIniciada(erro);
        }
        if (filho.pid === undefined) {
            // The system refused it (no such file, no permission); Node.js tells why a tick later.
            const erro = await new Promise((resolver) => filho.once('error', resolver));
            for (const tubo of [filho.stdin, filho.stdout, filho.stderr]) tubo?.destroy(); // made all the same
            throw naoIniciada(erro);
        }
        return new Processo(filho);
    }

    constructor(filho) {
        this.#filho = filho;
        this.#saiu = new Promise((resolver) => {
            filho.once('exit', (status, sinal) => {
                this.#saida = { status, sinal };
                this.#descartado = true;
                resolver();
            });
        });
        const fechou = new Promise((resolver) => filho.once('close', resolver));
        this.#terminou = this.#saiu.then(() => comLimite(fechou, ACABAMENTO_MS)).then(() => this.#concluir());
        // A write to a bridge that has just ended fails with EPIPE; its end tells the story.
        for (const tubo of [filho.stdin, filho.stdout, filho.stderr]) tubo.on('error', () => {});
        filho.on('error', () => {}); // a kill that came too late
        filho.stdout.on('data', (pedaco) => this.#aoLerSaida(pedaco));
        filho.stdout.once('end', () => this.#fimDaSaida());
        filho.stderr.on('data', (pedaco) => this.#cauda.acrescentar(pedaco));
        this.#soltar();
    }

    /** The process id. */
    get pid() {
        return this.#filho.pid;
    }

    /** Alive, and nothing unasked-for in its output (a line, or the end): ready for a command. */
    get ociosa() {
        return !this.#descartado && this.#pedacos.length === 0;
    }

    /**
     * Writes one command line and resolves with its answer line (without the line feed). Past
     * the limit the process is killed (TempoEsgotado); if it ends first, PonteEncerrada. Either
     * way it is reaped before the promise rejects.
     * @param {string} linha with its line feed
     * @param {number} tempoLimite milliseconds
     * @returns {Promise<Buffer>}
     */
    trocar(linha, tempoLimite) {
        this.comandos++;
        return new Promise((resolver, rejeitar) => {
            this.#prender();
            const relogio = setTimeout(() => this.#esgotar(tempoLimite), tempoLimite);
            this.#pedido = { resolver, rejeitar, relogio };
            this.#filho.stdin.write(linha);
        });
    }

    /** Closes its input, gives it `espera` ms to exit, then kills it; resolves once it is reaped. */
    async encerrar(espera) {
        this.#descartado = true;
        this.#prender(); // a host awaiting this must not exit before it is done
        if (this.#saida === null) {
            this.#filho.stdin.end();
            if (!(await comLimite(this.#saiu, espera))) this.#filho.kill('SIGKILL');
        }
        await comLimite(this.#terminou, 2 * ACABAMENTO_MS);
    }

    /** Kills it (SIGKILL; TerminateProcess on Windows); resolves once it is reaped. */
    async matar() {
        this.#descartado = true;
        if (this.#saida === null) {
            this.#prender();
            this.#filho.kill('SIGKILL');
        }
        await comLimite(this.#terminou, 2 * ACABAMENTO_MS);
    }

    #aoLerSaida(pedaco) {
        let inicio = 0;
        for (;;) {
            const fim = pedaco.indexOf(0x0a, inicio);
            if (fim < 0) {
                if (inicio < pedaco.length) this.#pedacos.push(pedaco.subarray(inicio));
                return;
            }
            let linha = pedaco.subarray(inicio, fim);
            if (this.#pedacos.length > 0) {
                // Joined before decoding, so a character split between two reads stays whole.
                this.#pedacos.push(linha);
                linha = Buffer.concat(this.#pedacos);
                this.#pedacos = [];
            }
            inicio = fim + 1;
            this.#entregar(linha);
        }
    }

    #entregar(linha) {
        const pedido = this.#pedido;
        if (pedido === null) {
            // A line nobody asked for: later answers could no longer be matched to their calls.
            if (!this.#descartado) {
                this.#descartado = true;
                this.#filho.kill('SIGKILL');
            }
            return;
        }
        this.#pedido = null;
        clearTimeout(pedido.relogio);
        this.#soltar();
        pedido.resolver(linha);
    }

    /** Its output ended: it can answer no more. One that lives on is killed. */
    #fimDaSaida() {
        this.#descartado = true;
        if (this.#saida !== null) return;
        setTimeout(() => {
            if (this.#saida === null) this.#filho.kill('SIGKILL');
        }, ACABAMENTO_MS).unref();
    }

    async #esgotar(tempoLimite) {
        const pedido = this.#pedido;
        if (pedido === null) return;
        this.#pedido = null;
        this.#descartado = true;
        this.#filho.kill('SIGKILL');
        // Reaped before the caller hears of it, and the tail holds all it wrote.
        await comLimite(this.#terminou, 2 * ACABAMENTO_MS);
        pedido.rejeitar(new TempoEsgotado(tempoLimite, this.#cauda.texto()));
    }

    /** Once it has exited: its pipes closed (a process it started may hold them), the call told. */
    #concluir() {
        for (const tubo of [this.#filho.stdin, this.#filho.stdout, this.#filho.stderr]) tubo.destroy();
        const pedido = this.#pedido;
        if (pedido !== null) {
            this.#pedido = null;
            clearTimeout(pedido.relogio);
            const { status, sinal } = this.#saida;
            pedido.rejeitar(new PonteEncerrada(status, sinal, this.#cauda.texto()));
        }
        this.#soltar();
    }

    // An idle bridge must not keep the host's event loop alive; one serving a call must.
    #prender() {
        this.#filho.ref();
        for (const tubo of [this.#filho.stdin, this.#filho.stdout, this.#filho.stderr]) tubo.ref?.();
    }

    #soltar() {
        this.#filho.unref();
        for (const tubo of [this.#filho.stdin, this.#filho.stdout, this.#filho.stderr]) tubo.unref?.();
    }
}
