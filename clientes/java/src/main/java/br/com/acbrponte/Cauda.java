package br.com.acbrponte;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/** The last bytes of the bridge's standard error, in bounded memory. Written by the thread that
 * drains standard error, read by the call that reports an error. */
final class Cauda {
    /** Bytes of standard error kept from each bridge (the end of it). */
    static final int TAMANHO = 8192;

    private final byte[] dados = new byte[2 * TAMANHO];
    private int tamanho;
    private boolean cortada;

    synchronized void acrescentar(byte[] bloco, int quantos) {
        int inicio = 0;
        if (quantos >= TAMANHO) {
            inicio = quantos - TAMANHO;
            tamanho = 0;
            cortada = true;
        }
        int novos = quantos - inicio;
        if (tamanho + novos > dados.length) {
            // Cut only past twice the limit: the cost per byte stays constant.
            int manter = TAMANHO - novos;
            System.arraycopy(dados, tamanho - manter, dados, 0, manter);
            tamanho = manter;
            cortada = true;
        }
        System.arraycopy(bloco, inicio, dados, tamanho, novos);
        tamanho += novos;
    }

    /** The kept bytes as text, from a whole UTF-8 character on. */
    synchronized String texto() {
        int inicio = Math.max(0, tamanho - TAMANHO);
        if (cortada || inicio > 0) {
            int ate = Math.min(inicio + 3, tamanho);
            while (inicio < ate && (dados[inicio] & 0xC0) == 0x80) {
                inicio++;
            }
        }
        return new String(Arrays.copyOfRange(dados, inicio, tamanho), StandardCharsets.UTF_8);
    }
}
