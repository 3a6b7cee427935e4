// Commands into lines and lines into answers: what is refused before anything is written (a line
// the bridge would answer never, more than once, or could not read), and what is not an answer.

import * as buffer from 'node:buffer';
import { ComandoRecusado, RespostaInvalida } from './erros.js';
import { ESPACO_BRANCO } from './espacoBranco.js';

const EM_BRANCO = new RegExp(`^[${ESPACO_BRANCO}]*$`);
// With the u flag a surrogate pair is one code point, so this finds only unpaired halves.
const SURROGATE_SOLTO = /[\uD800-\uDFFF]/u;
const bemFormado =
    typeof String.prototype.isWellFormed === 'function'
        ? (texto) => texto.isWellFormed()
        : (texto) => !SURROGATE_SOLTO.test(texto);
// JSON.stringify writes an unpaired surrogate as an escape, \udXXX (a pair goes as it is); a
// backslash of the text comes out doubled, so an escape is one after an even run of them.
const SURROGATE_ESCAPADO = /(?:^|[^\\])(?:\\\\)*\\ud[89a-f]/;
// Node.js 18.14 and later check UTF-8 natively; before, a fatal decoder does.
const decodificador = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
const ehUtf8 =
    typeof buffer.isUtf8 === 'function'
        ? buffer.isUtf8
        : (dados) => {
              try {
                  decodificador.decode(dados);
                  return true;
              } catch {
                  return false;
              }
          };

/**
 * The line for `comando`, line feed included: a string as it is, any other value as its compact
 * JSON (`JSON.stringify`, which leaves non-ASCII characters as they are).
 * @param {unknown} comando
 * @returns {string}
 * @throws {ComandoRecusado}
 */
export function linhaDoComando(comando) {
    let texto;
    if (typeof comando === 'string') {
        texto = comando;
    } else {
        try {
            texto = JSON.stringify(comando);
        } catch (erro) {
            // A BigInt, a cycle, a toJSON that throws.
            throw new ComandoRecusado(`o comando não tem forma JSON: ${erro?.message ?? erro}`, { cause: erro });
        }
        if (texto === undefined) {
            throw new ComandoRecusado(
                `o comando não tem forma JSON: JSON.stringify gives nothing for ${typeof comando}`,
            );
        }
        if (texto.includes('\\ud') && SURROGATE_ESCAPADO.test(texto)) {
            throw new ComandoRecusado('o comando não é UTF-8 válido');
        }
        return `${texto}\n`; // compact JSON is never blank and never holds a raw line feed
    }
    if (texto.includes('\n')) {
        throw new ComandoRecusado('o comando tem uma quebra de linha: a ponte o leria como mais de uma linha');
    }
    if (EM_BRANCO.test(texto)) {
        throw new ComandoRecusado('comando em branco: a ponte não responde a linhas em branco');
    }
    if (!bemFormado(texto)) {
        throw new ComandoRecusado('o comando não é UTF-8 válido');
    }
    return `${texto}\n`;
}

/**
 * The answer object of a line (without its line feed), or RespostaInvalida.
 * @param {Buffer} linha
 * @returns {Record<string, unknown> & { ok: boolean }}
 */
export function lerResposta(linha) {
    const texto = linha.toString('utf8');
    let valor;
    if (ehUtf8(linha)) {
        try {
            valor = JSON.parse(texto);
        } catch {
            valor = undefined;
        }
    }
    if (valor === null || typeof valor !== 'object' || Array.isArray(valor) || typeof valor.ok !== 'boolean') {
        throw new RespostaInvalida(texto);
    }
    return valor;
}
