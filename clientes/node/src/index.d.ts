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
     * The bridge's path (not empty). Left out, the bridge is looked for at the start of each
     * bridge: the `ACBR_PONTE` environment variable (empty counts as unset), the bridge of the
     * platform package (`@acbr-ponte/linux-x64`, ...) run from its copy in
     * {@link OpcoesDaPonte.pastaDeConfiguracao}, then `acbr-ponte` (`acbr-ponte.exe`) on PATH.
     */
    executavel?: string | null | undefined;
    /**
     * Folder of the ACBr library, given to every bridge as `ACBR_DIR` (over any value in the
     * environment). Left out: the bridge's own rule (`ACBR_DIR` from the environment, else the
     * folder `acbr` beside the executable).
     */
    acbrDir?: string | null | undefined;
    /**
     * Time limit of each call in milliseconds, counted from when its command is written (the
     * start of a bridge started for it included; time queued behind other calls not). Past it the
     * bridge is killed and the call rejects with {@link TempoEsgotado}. Default 30000; at most
     * 2147483647.
     */
    tempoLimite?: number | undefined;
    /**
     * A bridge that has served this many commands is replaced before the next call. Default
     * 1000; 0 keeps one bridge for as long as it works.
     */
    comandosPorPonte?: number | undefined;
    /**
     * Which of the platform package's bridges to run: `"x86"` runs the 32-bit bridge from a
     * 64-bit host, so that it can load a 32-bit build of the library. Default: this process's own.
     */
    arquitetura?: 'x64' | 'x86' | null | undefined;
    /**
     * Where the bridge from the platform package is placed, and so where the library keeps its
     * configuration file (`acbrlib.ini`, `ACBrLib.ini` on Windows). Default:
     * `$XDG_DATA_HOME/acbr-ponte` (else `~/.local/share/acbr-ponte`), `%LOCALAPPDATA%\acbr-ponte`
     * on Windows. A bridge given by path, by `ACBR_PONTE` or found on PATH runs where it is.
     */
    pastaDeConfiguracao?: string | null | undefined;
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
 * value as its compact JSON (`JSON.stringify`, non-ASCII characters as they are).
 */
export type Comando = string | number | boolean | null | object;

/**
 * The host's handle on an `acbr-ponte` process.
 *
 * Nothing starts until the first call; that call starts the bridge with `process.env` as it is
 * at that moment (plus `ACBR_DIR` when {@link OpcoesDaPonte.acbrDir} is given), and so does every
 * fresh bridge later. Calls may overlap: they are queued and the bridge serves one at a time, so
 * every answer goes to its own call, and a failed call does not stop the ones behind it. A bridge
 * that crashed or hung is replaced on the next call; the failed call itself is not retried. An
 * idle bridge does not keep the host's event loop alive, and it exits when the host's process
 * ends.
 */
export class Ponte {
    constructor(opcoes?: OpcoesDaPonte);

    /** Process id of the running bridge, or undefined when none is running. */
    readonly pid: number | undefined;

    /**
     * Asks the library's name and version (`{"cmd":"versao"}`).
     * @throws {ErroDaPonte} the bridge answered a failure; `erro` is its exact text
     * @throws {TempoEsgotado} no answer within the time limit
     * @throws {PonteEncerrada} the bridge ended during the call
     * @throws {RespostaInvalida} the answer was not what the protocol says
     * @throws {PonteNaoIniciada} no bridge was found, or it could not be started
     * @throws {LocalInseguro} the configuration folder or the copy there is not safe to run from
     * @throws {PonteFechada} the Ponte was closed
     */
    versao(): Promise<Versao>;

    /**
     * Sends one command and resolves with the decoded answer, `ok: false` included (it is an
     * answer, not an error).
     * @throws {ComandoRecusado} before anything is written: a string that is blank (only Unicode
     *   White_Space, which gets no answer), holds a line feed (several commands), or holds an
     *   unpaired UTF-16 surrogate (which UTF-8 cannot carry); a value with no JSON form (undefined,
     *   a function, a symbol, a BigInt, a cycle) or holding an unpaired surrogate
     * @throws {TempoEsgotado | PonteEncerrada | RespostaInvalida | PonteNaoIniciada | PonteFechada}
     *   as {@link Ponte.versao}
     */
    enviar(comando: Comando): Promise<Resposta>;

    /**
     * Lets the calls already made finish, then closes the bridge's input, gives it 2 s to exit and
     * kills it if it has not; the process is reaped. Later calls reject with
     * {@link PonteFechada}. Calling it again gives the same promise.
     */
    fechar(): Promise<void>;

    /** The same as {@link Ponte.fechar}, for `await using`. */
    [Symbol.asyncDispose](): Promise<void>;
}

/** Base of every error about the bridge (not about the caller's arguments and options). */
export class ErroAcbrPonte extends Error {
    constructor(mensagem?: string, opcoes?: { cause?: unknown });
}

/** `versao()` got `{"ok":false,"erro":...}`. */
export class ErroDaPonte extends ErroAcbrPonte {
    constructor(erro: string);
    /** The bridge's text, exactly; `message` is the same text. */
    readonly erro: string;
}

/** No answer within the time limit; the bridge was killed and reaped. */
export class TempoEsgotado extends ErroAcbrPonte {
    constructor(tempoLimite: number, stderr: string);
    /** The limit that passed, in milliseconds. */
    readonly tempoLimite: number;
    /** The last 8192 bytes the bridge wrote to its standard error, from a whole character on. */
    readonly stderr: string;
}

/** The bridge ended during the call without answering; the next call starts a fresh one. */
export class PonteEncerrada extends ErroAcbrPonte {
    constructor(status: number | null, sinal: string | null, stderr: string);
    /** The exit status (217 for an unhandled Free Pascal exception), or null when a signal ended it. */
    readonly status: number | null;
    /** The signal's name, such as `"SIGSEGV"`, or null when it exited. */
    readonly sinal: string | null;
    /**
     * The last 8192 bytes the bridge wrote to its standard error (where the Free Pascal runtime
     * writes "An unhandled exception occurred ...").
     */
    readonly stderr: string;
}

/** The answer was not a JSON object with a boolean `ok` (or not a version); the bridge was discarded. */
export class RespostaInvalida extends ErroAcbrPonte {
    constructor(linha: string);
    /** The line, as text, without its line feed. */
    readonly linha: string;
}

/** The command cannot be sent as one line; nothing was written. */
export class ComandoRecusado extends ErroAcbrPonte {}

/** A call after `fechar()`. */
export class PonteFechada extends ErroAcbrPonte {
    constructor();
}

/** No bridge was found, or it could not be started (`cause`: the system's error). */
export class PonteNaoIniciada extends ErroAcbrPonte {
    constructor(mensagem: string, executavel?: string, opcoes?: { cause?: unknown });
    /** The path tried, or undefined when none was found. */
    readonly executavel: string | undefined;
}

/** The configuration folder or the copy of the bridge there is not safe to run from; nothing ran. */
export class LocalInseguro extends PonteNaoIniciada {
    constructor(caminho: string, motivo: string);
    /** The folder or the copy. */
    readonly caminho: string;
    /** What is wrong, such as `"a pasta pode ser alterada por outros usuários"`. */
    readonly motivo: string;
}
