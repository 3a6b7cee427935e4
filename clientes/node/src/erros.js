// The errors a Ponte rejects with, all under one base class, with the messages every client
// shares. Arguments and options that are wrong are the language's own TypeError and RangeError.

import { constants } from 'node:os';
import { ESPACO_BRANCO } from './espacoBranco.js';

// The stderr tail goes into a message up to this many bytes of UTF-8 (the property keeps it all).
const SUFIXO_MAXIMO = 1000;
const BORDAS = new RegExp(`^[${ESPACO_BRANCO}]+|[${ESPACO_BRANCO}]+$`, 'g');

/** Base class of every error about the bridge. */
export class ErroAcbrPonte extends Error {
    constructor(mensagem, opcoes) {
        super(mensagem, opcoes);
        this.name = new.target.name;
    }
}

/** The bridge answered `{"ok":false,"erro":...}`; `erro` is that text, exactly. */
export class ErroDaPonte extends ErroAcbrPonte {
    constructor(erro) {
        super(erro);
        this.erro = erro;
    }
}

/** No answer within the time limit: the bridge was killed and reaped. `tempoLimite` in ms. */
export class TempoEsgotado extends ErroAcbrPonte {
    constructor(tempoLimite, stderr) {
        super(`a ponte não respondeu em ${Math.round(tempoLimite)} ms e foi encerrada${sufixo(stderr)}`);
        this.tempoLimite = tempoLimite;
        this.stderr = stderr;
    }
}

/**
 * The bridge ended during the call without answering: `status` is its exit status, or `sinal`
 * the name of the signal that ended it (`"SIGSEGV"`); the other one is null.
 */
export class PonteEncerrada extends ErroAcbrPonte {
    constructor(status, sinal, stderr) {
        let motivo = `com o status ${status}`;
        if (sinal !== null) {
            const numero = constants.signals[sinal];
            motivo = numero === undefined ? `pelo sinal ${sinal}` : `pelo sinal ${numero} (${sinal})`;
        }
        super(`a ponte encerrou ${motivo} sem responder${sufixo(stderr)}`);
        this.status = status;
        this.sinal = sinal;
        this.stderr = stderr;
    }
}

/**
 * The answer was not what the protocol says (not a JSON object with a boolean `ok`): something
 * else wrote to the bridge's output, so later answers could not be trusted to match their calls.
 * The bridge was discarded. `linha` is the line, without its line feed.
 */
export class RespostaInvalida extends ErroAcbrPonte {
    constructor(linha) {
        const pontos = Array.from(linha.length <= 200 ? linha : linha.slice(0, 402));
        const cortada = pontos.length <= 200 ? linha : `${pontos.slice(0, 200).join('')}...`;
        super(`resposta inválida da ponte: ${cortada}`);
        this.linha = linha;
    }
}

/** A command that cannot be sent as one line; refused before anything is written. */
export class ComandoRecusado extends ErroAcbrPonte {}

/** A call on a Ponte that was closed. */
export class PonteFechada extends ErroAcbrPonte {
    constructor() {
        super('a Ponte foi fechada');
    }
}

/**
 * No bridge was found, or it could not be started. `executavel` is the path that was tried
 * (undefined when none was found); the system's error, if any, is the `cause`.
 */
export class PonteNaoIniciada extends ErroAcbrPonte {
    constructor(mensagem, executavel, opcoes) {
        super(mensagem, opcoes);
        this.executavel = executavel;
    }
}

/**
 * The folder the bridge from the package runs from, or its copy there, could be changed by
 * someone else (or was): nothing was run. `caminho` names it, `motivo` says what is wrong.
 */
export class LocalInseguro extends PonteNaoIniciada {
    constructor(caminho, motivo) {
        super(`local inseguro para a ponte: ${caminho}: ${motivo}`, undefined);
        this.caminho = caminho;
        this.motivo = motivo;
    }
}

/** The end of standard error, for a message: at most its last 1000 bytes of UTF-8. */
function sufixo(stderr) {
    let texto = stderr.replace(BORDAS, '');
    if (texto === '') return '';
    const dados = Buffer.from(texto, 'utf8');
    if (dados.length > SUFIXO_MAXIMO) {
        let inicio = dados.length - SUFIXO_MAXIMO;
        while (inicio < dados.length && (dados[inicio] & 0xc0) === 0x80) inicio++; // a whole character first
        texto = `...${dados.subarray(inicio).toString('utf8')}`;
    }
    return `\nstderr:\n${texto}`;
}
