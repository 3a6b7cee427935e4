// Declarations for acbr-ponte, written by hand beside the JavaScript they describe.

declare global {
    // The runtimes that have `await using` have this symbol; declared here (as @types/node does)
    // so that the declarations below need no particular `lib` setting.
    interface SymbolConstructor {
        readonly asyncDispose: unique symbol;
    }
}

/** Options of a {@link Ponte}; every one may be left out. */
export interface OpcoesDaPonte {
    /**
     * Path of the bridge's executable (not empty). Default: the `ACBR_PONTE` environment variable as it is
     * when the Ponte is created, else `acbr-ponte` (`acbr-ponte.exe` on Windows) looked up on PATH.
     */
    executavel?: string | undefined;
    /**
     * Directory of the ACBr library, given to every bridge as `ACBR_DIR` (over any value in the
     * environment). Left out: the bridge's own rule applies (`ACBR_DIR` from the environment, else
     * `acbr/` beside the executable).
     */
    acbrDir?: string | undefined;
    /**
     * Time limit of each call in milliseconds, counted from when its command is sent (the start-up
     * of a bridge started for it included; time queued behind other calls not). Past it the bridge
     * is killed and the call rejects with {@link TempoEsgotado}. Default 30000; at most 2147483647.
     */
    tempoLimite?: number | undefined;
    /**
     * A fresh bridge after this many commands, replaced between calls (the library's runtime may
     * leak a little on every load). Default 1000; 0 keeps one bridge for as long as it works.
     */
    comandosPorPonte?: number | undefined;
}

/** The library's name and version; each is undefined when the bridge's answer leaves it out. */
export interface Versao {
    readonly nome: string | undefined;
    readonly versao: string | undefined;
}

/** A decoded answer line: always an object, with `ok` and the members the command answers. */
export interface Resposta {
    readonly ok: boolean;
    readonly nome?: string;
    readonly versao?: string;
    readonly erro?: string;
    readonly [membro: string]: unknown;
}

/**
 * What {@link Ponte.enviar} takes: a string is sent as it is, as one line of text; any other
 * value as its compact JSON (`JSON.stringify`).
 */
export type Comando = string | number | boolean | null | object;

/**
 * The host's handle on an `acbr-ponte` process.
 *
 * Nothing starts until the first call; that call starts the bridge with `process.env` as it is
 * at that moment (plus `ACBR_DIR` when {@link OpcoesDaPonte.acbrDir} is given), and so does every
 * fresh bridge later. Calls may overlap: they are queued and the bridge serves one at a time, so
 * every answer goes to its own call. A bridge that crashed or hung is replaced on the next call;
 * the failed call itself is not retried. An idle bridge does not keep the host's event loop
 * alive, and it exits by itself when the host's process ends.
 */
export class Ponte {
    constructor(opcoes?: OpcoesDaPonte);

    /**
     * Process id of the running bridge; undefined before the first call, after a call that ended
     * the bridge, and once closed.
     */
    readonly pid: number | undefined;

    /**
     * Asks the library's name and version (`{"cmd":"versao"}`).
     * @throws {ErroDaPonte} the bridge answered a failure; `erro` is its exact text
     * @throws {TempoEsgotado} no answer within the time limit
     * @throws {PonteEncerrada} the bridge ended during the call
     * @throws {ErroAcbrPonte} the bridge could not be started, the answer was not one, or the
     *   Ponte is closed
     */
    versao(): Promise<Versao>;

    /**
     * Sends one command and resolves with the decoded answer, `ok: false` included (it is an
     * answer, not an error).
     * @throws {RangeError} before anything is sent: a string that is blank (only Unicode
     *   White_Space, which gets no answer), holds a line feed (which would be several commands),
     *   or holds an unpaired UTF-16 surrogate (which UTF-8 cannot carry)
     * @throws {TypeError} before anything is sent: a value with no JSON form (undefined, a
     *   function, a symbol, a BigInt, a cycle)
     * @throws {TempoEsgotado} no answer within the time limit
     * @throws {PonteEncerrada} the bridge ended during the call
     * @throws {ErroAcbrPonte} the bridge could not be started, the answer was not a JSON object,
     *   or the Ponte is closed
     */
    enviar(comando: Comando): Promise<Resposta>;

    /**
     * Waits for the calls already made, then closes the bridge's input, waits briefly for it to
     * exit and kills it if it does not. Later calls reject with {@link ErroAcbrPonte}. Calling it
     * again gives the same promise.
     */
    fechar(): Promise<void>;

    /** The same as {@link Ponte.fechar}, for `await using`. */
    [Symbol.asyncDispose](): Promise<void>;
}

/** Base of every error about the bridge itself (not about the caller's arguments). */
export class ErroAcbrPonte extends Error {
    constructor(mensagem?: string, opcoes?: { cause?: unknown });
}

/** The bridge answered `{"ok":false,"erro":...}`. */
export class ErroDaPonte extends ErroAcbrPonte {
    constructor(erro: string);
    /** The bridge's text, exactly; `message` is the same text. */
    readonly erro: string;
}

/** The call got no answer within the time limit; the bridge's process was killed. */
export class TempoEsgotado extends ErroAcbrPonte {
    constructor(tempoLimite: number, stderr: string);
    /** The limit that passed, in milliseconds. */
    readonly tempoLimite: number;
    /** The last few KiB the bridge wrote to its standard error. */
    readonly stderr: string;
}

/** The bridge's process ended during the call; the next call starts a fresh one. */
export class PonteEncerrada extends ErroAcbrPonte {
    constructor(status: number | null, sinal: string | null, stderr: string);
    /** The exit status (217 for an unhandled Free Pascal exception), or null when a signal ended it. */
    readonly status: number | null;
    /** The signal's name, such as `"SIGSEGV"`, or null when it exited. */
    readonly sinal: string | null;
    /**
     * The last few KiB the bridge wrote to its standard error (where the Free Pascal runtime
     * writes "An unhandled exception occurred ...").
     */
    readonly stderr: string;
}
