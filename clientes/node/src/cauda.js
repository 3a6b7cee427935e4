// The last bytes of a stream, in bounded memory: the bridge's standard error is read all the
// time (a library that writes there must never block on a full pipe) but only its end is kept.

export class Cauda {
    #limite;
    #pedacos = [];
    #tamanho = 0;

    /** @param {number} limite how many bytes to keep */
    constructor(limite) {
        this.#limite = limite;
    }

    /** @param {Buffer} pedaco */
    acrescentar(pedaco) {
        this.#pedacos.push(pedaco);
        this.#tamanho += pedaco.length;
        // Compacting only past twice the limit keeps the cost per byte constant.
        if (this.#tamanho > 2 * this.#limite) {
            const tudo = Buffer.concat(this.#pedacos);
            this.#pedacos = [tudo.subarray(tudo.length - this.#limite)];
            this.#tamanho = this.#limite;
        }
    }

    /** The kept bytes as text, starting at a whole UTF-8 character. */
    texto() {
        let bytes = Buffer.concat(this.#pedacos);
        if (bytes.length > this.#limite) bytes = bytes.subarray(bytes.length - this.#limite);
        let inicio = 0;
        // A cut inside a character leaves up to three continuation bytes (10xxxxxx) in front.
        while (inicio < 3 && inicio < bytes.length && (bytes[inicio] & 0xc0) === 0x80) inicio++;
        return bytes.subarray(inicio).toString('utf8');
    }
}
