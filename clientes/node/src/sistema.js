// The system's reason for a failed call, as text: "no such file or directory".

import { getSystemErrorMap } from 'node:util';

/** @param {unknown} erro an error from node:fs or node:child_process */
export function razao(erro) {
    const errno = /** @type {{errno?: unknown}} */ (erro)?.errno;
    const conhecido = typeof errno === 'number' ? getSystemErrorMap().get(errno) : undefined;
    if (conhecido !== undefined) return conhecido[1];
    return /** @type {{code?: string, message?: string}} */ (erro)?.code ?? String(erro?.message ?? erro);
}
