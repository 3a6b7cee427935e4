// The errors a Ponte rejects with. Every one extends ErroAcbrPonte, so a host can catch them
// all with one `instanceof`; the programming errors (a command that cannot be sent, a bad
// option) are the language's own TypeError and RangeError instead.

/** Anything that went wrong with the bridge rather than with the caller's arguments. */
export class ErroAcbrPonte extends Error {
    constructor(mensagem, opcoes) {
        super(mensagem, opcoes);
        this.name = new.target.name;
    }
}

/** The bridge answered `{"ok":false,"erro":...}`; `erro` and `message` are its exact text. */
export class ErroDaPonte extends ErroAcbrPonte {
    constructor(erro) {
        super(erro);
        this.erro = erro;
    }
}

/** The bridge did not answer within the time limit; its process was killed. */
export class TempoEsgotado extends ErroAcbrPonte {
    constructor(tempoLimite, stderr) {
        super(`a ponte não respondeu em ${tempoLimite} ms e foi encerrada`);
        this.tempoLimite = tempoLimite;
        this.stderr = stderr;
    }
}

/** The bridge's process ended during the call, with an exit status or a signal. */
export class PonteEncerrada extends ErroAcbrPonte {
    constructor(status, sinal, stderr) {
        const como = sinal !== null ? `pelo sinal ${sinal}` : `com status ${status}`;
        super(`a ponte encerrou sem responder, ${como}`);
        this.status = status;
        this.sinal = sinal;
        this.stderr = stderr;
    }
}
