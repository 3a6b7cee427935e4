// Turns what the caller passed to enviar() into the one line the bridge reads, or throws before
// anything is written: a line the bridge would not answer (blank), or answer twice or more
// (holding a line feed), would leave every later answer matched to the wrong call.

// The bridge's blank lines: Unicode White_Space only. JavaScript's \s also takes U+FEFF, which
// the bridge answers as an invalid command, so the set is spelled out.
const BRANCA = /^[\u0009-\u000D\u0020\u0085\u00A0\u1680\u2000-\u200A\u2028\u2029\u202F\u205F\u3000]*$/;
// With the u flag a surrogate pair is one code point, so this finds only unpaired halves,
// which UTF-8 cannot carry: they would be sent as U+FFFD, a command other than the one given.
const SURROGATE_SOLTO = /[\uD800-\uDFFF]/u;

/**
 * The text of the line for `comando`, without its line feed.
 * @param {unknown} comando a line of text, or any value with a JSON form
 * @returns {string}
 */
export function linhaDoComando(comando) {
    if (typeof comando === 'string') {
        if (comando.includes('\n')) {
            throw new RangeError('o comando contém uma quebra de linha (\\n): a ponte o leria como várias linhas');
        }
        if (BRANCA.test(comando)) {
            throw new RangeError('o comando está em branco: a ponte não responde a linhas em branco');
        }
        if (SURROGATE_SOLTO.test(comando)) {
            throw new RangeError('o comando contém um surrogate UTF-16 sem par, que não tem forma em UTF-8');
        }
        return comando;
    }
    // JSON.stringify throws TypeError itself for BigInt and cycles; compact output never holds
    // a raw line feed and is never blank.
    const json = JSON.stringify(comando);
    if (json === undefined) {
        throw new TypeError(`o comando não tem forma JSON (${typeof comando})`);
    }
    return json;
}
