// The copy of the package's bridge in the configuration folder: the library keeps its
// configuration file beside the running executable, which must then be a folder of the user's
// own, never the installed package. Placed once (under a temporary name, checked against the
// package's sha256, renamed into place) and checked again before every start: nothing runs from a
// folder or a copy that someone else could change. A few system calls once per bridge start, so
// they are made synchronously: no other call can run in between.

import { createHash, randomBytes } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { LocalInseguro, PonteNaoIniciada } from './erros.js';
import { NOME_DO_EXECUTAVEL } from './localizacao.js';
import { razao } from './sistema.js';

const POSIX = process.platform !== 'win32';
const { O_RDONLY, O_WRONLY, O_CREAT, O_EXCL } = fs.constants;
// Never following a link; and a FIFO put where the copy should be must not block the open.
const O_NOFOLLOW = fs.constants.O_NOFOLLOW ?? 0;
const O_NONBLOCK = fs.constants.O_NONBLOCK ?? 0;
const BLOCO = 1 << 16;

export class CopiaDaPonte {
    /** What the copy was when its sha256 was last found right: device, inode, size and time. */
    #conferida;

    /**
     * @param {{chave: string, caminho: string, sha256: string}} origem the package's bridge
     * @param {string} pasta the configuration folder
     * @param {string} versao this package's version
     */
    constructor(origem, pasta, versao) {
        this.origem = origem;
        this.pasta = pasta;
        const sufixo = origem.chave.startsWith('win-') ? '.exe' : '';
        this.caminho = path.join(
            pasta,
            `${NOME_DO_EXECUTAVEL}-${versao}-${origem.chave}-${origem.sha256.slice(0, 16)}${sufixo}`,
        );
    }

    /**
     * The copy's path, once the folder and the copy are checked; placed first if missing.
     * @throws {LocalInseguro | PonteNaoIniciada}
     */
    pronta() {
        this.#conferirPasta();
        if (!this.#conferirCopia()) {
            this.#colocar();
            if (!this.#conferirCopia()) {
                throw new PonteNaoIniciada(
                    `não foi possível iniciar a ponte ${this.caminho}: ${razao({ errno: -2 })}`,
                    this.caminho,
                );
            }
        }
        return this.caminho;
    }

    #conferirPasta() {
        let info = this.#lstatDaPasta();
        if (info === undefined) {
            try {
                fs.mkdirSync(path.dirname(this.pasta), { recursive: true });
            } catch (erro) {
                this.#semPasta(erro);
            }
            try {
                fs.mkdirSync(this.pasta, 0o700);
                if (POSIX) fs.chmodSync(this.pasta, 0o700); // whatever the umask took away
            } catch (erro) {
                // EEXIST: another host made it first; it is checked like any other.
                if (erro?.code !== 'EEXIST') this.#semPasta(erro);
            }
            info = this.#lstatDaPasta() ?? this.#semPasta({ errno: -2 });
        }
        if (info.isSymbolicLink()) throw new LocalInseguro(this.pasta, 'é um link simbólico');
        if (!info.isDirectory()) throw new LocalInseguro(this.pasta, 'não é uma pasta');
        if (POSIX) {
            if (info.uid !== process.geteuid()) throw new LocalInseguro(this.pasta, 'a pasta pertence a outro usuário');
            if (info.mode & 0o022) throw new LocalInseguro(this.pasta, 'a pasta pode ser alterada por outros usuários');
        }
    }

    #lstatDaPasta() {
        try {
            return lstat(this.pasta);
        } catch (erro) {
            return this.#semPasta(erro); // a parent that is not a folder, or cannot be searched
        }
    }

    #semPasta(erro) {
        throw new PonteNaoIniciada(`não foi possível criar a pasta ${this.pasta}: ${razao(erro)}`, undefined, {
            cause: erro,
        });
    }

    /** False when there is no copy yet; else checked, or LocalInseguro. */
    #conferirCopia() {
        if (!POSIX && lstat(this.caminho)?.isSymbolicLink()) {
            throw new LocalInseguro(this.caminho, 'é um link simbólico'); // Windows has no O_NOFOLLOW
        }
        let descritor;
        try {
            descritor = fs.openSync(this.caminho, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        } catch (erro) {
            let link = false;
            try {
                link = lstat(this.caminho)?.isSymbolicLink() ?? false;
            } catch {
                // told as the open's own failure
            }
            if (link) throw new LocalInseguro(this.caminho, 'é um link simbólico');
            if (erro?.code === 'ENOENT') return false;
            throw this.#naoIniciada(erro);
        }
        try {
            const info = fs.fstatSync(descritor, { bigint: true });
            if (!info.isFile()) throw new LocalInseguro(this.caminho, 'não é um arquivo comum');
            if (POSIX) {
                if (info.uid !== BigInt(process.geteuid())) {
                    throw new LocalInseguro(this.caminho, 'a cópia da ponte pertence a outro usuário');
                }
                if (info.mode & 0o022n) {
                    throw new LocalInseguro(this.caminho, 'a cópia da ponte pode ser alterada por outros usuários');
                }
            }
            const marca = `${info.dev}:${info.ino}:${info.size}:${info.mtimeNs}:${info.ctimeNs}`;
            if (marca === this.#conferida) return true;
            if (resumoDe(descritor) !== this.origem.sha256) {
                throw new LocalInseguro(this.caminho, 'a cópia da ponte não confere com a do pacote');
            }
            this.#conferida = marca;
            return true;
        } catch (erro) {
            throw erro instanceof PonteNaoIniciada ? erro : this.#naoIniciada(erro);
        } finally {
            fs.closeSync(descritor);
        }
    }

    #colocar() {
        const temporario = path.join(this.pasta, `.${NOME_DO_EXECUTAVEL}-${randomBytes(8).toString('hex')}.tmp`);
        let destino;
        try {
            destino = fs.openSync(temporario, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0o700);
        } catch (erro) {
            throw this.#naoIniciada(erro);
        }
        try {
            const resumo = createHash('sha256');
            const fonte = fs.openSync(this.origem.caminho, O_RDONLY);
            try {
                const bloco = Buffer.allocUnsafe(BLOCO);
                for (let lidos; (lidos = fs.readSync(fonte, bloco, 0, BLOCO, null)) > 0;) {
                    resumo.update(bloco.subarray(0, lidos));
                    for (let escritos = 0; escritos < lidos;) {
                        escritos += fs.writeSync(destino, bloco, escritos, lidos - escritos);
                    }
                }
            } finally {
                fs.closeSync(fonte);
            }
            if (POSIX) fs.fchmodSync(destino, 0o700);
            fs.fsyncSync(destino);
            fs.closeSync(destino);
            destino = undefined;
            if (resumo.digest('hex') !== this.origem.sha256) {
                throw new PonteNaoIniciada(
                    `a ponte do pacote ${this.origem.caminho} não confere com o sha256 que o pacote traz`,
                    this.origem.caminho,
                );
            }
            try {
                fs.renameSync(temporario, this.caminho);
            } catch (erro) {
                // Windows: another host placed it and is running it. That one is checked instead.
                if (POSIX || !['EPERM', 'EACCES', 'EBUSY'].includes(erro?.code)) throw erro;
            }
        } catch (erro) {
            throw erro instanceof PonteNaoIniciada ? erro : this.#naoIniciada(erro);
        } finally {
            if (destino !== undefined) fs.closeSync(destino);
            try {
                fs.unlinkSync(temporario);
            } catch {
                // renamed into place
            }
        }
    }

    #naoIniciada(erro) {
        return new PonteNaoIniciada(`não foi possível iniciar a ponte ${this.caminho}: ${razao(erro)}`, this.caminho, {
            cause: erro,
        });
    }
}

function lstat(caminho) {
    return fs.lstatSync(caminho, { throwIfNoEntry: false });
}

function resumoDe(descritor) {
    const resumo = createHash('sha256');
    const bloco = Buffer.allocUnsafe(BLOCO);
    for (let lidos; (lidos = fs.readSync(descritor, bloco, 0, BLOCO, null)) > 0;)
        resumo.update(bloco.subarray(0, lidos));
    return resumo.digest('hex');
}
