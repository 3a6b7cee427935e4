// The last bytes of the bridge's standard error, in bounded memory: it is read all the time (a
// library that writes there must never block on a full pipe) but only its end is kept.

/** Bytes of standard error kept from each bridge (the end of it). */
export const TAMANHO_DA_CAUDA = 8192;

export class Cauda {
    #limite;
    #pedacos = [];
    #tamanho = 0;
    #cortada = false;

    constructor(limite = TAMANHO_DA_CAUDA) {
        this.#limite = limite;
    }

    /** @param {Buffer} pedaco */
    acrescentar(pedaco) {
        this.#pedacos.push(pedaco);
        this.#tamanho += pedaco.length;
        // Cut only past twice the limit: the cost per byte stays constant.
        if (this.#tamanho > 2 * this.#limite) {
            const tudo = Buffer.concat(this.#pedacos, this.#tamanho);
            this.#pedacos = [tudo.subarray(tudo.length - this.#limite)];
            this.#tamanho = this.#limite;
            this.#cortada = true;
        }
    }

    /** The kept bytes as text, from a whole UTF-8 character on. */
    texto() {
        let dados = Buffer.concat(this.#pedacos, this.#tamanho);
        if (this.#cortada || dados.length > this.#limite) {
            dados = dados.subarray(Math.max(0, dados.length - this.#limite));
            let inicio = 0;
            // A cut inside a character leaves up to three continuation bytes (10xxxxxx) in front.
            while (inicio < Math.min(3, dados.length) && (dados[inicio] & 0xc0) === 0x80) inicio++;
            dados = dados.subarray(inicio);
        }
        return dados.toString('utf8');
    }
}
